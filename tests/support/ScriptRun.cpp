#include "support/ScriptRun.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "support/MethodScript.h"
#include "support/QemProcess.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

namespace qemtest {

std::string RunScript(const std::string& program, const ScratchFolder& scratch, MethodScript& script,
                      const std::string& name, const std::string& until,
                      const std::map<std::string, std::string>& environment) {
    const std::vector<uint8_t> bytes = script.File();
    const std::string path = scratch.Make(name + ".bin");
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    std::map<std::string, std::string> variables = environment;
    variables["TMPDIR"] = scratch.Path();
    QemProcess qem(program, {path, "-w", "160", "-h", "120"}, path + ".out", variables);
    EXPECT_TRUE(qem.Started());
    EXPECT_TRUE(qem.WaitFor(until, std::chrono::seconds(30))) << qem.Output() << qem.Errors();
    return qem.Output();
}

void ExpectEachStopsTheScript(const std::string& program, const ScratchFolder& scratch,
                              const std::vector<StoppingScript>& scripts) {
    for (size_t i = 0; i < scripts.size(); ++i) {
        MethodScript s("ONINIT");
        s.Print("BEGIN\n");
        scripts[i].build(s);
        s.Print("DONE\n");
        s.Then("ONERROR");
        s.Print("went on\n");
        const std::string out = AfterBegin(RunScript(program, scratch, s, "stopping" + std::to_string(i), "went on\n"));
        EXPECT_NE(out.find(scripts[i].error + "\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("DONE"), std::string::npos) << out;
        EXPECT_NE(out.find("went on"), std::string::npos) << out;
    }
}

void BeginIdentityFrame(MethodScript& s) {
    s.Global("SCENEBEGIN");
    for (int matrix : {GL_PROJECTION, GL_MODELVIEW}) {
        s.Global("glMatrixMode", {VInt(matrix)});
        s.Global("glLoadIdentity");
    }
    s.Global("glTexEnvi", {VInt(GL_TEXTURE_ENV), VInt(GL_TEXTURE_ENV_MODE), VInt(GL_REPLACE)});
    for (int cap : {GL_DEPTH_TEST, GL_FOG, GL_BLEND, GL_ALPHA_TEST, GL_CULL_FACE}) s.Global("glDisable", {VInt(cap)});
}

std::string AfterBegin(const std::string& output, const std::string& end) {
    const size_t begin = output.find("BEGIN\n");
    if (begin == std::string::npos) return output;
    const size_t stop = end.empty() ? std::string::npos : output.find(end, begin + 6);
    return output.substr(begin + 6, stop == std::string::npos ? std::string::npos : stop - begin - 6);
}

}  // namespace qemtest
