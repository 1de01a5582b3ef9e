#include "log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace varlosim {

namespace {
std::atomic<bool> s_verbose{false};
std::mutex s_outputLock;

void writeLine(FILE *stream, const std::string &line)
{
    std::lock_guard<std::mutex> guard(s_outputLock);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
} // namespace

void setVerbose(bool on) { s_verbose = on; }
bool isVerbose() { return s_verbose; }

void logInfo(const std::string &line) { writeLine(stdout, line); }
void logWarning(const std::string &line) { writeLine(stderr, "VarloSim: " + line); }

void logVerbose(const std::string &line)
{
    if (s_verbose)
        writeLine(stdout, line);
}

} // namespace varlosim
