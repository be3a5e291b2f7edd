// Stop requests from another thread: a script that loops for ever ends with
// a script error, a waiting native function wakes, and the request holds
// until it is cleared.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#include "support/ProgramBuilder.h"
#include "vm/VirtualMachine.h"

using namespace qemtest;
using namespace std::chrono_literals;

namespace {

// Waits(ms): waits for a stop request as a sleeping native would; answers
// whether one came.
class WaitFunctions : public CVmRegisterFunction {
public:
    bool RegisterMethods(int32_t n) override {
        CVmRegisterFunction::RegisterMethods(n);
        AddFunction("Waits", &WaitFunctions::Waits);
        return true;
    }
    void Waits(CVmClassBase*, int) { VmReturnBool(g_currentVM->WaitForStopRequest(GetParamInt(1))); }
};

class StopRequest : public ::testing::Test {
protected:
    StopRequest() {
        vm.SetOutputStream(&out, false);
        vm.RegisterFunctions(new WaitFunctions());
        ProgramBuilder b;
        b.Return();
        b.Function("FOREVER", 0);  // loops without end
        Label loop = b.NewLabel();
        b.Bind(loop);
        b.Emit(OP_JUMP, At(loop));
        b.Function("SLEEP", 0);
        b.Emit(OP_RESERVE, I(1));
        b.CallNative("WAITS", {VInt(60000)}, L(1));
        b.Return(L(1));
        b.Function("ONE", 0);
        b.Return(VInt(1));
        std::shared_ptr<VmProgram> p = b.Build();
        EXPECT_TRUE(p) << b.LastError();
        EXPECT_TRUE(p && vm.StartProgram(p));
    }

    // Calls the function on a thread of its own and requests a stop once it
    // ran for a while; false when the call did not end soon after.
    bool StopsOnRequest(const char* name) {
        auto call = std::async(std::launch::async, [this, name] { return vm.CallFunctionByName(name) != nullptr; });
        if (call.wait_for(200ms) != std::future_status::timeout) return false;
        vm.RequestStop();
        if (call.wait_for(5s) != std::future_status::ready) return false;
        call.get();
        return true;
    }

    std::ostringstream out;
    CVirtualMachine vm;
};

}  // namespace

TEST_F(StopRequest, EndsAnEndlessLoopWithAScriptError) {
    ASSERT_TRUE(StopsOnRequest("FOREVER"));
    EXPECT_TRUE(vm.HasError());
    EXPECT_NE(out.str().find("Script stopped on request."), std::string::npos) << out.str();
}

TEST_F(StopRequest, WakesAWaitingNativeFunction) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(StopsOnRequest("SLEEP"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(StopRequest, HoldsForLaterRunsUntilCleared) {
    vm.RequestStop();
    EXPECT_TRUE(vm.WaitForStopRequest(0));
    vm.CallFunctionByName("ONE");
    EXPECT_TRUE(vm.HasError());
    EXPECT_NE(out.str().find("Script stopped on request."), std::string::npos) << out.str();
    vm.ClearStopRequest();
    vm.ClearError();
    CVmValue* r = vm.CallFunctionByName("ONE");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->asInt, 1);
    EXPECT_FALSE(vm.WaitForStopRequest(10));
}
