# Coordinate systems and calibration.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/coordinatetypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_coordinates.cpp)
