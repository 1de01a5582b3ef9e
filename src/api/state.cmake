# State and IO exports: the live state mirrored by the state exchange.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/exchangerecord.h
  ${CMAKE_CURRENT_LIST_DIR}/exchangerecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stateexports.cpp)
