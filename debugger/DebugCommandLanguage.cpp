#include "debugger/DebugCommandLanguage.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include "DebugGrammar.h"
// The scanner's interface names the parser's value type by its plain name.
#define YYSTYPE DEBUGYYSTYPE
#include "DebugScanner.h"
#include "debugger/DebugEvaluator.h"
#include "debugger/DebugSession.h"

int32_t DebugParse(DebugSession& session, int32_t selectedInstruction, CVmValue* selectedFrame,
                   const std::string& line) {
    DebugParseContext context(session, selectedInstruction, selectedFrame);
    context.m_result = kDebugParseResumed;
    yyscan_t scanner;
    if (debugyylex_init_extra(&context, &scanner) != 0) {
        DebugParseError(context, "memory exhausted");
        return kDebugParseExhausted;
    }
    YY_BUFFER_STATE buffer = debugyy_scan_bytes(line.data(), static_cast<int>(line.size()), scanner);
    const int parsed = debugyyparse(scanner, &context);
    debugyy_delete_buffer(buffer, scanner);
    debugyylex_destroy(scanner);
    return parsed == 0 ? context.m_result : parsed;
}

void DebugParseError(DebugParseContext& context, const char* message) { context.Reply(message); }

int32_t DebugCommandNumber(double n) {
    if (!(n == n)) return 0;
    if (n >= 2147483647.0) return 2147483647;
    if (n <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(n);
}

void DebugBadCharacter(void* context, const char* text, bool atLine) {
    static_cast<DebugParseContext*>(context)->BadCharacter(text, atLine);
}

void DebugParseContext::BadCharacter(const char* text, bool inCommandNumber) {
    Reply(std::string("bad input character '") + text + (inCommandNumber ? "' at line" : "'"));
    if (inCommandNumber) m_refused = true;
}

void DebugParseContext::Break(const std::string& file, double line) {
    if (m_refused) return;
    const bool whole = line == std::floor(line) && line >= -2147483648.0 && line <= 2147483647.0;
    if (whole && m_session.AddBreakpoint(file, static_cast<int32_t>(line))) return;
    std::ostringstream text;
    text.precision(0);
    text << "breakpoint refused: no code at " << file << ":" << std::fixed << line;
    Reply(text.str());
}

// ---------------------------------------------------------------------------
// Expression actions

DebugParseContext::~DebugParseContext() {
    for (std::vector<CVmValue*>& list : m_argumentLists)
        for (CVmValue* v : list) delete v;
}

void DebugParseContext::Reply(const std::string& text) { m_session.SendText(text); }

namespace {

// Releases the values an action was given, on every path out of it.
class Owned {
public:
    Owned(std::initializer_list<CVmValue*> values) : m_values(values) {}
    ~Owned() {
        for (CVmValue* v : m_values) delete v;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

private:
    std::vector<CVmValue*> m_values;
};

CVmValue* NewReal(float f) {
    CVmValue* v = new CVmValue();
    v->SetReal(f);
    return v;
}

}  // namespace

CVmValue* DebugParseContext::Binary(int opcode, CVmValue* left, CVmValue* right) {
    Owned owned{left, right};
    return DebugEvalBinary(left, right, opcode);
}

CVmValue* DebugParseContext::Unary(int opcode, CVmValue* operand) {
    Owned owned{operand};
    return DebugEvalUnary(operand, opcode);
}

CVmValue* DebugParseContext::ArraySize(CVmValue* operand) {
    Owned owned{operand};
    return DebugEvalArraySize(operand);
}

CVmValue* DebugParseContext::Compare(int opcode, CVmValue* left, CVmValue* right) {
    Owned owned{left, right};
    return DebugEvalCompare(left, right, opcode);
}

CVmValue* DebugParseContext::And(CVmValue* left, CVmValue* right) {
    Owned owned{left, right};
    return DebugEvalAnd(left, right);
}

CVmValue* DebugParseContext::Or(CVmValue* left, CVmValue* right) {
    Owned owned{left, right};
    return DebugEvalOr(left, right);
}

CVmValue* DebugParseContext::Conditional(CVmValue* condition, CVmValue* whenTrue, CVmValue* whenFalse) {
    Owned owned{condition};
    if (!condition || condition->type != VmValueType::Bool) {
        delete whenTrue;
        delete whenFalse;
        return nullptr;
    }
    if (condition->asBool) {
        delete whenFalse;
        return whenTrue;
    }
    delete whenTrue;
    return whenFalse;
}

bool DebugParseContext::Index(CVmValue* container, CVmValue* index, CVmValue** out) {
    Owned owned{container, index};
    *out = nullptr;
    if (!index || index->type != VmValueType::Integer) {
        Reply("arrays and vectors needs to accessed by an integer");
        return false;
    }
    const int32_t i = index->asInt;
    if (container && container->type == VmValueType::Vector) {
        *out = NewReal(container->asVector->GetAt(i));
        return true;
    }
    if (container && container->type == VmValueType::Array) {
        // An element that does not exist has no value: a failed evaluation.
        const CVmValue* element = container->asArray ? container->asArray->GetAt(i) : nullptr;
        if (element) *out = new CVmValue(*element);
        return true;
    }
    Reply("only arrays and vectors can be accessed via an index");
    return false;
}

bool DebugParseContext::Member(CVmValue* object, CVmValue* name, CVmValue** out) {
    Owned owned{object, name};
    *out = nullptr;
    if (!object || object->type != VmValueType::Object || !object->asObject) {
        Reply("invalid object");
        return false;
    }
    std::unique_ptr<CVmValue> member = m_session.GetMember(*object, name->asString->CStr());
    if (!member) {
        Reply("<variable not found>");
        return false;
    }
    *out = member.release();
    return true;
}

bool DebugParseContext::Variable(CVmValue* name, CVmValue** out) {
    Owned owned{name};
    *out = nullptr;
    const std::string text(name->asString->CStr(), static_cast<size_t>(name->asString->Length()));
    DebugValueRef p = m_session.ResolveVariableAt(text, m_instruction, m_frame);
    const CVmValue* found = p.value;
    if (!found && m_session.Machine()) found = m_session.Machine()->FindConstant(text.c_str());
    if (!found) {
        Reply(text + ":<variable not found / optimized away>");
        return false;
    }
    *out = new CVmValue(*found);
    return true;
}

void DebugParseContext::PushArguments() { m_argumentLists.emplace_back(); }

void DebugParseContext::AppendArgument(CVmValue* value) {
    if (m_argumentLists.empty()) m_argumentLists.emplace_back();
    m_argumentLists.back().push_back(value);
}

std::vector<CVmValue*> DebugParseContext::TakeArguments(bool withArguments) {
    std::vector<CVmValue*> list;
    if (withArguments && !m_argumentLists.empty()) {
        list = std::move(m_argumentLists.back());
        m_argumentLists.pop_back();
    }
    return list;
}

CVmValue* DebugParseContext::Call(CVmValue* name, bool withArguments) {
    Owned owned{name};
    std::vector<CVmValue*> arguments = TakeArguments(withArguments);
    std::unique_ptr<CVmValue> result = m_session.CallExpression(*name, arguments);
    for (CVmValue* v : arguments) delete v;
    return result.release();
}

CVmValue* DebugParseContext::ArrayLiteral(bool withArguments) {
    std::vector<CVmValue*> items = TakeArguments(withArguments);
    CVmValue* result = DebugArrayLiteral(items);
    for (CVmValue* v : items) delete v;
    return result;
}

CVmValue* DebugParseContext::VectorLiteral(bool withArguments) {
    std::vector<CVmValue*> items = TakeArguments(withArguments);
    CVmValue* result = DebugVectorLiteral(items);
    for (CVmValue* v : items) delete v;
    return result;
}

void DebugParseContext::Print(CVmValue* value) {
    Owned owned{value};
    if (!value) {
        Reply("<evaluation error>");
        return;
    }
    std::ostringstream text;
    text << value;
    Reply(text.str());
}
