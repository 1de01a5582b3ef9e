# The largest documents of the catalogue: a full points file, a full set of
# taught pallets and the longest trajectory point list, written and read
# through the controller double on 127.0.0.55.
add_executable(bench_catalogue ${CMAKE_CURRENT_LIST_DIR}/bench_catalogue.cpp)
target_link_libraries(bench_catalogue PRIVATE VarloCore VarloTestSupport)
