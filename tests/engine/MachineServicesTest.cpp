// The engine machine's services to outside tools: the VR-configuration
// listener (datagrams sent to it over loopback), the debugger status link
// and the editor's log pipe; and the light pool of the script lights.
#include <GL/gl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/EditorLog.h"
#include "engine/EngineMachine.h"
#include "engine/ExternModule.h"
#include "engine/ModuleHooks.h"
#include "platform/UdpReceiver.h"
#include "scene/VRScene.h"
#include "support/GlWindowFixture.h"
#include "support/ProgramBuilder.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;
using Clock = std::chrono::steady_clock;

namespace {

bool WaitFor(const std::function<bool()>& condition, int ms = 2000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

void SendTo(uint16_t port, const std::string& datagram) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    EXPECT_EQ(sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(datagram.size()));
    close(fd);
}

struct SensorWrite {
    int sensor;
    TrackerFields fields;
    TrackerSensorRecord record;
};

std::vector<float> Fields(const TrackerSensorRecord& r) {
    return {r.position[0],   r.position[1],   r.position[2],   r.rotation[0],   r.rotation[1],
            r.rotation[2],   r.quaternion[0], r.quaternion[1], r.quaternion[2], r.quaternion[3],
            r.joystick[0],   r.joystick[1],   static_cast<float>(r.buttons)};
}

class VRConfigListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        listener.SetPort(0);
        listener.SetStereoTarget(&mutex, &settings);
        listener.SetTrackerWriter([this](int sensor, TrackerFields fields, const TrackerSensorRecord& r) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_writes.push_back({sensor, fields, r});
        });
        ASSERT_TRUE(listener.Start());
        ASSERT_NE(listener.Port(), 0);
    }

    // Sends the datagram, then a marker, and waits until the marker took
    // effect: the listener handles datagrams in order, so the first one is
    // done by then.
    void Send(const std::string& datagram) {
        SendTo(listener.Port(), datagram);
        const float marker = static_cast<float>(++m_markers);
        SendTo(listener.Port(), "VR_FOCAL_LENGHT, " + std::to_string(m_markers));
        ASSERT_TRUE(WaitFor([&] { return Read().focalLength == marker; })) << datagram;
    }

    // The stereo settings, copied under their mutex.
    VRStereoSettings Read() {
        mutex.Lock(std::chrono::seconds(1));
        const VRStereoSettings copy = settings;
        mutex.Unlock();
        return copy;
    }
    void SetTrackingMode(int32_t mode) {
        mutex.Lock(std::chrono::seconds(1));
        settings = VRStereoSettings();
        settings.trackingMode = mode;
        mutex.Unlock();
    }

    // The record writes the listener made, in order.
    std::vector<SensorWrite> Writes() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_writes;
    }
    void ClearWrites() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_writes.clear();
    }

    VRMutex mutex;
    VRStereoSettings settings;
    VRConfigListener listener;

private:
    std::mutex m_lock;
    std::vector<SensorWrite> m_writes;
    int m_markers = 100;
};

TEST_F(VRConfigListenerTest, ScreenSizeChangesOnlyTheScreen) {
    const VRStereoSettings before = Read();
    Send("VR_SCREEN_SIZE, 2.5, 1.8");
    const VRStereoSettings after = Read();
    EXPECT_EQ(after.screenWidth, 2.5f);
    EXPECT_EQ(after.screenHeight, 1.8f);
    EXPECT_EQ(after.eyeSeparation, before.eyeSeparation);
    EXPECT_EQ(after.eyeOffsetY, before.eyeOffsetY);
    EXPECT_EQ(after.eyeOffsetZ, before.eyeOffsetZ);
    EXPECT_EQ(after.trackingMode, before.trackingMode);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(after.trackerPosition[i], before.trackerPosition[i]);
        EXPECT_EQ(after.trackerOrientation[i], before.trackerOrientation[i]);
    }
    EXPECT_TRUE(Writes().empty());

    Send("vr_eye_separation,0.1, 0.2,  0.3");  // any case; no blank after ',' needed
    EXPECT_EQ(Read().eyeSeparation, 0.1f);
    EXPECT_EQ(Read().eyeOffsetY, 0.2f);
    EXPECT_EQ(Read().eyeOffsetZ, 0.3f);
}

