target_sources(VarloCore PRIVATE qrobotprotocol.h qrobotprotocol_p.h qrobotprotocol.cpp)
