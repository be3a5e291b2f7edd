// The machine against Lua 5.4 on the same programs.
#include <sstream>
#include <stdexcept>

#include "LuaSideBySide.h"
#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;

namespace {

// Runs FUNCTION of a built program once per iteration and checks the result.
void RunMachine(benchmark::State& state, ProgramBuilder& b, const char* function, int32_t arg, int32_t expected) {
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    std::shared_ptr<VmProgram> p = b.Build();
    if (!p || !vm.StartProgram(p)) throw std::runtime_error("program refused: " + b.LastError());
    const int32_t index = vm.FindFunction(function);
    for (auto _ : state) {
        if (arg >= 0) vm.AddArgInteger(arg);
        CVmValue* r = vm.CallFunction(index);
        if (!r || r->type != VmValueType::Integer || r->asInt != expected)
            throw std::runtime_error("wrong result: " + out.str());
    }
}

// FIB(n) = n < 2 ? n : FIB(n - 1) + FIB(n - 2)
void BM_Fib27_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("FIB", 1);
    Label recurse = b.NewLabel();
    b.Emit(OP_RESERVE, I(2));
    b.Emit(OP_JUMP_GE, L(-1), I(2), At(recurse));
    b.Emit(OP_RETURN, L(-1));
    b.Bind(recurse);
    b.Emit(OP_SUB, L(-1), I(1), L(1));
    b.CallScript("FIB", {L(1)}, L(1));
    b.Emit(OP_SUB, L(-1), I(2), L(2));
    b.CallScript("FIB", {L(2)}, L(2));
    b.Emit(OP_ADD, L(1), L(2), L(1));
    b.Emit(OP_RETURN, L(1));
    RunMachine(state, b, "FIB", 27, 196418);
}
BENCHMARK(BM_Fib27_Qem)->Unit(benchmark::kMillisecond);

void BM_Fib27_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
        function run() assert(fib(27) == 196418) end
    )");
}
BENCHMARK(BM_Fib27_Lua)->Unit(benchmark::kMillisecond);

// i = 0; s = 0; r = 0.0
// while i < 10000000: s = (s + i * 3) % 1000003; r = r * 0.5 + 1.5; i = i + 1
// return s
void BM_Arithmetic10M_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("LOOP", 0);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(4));
    b.Emit(OP_COPY, I(0), None(), L(1));
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Emit(OP_COPY, VReal(0.0f), None(), L(3));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(1), I(10000000), At(done));
    b.Emit(OP_MUL, L(1), I(3), L(4));
    b.Emit(OP_ADD, L(2), L(4), L(2));
    b.Emit(OP_MOD, L(2), I(1000003), L(2));
    b.Emit(OP_MUL, L(3), VReal(0.5f), L(3));
    b.Emit(OP_ADD, L(3), VReal(1.5f), L(3));
    b.Emit(OP_INC, L(1));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_RETURN, L(2));
    RunMachine(state, b, "LOOP", -1, 1395);
}
BENCHMARK(BM_Arithmetic10M_Qem)->Unit(benchmark::kMillisecond);

void BM_Arithmetic10M_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        function run()
            local i, s, r = 0, 0, 0.0
            while i < 10000000 do
                s = (s + i * 3) % 1000003
                r = r * 0.5 + 1.5
                i = i + 1
            end
            return s
        end
    )");
}
BENCHMARK(BM_Arithmetic10M_Lua)->Unit(benchmark::kMillisecond);

// s = ""; i = 0; while i < 10000: s = s + STR(i) + ","; i = i + 1
// return LEN(s)
void BM_StringBuild10K_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("BUILD", 0);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(3));
    b.Emit(OP_COPY, VStr(""), None(), L(1));
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(2), I(10000), At(done));
    b.Emit(OP_STR, L(2), None(), L(3));
    b.Emit(OP_ADD, L(1), L(3), L(1));
    b.Emit(OP_ADD, L(1), VStr(","), L(1));
    b.Emit(OP_INC, L(2));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_LEN, L(1), None(), L(3));
    b.Emit(OP_RETURN, L(3));
    RunMachine(state, b, "BUILD", -1, 48890);
}
BENCHMARK(BM_StringBuild10K_Qem)->Unit(benchmark::kMillisecond);

void BM_StringBuild10K_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        function run()
            local s, i = "", 0
            while i < 10000 do
                s = s .. tostring(i) .. ","
                i = i + 1
            end
            assert(#s == 48890)
        end
    )");
}
BENCHMARK(BM_StringBuild10K_Lua)->Unit(benchmark::kMillisecond);

// v = [0, 0, 0]; d = [1, 2, 3]; i = 0
// while i < 1000000: v = v + d * 0.5; i = i + 1
// return INT(v[2])
void BM_Vector1M_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("VEC", 0);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(4));
    const float zero[3] = {0, 0, 0}, d[3] = {1, 2, 3};
    CVmValue v0, d0;
    v0.SetVector(zero, 3);
    d0.SetVector(d, 3);
    b.Emit(OP_COPY, VValue(v0), None(), L(1));
    b.Emit(OP_COPY, VValue(d0), None(), L(2));
    b.Emit(OP_COPY, I(0), None(), L(3));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(3), I(1000000), At(done));
    b.Emit(OP_MUL, L(2), VReal(0.5f), L(4));
    b.Emit(OP_ADD, L(1), L(4), L(1));
    b.Emit(OP_INC, L(3));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_INDEX_READ, L(1), I(2), L(4));
    b.Emit(OP_INT, L(4), None(), L(4));
    b.Emit(OP_RETURN, L(4));
    RunMachine(state, b, "VEC", -1, 1500000);
}
BENCHMARK(BM_Vector1M_Qem)->Unit(benchmark::kMillisecond);

