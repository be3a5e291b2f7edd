// Runs Lua 5.4 programs beside the machine's in one benchmark program, and
// prints the time ratio of each pair at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

// Runs the Lua chunk once per iteration; the chunk must define a global
// function "run" that does the work.
void RunLuaBenchmark(benchmark::State& state, const std::string& chunk);

// Main for a side-by-side benchmark program: runs everything, then for each
// pair named BM_<X>_Qem / BM_<X>_Lua prints "<X>: qem/lua = r".
int SideBySideMain(int argc, char** argv);
