// The programs of bench_vm run the way a user runs them: qem running a
// script whose OnInit writes a marker, runs the program and writes another,
// beside the Lua 5.4 interpreter running the same program between the same
// markers. The time is taken between the markers as they reach this
// process. qem needs a display (run under xvfb-run).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "BenchPrograms.h"
#include "LuaSideBySide.h"

extern char** environ;

using namespace qemtest;

namespace {

using Clock = std::chrono::steady_clock;

// Runs the command until its output holds "END\n" and answers the seconds
// from its "BEGIN\n" to that; the output goes to *output. The program is
// ended afterwards.
double SecondsBetweenMarkers(std::vector<std::string> args, std::string* output) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start " + args[0]);
    }
    std::string out;
    Clock::time_point begin{}, end{};
    const Clock::time_point limit = Clock::now() + std::chrono::minutes(2);
    while (end == Clock::time_point{} && Clock::now() < limit) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) continue;
        char buf[4096];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        const Clock::time_point now = Clock::now();
        out.append(buf, static_cast<size_t>(n));
        if (begin == Clock::time_point{} && out.find("BEGIN\n") != std::string::npos) begin = now;
        if (begin != Clock::time_point{} && out.find("END\n") != std::string::npos) end = now;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    *output = out;
    if (end == Clock::time_point{}) throw std::runtime_error(args[0] + " gave no END marker:\n" + out);
    return std::chrono::duration<double>(end - begin).count();
}

std::filesystem::path TempFile(const std::string& stem) {
    return std::filesystem::temp_directory_path() / (stem + std::to_string(std::random_device()()));
}

void RunThroughQem(benchmark::State& state, const BenchProgram& program) {
    ProgramBuilder b;
    b.Return();
    program.build(b);
    b.Function("ONINIT", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_OUTPUT, VStr("BEGIN\n"));
    b.CallScript("RUN", {}, L(1));
    b.Emit(OP_OUTPUT, L(1));
    b.Emit(OP_OUTPUT, VStr("\nEND\n"));
    b.Return();
    const std::filesystem::path path = TempFile("qem-bench-").string() + ".bin";
    const std::vector<uint8_t> bytes = b.WriteFile();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    for (auto _ : state) {
        std::string out;
        state.SetIterationTime(SecondsBetweenMarkers({QEM_PROGRAM, path.string(), "-w", "64", "-h", "64"}, &out));
        if (out.find("BEGIN\n" + std::to_string(program.expected) + "\nEND\n") == std::string::npos)
            throw std::runtime_error("wrong result:\n" + out);
    }
    std::filesystem::remove(path);
}

void RunThroughLua(benchmark::State& state, const BenchProgram& program) {
    const std::filesystem::path path = TempFile("lua-bench-").string() + ".lua";
    std::ofstream(path) << program.lua << "\nio.write('BEGIN\\n') io.flush()\nlocal r = run()\n"
                        << "io.write(tostring(r), '\\nEND\\n') io.flush()\n";
    for (auto _ : state) {
        std::string out;
        state.SetIterationTime(SecondsBetweenMarkers({LUA_PROGRAM, path.string()}, &out));
    }
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::printf("bench_qem: no display; run it under xvfb-run.\n");
        return 0;
    }
    for (const BenchProgram& p : BenchPrograms()) {
        benchmark::RegisterBenchmark((std::string("BM_") + p.name + "_Qem").c_str(),
                                     [&p](benchmark::State& state) { RunThroughQem(state, p); })
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_") + p.name + "_Lua").c_str(),
                                     [&p](benchmark::State& state) { RunThroughLua(state, p); })
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
    return SideBySideMain(argc, argv);
}
