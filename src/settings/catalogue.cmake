# Project files, teach points and pallets; the function settings catalogue.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/projecttypes.h
  ${CMAKE_CURRENT_LIST_DIR}/projectfilepaths.h
  ${CMAKE_CURRENT_LIST_DIR}/projectfilepaths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/teachpointjson.h
  ${CMAKE_CURRENT_LIST_DIR}/teachpointjson.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_project.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_pallets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functiontypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_vision.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_drivers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_tracking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_structure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_functionapi.cpp)
