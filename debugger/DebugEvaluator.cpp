#include "debugger/DebugEvaluator.h"

#include <cstring>

// ---------------------------------------------------------------------------
// The interpreter machine

InterpreterVM& InterpreterVM::Instance() {
    static InterpreterVM* instance = [] {
        // Making a machine makes it the current one; the script's machine
        // stays current.
        CVirtualMachine* current = g_currentVM;
        InterpreterVM* vm = new InterpreterVM();
        g_currentVM = current;
        return vm;
    }();
    return *instance;
}

InterpreterVM::InterpreterVM() : CVirtualMachine(false, 0, -1, -1, nullptr), m_scratch(std::make_shared<VmProgram>()) {
    m_jumpScratch.SetInteger(0);
    m_scratch->code.resize(1);
    m_scratch->globals.resize(3);
    // A jump to instruction 0 lands inside the code.
    BorrowProgram(m_scratch);
}

void InterpreterVM::ReportTypeMismatch(const CVmValue*, const CVmValue*, const CVmValue*) { m_evaluationFailed = true; }

void InterpreterVM::ClearOperands() {
    for (CVmValue& g : m_scratch->globals) g.SetVoid();
}

bool InterpreterVM::RunInstruction(int opcode, const CVmValue* a, const CVmValue* b, const CVmValue& t) {
    // Mode 7: operands 1, 2 and 3 are globals 0, 1 and 2.
    int32_t fields[32] = {};
    fields[8] = 0;
    fields[10] = 1;
    fields[12] = 2;
    m_scratch->code[0].Set(opcode, 7, fields);
    CVmValue* g = Globals();
    g[0].Assign(*a);
    if (b)
        g[1].Assign(*b);
    else
        g[1].SetVoid();
    g[2].Assign(t);
    m_evaluationFailed = false;
    SetNextInstruction(0);
    StepInstruction();
    // Errors the handler reported went to the output; they do not make the
    // evaluation fail and are not kept.
    ClearError();
    return !m_evaluationFailed;
}

CVmValue* InterpreterVM::Evaluate(int opcode, const CVmValue* a, const CVmValue* b) {
    std::lock_guard<std::mutex> lock(m_lock);
    CVmValue* result = nullptr;
    if (RunInstruction(opcode, a, b, CVmValue())) {
        result = new CVmValue();
        result->Move(Globals()[2]);
    }
    ClearOperands();
    return result;
}

int InterpreterVM::EvaluateJump(int opcode, const CVmValue* a, const CVmValue* b) {
    std::lock_guard<std::mutex> lock(m_lock);
    const bool ok = RunInstruction(opcode, a, b, m_jumpScratch);
    // The run moved on to instruction 1 unless the jump went back to 0.
    const int taken = NextInstruction() == 0 ? 1 : 0;
    ClearOperands();
    return ok ? taken : -1;
}

// ---------------------------------------------------------------------------
// Operators

CVmValue* DebugEvalBinary(const CVmValue* left, const CVmValue* right, int opcode) {
    if (!left || !right) return nullptr;
    return InterpreterVM::Instance().Evaluate(opcode, left, right);
}

CVmValue* DebugEvalUnary(const CVmValue* operand, int opcode) {
    if (!operand) return nullptr;
    return InterpreterVM::Instance().Evaluate(opcode, operand, nullptr);
}

CVmValue* DebugEvalCompare(const CVmValue* left, const CVmValue* right, int opcode) {
    if (!left || !right) return nullptr;
    const int taken = InterpreterVM::Instance().EvaluateJump(opcode, left, right);
    if (taken < 0) return nullptr;
    CVmValue* result = new CVmValue();
    result->SetBool(taken == 1);
    return result;
}

namespace {

bool BothBool(const CVmValue* a, const CVmValue* b) {
    return a && b && a->type == VmValueType::Bool && b->type == VmValueType::Bool;
}

CVmValue* NewBool(bool v) {
    CVmValue* result = new CVmValue();
    result->SetBool(v);
    return result;
}

}  // namespace

CVmValue* DebugEvalAnd(const CVmValue* left, const CVmValue* right) {
    if (!BothBool(left, right)) return nullptr;
    return NewBool(left->asBool && right->asBool);
}

CVmValue* DebugEvalOr(const CVmValue* left, const CVmValue* right) {
    if (!BothBool(left, right)) return nullptr;
    return NewBool(left->asBool || right->asBool);
}

CVmValue* DebugEvalArraySize(const CVmValue* operand) {
    if (!operand) return nullptr;
    int32_t n;
    if (operand->type == VmValueType::Array)
        n = operand->asArray ? operand->asArray->count : 0;
    else if (operand->type == VmValueType::Vector)
        n = operand->asVector->count;
    else
        return nullptr;
    CVmValue* result = new CVmValue();
    result->SetInteger(n);
    return result;
}

// ---------------------------------------------------------------------------
// Literals

namespace {

bool AnyFailed(const std::vector<CVmValue*>& items) {
    for (const CVmValue* item : items)
        if (!item) return true;
    return false;
}

}  // namespace

// A literal with a failed argument fails as a whole.
CVmValue* DebugArrayLiteral(const std::vector<CVmValue*>& items) {
    if (AnyFailed(items)) return nullptr;
    CVmValue* result = new CVmValue();
    result->SetArray(new CVmArray());
    for (const CVmValue* item : items) result->asArray->Append(*item);
    return result;
}

CVmValue* DebugVectorLiteral(const std::vector<CVmValue*>& items) {
    if (AnyFailed(items)) return nullptr;
    std::vector<float> values(items.size(), 0.0f);
    for (size_t i = 0; i < items.size(); ++i) {
        const CVmValue* item = items[i];
        if (item->type == VmValueType::Real)
            values[i] = item->asReal;
        else if (item->type == VmValueType::Integer)
            values[i] = static_cast<float>(item->asInt);
    }
    CVmValue* result = new CVmValue();
    result->SetVector(values.data(), static_cast<int32_t>(values.size()));
    return result;
}

// ---------------------------------------------------------------------------
// Native calls for the engine machine

CVmValue* DebugCallNative(CVirtualMachine& machine, const char* allowedName, const CVmValue* name,
                          const CVmArray* arguments) {
    if (!name || name->type != VmValueType::String || !allowedName) return nullptr;
    if (VmUpperName(name->asString->CStr()) != VmUpperName(allowedName)) return nullptr;
    if (arguments)
        for (int32_t i = 0; i < arguments->count; ++i) machine.AddArgValue(arguments->items[i]);
    const CVirtualMachine::RunFlags flags = machine.SaveRunFlags();
    machine.SetErrorFlag(false);
    CVmValue* value = machine.CallNativeFunction(allowedName);
    CVmValue* result = value ? new CVmValue(*value) : nullptr;
    machine.RestoreRunFlags(flags);
    return result;
}
