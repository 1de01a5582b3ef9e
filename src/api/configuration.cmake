# Configuration exports.
target_sources(VarloCore PRIVATE ${CMAKE_CURRENT_LIST_DIR}/configurationexports.cpp)
