# Payload, force sensing and mounting; analog IO, extended IO and grippers.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/payloadiotypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_payload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qrobotcollaborative_analogio.cpp)