void BM_Vector1M_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        local function scale(a, f) return {a[1] * f, a[2] * f, a[3] * f} end
        local function add(a, b) return {a[1] + b[1], a[2] + b[2], a[3] + b[3]} end
        function run()
            local v, d, i = {0, 0, 0}, {1, 2, 3}, 0
            while i < 1000000 do
                v = add(v, scale(d, 0.5))
                i = i + 1
            end
            assert(math.floor(v[3]) == 1500000)
        end
    )");
}
BENCHMARK(BM_Vector1M_Lua)->Unit(benchmark::kMillisecond);

// a = ARRAY(0); i = 0; while i < 1000000: append i to a; i = i + 1
// s = 0; i = 0; while i < LEN(a): s = (s + a[i]) % 1000003; i = i + 1
// return s
void BM_ArrayFillSum1M_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    b.Function("FILL", 0);
    Label fill = b.NewLabel(), filled = b.NewLabel(), sum = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(5));
    b.Emit(OP_ARRAY, I(0), None(), L(1));
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Bind(fill);
    b.Emit(OP_JUMP_GE, L(2), I(1000000), At(filled));
    b.Emit(OP_ARRAY_APPEND, L(2), None(), L(1));
    b.Emit(OP_INC, L(2));
    b.Emit(OP_JUMP, At(fill));
    b.Bind(filled);
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Emit(OP_COPY, I(0), None(), L(3));
    b.Emit(OP_LEN, L(1), None(), L(5));
    b.Bind(sum);
    b.Emit(OP_JUMP_GE, L(2), L(5), At(done));
    b.Emit(OP_INDEX_READ, L(1), L(2), L(4));
    b.Emit(OP_ADD, L(3), L(4), L(3));
    b.Emit(OP_MOD, L(3), I(1000003), L(3));
    b.Emit(OP_INC, L(2));
    b.Emit(OP_JUMP, At(sum));
    b.Bind(done);
    b.Emit(OP_RETURN, L(3));
    RunMachine(state, b, "FILL", -1, 6);
}
BENCHMARK(BM_ArrayFillSum1M_Qem)->Unit(benchmark::kMillisecond);

void BM_ArrayFillSum1M_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        function run()
            local a, i = {}, 0
            while i < 1000000 do
                a[#a + 1] = i
                i = i + 1
            end
            local s = 0
            i = 0
            while i < #a do
                s = (s + a[i + 1]) % 1000003
                i = i + 1
            end
            return s
        end
    )");
}
BENCHMARK(BM_ArrayFillSum1M_Lua)->Unit(benchmark::kMillisecond);

// class P { V; P(v) { V = v } ADDV(k) { return V + k } }
// p = P(3); s = 0; i = 0; while i < 1000000: s = (s + p.ADDV(i)) % 1000003; i = i + 1
// return s
void BM_MethodCalls1M_Qem(benchmark::State& state) {
    ProgramBuilder b;
    b.Return();
    VmClassMethodDecl ctor, addv;
    ctor.name = "$$P";
    ctor.start = b.Here();
    ctor.paramCount = 2;
    b.Emit(OP_MEMBER_WRITE, L(-2), I(b.MethodName("V")), L(-1));
    b.Return();
    addv.name = "ADDV";
    addv.start = b.Here();
    addv.paramCount = 2;
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_MEMBER_READ, L(-1), I(b.MethodName("V")), L(1));
    b.Emit(OP_ADD, L(1), L(-2), L(1));
    b.Emit(OP_RETURN, L(1));
    VmClassDeclaration& c = b.DeclareClass("P");
    c.members = {"V"};
    c.methods = {ctor, addv};
    c.constructor = 0;
    b.Function("RUN", 0);
    Label loop = b.NewLabel(), done = b.NewLabel();
    b.Emit(OP_RESERVE, I(4));
    b.CallNative("P", {I(3)}, L(1));
    b.Emit(OP_COPY, I(0), None(), L(2));
    b.Emit(OP_COPY, I(0), None(), L(3));
    b.Bind(loop);
    b.Emit(OP_JUMP_GE, L(2), I(1000000), At(done));
    b.CallMethod(L(1), "ADDV", {L(2)}, L(4));
    b.Emit(OP_ADD, L(3), L(4), L(3));
    b.Emit(OP_MOD, L(3), I(1000003), L(3));
    b.Emit(OP_INC, L(2));
    b.Emit(OP_JUMP, At(loop));
    b.Bind(done);
    b.Emit(OP_RETURN, L(3));
    int64_t expected = 0;
    for (int64_t i = 0; i < 1000000; ++i) expected = (expected + 3 + i) % 1000003;
    RunMachine(state, b, "RUN", -1, static_cast<int32_t>(expected));
}
BENCHMARK(BM_MethodCalls1M_Qem)->Unit(benchmark::kMillisecond);

void BM_MethodCalls1M_Lua(benchmark::State& state) {
    RunLuaBenchmark(state, R"(
        local P = {}
        P.__index = P
        function P.new(v) return setmetatable({v = v}, P) end
        function P:addv(k) return self.v + k end
        function run()
            local p, s, i = P.new(3), 0, 0
            while i < 1000000 do
                s = (s + p:addv(i)) % 1000003
                i = i + 1
            end
            return s
        end
    )");
}
BENCHMARK(BM_MethodCalls1M_Lua)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return SideBySideMain(argc, argv); }
