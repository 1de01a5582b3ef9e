# VarloSim under load (wrk) beside nginx, and its start-up time: a script, run
# with `cmake --build build --target bench_sim` or bench/bench_sim.sh directly.
# It installs wrk and nginx-light when they are missing.
if(TARGET VarloSim)
  add_custom_target(bench_sim
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/bench_sim.sh $<TARGET_FILE:VarloSim>
    DEPENDS VarloSim
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    USES_TERMINAL
    COMMENT "VarloSim requests per second beside nginx, and start-up time")
endif()
