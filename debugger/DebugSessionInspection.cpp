// The session's inspection: variables resolved through the lexical scopes of
// the debug information, members read through their class, the script-side
// call of watch expressions, and the stack frames of the backtrace reply.
#include <algorithm>
#include <sstream>

#include "debugger/DebugJson.h"
#include "debugger/DebugSession.h"

namespace {

// Deepest nesting of members and elements listed in a backtrace reply.
constexpr size_t kMaxListedNesting = 32;

std::string TextOf(const CVmValue& v) {
    std::ostringstream text;
    text << &v;
    return text.str();
}

std::string UpperAscii(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

}  // namespace

// Getters and calls made for inspection run on the script's machine; this
// keeps everything the script will see afterwards as it was: its error and
// stop flags, the stack top, the current machine, and the code (the traps
// are lifted meanwhile, so script code run by a getter runs whole, and the
// session ignores polls until the inspection ends).
class DebugSession::Inspection {
public:
    explicit Inspection(DebugSession& session)
        : m_session(session),
          m_machine(*session.m_machine),
          m_flags(m_machine.SaveRunFlags()),
          m_top(m_machine.Top()),
          m_current(g_currentVM) {
        g_currentVM = &m_machine;
        m_machine.SetErrorFlag(false);
        m_machine.SetStopFlag(false);
        m_machine.SetEvaluating(true);
        ++m_session.m_inspecting;
        for (const auto& entry : m_session.m_breakpoints) {
            if (m_session.IsTrapAt(entry.first)) {
                m_session.RestoreInstruction(entry.first, entry.second);
                m_lifted.push_back(entry.first);
            }
        }
    }
    ~Inspection() {
        for (const int32_t index : m_lifted)
            if (m_session.m_breakpoints.count(index)) m_machine.Code()[index] = m_session.m_trap;
        --m_session.m_inspecting;
        if (m_machine.Top() > m_top) m_machine.PopTo(m_top);
        m_machine.RestoreRunFlags(m_flags);
        g_currentVM = m_current;
    }
    Inspection(const Inspection&) = delete;
    Inspection& operator=(const Inspection&) = delete;

