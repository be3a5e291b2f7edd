// The global function set: its table, the groups that register it, the
// handler of names not built yet and the guards of the scene's services.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "state/EngineState.h"
#include "functions/CVmFunction.h"
#include "functions/FunctionTable.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

TEST(FunctionTable, EveryGroupRegistersExactlyItsNamesOfTheTable) {
    CVirtualMachine vm;
    CVmFunction* set = new CVmFunction();
    vm.RegisterFunctions(set);
    set->RegisterMethods(0);

    std::map<std::string, FunctionGroup> table;
    for (const FunctionRow& row : kFunctionTable) table.emplace(VmUpperName(row.name), row.group);
    EXPECT_EQ(table.size(), kFunctionCount) << "a name is twice in the table";

    // Every name the groups hold is one of the table's, in its group, once.
    std::multiset<std::string> registered;
    int groups = 0;
    set->m_sets.ForEach([&](CVmRegisterFunction* s) {
        CVmFunctionGroup* group = dynamic_cast<CVmFunctionGroup*>(s);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(static_cast<int>(group->Group()), groups++) << "groups in the order of the table";
        group->m_names.ForEach([&](const std::string& name, VmMethodEntry* entry) {
            if (name.compare(0, 2, "__") == 0) return;  // the hidden members
            registered.insert(name);
            auto row = table.find(name);
            ASSERT_NE(row, table.end()) << name << " is not in the table";
            EXPECT_EQ(row->second, group->Group()) << name;
            EXPECT_EQ(entry->owner, group) << name;
        });
    });
    EXPECT_EQ(groups, static_cast<int>(FunctionGroup::kCount));
    EXPECT_EQ(registered.size(), kFunctionCount);
    for (const auto& row : table) EXPECT_EQ(registered.count(row.first), 1u) << row.first;
}

TEST(FunctionTable, ANameNotBuiltStopsTheScriptWithItsMessage) {
    CVirtualMachine vm;
    vm.RegisterFunctions(new CVmFunction());
    for (const char* name : {"NewMMMidi", "NewMMAvi"}) {
        const CallOutcome o = CallGlobal(vm, name, {VInt(1)});
        EXPECT_TRUE(o.error) << name;
        EXPECT_NE(o.output.find(VmUpperName(name) + ": This function is not available yet."), std::string::npos)
            << o.output;
    }
}

namespace {

// A group whose functions need the scene or the texture manager.
class SceneUsers : public CVmFunctionGroup {
public:
    SceneUsers() : CVmFunctionGroup(FunctionGroup::Camera) {}

protected:
    void AddFunctions() override {
        AddFunction("SceneBegin", &SceneUsers::NeedsScene);
        AddFunction("SceneEnd", &SceneUsers::NeedsTextures);
    }

private:
    void NeedsScene(CVmClassBase*, int) {
        if (RequireScene()) VmReturnInteger(1);
    }
    void NeedsTextures(CVmClassBase*, int) {
        if (RequireTextureManager()) VmReturnInteger(1);
    }
};

}  // namespace

TEST(FunctionTable, TheSceneAndTexturesBeforeTheyExistAreAScriptError) {
    EngineState state;
    g_engineState = &state;
    CVirtualMachine vm;
    vm.RegisterFunctions(new SceneUsers());
    // No scene yet, and no GL context for a texture manager.
    for (const char* name : {"SceneBegin", "SceneEnd"}) {
        const CallOutcome o = CallGlobal(vm, name);
        EXPECT_TRUE(o.error);
        EXPECT_NE(o.output.find(VmUpperName(name) + ": The scene is not created yet."), std::string::npos) << o.output;
    }
    // The guard passes the scene once there is one (never used here).
    state.Scene().scene = reinterpret_cast<VRScene*>(&state);
    const CallOutcome o = CallGlobal(vm, "SceneBegin");
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.result, "1");
    g_engineState = nullptr;
}
