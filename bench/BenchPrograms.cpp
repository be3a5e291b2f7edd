#include "BenchPrograms.h"

using namespace qemtest;

namespace {

// FIB(n) = n < 2 ? n : FIB(n - 1) + FIB(n - 2)
void AddFib27(ProgramBuilder& b) {
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
    b.Function("RUN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallScript("FIB", {I(27)}, L(1));
    b.Emit(OP_RETURN, L(1));
}

// i = 0; s = 0; r = 0.0
// while i < 10000000: s = (s + i * 3) % 1000003; r = r * 0.5 + 1.5; i = i + 1
// return s
void AddArithmetic10M(ProgramBuilder& b) {
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
    b.Function("RUN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallScript("LOOP", {}, L(1));
    b.Emit(OP_RETURN, L(1));
}

// s = ""; i = 0; while i < 10000: s = s + STR(i) + ","; i = i + 1
// return LEN(s)
void AddStringBuild10K(ProgramBuilder& b) {
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
    b.Function("RUN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallScript("BUILD", {}, L(1));
    b.Emit(OP_RETURN, L(1));
}

// v = [0, 0, 0]; d = [1, 2, 3]; i = 0
// while i < 1000000: v = v + d * 0.5; i = i + 1
// return INT(v[2])
void AddVector1M(ProgramBuilder& b) {
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
    b.Function("RUN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallScript("VEC", {}, L(1));
    b.Emit(OP_RETURN, L(1));
}

// a = ARRAY(0); i = 0; while i < 1000000: append i to a; i = i + 1
// s = 0; i = 0; while i < LEN(a): s = (s + a[i]) % 1000003; i = i + 1
// return s
void AddArrayFillSum1M(ProgramBuilder& b) {
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
    b.Function("RUN", 0);
    b.Emit(OP_RESERVE, I(1));
    b.CallScript("FILL", {}, L(1));
    b.Emit(OP_RETURN, L(1));
}

// class P { V; P(v) { V = v } ADDV(k) { return V + k } }
// p = P(3); s = 0; i = 0; while i < 1000000: s = (s + p.ADDV(i)) % 1000003; i = i + 1
// return s
void AddMethodCalls1M(ProgramBuilder& b) {
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
}

int32_t MethodCallsExpected() {
    int64_t expected = 0;
    for (int64_t i = 0; i < 1000000; ++i) expected = (expected + 3 + i) % 1000003;
    return static_cast<int32_t>(expected);
}

}  // namespace

const std::vector<BenchProgram>& BenchPrograms() {
    static const std::vector<BenchProgram> programs = [] {
        std::vector<BenchProgram> p;
        p.push_back({"Fib27", &AddFib27, 196418, R"(
        local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
        function run() assert(fib(27) == 196418) end
    )"});
        p.push_back({"Arithmetic10M", &AddArithmetic10M, 1395, R"(
        function run()
            local i, s, r = 0, 0, 0.0
            while i < 10000000 do
                s = (s + i * 3) % 1000003
                r = r * 0.5 + 1.5
                i = i + 1
            end
            return s
        end
    )"});
        p.push_back({"StringBuild10K", &AddStringBuild10K, 48890, R"(
        function run()
            local s, i = "", 0
            while i < 10000 do
                s = s .. tostring(i) .. ","
                i = i + 1
            end
            assert(#s == 48890)
        end
    )"});
        p.push_back({"Vector1M", &AddVector1M, 1500000, R"(
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
    )"});
        p.push_back({"ArrayFillSum1M", &AddArrayFillSum1M, 6, R"(
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
    )"});
        p.push_back({"MethodCalls1M", &AddMethodCalls1M, MethodCallsExpected(), R"(
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
    )"});
        return p;
    }();
    return programs;
}