    // Whether the work done meanwhile reported an error.
    bool Failed() const { return m_machine.HasError(); }

private:
    DebugSession& m_session;
    CVirtualMachine& m_machine;
    const CVirtualMachine::RunFlags m_flags;
    CVmValue* m_top;
    CVirtualMachine* m_current;
    std::vector<int32_t> m_lifted;
};

void DebugSession::SendText(const std::string& text) {
    if (m_commands) m_commands->SendText(text);
}

void DebugSession::SendJson(const Json::Value& value) {
    if (m_commands) m_commands->SendJson(value);
}

// ---------------------------------------------------------------------------
// Members and calls

std::unique_ptr<CVmValue> DebugSession::GetMember(const CVmValue& object, const std::string& name) {
    if (!m_machine || object.type != VmValueType::Object || !object.asObject) return nullptr;
    // Held for the time of the read.
    CVmValue hold(object);
    CVmClassBase* o = hold.asObject;
    CVmRegisterClass* registration = o->m_registration ? o->m_registration : m_machine->FindClass(o->ClassName());
    if (!registration) return nullptr;
    Inspection inspection(*this);
    bool found = false;
    std::unique_ptr<CVmValue> value(registration->GetMemberByName(o, UpperAscii(name).c_str(), &found));
    // A getter that reported an error found nothing.
    if (!found || inspection.Failed()) return nullptr;
    return value;
}

std::unique_ptr<CVmValue> DebugSession::CallExpression(const CVmValue& name, const std::vector<CVmValue*>& arguments) {
    std::unique_ptr<CVmValue> result;
    if (m_machine) {
        CVmArray list;
        for (const CVmValue* v : arguments) list.Append(v ? *v : CVmValue());
        Inspection inspection(*this);
        // The machine's call gives a value that the caller owns.
        result.reset(m_machine->EvaluateExpression(&name, &list));
    }
    if (!result) {
        result = std::make_unique<CVmValue>();
        result->SetString("** ERROR WHILE INTERPRETING THE EXPRESSION **");
    }
    return result;
}

// ---------------------------------------------------------------------------
// Variables

DebugValueRef DebugSession::ResolveVariableAt(const std::string& name, int32_t instruction, CVmValue* frame) {
    if (!m_model || !m_machine || instruction < 0 || instruction >= m_machine->CodeCount()) return {};
    const DebugLexicalScope* scope = m_model->ScopeAt(instruction);
    if (!scope) return {};
    const int32_t line = m_model->LocationOf(instruction, true).line;
    return ResolveVariable(name, scope, frame, line);
}

DebugValueRef DebugSession::GlobalSlot(const DebugVariable& v) {
    const int32_t g = v.offset - 1;
    if (g < 0 || g >= m_machine->GlobalCount()) return {};
    return DebugValueRef::Live(m_machine->Globals() + g);
}

DebugValueRef DebugSession::LocalSlot(const DebugVariable& v, CVmValue* frame, int32_t line) {
    if (v.offset > 0 && v.opt && !v.isStatic && !v.isGlobal) return {};  // optimized away
    // Not yet declared at this line.
    if (static_cast<uint32_t>(line) <= static_cast<uint32_t>(v.line)) return {};
    if (v.isStatic || v.isGlobal) return GlobalSlot(v);
    if (!frame) return {};
    const int64_t slot = (frame - m_machine->StackBase()) + static_cast<int64_t>(v.offset);
    if (slot < 0 || slot > m_machine->Top() - m_machine->StackBase()) return {};
    return DebugValueRef::Live(m_machine->StackBase() + slot);
}

DebugValueRef DebugSession::GlobalByName(const std::string& name) {
    // The first file that declares the name gives its slot.
    for (const auto& fileScope : m_model->FileScopes()) {
        if (const DebugVariable* v = fileScope->FindVariable(name)) return GlobalSlot(*v);
    }
    return {};
}

DebugValueRef DebugSession::ResolveVariable(const std::string& name, const DebugLexicalScope* scope,
                                            CVmValue* frame, int32_t line) {
    if (!m_model || !m_machine || !scope) return {};
    const DebugVariable* v = scope->FindVariable(name);
    while (!scope->IsGlobal()) {
        if (scope->IsFunction() || scope->IsBlock()) {
            if (v) return LocalSlot(*v, frame, line);
            scope = scope->GetParent();
            if (!scope) return {};
            v = scope->FindVariable(name);
            continue;
        }
        if (!scope->IsMethod()) return {};
        if (v && v->offset > 0 && v->opt && !v->isStatic && !v->isGlobal) return {};
        CVmValue* self = nullptr;
        if (frame && frame - 1 >= m_machine->StackBase()) self = frame - 1;
        if (name == "THIS") return self ? DebugValueRef::Live(self) : DebugValueRef();
        if (v) return LocalSlot(*v, frame, line);
        // A member of the object the method runs on.
        if (self && self->type == VmValueType::Object) {
            if (std::unique_ptr<CVmValue> member = GetMember(*self, name))
                return DebugValueRef::Fresh(std::move(member));
        }
        scope = scope->GetParent();
        if (!scope) return {};
        v = scope->FindVariable(name);
    }
    return GlobalByName(name);
}

// ---------------------------------------------------------------------------
// Stack frames

void DebugSession::SendStackFrames() { SendJson(StackFrames()); }

Json::Value DebugSession::StackFrames() {
    Json::Value root;  // null until the first frame
    if (!m_machine || !m_model) return root;
    int32_t instruction = m_machine->CurrentInstruction();
    CVmValue* frame = m_machine->FrameBase();
    while (instruction > 0 && instruction < m_machine->CodeCount() && !IsOutermost(frame)) {
        const DebugLexicalScope* scope = m_model->ScopeAt(instruction);
        Json::Value frameObject(Json::objectValue);
        std::set<std::string> shown;
        while (scope && scope->IsBlock()) {
            ListLocals(scope, instruction, frame, frameObject, shown);
            scope = scope->GetParent();
        }
        const DebugLocation loc = m_model->LocationOf(instruction, true);
        // An instruction outside every scope is listed with its location and
        // the globals only.
        frameObject["description"] = DebugJsonText(scope ? scope->GetDescription() : std::string());
        frameObject["file"] = DebugJsonText(loc.file);
        frameObject["line"] = loc.line;
        if (scope) ListLocals(scope, instruction, frame, frameObject, shown);
        ListGlobals(frameObject, shown);
        root["stackframes"].append(frameObject);
        if (!CallerOf(instruction, frame)) break;
    }
    return root;
}

void DebugSession::ListLocals(const DebugLexicalScope* scope, int32_t index, CVmValue* frame,
                              Json::Value& frameObject, std::set<std::string>& shown) {
    const int32_t line = m_model->LocationOf(index, true).line;
    for (const auto& v : scope->Variables()) {
        if (!(v->line < line)) continue;
        if (!shown.insert(v->name).second) continue;
        const DebugValueRef p = ResolveVariable(v->name, scope, frame, line);
        std::vector<const void*> path;
        frameObject["variables"].append(Entry(DebugJsonText(v->name), p, path));
    }
}

void DebugSession::ListGlobals(Json::Value& frameObject, std::set<std::string>& shown) {
    for (const auto& fileScope : m_model->FileScopes()) {
        for (const auto& v : fileScope->Variables()) {
            if (!shown.insert(v->name).second) continue;
            const DebugValueRef p = ResolveVariable(v->name, fileScope.get(), nullptr, -1);
            std::vector<const void*> path;
            frameObject["variables"].append(Entry(DebugJsonText(v->name), p, path));
        }
    }
}

// One listed value: its text form and type, and its members or elements;
// a value without a slot is "<optimized away>" with an empty type.
Json::Value DebugSession::Entry(const Json::Value& name, const DebugValueRef& p, std::vector<const void*>& path) {
    Json::Value entry(Json::objectValue);
    entry["name"] = name;
    if (!p) {
        entry["value"] = "<optimized away>";
        entry["type"] = "";
        return entry;
    }
    entry["value"] = DebugJsonText(TextOf(*p.value));
    entry["type"] = VmTypeName(p.value->type);
    NestedEntries(*p.value, entry, path);
    return entry;
}

void DebugSession::NestedEntries(const CVmValue& x, Json::Value& entry, std::vector<const void*>& path) {
    const void* identity = nullptr;
    if (x.type == VmValueType::Object)
        identity = x.asObject;
    else if (x.type == VmValueType::Array)
        identity = x.asArray;
    if (identity) {
        // An array or object inside itself is listed once: its text form
        // marks the repeat, and nothing below it is listed again.
        if (path.size() >= kMaxListedNesting || std::find(path.begin(), path.end(), identity) != path.end()) return;
        path.push_back(identity);
    }
    if (x.type == VmValueType::Object && x.asObject) {
        const DebugClassDeclaration* decl = m_model->FindClass(x.asObject->ClassName());
        if (decl) {
            std::set<std::string> shownMembers;
            std::set<const DebugClassDeclaration*> classes;
            MemberEntries(x, *decl, shownMembers, classes, entry, path);
        }
    } else if (x.type == VmValueType::Array && x.asArray) {
        // Held: a getter run for an element's members may change the array.
        CVmValue hold(x);
        for (int32_t i = 0; i < hold.asArray->count; ++i) {
            CVmValue* element = hold.asArray->GetAt(i);
            entry["variables"].append(Entry(Json::Value(i), DebugValueRef::Live(element), path));
        }
    } else if (x.type == VmValueType::Vector) {
        for (int32_t i = 0; i < x.asVector->count; ++i) {
            Json::Value element(Json::objectValue);
            element["name"] = i;
            element["value"] = static_cast<double>(x.asVector->data[i]);
            element["type"] = "VmReal";
            entry["variables"].append(element);
        }
    }
    if (identity) path.pop_back();
}

// The members of a declaration, then those of its bases; a member that a
// derived class declares again is listed once, as the derived one.
void DebugSession::MemberEntries(const CVmValue& object, const DebugClassDeclaration& decl,
                                 std::set<std::string>& shown, std::set<const DebugClassDeclaration*>& classes,
                                 Json::Value& entry, std::vector<const void*>& path) {
    if (!classes.insert(&decl).second) return;
    for (const std::string& name : decl.variables) {
        if (!shown.insert(name).second) continue;
        DebugValueRef m;
        if (std::unique_ptr<CVmValue> value = GetMember(object, name)) m = DebugValueRef::Fresh(std::move(value));
        entry["variables"].append(Entry(DebugJsonText(name), m, path));
    }
    for (const int32_t parent : decl.parents) {
        if (const DebugClassDeclaration* base = m_model->ClassAt(parent))
            MemberEntries(object, *base, shown, classes, entry, path);
    }
}
