# State exchange: decoding one full reply and building one request body
# (Google Benchmark), then the exchange period and the CPU time used while
# connected and idle, against the controller double on 127.0.0.7.
find_package(benchmark REQUIRED)
add_executable(bench_exchange ${CMAKE_CURRENT_LIST_DIR}/bench_exchange.cpp)
target_link_libraries(bench_exchange PRIVATE VarloCore VarloTestSupport benchmark::benchmark)
