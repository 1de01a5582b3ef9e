// A C++ host of the shared library: the header compiles as C++17 and its
// functions link without any of the library's internals.
#include "Varlo.h"

#include <cstdio>

int main()
{
    int calls = 0;
    if (ConnectStateCallback([](bool, void *data) { ++*static_cast<int *>(data); }, &calls) != VARLO_OK)
        return 1;
    if (DisconnectVarlo() != VARLO_OK || calls != 1) {
        std::fprintf(stderr, "DisconnectVarlo did not call the callback once with false\n");
        return 1;
    }
    std::puts("1 passed, 0 failed");
    return 0;
}
