#include "support/EngineFixtures.h"

#include "support/ZipWriter.h"

namespace qemtest {

std::string WriteProgram(const ScratchFolder& scratch, const std::string& name, ProgramBuilder& builder) {
    const std::vector<uint8_t> bytes = builder.WriteFile();
    const std::string path = scratch.Make(name);
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

bool RunFramesUntil(CVRModule3D& module, CVRModule3D::State state, int maxFrames) {
    for (int i = 0; i < maxFrames && module.CurrentState() != state; ++i) module.Frame();
    return module.CurrentState() == state;
}

}  // namespace qemtest