TEST_F(VRConfigListenerTest, SensorRecordsFillFromTheNumbersInOrder) {
    struct Case {
        const char* datagram;
        int sensor;
        std::vector<float> fields;  // position, rotation, quaternion x y z w, joystick, buttons
    };
    const Case cases[] = {
        {"VR_TRACKER_SENSOR_2, 1, 2, 3", 2, {1, 2, 3, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        // 14 numbers: the first 13 count; buttons are truncated.
        {"vr_tracker_sensor_7, 1, 2, 3, 4, 5, 6, 7, 8, 9.9, 10, 11, 12, 13, 14", 7,
         {1, 2, 3, 4, 5, 6, 11, 12, 13, 10, 7, 8, 9}},
        {"VR_TRACKER_SENSOR_0", 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        // Reading stops at the first number that is missing.
        {"VR_TRACKER_SENSOR_1, 5, x, 7", 1, {5, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        // Buttons beyond the int32 range, or not a number, are INT32_MIN.
        {"VR_TRACKER_SENSOR_3, 0, 0, 0, 0, 0, 0, 0, 0, 1e10", 3,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, static_cast<float>(INT32_MIN)}},
        {"VR_TRACKER_SENSOR_4, 0, 0, 0, 0, 0, 0, 0, 0, nan", 4,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, static_cast<float>(INT32_MIN)}},
    };
    for (const Case& c : cases) {
        ClearWrites();
        Send(c.datagram);
        const std::vector<SensorWrite> seen = Writes();
        ASSERT_EQ(seen.size(), 1u) << c.datagram;
        EXPECT_EQ(seen[0].sensor, c.sensor) << c.datagram;
        EXPECT_EQ(seen[0].fields, TrackerFields::Whole) << c.datagram;
        EXPECT_EQ(Fields(seen[0].record), c.fields) << c.datagram;
    }
}

TEST_F(VRConfigListenerTest, OtherNamesAndMalformedDatagramsAreIgnored) {
    const VRStereoSettings before = Read();
    for (const char* datagram : {"VR_TRACKER_SENSOR_8, 1, 2, 3", "VR_TRACKER_SENSOR_, 1", "VR_SCREEN_SIZES, 1, 2",
                                 ", VR_SCREEN_SIZE, 1, 2", "", "\xff\xfe garbage"})
        Send(datagram);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(Read().screenWidth, before.screenWidth);
    EXPECT_EQ(Read().screenHeight, before.screenHeight);

    // A blank before the ',' ends the numbers: the screen gets 0 by 0.
    Send("VR_SCREEN_SIZE , 2.5, 1.8");
    EXPECT_EQ(Read().screenWidth, 0.0f);
    EXPECT_EQ(Read().screenHeight, 0.0f);
}

TEST_F(VRConfigListenerTest, SensorZeroReachesTheSceneInTrackingModeOneOnly) {
    for (int mode : {0, 1, 2}) {
        SetTrackingMode(mode);
        ClearWrites();
        Send("VR_TRACKER_POSITION, 1, 2, 3");
        Send("VR_TRACKER_ORIENTATION, 4, 5, 6");
        const std::vector<SensorWrite> seen = Writes();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].sensor, 0);
        EXPECT_EQ(seen[0].fields, TrackerFields::Position);
        EXPECT_EQ(std::vector<float>(seen[0].record.position, seen[0].record.position + 3),
                  std::vector<float>({1, 2, 3}));
        EXPECT_EQ(seen[1].fields, TrackerFields::Rotation);
        EXPECT_EQ(std::vector<float>(seen[1].record.rotation, seen[1].record.rotation + 3),
                  std::vector<float>({4, 5, 6}));
        const VRStereoSettings v = Read();
        const std::vector<float> position(v.trackerPosition, v.trackerPosition + 3);
        const std::vector<float> orientation(v.trackerOrientation, v.trackerOrientation + 3);
        EXPECT_EQ(position, mode == 1 ? std::vector<float>({1, 2, 3}) : std::vector<float>({0, 0, 1})) << mode;
        EXPECT_EQ(orientation, mode == 1 ? std::vector<float>({4, 5, 6}) : std::vector<float>({0, 0, 0})) << mode;

        Send("VR_TRACKER_SENSOR_0, 7, 8, 9, 10, 11, 12");
        const VRStereoSettings w = Read();
        EXPECT_EQ(w.trackerPosition[0], mode == 1 ? 7.0f : 0.0f) << mode;
        EXPECT_EQ(w.trackerOrientation[2], mode == 1 ? 12.0f : 0.0f) << mode;
    }
}

TEST_F(VRConfigListenerTest, ADatagramAsLargeAsTheBufferIsCutByOneByte) {
    // 45,055 bytes: the last one is dropped so that the text ends inside the
    // buffer (the sanitizer build would see a byte written past it).
    std::string big = "VR_SCREEN_SIZE, 3, 4";
    big += std::string(VRConfigListener::kBufferSize - big.size() - 1, ' ') + "5";
    ASSERT_EQ(big.size(), VRConfigListener::kBufferSize);
    Send(big);
    EXPECT_EQ(Read().screenWidth, 3.0f);
    EXPECT_EQ(Read().screenHeight, 4.0f);
}

TEST(VRConfigListener, APortInUseMeansNoListenerAndStoppingIsPrompt) {
    UdpReceiver taken;
    ASSERT_TRUE(taken.Bind(0));
    {
        VRConfigListener listener;
        listener.SetPort(taken.Port());
        EXPECT_FALSE(listener.Start());
        EXPECT_FALSE(listener.Running());
    }
    const auto start = Clock::now();
    {
        VRConfigListener listener;
        listener.SetPort(0);
        ASSERT_TRUE(listener.Start());
        EXPECT_TRUE(listener.Start());  // once only
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // blocked in its receive
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

// ---------------------------------------------------------------------------
// Through the engine machine

class MachineServicesTest : public ::testing::Test {
protected:
    MachineServicesTest() : m_name("/qem-status-test-" + std::to_string(getpid())) {
        DebuggerStatusLink::SetName(m_name);
        shm_unlink(m_name.c_str());
    }
    ~MachineServicesTest() override {
        shm_unlink(m_name.c_str());
        DebuggerStatusLink::SetName(DebuggerStatusLink::kDefaultName);
    }

    // Makes the status object with `size` bytes, as the outside tool does.
    int32_t* MakeStatusObject(off_t size) {
        const int fd = shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, size), 0);
        void* view = size >= 4 ? mmap(nullptr, 4, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : nullptr;
        close(fd);
        return view == MAP_FAILED ? nullptr : static_cast<int32_t*>(view);
    }

    std::ostringstream out;
    ScratchFolder scratch;

private:
    std::string m_name;
};

// The listener writes into the scene, which needs a GL context.
class MachineListenerTest : public GlWindowFixture {};

TEST_F(MachineListenerTest, TheListenerStartsForASceneInATrackingModeAndStopsBeforeIt) {
    if (IsSkipped()) return;
    const auto start = Clock::now();
    {
        CVRMachine vm(-1, 0, nullptr, 0, false, -1);
        vm.ConfigListener().SetPort(0);
        vm.StartVRConfigListener();  // no scene yet
        EXPECT_FALSE(vm.ConfigListener().Running());
        vm.Scene().scene = new VRScene(60.0f, 0.1f, 1000.0f);
        vm.StartVRConfigListener();  // tracking mode 0
        EXPECT_FALSE(vm.ConfigListener().Running());
        vm.Scene().scene->SetParamInt(kParamTrackingMode, 1);
        vm.StartVRConfigListener();
        ASSERT_TRUE(vm.ConfigListener().Running());
        SendTo(vm.ConfigListener().Port(), "VR_FOCAL_LENGHT, 9");
        EXPECT_TRUE(WaitFor([&] {
            float values[3] = {};
            return vm.Scene().scene->GetParamFloat(kParamFocalLength, values) >= 0 && values[0] == 9.0f;
        }));
        // The machine keeps the sensor records the listener receives.
        SendTo(vm.ConfigListener().Port(), "VR_TRACKER_SENSOR_3, 1, 2, 3, 4, 5, 6, 7, 8, 9");
        EXPECT_TRUE(WaitFor([&] { return vm.Devices().trackers.Read(3).buttons == 9; }));
        EXPECT_EQ(Fields(vm.Devices().trackers.Read(3)),
                  (std::vector<float>{1, 2, 3, 4, 5, 6, 0, 0, 0, 1, 7, 8, 9}));
        // The scene goes (the machine's end would delete it too).
        EngineModuleHooks().destroyScene(vm);
        EXPECT_FALSE(vm.ConfigListener().Running());
        vm.Scene().scene = new VRScene(60.0f, 0.1f, 1000.0f);
        vm.Scene().scene->SetParamInt(kParamTrackingMode, 2);
        vm.StartVRConfigListener();
        EXPECT_TRUE(vm.ConfigListener().Running());
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

// The pool hands out the lowest free light of 0..6; a light given back is
// switched off in the scene and is the next one handed out.
TEST_F(MachineListenerTest, TheLightPoolGivesTheLowestFreeLightAndSwitchesFreedOnesOff) {
    if (IsSkipped()) return;
    CVRMachine vm(-1, 0, nullptr, 0, false, -1);
    std::vector<int32_t> given;
    for (int i = 0; i < 8; ++i) given.push_back(vm.AllocLight());
    EXPECT_EQ(given, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, -1}));

    vm.Scene().scene = new VRScene(60.0f, 0.1f, 1000.0f);
    vm.Scene().scene->Enable(3);
    for (const int32_t outside : {-1, 7, 1000}) vm.FreeLight(outside);  // nothing changes
    EXPECT_EQ(vm.AllocLight(), -1);
    vm.FreeLight(3);
    EXPECT_EQ(vm.Scene().scene->lightEnabled[3], 0);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT3));
    EXPECT_EQ(vm.AllocLight(), 3);
    EXPECT_EQ(vm.AllocLight(), -1);
}

