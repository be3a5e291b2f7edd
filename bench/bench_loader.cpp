// Loading a generated 1 MB bytecode file from disk: reading, checking,
// decoding, binding and the start-up run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/SamplePrograms.h"

namespace {

void BM_Load1MB(benchmark::State& state) {
    const std::vector<uint8_t> bytes = qemtest::LargeProgramFile(1 << 20);
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("qem-bench-load-" + std::to_string(std::random_device()()) + ".bin");
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
BENCHMARK(BM_Load1MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
