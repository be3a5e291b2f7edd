// A debugged program for the session tests: a machine running a small
// program with its debug information, a session attached to it through
// in-memory channels, and a native class whose objects have members.
//
// The program (file "main.qsx"; lines in brackets):
//   start-up code            [1]  return
//   G(b)                     [20] z = b * 2        [21] early = z      [22] return z
//   F(a)                     [10] x = a + 1        [11] v = <vector>   [12] x = G(x)   [13] return x
//   MAIN()                   [3]  n = 1            [4]  n = F(n)       [5]  output n   [6] return n
//   ERR()                    [30] d = 0            [31] e = 1, d = e / d (fails)  [32] return d
//   GROW(this, n) (Box::Grow)[40] reserve          [41] k = 4          [42] return k
//   PING()                   [50] output 1         [51] return 2
//   LAST()                   [60] return G(1)
// Globals: counter, items, box, vec, self, (util.qsx) counter, late, early.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "debugger/DebugCommandChannel.h"
#include "debugger/DebugEventChannel.h"
#include "debugger/DebugInfo.h"
#include "debugger/DebugJson.h"
#include "debugger/DebugSession.h"
#include "vm/VmDeclaredClass.h"
#include "support/DebugInfoWriter.h"
#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

namespace qemtest {

// The client side, inside the test: the lines the session will read, and
// what it sent back.
class FakeClient {
public:
    std::deque<std::string> lines;
    std::vector<std::string> replies;
    std::vector<std::string> events;
    // When no line waits: continue ("c"), or leave (the connection ends).
    bool continueWhenIdle = true;
    std::atomic<uint8_t>* queued = nullptr;

    // A line that arrives while the script runs (the poll sees it).
    void Queue(const std::string& line) {
        lines.push_back(line);
        if (queued) queued->store(1);
    }
    std::vector<std::string> TakeReplies() { return std::exchange(replies, {}); }
    std::vector<std::string> TakeEvents() { return std::exchange(events, {}); }

    class Commands : public DebugCommandChannel {
    public:
        explicit Commands(FakeClient& client) : m_client(client) {}
        bool ReadCommand(std::string& line) override {
            if (m_client.lines.empty()) {
                if (!m_client.continueWhenIdle) return false;
                line = "c\r";
                return true;
            }
            line = m_client.lines.front() + "\r";
            m_client.lines.pop_front();
            if (m_client.lines.empty() && m_client.queued) m_client.queued->store(0);
            return true;
        }
        const std::list<std::string>& TakeAllCommands() override { return m_none; }
        void SendJson(const Json::Value& value) override { m_client.replies.push_back(DebugJsonLine(value)); }
        void SendText(const std::string& text) override { m_client.replies.push_back(text); }
        void SendOutput(const std::string& text) override { m_client.replies.push_back("output:" + text); }

    private:
        FakeClient& m_client;
        std::list<std::string> m_none;
    };

    class Events : public DebugEventChannel {
    public:
        explicit Events(FakeClient& client) : m_client(client) {}

    protected:
        void WriteEvent(const std::string& text) override { m_client.events.push_back(text); }

    private:
        FakeClient& m_client;
    };
};

// A script class with members read by name: COUNT, NAME, AREA (of its base
// Shape in the debug information), PEER (another object) and BAD, whose
// getter fails.
class Box : public CVmClassBase {
public:
    const char* ClassName() override { return "Box"; }
    int32_t count = 5;
    CVmValue peer;

    class Registration : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return "Box"; }
        bool RegisterMethods(int32_t n) override {
            CVmRegisterClass::RegisterMethods(n);
            AddMethod("COUNT", &Registration::Count);
            AddMethod("NAME", &Registration::Name);
            AddMethod("AREA", &Registration::Area);
            AddMethod("PEER", &Registration::Peer);
            AddMethod("BAD", &Registration::Bad);
            return true;
        }
        void Count(CVmClassBase* o, int) { VmReturnInteger(static_cast<Box*>(o)->count); }
        void Name(CVmClassBase*, int) { VmReturnString("bx"); }
        void Area(CVmClassBase*, int) { VmReturnReal(2.5f); }
        void Peer(CVmClassBase* o, int) { VmGetReturnSlot()->Assign(static_cast<Box*>(o)->peer); }
        void Bad(CVmClassBase*, int) { VmErrorStream() << "no such thing"; }
    };
};

