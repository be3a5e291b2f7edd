// The programs the machine is measured on beside Lua 5.4: each one as a
// script function RUN (no parameters) that answers a known Integer, and as
// a Lua chunk that defines run().
#pragma once

#include <cstdint>
#include <vector>

#include "support/ProgramBuilder.h"

struct BenchProgram {
    const char* name;
    // Adds RUN and what it calls (after the start-up code).
    void (*build)(qemtest::ProgramBuilder& b);
    int32_t expected;
    const char* lua;
};

const std::vector<BenchProgram>& BenchPrograms();
