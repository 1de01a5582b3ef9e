target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/qpanelsimulator.h
  ${CMAKE_CURRENT_LIST_DIR}/qpanelsimulator.cpp)
