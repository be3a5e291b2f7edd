#include "support/MethodScript.h"

#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "vm/VirtualMachine.h"
#include "vm/VmRegister.h"

namespace qemtest {

MethodScript::MethodScript(const std::string& function, int locals) : m_locals(locals) {
    m_b.Return();
    Start(function, 0);
}

void MethodScript::Start(const std::string& function, int16_t params) {
    m_b.Function(function, params);
    m_b.Emit(OP_RESERVE, I(m_locals));
    m_b.Emit(OP_ARRAY, I(0), None(), L(1));
    m_used = 1;
    m_finished = false;
}

void MethodScript::Then(const std::string& function, int16_t params) {
    Finish();
    Start(function, params);
}

Opnd MethodScript::NewLocal() {
    if (m_used >= m_locals) throw std::length_error("MethodScript: out of locals");
    return L(++m_used);
}

Opnd MethodScript::New(const std::string& className, const std::vector<Opnd>& args) {
    const Opnd object = NewLocal();
    m_b.CallNative(className, args, object);
    return object;
}

Opnd MethodScript::Global(const std::string& name, const std::vector<Opnd>& args) {
    const Opnd result = NewLocal();
    m_b.CallNative(VmUpperName(name.c_str()), args, result);
    return result;
}

Opnd MethodScript::Global(const std::string& name, const std::vector<Opnd>& args,
                          const std::vector<std::pair<int, Opnd>>& outs) {
    const Opnd result = NewLocal();
    for (auto it = args.rbegin(); it != args.rend(); ++it) m_b.Push(*it);
    const int32_t count = static_cast<int32_t>(args.size());
    m_b.Emit(OP_CALL_NATIVE, I(m_b.Native(VmUpperName(name.c_str()))), None(), I(count));
    m_b.Emit(OP_POP_INTO, result);
    PopOutputs(count, outs);
    return result;
}

void MethodScript::PopOutputs(int32_t count, const std::vector<std::pair<int, Opnd>>& outs) {
    // Parameter 1 is on top.
    int32_t next = 1;
    for (const auto& [k, out] : outs) {
        if (k < next || k > count) continue;
        if (k > next) m_b.Emit(OP_POP, I(k - next));
        m_b.Emit(OP_POP_INTO, out);
        next = k + 1;
    }
    if (count >= next) m_b.Emit(OP_POP, I(count - next + 1));
}

Opnd MethodScript::Call(const Opnd& object, const std::string& method, const std::vector<Opnd>& args, int outParam,
                        const Opnd& out) {
    std::vector<std::pair<int, Opnd>> outs;
    if (outParam >= 1) outs.emplace_back(outParam, out);
    return Call(object, method, args, outs);
}

Opnd MethodScript::Call(const Opnd& object, const std::string& method, const std::vector<Opnd>& args,
                        const std::vector<std::pair<int, Opnd>>& outs) {
    const Opnd result = NewLocal();
    for (auto it = args.rbegin(); it != args.rend(); ++it) m_b.Push(*it);
    const int32_t count = static_cast<int32_t>(args.size());
    m_b.Emit(OP_METHOD_CALL, object, I(m_b.MethodName(method)), I(count));
    m_b.Emit(OP_POP_INTO, result);
    PopOutputs(count, outs);
    return result;
}

Opnd MethodScript::Local(const Opnd& v) {
    const Opnd s = NewLocal();
    m_b.Emit(OP_COPY, v, None(), s);
    return s;
}

Opnd MethodScript::Blanks(int32_t n) {
    const Opnd s = NewLocal();
    m_b.Emit(OP_SPACE, VInt(n), None(), s);
    return s;
}

Opnd MethodScript::Left(const Opnd& text, const Opnd& count) {
    const Opnd s = NewLocal();
    m_b.Emit(OP_LEFT, text, count, s);
    return s;
}

Opnd MethodScript::Plus(const Opnd& v, int32_t n) {
    const Opnd s = NewLocal();
    m_b.Emit(OP_ADD, v, VInt(n), s);
    return s;
}

void MethodScript::Record(const Opnd& v) {
    m_b.Emit(OP_ARRAY_APPEND, v, None(), L(1));
    m_b.Emit(OP_OUTPUT, v);
    m_b.Emit(OP_OUTPUT, VStr("\n"));
}

void MethodScript::Print(const char* text) { m_b.Emit(OP_OUTPUT, VStr(text)); }

void MethodScript::Finish() {
    if (m_finished) return;
    m_finished = true;
    m_b.Return(L(1));
}

std::shared_ptr<VmProgram> MethodScript::Program() {
    Finish();
    return m_b.Build();
}

std::vector<uint8_t> MethodScript::File() {
    Finish();
    return m_b.WriteFile();
}

std::string RunMain(const std::function<void(MethodScript&)>& build, const std::vector<CVmRegisterClass*>& classes,
                    CVmRegisterFunction* functions) {
    MethodScript s("MAIN");
    build(s);
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    for (CVmRegisterClass* c : classes) vm.RegisterClass(c);
    if (functions) vm.RegisterFunctions(functions);
    std::shared_ptr<VmProgram> p = s.Program();
    EXPECT_TRUE(p && vm.StartProgram(p));
    vm.CallFunctionByName("MAIN");
    return out.str();
}

std::string FirstError(const std::string& output) {
    const size_t at = output.find("ERROR");
    if (at == std::string::npos) return "";
    const size_t from = output.find("): ", at) + 3;
    return output.substr(from, output.find('\n', from) - from);
}

int StripWarnings(std::string& output, const std::string& text) {
    const std::string warning = "\nVirtualMachine WARNING (line 0): " + text;
    int n = 0;
    for (size_t at; (at = output.find(warning)) != std::string::npos; ++n) output.erase(at, warning.size());
    return n;
}

}  // namespace qemtest
