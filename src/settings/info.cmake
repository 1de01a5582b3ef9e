# Controller information and maintenance: versions, hardware identification,
# alarm catalogue, network address, digital-input modes, reboot.
target_sources(VarloCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/infotypes.h
  ${CMAKE_CURRENT_LIST_DIR}/qrobotsettings_info.cpp)
