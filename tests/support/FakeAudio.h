// The sound library on the fake device: a fresh library and back end per
// test, run in a scratch folder (where "VRAlib.ini" and "DSlog.txt" live),
// with the library's warnings recorded.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "media/DSBackEnd.h"
#include "media/VRAlib.h"
#include "scene/EngineServices.h"
#include "support/FakeDsDevice.h"
#include "support/ScratchFolder.h"
#include "support/SoundFiles.h"

namespace qemtest {

class FakeAudio : public ::testing::Test {
protected:
    FakeAudio() : control(std::make_shared<FakeDsControl>()) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) m_cwd = cwd;
        EXPECT_EQ(chdir(folder.Path().c_str()), 0);
        VRAlibReset();
        DSCurrentSettings() = DSSettings();
        DSSetDeviceFactory(FakeDsDeviceFactory(control));
        s_warnings = &warnings;
        VRAlibSetWarningWriter([](const char* text) { s_warnings->push_back(text); });
        SetEngineWarningHandler([](const char* text) {
            s_warnings->push_back(std::string("engine: ") + text);
            return 0;
        });
    }
    ~FakeAudio() override {
        VRAlibReset();
        DSSetDeviceFactory(DsDeviceFactory());
        DSCurrentSettings() = DSSettings();
        SetEngineWarningHandler(nullptr);
        s_warnings = nullptr;
        if (!m_cwd.empty()) {
            EXPECT_EQ(chdir(m_cwd.c_str()), 0);
        }
    }

    // A wave file in the folder.
    std::string Wave(const std::string& name, const PcmFormat& format = PcmFormat(), size_t frames = 100) {
        const std::string data(frames * format.channels * format.bits / 8, '\x10');
        WriteBytes(folder.Path() + name, WaveBytes(format, data));
        return folder.Path() + name;
    }

    // A held slot of the type with the file loaded.
    int32_t Loaded(int32_t type, const PcmFormat& format = PcmFormat()) {
        const int32_t slot = AudioAcquireSource();
        EXPECT_GE(slot, 0);
        EXPECT_EQ(AudioSetScalar(slot, "Type", type), 0);
        EXPECT_EQ(AudioSetSample(slot, "Sample", Wave("s" + std::to_string(slot) + ".wav", format).c_str()), 0);
        return slot;
    }

    ScratchFolder folder;
    std::shared_ptr<FakeDsControl> control;
    std::vector<std::string> warnings;

private:
    static inline std::vector<std::string>* s_warnings = nullptr;
    std::string m_cwd;
};

}  // namespace qemtest
