#include "LuaSideBySide.h"

#include <cstdio>
#include <string>
#include <vector>
#include <map>
#include <stdexcept>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

void RunLuaBenchmark(benchmark::State& state, const std::string& chunk) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (luaL_dostring(L, chunk.c_str()) != LUA_OK) throw std::runtime_error(lua_tostring(L, -1));
    for (auto _ : state) {
        lua_getglobal(L, "run");
        if (lua_pcall(L, 0, 1, 0) != LUA_OK) throw std::runtime_error(lua_tostring(L, -1));
        lua_pop(L, 1);
    }
    lua_close(L);
}

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            // The fastest repetition: the least disturbed by other work.
            const std::string name = r.run_name.function_name;
            const double seconds = r.real_accumulated_time / static_cast<double>(r.iterations);
            auto it = m_seconds.find(name);
            if (it == m_seconds.end() || seconds < it->second) m_seconds[name] = seconds;
        }
    }
    void PrintRatios() const {
        std::printf("\nqem time / Lua 5.4 time (below 1 is faster than Lua):\n");
        for (const auto& [name, seconds] : m_seconds) {
            const std::string suffix = "_Qem";
            const size_t at = name.find(suffix);
            if (at == std::string::npos) continue;
            std::string lua = name;
            lua.replace(at, suffix.size(), "_Lua");
            auto it = m_seconds.find(lua);
            if (it == m_seconds.end()) continue;
            std::printf("  %-40s %.2f\n", name.substr(0, at).c_str(), seconds / it->second);
        }
    }

private:
    std::map<std::string, double> m_seconds;
};

}  // namespace

int SideBySideMain(int argc, char** argv) {
    // Three repetitions unless asked otherwise; the ratios use the fastest.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    bool given = false;
    for (int i = 1; i < argc; ++i) given = given || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!given) args.push_back(&repetitions[0]);
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
