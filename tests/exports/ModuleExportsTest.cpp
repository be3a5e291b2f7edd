// The engine as another host sees it: libqemengine.so loaded with dlopen and
// driven through its nine C functions only. The program links nothing of the
// engine, so each test runs in a process of its own with the environment it
// sets (the temporary and configuration folders).
#include <GL/freeglut.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ModuleExports.h"
#include "support/ScratchFolder.h"

// X11's X.h defines GenericEvent as a macro; the one Xlib call is declared
// here instead.
extern "C" int XInitThreads(void);

using namespace qemtest;
namespace fs = std::filesystem;

namespace {

struct Exports {
    decltype(&::OnCreate) onCreate;
    decltype(&::OnDestroy) onDestroy;
    decltype(&::GenericFrame) genericFrame;
    decltype(&::GenericEvent) genericEvent;
    decltype(&::GetInfo) getInfo;
    decltype(&::OnDownload) onDownload;
    decltype(&::OnDownload2) onDownload2;
    decltype(&::CallFunction) callFunction;
    decltype(&::Install) install;
};

template <class F>
void Resolve(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(library, name));
    ASSERT_NE(out, nullptr) << name;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ModuleExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The temporary and configuration folders of this test alone.
        setenv("TMPDIR", temp.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (config.Path() + "cfg").c_str(), 1);
        library = dlopen(QEM_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        Resolve(library, "OnCreate", e.onCreate);
        Resolve(library, "OnDestroy", e.onDestroy);
        Resolve(library, "GenericFrame", e.genericFrame);
        Resolve(library, "GenericEvent", e.genericEvent);
        Resolve(library, "GetInfo", e.getInfo);
        Resolve(library, "OnDownload", e.onDownload);
        Resolve(library, "OnDownload2", e.onDownload2);
        Resolve(library, "CallFunction", e.callFunction);
        Resolve(library, "Install", e.install);
    }

    std::string LocalFolder() const { return temp.Path() + "Orbanel/QemClient/"; }
    std::string Registry() const { return Read(config.Path() + "cfg/qem/registry"); }

    ScratchFolder temp, config, elsewhere;
    void* library = nullptr;
    Exports e{};
};

TEST_F(ModuleExportsTest, InfoIsOneConstantTextAndANullModuleDoesNothing) {
    const char* first = e.getInfo(nullptr, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "Versione 1");
    EXPECT_EQ(e.getInfo(nullptr, 1), first);
    EXPECT_EQ(e.getInfo(nullptr, 2), nullptr);
    EXPECT_EQ(e.getInfo(nullptr, 3), nullptr);

    intptr_t result = 7;
    EXPECT_EQ(e.genericFrame(nullptr, 0, 0, "abc"), 0);
    EXPECT_EQ(e.genericEvent(nullptr, 0, 258, 'x', 0, &result), 0);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(e.onDownload(nullptr, 1, 0, "label"), 0);
    EXPECT_EQ(e.onDownload2(nullptr, 1, 0, 10, nullptr), 0);
    EXPECT_EQ(e.callFunction(nullptr, "OnInit", "x"), 0);
    EXPECT_EQ(e.onDestroy(nullptr), 0);
}

TEST_F(ModuleExportsTest, InstallWithoutFileMakesTheFolderAndWritesTheThreeValues) {
    EXPECT_EQ(e.install(nullptr), 1);
    EXPECT_TRUE(fs::is_directory(LocalFolder()));
    EXPECT_EQ(Registry(),
              "[SOFTWARE\\Orbanel\\Lumetra\\Client]\n"
              "EngineVer_0154=0.0.0.0\n"
              "LocalFolder=" + LocalFolder() + "\n"
              "EngineNo=0154\n");
    // Installing again changes nothing.
    EXPECT_EQ(e.install(nullptr), 1);
    EXPECT_EQ(Count(Registry(), "EngineNo="), 1u);
}

TEST_F(ModuleExportsTest, AStoredEngineNumberIsRaisedButNeverLowered) {
    struct Case {
        const char* stored;
        const char* after;
    };
    for (const Case& c : {Case{"0200", "0200"}, Case{"0100", "0154"}, Case{"", "0154"}}) {
        fs::create_directories(config.Path() + "cfg/qem");
        Write(config.Path() + "cfg/qem/registry",
              std::string("# kept\n[software\\orbanel\\lumetra\\client]\nEngineNo=") + c.stored + "\n[Other]\nA=1\n");
        EXPECT_EQ(e.install(nullptr), 1);
        const std::string registry = Registry();
        EXPECT_NE(registry.find(std::string("EngineNo=") + c.after + "\n"), std::string::npos) << registry;
        EXPECT_EQ(Count(registry, "EngineNo="), 1u) << registry;
        // What the engine does not own stays as it was.
        EXPECT_NE(registry.find("# kept\n"), std::string::npos);
        EXPECT_NE(registry.find("\n[Other]\nA=1\n"), std::string::npos);
    }
}

