/* A plain C host: the public header compiles as C11 and the shared library
 * links and answers from C. Record layouts are checked by the header itself. */
#include "Varlo.h"

#include <stdio.h>

static void onConnection(bool isConnected, void *userData)
{
    (void)isConnected;
    (void)userData;
}

int main(void)
{
    if (ConnectStateCallback(NULL, NULL) != VARLO_INVALID_ARGUMENT) {
        fprintf(stderr, "ConnectStateCallback(NULL) did not refuse the null callback\n");
        return 1;
    }
    if (ConnectStateCallback(&onConnection, NULL) != VARLO_OK) {
        fprintf(stderr, "ConnectStateCallback failed\n");
        return 1;
    }
    if (DisconnectVarlo() != VARLO_OK) {
        fprintf(stderr, "DisconnectVarlo failed\n");
        return 1;
    }
    puts("1 passed, 0 failed");
    return 0;
}
