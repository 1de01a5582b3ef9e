# Transport: per-request latency of getJson, the library's own added time, and
# the wall time of ConnectVarlo, against the controller double on 127.0.0.8.
if(TARGET VarloTestSupport)
  add_executable(bench_transport ${CMAKE_CURRENT_LIST_DIR}/bench_transport.cpp)
  target_link_libraries(bench_transport PRIVATE VarloCore VarloTestSupport)
endif()