TEST_F(ModuleExportsTest, InstallMovesAFileIntoTheLocalFolder) {
    const std::string source = elsewhere.Path() + "engine.pak";
    Write(source, std::string("PK\x03\x04 engine bytes\0\xff", 20));
    EXPECT_EQ(e.install(source.c_str()), 1);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(Read(LocalFolder() + "engine.pak"), std::string("PK\x03\x04 engine bytes\0\xff", 20));

    // A file that lies there already stays; a name after a '\\' counts too.
    EXPECT_EQ(e.install((LocalFolder() + "engine.pak").c_str()), 1);
    EXPECT_TRUE(fs::exists(LocalFolder() + "engine.pak"));
    const std::string windowsName = elsewhere.Path() + "sub\\data.bin";
    Write(windowsName, "data");
    EXPECT_EQ(e.install(windowsName.c_str()), 1);
    EXPECT_EQ(Read(LocalFolder() + "data.bin"), "data");
}

TEST_F(ModuleExportsTest, AFileThatCannotBeCopiedIsKeptAndInstallAnswersZero) {
    // The target's name is taken by a folder with something in it.
    fs::create_directories(LocalFolder() + "engine.pak/inside");
    const std::string source = elsewhere.Path() + "engine.pak";
    Write(source, "bytes");
    EXPECT_EQ(e.install(source.c_str()), 0);
    EXPECT_EQ(Read(source), "bytes");
    EXPECT_TRUE(fs::is_directory(LocalFolder() + "engine.pak/inside"));

    EXPECT_EQ(e.install((elsewhere.Path() + "missing.pak").c_str()), 0);
    EXPECT_EQ(e.install((elsewhere.Path() + "folder/").c_str()), 0);
}

// A host with its own GLUT window runs the example script frame by frame.
TEST_F(ModuleExportsTest, AHostRunsFramesAndForwardsDataAndMessages) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display (run under xvfb-run)";
    XInitThreads();
    int argc = 1;
    char name[] = "qem_exports_tests";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(160, 120);
    const int window = glutCreateWindow("host");
    glutDisplayFunc([] {});

    testing::internal::CaptureStdout();
    QemModule* module = e.onCreate(nullptr, window, 0x000080, QEM_EXAMPLE_SCRIPT, nullptr, 0, "QUIET=0");
    ASSERT_NE(module, nullptr);
    e.genericFrame(module, 0, 0, "abc");
    e.genericFrame(module, 0, 0, "");
    for (int i = 0; i < 500; ++i) e.genericFrame(module, 0, 0, nullptr);
    // The last frame is still in the back buffer: the cube in the middle,
    // the clear colour in the top right corner.
    unsigned char middle[3] = {}, corner[3] = {};
    glReadPixels(80, 60, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, middle);
    glReadPixels(158, 118, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, corner);
    EXPECT_NE(std::vector<unsigned char>(middle, middle + 3), std::vector<unsigned char>(corner, corner + 3));
    intptr_t result = 5;
    EXPECT_EQ(e.genericEvent(module, 0, 258 /* WM_CHAR */, 'q', 0, &result), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(e.genericEvent(module, 0, 0x7FFF, 0, 0, &result), 0);
    e.callFunction(module, "OnExit", "");
    e.callFunction(module, "NoSuchFunction", "");
    e.onDestroy(module);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(Count(out, "\nDataIn: \"abc\""), 1u) << out;
    EXPECT_EQ(Count(out, "DataIn"), 1u) << out;
    EXPECT_LT(out.find("DataIn"), out.find("Checking Engine..."));
    EXPECT_NE(out.find("Hello from the example script."), std::string::npos) << out;
    EXPECT_NE(out.find("key 'q' typed"), std::string::npos) << out;
    // Once through CallFunction, once as the module ends.
    EXPECT_EQ(Count(out, "Goodbye."), 2u) << out;
    EXPECT_NE(out.find("Stopped!"), std::string::npos) << out;
}

}  // namespace