class DebugSessionTest : public ::testing::Test {
protected:
    enum Global { kCounter, kItems, kBox, kVec, kSelf, kUtilCounter, kLate, kEarly, kPoint, kGlobalCount };

    void SetUp() override {
        BuildProgram();
        BuildModel();
    }

    // Source line of the instructions from here on, in both the program and
    // the debug information.
    void Line(int line) {
        b.Line(line);
        w.AddLine(0, line, b.Here());
    }

    void BuildProgram() {
        w.AddFile("main.qsx");
        w.AddFile("util.qsx");
        b.SetGlobalCount(kGlobalCount);
        Line(1);
        b.Return();

        b.Function("G", 1);
        Line(20);
        b.Emit(OP_RESERVE, I(1));
        b.Emit(OP_MUL, L(-1), VInt(2), L(1));
        Line(21);
        b.Emit(OP_COPY, L(1), None(), G(kEarly));
        Line(22);
        b.Return(L(1));

        b.Function("F", 1);
        Line(10);
        b.Emit(OP_RESERVE, I(3));
        b.Emit(OP_ADD, L(-1), VInt(1), L(1));
        Line(11);
        CVmValue vector;
        const float values[3] = {0.5f, 1.0f, 0.1f};
        vector.SetVector(values, 3);
        b.Emit(OP_COPY, VRifVec(b.Constant(vector)), None(), L(2));
        Line(12);
        b.CallScript("G", {L(1)}, L(1));
        Line(13);
        b.Return(L(1));

        b.Function("MAIN", 0);
        Line(3);
        b.Emit(OP_RESERVE, I(1));
        b.Emit(OP_COPY, VInt(1), None(), L(1));
        Line(4);
        b.CallScript("F", {L(1)}, L(1));
        Line(5);
        b.Emit(OP_OUTPUT, L(1));
        Line(6);
        b.Return(L(1));

        b.Function("ERR", 0);
        Line(30);
        b.Emit(OP_RESERVE, I(2));
        b.Emit(OP_COPY, VInt(0), None(), L(1));
        Line(31);
        b.Emit(OP_COPY, VInt(1), None(), L(2));
        b.Emit(OP_DIV, L(2), L(1), L(1));
        Line(32);
        b.Return(L(1));

        b.Function("GROW", 2);
        Line(40);
        b.Emit(OP_RESERVE, I(1));
        Line(41);
        b.Emit(OP_COPY, VInt(4), None(), L(1));
        Line(42);
        b.Return(L(1));

        b.Function("PING", 0);
        Line(50);
        b.Emit(OP_OUTPUT, VInt(1));
        Line(51);
        b.Return(VInt(2));

        // The call's return address lies after the file's last line start,
        // where no line and no scope are found.
        b.Function("LAST", 0);
        Line(60);
        b.Emit(OP_RESERVE, I(1));
        b.CallScript("G", {VInt(1)}, L(1));
        b.Return(L(1));

        // Member names the program uses: the classes register theirs.
        for (const char* name : {"COUNT", "NAME", "AREA", "PEER", "BAD", "PX"}) b.MethodName(name);
        // A class the script declares, with one member.
        b.DeclareClass("PT").members = {"PX"};

        w.AddRange(0, 0, b.Here() - 1);
        program = b.Build();
        ASSERT_NE(program, nullptr) << b.LastError();
    }

