// Loads arbitrary bytes as a bytecode file, then loads a sound program into
// the same machine. A load either fails with its message or binds the
// program and runs its start-up code, which the bytes may well make loop
// forever: a step budget ends that run. Imports of "module.bin" load the
// sample module; other paths do not open.
//
// The bytes then load once more into a machine without a step hook, so that
// the code runs the fast way (its specialised and fused handlers, frames
// checked once per call), with its functions called by the host; a stop
// requested after a while ends what loops.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "support/SamplePrograms.h"

namespace {

int g_steps = 0;

void CountStep(int32_t, CVirtualMachine* vm) {
    if (--g_steps < 0) vm->SetStopFlag(true);
}

// Requests a stop of the machine unless it is gone within the time.
class Watchdog {
public:
    explicit Watchdog(CVirtualMachine& vm)
        : m_thread([this, &vm] {
              std::unique_lock<std::mutex> lock(m_lock);
              if (!m_ended.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_done; })) vm.RequestStop();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_ended.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> sample = qemtest::SampleProgramFile();
    static const std::vector<uint8_t> module = qemtest::SampleModuleFile();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ostream discard(nullptr);
    {
        qemtest::MemoryFileMachine vm;
        vm.SetOutputStream(&discard, false);
        vm.SetStepHook(&CountStep);
        vm.files["module.bin"] = module;
        vm.files["main.bin"] = sample;
        std::istringstream in(bytes, std::ios::binary);
        g_steps = 2000;
        vm.LoadFromStream(in, "fuzz.bin");
        g_steps = 2000;
        vm.Load("main.bin");
    }
    qemtest::MemoryFileMachine vm;
    vm.SetOutputStream(&discard, false);
    vm.files["module.bin"] = module;
    Watchdog watchdog(vm);
    std::istringstream in(bytes, std::ios::binary);
    if (!vm.LoadFromStream(in, "fuzz.bin") || !vm.Program()) return 0;
    const int32_t functions = static_cast<int32_t>(vm.Program()->functions.size());
    for (int32_t f = 0; f < functions && f < 8; ++f) {
        vm.ClearError();
        vm.AddArgInteger(f);
        vm.CallFunction(f);
    }
    return 0;
}
