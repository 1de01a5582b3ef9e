// Console output of VarloSim. Several server threads write at once, so every
// line goes out whole under one lock.
#pragma once

#include <string>

namespace varlosim {

void setVerbose(bool on);
bool isVerbose();

// One line on standard output (status) or standard error (warnings).
void logInfo(const std::string &line);
void logWarning(const std::string &line);
// One line on standard output, only with --verbose.
void logVerbose(const std::string &line);

} // namespace varlosim