TEST_F(MachineServicesTest, TheStatusObjectShowsTheLastInstruction) {
    ProgramBuilder b;
    b.Return();
    b.Function("WORK", 0);
    b.Emit(OP_RESERVE, I(1));
    b.Emit(OP_COPY, VInt(5), None(), L(1));
    const int last = b.Here();
    b.Return(L(1));
    const std::vector<uint8_t> bytes = b.WriteFile();
    const std::string path = scratch.Make("work.bin");
    WriteFile(path, std::string(bytes.begin(), bytes.end()));

    {
        // No object, or one too small for the index: no link.
        CVRMachine vm(-1, 0, nullptr, 0, false, -1);
        EXPECT_FALSE(vm.StatusLink().IsOpen());
    }
    MakeStatusObject(2);
    {
        CVRMachine vm(-1, 0, nullptr, 0, false, -1);
        EXPECT_FALSE(vm.StatusLink().IsOpen());
    }
    shm_unlink(("/qem-status-test-" + std::to_string(getpid())).c_str());

    int32_t* status = MakeStatusObject(4);
    ASSERT_NE(status, nullptr);
    *status = -7;
    CVRMachine vm(-1, 0, nullptr, 0, false, -1);
    vm.SetOutputStream(&out, false);
    ASSERT_TRUE(vm.StatusLink().IsOpen());
    ASSERT_TRUE(vm.LoadProgram(path)) << out.str();
    CVmValue* r = vm.CallScriptFunction(0, vm.FindFunction("WORK"), nullptr);
    ASSERT_NE(r, nullptr) << out.str();
    EXPECT_EQ(r->asInt, 5);
    EXPECT_EQ(__atomic_load_n(status, __ATOMIC_RELAXED), last);
    munmap(status, 4);
}

