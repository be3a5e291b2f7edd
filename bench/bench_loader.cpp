// Loading a generated 1 MB bytecode file from disk (reading, checking,
// decoding, linking, binding and the start-up run) beside Lua 5.4 loading a
// precompiled chunk of about the same size and content.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "LuaSideBySide.h"
#include "support/SamplePrograms.h"

namespace {

constexpr size_t kBytes = 1 << 20;

std::filesystem::path TempFile(const char* stem) {
    return std::filesystem::temp_directory_path() / (stem + std::to_string(std::random_device()()) + ".bin");
}

void BM_Load1MB_Qem(benchmark::State& state) {
    const std::vector<uint8_t> bytes = qemtest::LargeProgramFile(kBytes);
    const std::filesystem::path path = TempFile("qem-bench-load-");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ostringstream out;
    CVirtualMachine vm;
    vm.RegisterFunctions(new qemtest::SampleFunctions());
    vm.SetOutputStream(&out, false);
    for (auto _ : state) {
        if (!vm.Load(path.string())) throw std::runtime_error("load failed: " + out.str());
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["instructions"] = vm.CodeCount();
}
BENCHMARK(BM_Load1MB_Qem)->Unit(benchmark::kMillisecond);

// The same kind of functions as LargeProgramFile's: a loop with arithmetic,
// a string constant, a global and a call of a host function, compiled and
// dumped. Every function dumps to about the same size: a probe of a few
// gives the count that fills kBytes.
std::string LuaChunk(int count) {
    std::ostringstream source;
    source << "local g, testadd = {}, function(a, b) return a + b end\n";
    for (int f = 0; f < count; ++f) {
        source << "function F" << f << "(a, b)\n"
               << "  local i, r, s = 0, 0, nil\n"
               << "  while i < a do\n"
               << "    r = i + b; local x = r * 1.5\n"
               << "    s = 'constant string " << f % 200 << "' .. 'suffix'\n"
               << "    g[" << f % 100 << "] = x\n"
               << "    r = testadd(i, " << f << ")\n"
               << "    i = i + 1\n"
               << "  end\n"
               << "  return r\n"
               << "end\n";
    }
    const std::string text = source.str();
    lua_State* L = luaL_newstate();
    if (luaL_loadbuffer(L, text.data(), text.size(), "chunk") != LUA_OK) throw std::runtime_error("lua source");
    std::string chunk;
    lua_dump(
        L,
        [](lua_State*, const void* p, size_t n, void* ud) {
            static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
            return 0;
        },
        &chunk, 0);
    lua_close(L);
    return chunk;
}

std::string LuaChunkOfSize(size_t bytes) {
    constexpr int kProbe = 256;
    const size_t perFunction = LuaChunk(kProbe).size() / kProbe;
    return LuaChunk(static_cast<int>(bytes / perFunction));
}

void BM_Load1MB_Lua(benchmark::State& state) {
    const std::string chunk = LuaChunkOfSize(kBytes);
    const std::filesystem::path path = TempFile("lua-bench-load-");
    std::ofstream(path, std::ios::binary).write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    lua_State* L = luaL_newstate();
    for (auto _ : state) {
        if (luaL_loadfile(L, path.string().c_str()) != LUA_OK) throw std::runtime_error(lua_tostring(L, -1));
        lua_pop(L, 1);
        lua_gc(L, LUA_GCCOLLECT);
    }
    lua_close(L);
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(chunk.size()));
}
BENCHMARK(BM_Load1MB_Lua)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return SideBySideMain(argc, argv); }
