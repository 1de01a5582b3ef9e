# Motion, jog and speed exports.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/motionwait.h
  ${CMAKE_CURRENT_LIST_DIR}/motionwait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/motionexports.cpp)
