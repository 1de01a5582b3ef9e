# Safety and collision: collision detection, electronic skin, safe-mode
# limits, enabling switch, control mode, brakes, go-home and power.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/safetytypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_safety.cpp)
