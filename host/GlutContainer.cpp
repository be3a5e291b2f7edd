#include "GlutContainer.h"

#include <cstdio>

int GlutContainer::DataOut(const char* text) {
    std::printf("<DATAOUT: %s>\n", text ? text : "");
    std::fflush(stdout);
    return 1;
}

int GlutContainer::HostRequest(int, int, int) { return 0; }