    void BuildModel() {
        DebugScopeWriter& main = w.FileScope(0);
        main.Lines(1, 50);
        main.Variable("counter", kCounter + 1, 0);
        main.Variable("items", kItems + 1, 0);
        main.Variable("box", kBox + 1, 0);
        main.Variable("vec", kVec + 1, 0);
        main.Variable("self", kSelf + 1, 0);
        main.Variable("point", kPoint + 1, 0);
        main.Function("MAIN", 0, 3, 6).Variable("n", 1, 3);
        DebugScopeWriter& f = main.Function("F", 1, 10, 13);
        f.Variable("a", -1, 10).Variable("x", 1, 10).Variable("v", 2, 11);
        f.Block(12, 13).Variable("tmp", 3, 11, kDebugOpt);
        main.Function("G", 1, 20, 22)
            .Variable("b", -1, 20)
            .Variable("z", 1, 20)
            .Variable("early", kEarly + 1, 20, kDebugGlobal)
            .Variable("late", kLate + 1, 25, kDebugGlobal);
        main.Function("ERR", 0, 30, 32).Variable("d", 1, 30).Variable("e", 2, 30);
        main.Method("Box", "Grow", 1, 40, 42).Variable("n", -2, 40).Variable("k", 1, 41);
        main.Function("PING", 0, 50, 51);
        main.Function("LAST", 0, 60, 60);
        w.FileScope(1).Lines(1, 10).Variable("counter", kUtilCounter + 1, 0);
        const int32_t shape = w.AddClass("Shape", {}, {"COUNT", "AREA"});
        w.AddClass("Box", {shape}, {"COUNT", "NAME", "BAD", "PEER"});
        std::string error;
        model = ParseDebugInfo(w.ToText(), &error);
        ASSERT_NE(model, nullptr) << error;
    }

    // The machine runs the program; the session is attached and started,
    // reading `startLines` (then continuing).
    void StartSession(const std::vector<std::string>& startLines = {}) {
        vm = std::make_unique<CVirtualMachine>();
        vm->SetOutputStream(&out, false);
        vm->RegisterClass(new Box::Registration());
        ASSERT_TRUE(vm->StartProgram(program));
        SetGlobals();
        session = std::make_unique<DebugSession>(vm.get(), model.get(),
                                                 std::make_unique<FakeClient::Commands>(client),
                                                 std::make_unique<FakeClient::Events>(client));
        client.queued = &session->CommandsQueued();
        for (const std::string& line : startLines) client.lines.push_back(line);
        session->Start();
    }

    void SetGlobals() {
        CVmValue* g = vm->Globals();
        g[kCounter].SetInteger(7);
        // point = PT() with point.px = 42.
        if (CVmValue* made = vm->CallNativeFunction("PT")) {
            g[kPoint].Assign(*made);
            static_cast<CVmClassDeclared*>(g[kPoint].asObject)->Member(0)->SetInteger(42);
        }
        CVmArray* items = new CVmArray();
        g[kItems].SetArray(items);
        CVmValue v;
        v.SetInteger(1);
        items->Append(v);
        v.SetString("two");
        items->Append(v);
        v.SetReal(3.5f);
        items->Append(v);
        Box* box = new Box();
        g[kBox].SetObject(box);
        box->peer.SetObject(box);  // a member that leads back to the object
        const float values[3] = {1, 2, 3};
        g[kVec].SetVector(values, 3);
        CVmArray* self = new CVmArray();
        g[kSelf].SetArray(self);
        v.SetInteger(1);
        self->Append(v);
        self->Append(g[kSelf]);
        cycles[0] = g[kBox];
        cycles[1] = g[kSelf];
        g[kUtilCounter].SetInteger(99);
        g[kLate].SetInteger(-1);
    }

    void TearDown() override {
        // The object and the array hold themselves: let them go.
        if (cycles[0].type == VmValueType::Object) static_cast<Box*>(cycles[0].asObject)->peer.SetVoid();
        if (cycles[1].type == VmValueType::Array) cycles[1].asArray->Resize(0);
    }

    // Calls a script function from the host; its integer result, or -1000
    // for another result.
    int32_t Call(const char* name) {
        CVmValue* r = vm->CallFunctionByName(name);
        return r && r->type == VmValueType::Integer ? r->asInt : -1000;
    }

    int32_t InstructionAt(int line) const { return model->InstructionAt("main.qsx", line); }

    ProgramBuilder b;
    DebugInfoWriter w;
    std::shared_ptr<VmProgram> program;
    std::unique_ptr<DebugInfo> model;
    std::ostringstream out;
    FakeClient client;
    CVmValue cycles[2];  // the box and the array that hold themselves
    std::unique_ptr<CVirtualMachine> vm;
    std::unique_ptr<DebugSession> session;
};

}  // namespace qemtest
