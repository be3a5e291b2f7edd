// Runs arbitrary bytes as a debugger command line (as the command channel
// hands one over: up to its first LF) against a session whose selected frame
// holds a parameter and a local. Every line must end with one of the four
// parse results, without a crash or a leak, whatever it asks for.
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <string>

#include "debugger/DebugCommandLanguage.h"
#include "debugger/DebugInfo.h"
#include "debugger/DebugSession.h"
#include "vm/VirtualMachine.h"

namespace {

class NoCommands : public DebugCommandChannel {
public:
    bool ReadCommand(std::string&) override { return false; }
    const std::list<std::string>& TakeAllCommands() override { return m_none; }
    void SendJson(const Json::Value&) override {}
    void SendText(const std::string&) override {}
    void SendOutput(const std::string&) override {}

private:
    std::list<std::string> m_none;
};

class NoEvents : public DebugEventChannel {
protected:
    void WriteEvent(const std::string&) override {}
};

// main.qsx: f(b) on lines 2 to 4 at instructions 1 to 9, with the local z;
// the globals g and arr.
const char* const kModel = R"({
  "filenames": ["main.qsx"],
  "filetables": [{"offsets": [{"startoffset": 0, "endoffset": 9}],
                  "code": [{"line": 1, "offset": 0}, {"line": 2, "offset": 1}, {"line": 3, "offset": 4},
                           {"line": 4, "offset": 7}]}],
  "classdeclarations": [],
  "filescopes": [{"type": "global", "startLine": 1, "endLine": 4,
                  "variables": [{"name": "g", "offset": 1, "line": 0}, {"name": "arr", "offset": 2, "line": 0},
                                {"name": "bad", "offset": 99, "line": 0}],
                  "scopes": [{"type": "function", "functionname": "f", "params": 1, "startLine": 2, "endLine": 4,
                              "variables": [{"name": "b", "offset": -1, "line": 2}, {"name": "z", "offset": 1, "line": 2},
                                            {"name": "far", "offset": 500, "line": 2}],
                              "scopes": []}]}]
})";

struct Stopped {
    CVirtualMachine vm;
    std::unique_ptr<DebugInfo> model;
    std::unique_ptr<DebugSession> session;
    CVmValue* frame = nullptr;

    Stopped() {
        auto program = std::make_shared<VmProgram>();
        program->code.resize(10);
        program->globals.resize(2);
        program->globals[0].SetInteger(7);
        program->globals[1].SetArray(new CVmArray(3));
        program->globals[1].asArray->Append(program->globals[1]);  // holds itself
        vm.BorrowProgram(program);
        m_program = program;
        model = ParseDebugInfo(kModel);
        session = std::make_unique<DebugSession>(&vm, model.get(), std::make_unique<NoCommands>(),
                                                 std::make_unique<NoEvents>());
        // A frame of f: parameter b, the marker, local z.
        CVmValue v;
        v.SetInteger(3);
        vm.Push(v);
        v.SetStatus(-1, 0, 1);
        vm.Push(v);
        frame = vm.Top();
        v.SetReal(6.5f);
        vm.Push(v);
    }

    std::shared_ptr<VmProgram> m_program;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Stopped* stopped = new Stopped();
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\n'));
    const int32_t result = DebugParse(*stopped->session, 5, stopped->frame, line + "\r\n");
    if (result != kDebugParseResumed && result != kDebugParseDone && result != kDebugParseError &&
        result != kDebugParseExhausted) {
        std::fprintf(stderr, "fuzz_debug_command: parse result %d\n", result);
        std::abort();
    }
    return 0;
}
