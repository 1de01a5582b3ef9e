# Motion exports against the controller double on 127.0.0.25: the time a
# host spends in a call, and how soon a blocking motion returns after the
# controller first reports its end.
add_executable(bench_motion ${CMAKE_CURRENT_LIST_DIR}/bench_motion.cpp)
target_link_libraries(bench_motion PRIVATE VarloCore VarloTestSupport)
