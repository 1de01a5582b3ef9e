# Trajectory replay, user-frame calibration and maintenance functions.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/trajectorytypes.h
  ${CMAKE_CURRENT_LIST_DIR}/maintenancetypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_trajectory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_userframes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_maintenance.cpp)
