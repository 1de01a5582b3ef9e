# Motion commands and kinematics, motion parameter documents.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/motiontypes.h
  ${CMAKE_CURRENT_LIST_DIR}/parametertypes.h
  ${CMAKE_CURRENT_LIST_DIR}/../types/qrobotscriptstate.h
  ${CMAKE_CURRENT_LIST_DIR}/parameterdocuments.h
  ${CMAKE_CURRENT_LIST_DIR}/parameterdocuments.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_motion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_parameters.cpp)