TEST_F(MachineServicesTest, EditorLogReachesAReaderAndNeverWaitsWithoutOne) {
    setenv("TMPDIR", scratch.Path().c_str(), 1);
    const std::string pipe = EditorLogPipePath();
    ASSERT_EQ(pipe, scratch.Path() + "Tavoret_NEMEDPIPE");

    // No pipe, then a pipe nobody reads: the call returns at once.
    const auto start = Clock::now();
    EditorLog("lost", 4);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EditorLog("lost", 4);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));

    // A reader gets the bytes, a zero byte and all.
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EditorLog("hello\0editor", 12);
    std::string got(64, '\0');
    const ssize_t n = read(reader, &got[0], got.size());
    ASSERT_EQ(n, 12);
    EXPECT_EQ(got.substr(0, 12), std::string("hello\0editor", 12));

    // A reader that leaves while a long text is written: the call ends and
    // the process lives on (no SIGPIPE).
    std::thread leaving([&] {
        char some[16];
        while (read(reader, some, sizeof some) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        close(reader);
    });
    const std::string longText(4 << 20, 'x');
    EditorLog(longText.data(), static_cast<int32_t>(longText.size()));
    leaving.join();

    // Modules get the function through the host services.
    CVRMachine vm(-1, 0, nullptr, 0, false, -1);
    EXPECT_EQ(HostServices(kHostEditorLog), reinterpret_cast<void*>(static_cast<QemEditorLogProc>(&EditorLog)));
}

}  // namespace

TEST(TrackerRecords, AReaderNeverSeesARecordHalfWritten) {
    TrackerRecords records;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 20000; ++i) {
            TrackerSensorRecord r;
            const float v = static_cast<float>(i);
            for (float* f : {r.position, r.rotation}) std::fill(f, f + 3, v);
            std::fill(r.quaternion, r.quaternion + 4, v);
            std::fill(r.joystick, r.joystick + 2, v);
            r.buttons = i;
            records.Write(4, TrackerFields::Whole, r);
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        const std::vector<float> f = Fields(records.Read(4));
        if (f[12] != 0.0f && std::count(f.begin(), f.end(), f[12]) != 13) ++torn;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
    // Numbers outside 0..9 are neither kept nor read.
    records.Write(10, TrackerFields::Whole, records.Read(4));
    EXPECT_EQ(Fields(records.Read(10)), Fields(TrackerSensorRecord()));
}
