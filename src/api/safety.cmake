# Safety, alarm and version exports.
target_sources(VarloCore PRIVATE ${CMAKE_CURRENT_LIST_DIR}/safetyexports.cpp)
