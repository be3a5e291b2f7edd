// What the engine's tests share: a program file written from a builder, a
// host that records what the script passes out, and frames run until the
// module reaches a state.
#pragma once

#include <string>

#include "engine/EngineModule.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"

namespace qemtest {

// Writes the builder's bytecode file as `name` in the scratch folder;
// answers its path.
std::string WriteProgram(const ScratchFolder& scratch, const std::string& name, ProgramBuilder& builder);

// A host that keeps the script's data-out texts.
class RecordingContainer : public CVmContainer {
public:
    int DataOut(const char* text) override {
        received += text;
        return 1;
    }
    int HostRequest(int, int, int) override { return 0; }
    std::string received;
};

// Runs frames until the module is in the state, at most `maxFrames`; true
// when it got there.
bool RunFramesUntil(CVRModule3D& module, CVRModule3D::State state, int maxFrames = 500);

}  // namespace qemtest
