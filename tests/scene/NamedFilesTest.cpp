// Every scene reader of a file a script names refuses what is no regular
// file (a FIFO would hold the frame for ever, /dev/zero never end) and, for
// a web script, whatever lies outside its folder: at once, with a warning
// or error that says why, and nothing made.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/ScriptFile.h"
#include "scene/VRCameraAnimation.h"
#include "scene/VRHtmlPage.h"
#include "scene/VRShaderProgram.h"
#include "scene/VRTerrain.h"
#include "support/TextureFixture.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

class NamedFiles : public TextureFixture {
protected:
    void SetUp() override {
        TextureFixture::SetUp();
        if (!prepared) return;
        for (const char* ext : {"png", "jpg", "tif", "ppm", "dds", "hdr", "emf", "wmf", "avi", "asc", "txt", "cam",
                                "glsl"}) {
            const std::string e = ext;
            ASSERT_EQ(mkfifo((scratch.Path() + "pipe." + e).c_str(), 0600), 0);
            ASSERT_EQ(symlink("/dev/zero", (scratch.Path() + "zero." + e).c_str()), 0);
            WriteFile(scratch.Path() + "../outside-" + std::to_string(getpid()) + "." + e, "secret");
        }
    }
    void TearDown() override {
        ConfineScriptFiles(std::string());
        for (const char* ext : {"png", "jpg", "tif", "ppm", "dds", "hdr", "emf", "wmf", "avi", "asc", "txt", "cam",
                                "glsl"})
            unlink((scratch.Path() + "../outside-" + std::to_string(getpid()) + "." + ext).c_str());
        TextureFixture::TearDown();
    }

    // The three names that must be refused for an extension, with whether
    // they are read as a web script's and what the refusal says.
    struct Refused {
        std::string name;
        bool web;
        std::string reason;
    };
    std::vector<Refused> RefusedNames(const std::string& ext) const {
        return {{"pipe." + ext, false, "pipe." + ext + "' is not a regular file"},
                {"zero." + ext, false, "zero." + ext + "' is not a regular file"},
                {"../outside-" + std::to_string(getpid()) + "." + ext, true, "' lies outside the script's folder"}};
    }

    // Runs the read with the names of the extension; each must end in time
    // and leave a message with its reason (in the warnings or errors).
    template <class Read>
    void ExpectRefused(const std::string& ext, Read read) {
        for (const Refused& r : RefusedNames(ext)) {
            ConfineScriptFiles(r.web ? scratch.Path() : std::string());
            warnings.clear();
            errors.clear();
            const auto start = std::chrono::steady_clock::now();
            EXPECT_TRUE(read(r.name)) << r.name;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << r.name;
            std::string said;
            for (const std::string& w : warnings) said += w + "\n";
            for (const std::string& e : errors) said += e + "\n";
            EXPECT_NE(said.find(r.reason), std::string::npos) << r.name << ":\n" << said;
        }
        ConfineScriptFiles(std::string());
    }
};

}  // namespace

TEST_F(NamedFiles, TexturesOfEverySource) {
    for (const char* ext : {"png", "jpg", "tif", "ppm", "dds", "hdr", "emf", "wmf", "avi"})
        ExpectRefused(ext, [&](const std::string& name) { return Load(name.c_str(), 0) == nullptr; });
    EXPECT_EQ(manager->First(), nullptr);
}

TEST_F(NamedFiles, TerrainGridsPagesAnimationsAndShaders) {
    ExpectRefused("asc", [&](const std::string& name) {
        VRTerrain terrain;
        terrain.LoadAsc(name);
        return terrain.PointCloud().empty();
    });
    ExpectRefused("png", [&](const std::string& name) {
        VRTerrain terrain;
        return terrain.GetTextureShadow(name.c_str()) == nullptr;
    });
    ExpectRefused("txt", [&](const std::string& name) {
        VRHtmlPage page;
        return !page.Load(name.c_str());
    });
    ExpectRefused("cam", [&](const std::string& name) {
        VRCameraAnimation animation;
        return animation.Read((scratch.Path() + name).c_str()) < 0;
    });
    ExpectRefused("glsl", [&](const std::string& name) {
        std::string source;
        return !VRShaderProgram::ReadShaderFile(2, (scratch.Path() + name).c_str(), source);
    });
}
