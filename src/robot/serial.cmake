target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/jogframedecoder.h ${CMAKE_CURRENT_LIST_DIR}/jogframedecoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qserialmanager.h ${CMAKE_CURRENT_LIST_DIR}/qserialmanager.cpp)
