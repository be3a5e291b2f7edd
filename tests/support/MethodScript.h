// A script function that calls methods of script objects the way compiled
// scripts do, and keeps what the calls give: each recorded value is appended
// to the array the function returns and printed on a line of its own.
//
//   MethodScript s("MAIN");
//   Opnd xml = s.New("CVMXML");
//   Opnd h = s.Call(xml, "NEWXML", {});
//   Opnd buf = s.Blanks(200);
//   s.Record(s.Call(xml, "GETNODE", {h, VStr("a"), buf, VInt(200)}, 3, buf));
//   s.Record(buf);
//
// An output parameter is taken back from its own slot after the call, as a
// compiled script takes its output parameters.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/ProgramBuilder.h"

class CVmRegisterClass;
class CVmRegisterFunction;

namespace qemtest {

class MethodScript {
public:
    // Starts the function (after a first function holding only a return,
    // the program's start-up code).
    explicit MethodScript(const std::string& function, int locals = 200);

    // A new local holding an object of the class (its factory called by name
    // with the arguments).
    Opnd New(const std::string& className, const std::vector<Opnd>& args = {});
    // A new local holding what the global function answers.
    Opnd Global(const std::string& name, const std::vector<Opnd>& args = {});
    // The same, then each listed parameter (1-based, ascending) is moved into
    // its local, as a compiled script takes its output parameters back.
    Opnd Global(const std::string& name, const std::vector<Opnd>& args, const std::vector<std::pair<int, Opnd>>& outs);
    // object.method(args) into a new local, which is answered; parameter
    // outParam (1-based, 0 for none) is then moved into `out`.
    Opnd Call(const Opnd& object, const std::string& method, const std::vector<Opnd>& args, int outParam = 0,
              const Opnd& out = None());
    // The same, then each listed parameter (1-based, ascending) is moved into
    // its local.
    Opnd Call(const Opnd& object, const std::string& method, const std::vector<Opnd>& args,
              const std::vector<std::pair<int, Opnd>>& outs);
    // A new local holding a copy of v.
    Opnd Local(const Opnd& v);
    // A new local holding n blanks.
    Opnd Blanks(int32_t n);
    // A new local holding the first `count` characters of the text (none for
    // a count below 1).
    Opnd Left(const Opnd& text, const Opnd& count);
    // A new local holding v + n.
    Opnd Plus(const Opnd& v, int32_t n);
    void Record(const Opnd& v);
    void Print(const char* text);

    // Ends the function (it returns its records) and starts the next one,
    // with its own locals and records; its parameters are L(-1), L(-2), ...
    void Then(const std::string& function, int16_t params = 0);

    ProgramBuilder& Builder() { return m_b; }
    // Ends the function (it returns the records) and builds the program.
    std::shared_ptr<VmProgram> Program();
    std::vector<uint8_t> File();

private:
    void Start(const std::string& function, int16_t params);
    // After a call with `count` arguments: the listed parameters into their
    // locals, the others popped.
    void PopOutputs(int32_t count, const std::vector<std::pair<int, Opnd>>& outs);
    Opnd NewLocal();
    void Finish();

    ProgramBuilder m_b;
    int m_locals;
    int m_used = 1;  // L(1) holds the records
    bool m_finished = false;
};

// A script's OnInit that prints "BEGIN" and then a "label value" line for
// each value shown (end-to-end tests compare the output after BEGIN).
struct ScriptTranscript {
    ScriptTranscript() { s.Print("BEGIN\n"); }
    void Show(const std::string& label, const Opnd& value) {
        s.Print((label + " ").c_str());
        s.Record(value);
    }
    MethodScript s{"ONINIT"};
};

// Runs MAIN as `build` writes it in a new machine that registers the classes
// and the function set (null for none), taking them over; the machine's
// output.
std::string RunMain(const std::function<void(MethodScript&)>& build, const std::vector<CVmRegisterClass*>& classes,
                    CVmRegisterFunction* functions = nullptr);

// The text of an output's first error after its prefix, or "".
std::string FirstError(const std::string& output);

// Removes every warning with the text (after its prefix) from the output;
// how many there were.
int StripWarnings(std::string& output, const std::string& text);

}  // namespace qemtest
