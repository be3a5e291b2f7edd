// Temporary probe (not committed): runs one program N times for instruction counting.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"
using namespace qemtest;
int main(int argc, char** argv) {
    int which = argc > 1 ? atoi(argv[1]) : 0;
    ProgramBuilder b;
    b.Return();
    int32_t arg = -1;
    if (which == 0) {
        b.Function("F", 1);
        Label recurse = b.NewLabel();
        b.Emit(OP_RESERVE, I(2));
        b.Emit(OP_JUMP_GE, L(-1), I(2), At(recurse));
        b.Emit(OP_RETURN, L(-1));
        b.Bind(recurse);
        b.Emit(OP_SUB, L(-1), I(1), L(1));
        b.CallScript("F", {L(1)}, L(1));
        b.Emit(OP_SUB, L(-1), I(2), L(2));
        b.CallScript("F", {L(2)}, L(2));
        b.Emit(OP_ADD, L(1), L(2), L(1));
        b.Emit(OP_RETURN, L(1));
        arg = 27;
    } else {
        b.Function("F", 0);
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
    }
    if (argc > 3) {
        // write a qem script: ONINIT runs F five times between markers
        b.Function("ONINIT", 0);
        b.Emit(OP_RESERVE, I(1));
        for (int k = 0; k < 5; ++k) {
            b.Emit(OP_OUTPUT, VStr("BEGIN\n"));
            if (arg >= 0) b.CallScript("F", {I(arg)}, L(1)); else b.CallScript("F", {}, L(1));
            b.Emit(OP_OUTPUT, VStr("END\n"));
        }
        b.Return();
        std::vector<uint8_t> bytes = b.WriteFile();
        FILE* f = fopen(argv[3], "wb"); fwrite(bytes.data(), 1, bytes.size(), f); fclose(f);
        return 0;
    }
    std::ostringstream out;
    CVirtualMachine vm;
    vm.SetOutputStream(&out, false);
    vm.StartProgram(b.Build());
    double best = 1e9; int res = 0;
    int reps = argc > 2 ? atoi(argv[2]) : 1;
    for (int k = 0; k < reps; ++k) {
        auto t0 = std::chrono::steady_clock::now();
        if (arg >= 0) vm.AddArgInteger(arg);
        CVmValue* r = vm.CallFunction(vm.FindFunction("F"));
        double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (dt < best) best = dt;
        res = r ? r->asInt : -1;
    }
    printf("%d %.3f ms\n", res, best * 1e3);
}
