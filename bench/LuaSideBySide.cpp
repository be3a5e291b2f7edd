#include "LuaSideBySide.h"

#include <cstdio>
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
            m_seconds[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
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
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
