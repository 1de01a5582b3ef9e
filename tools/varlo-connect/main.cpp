// varlo-connect: connects to a controller, prints the outcome and the robot's
// axis count, and disconnects. Exit status 0 when connected.
//
//   varlo-connect 192.168.1.6
#include "Varlo.h"
#include "api/library.h"

#include <cstdio>
#include <cstring>

static void printConnectionState(bool isConnected, void *)
{
    std::printf("connection state: %s\n", isConnected ? "connected" : "disconnected");
    std::fflush(stdout);
}

int main(int argc, char **argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s ADDRESS\n  connects to the robot controller at ADDRESS and prints the result\n",
                     argv[0]);
        return 2;
    }
    ConnectStateCallback(&printConnectionState, nullptr);
    std::printf("connecting to %s ...\n", argv[1]);
    std::fflush(stdout);
    const int32_t result = ConnectVarlo(argv[1]);
    std::printf("ConnectVarlo(\"%s\") = %d (%s)\n", argv[1], int(result),
                result == VARLO_OK ? "connected" : "no connection");
    std::printf("axis count: %d\n", int(VarloLibrary::axisCount()));
    DisconnectVarlo();
    return result == VARLO_OK ? 0 : 1;
}
