# Alarm catalogue lookup: the time of one alarmInfo call (document read over
# the file service, parse, walk) for catalogues of growing size, against the
# controller double on 127.0.0.38.
add_executable(bench_alarms ${CMAKE_CURRENT_LIST_DIR}/bench_alarms.cpp)
target_link_libraries(bench_alarms PRIVATE VarloCore VarloTestSupport)
