// Upgrades that go through on the simulated device: both start forms, the
// same-version path, the upgrade states, the upgrader-tool hand-off, the
// save-file semaphore and the auto-provisioning countdown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using drivertest::Broadcasts;
using drivertest::Build;
using drivertest::Bytes;
using drivertest::CountdownScreen;
using drivertest::FailureScreen;
using drivertest::LastFrame;
using drivertest::PhoneIni;
using drivertest::ProgressScreen;
using drivertest::SamplePackage;
using drivertest::WindowUntouched;

constexpr char kFill = static_cast<char>(0xA5);
using Pairs = std::vector<std::pair<int, int>>;

// The partitions of `desc` that were to be written lie at the start of their
// windows; partition 5 (installed version) and the others are untouched.
void ExpectBurned(const devsim::Device& dev, const RomPackageSpec& desc) {
    for (const auto& part : desc.partitions) {
        const int mtd = static_cast<int>(part.partition_id);
        if (mtd > 6) continue;  // special partitions are not flash
        if (mtd == 5) {
            EXPECT_TRUE(WindowUntouched(dev, 5, kFill)) << "skipped partition written";
            continue;
        }
        const std::string window = dev.Window(mtd);
        ASSERT_GE(window.size(), part.data.size()) << "mtd" << mtd;
        EXPECT_EQ(window.substr(0, part.data.size()), Bytes(part.data)) << "mtd" << mtd;
    }
    for (int mtd : {0, 3, 4, 6}) EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << "mtd" << mtd;
}

struct Mode {
    const char* name;
    bool shm;
};

void PrintTo(const Mode& c, std::ostream* os) { *os << c.name; }

class DriverSuccess : public testing::TestWithParam<Mode> {};

TEST_P(DriverSuccess, WritesTheSelectedPartitionsAndReboots) {
    const Mode& m = GetParam();
    devsim::Device dev(m.name);
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    dev.File("/config/upgrader_autop", "1");
    RomPackageSpec desc = SamplePackage();
    const std::string rom = dev.HostFile("p.rom", Build(desc));
    ASSERT_EQ(dev.Run(m.shm ? std::vector<std::string>{"--shm", rom, "--state", "0"}
                            : std::vector<std::string>{"--rom", rom}),
              0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_EQ(Broadcasts(dev), (Pairs{{4, 2}}));
    ExpectBurned(dev, desc);
    EXPECT_EQ(LastFrame(dev), ProgressScreen(100));
    EXPECT_FALSE(dev.DeviceFileExists("/config/upgrader_autop"));
    // The auto-provisioning files are prepared in shared-memory mode only.
    EXPECT_EQ(dev.LogContains("config_deleteLineKey8"), m.shm);
    // The process and burn locks stay taken until the phone restarts.
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xC002"), 0);
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xC004"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, DriverSuccess,
                         testing::Values(Mode{"file", false}, Mode{"shm", true}),
                         [](const testing::TestParamInfo<Mode>& p) {
                             return std::string(p.param.name);
                         });

TEST(DriverSameVersion, RunsTheBarThroughAndRebootsWithoutWriting) {
    devsim::Device dev("same");
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    dev.File("/config/upgrader_autop", "1");
    RomPackageSpec desc = SamplePackage();
    desc.rom_version = rombuild_version(1, 0, 0, 1);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(desc))}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    std::vector<std::string> expected;
    for (int p = 15; p <= 95; p += 10) expected.push_back(ProgressScreen(p));
    expected.push_back(ProgressScreen(100));
    EXPECT_EQ(drivertest::Frames(dev), expected);
    EXPECT_FALSE(dev.DeviceFileExists("/config/upgrader_autop"));
    for (int mtd = 0; mtd < 7; ++mtd) EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << mtd;
}

// Upgrade states of the shared ROM buffer, with a package refused for its
// hardware id: what the failure ending shows, whether killapps runs for an
// accepted package, and what is left of the buffer.
struct StateCase {
    const char* name;
    int state;
    bool refused;       // package for another hardware
    const char* outcome;
    int exit_status;    // -1: none expected
    const char* text;   // failure text, or null
    int failure_id;
    bool countdown;     // the auto-provisioning countdown
    bool buffer_left;   // the shared ROM buffer still exists at the end
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }

class DriverState : public testing::TestWithParam<StateCase> {};

TEST_P(DriverState, ReactsAsTheStateWordAsks) {
    const StateCase& c = GetParam();
    devsim::Device dev(c.name);
    dev.Ini(PhoneIni(c.countdown ? "" : "keys = 35@frame1\n"));
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    if (c.refused) desc.device_id = 54;
    ASSERT_EQ(dev.Run({"--shm", dev.HostFile("p.rom", Build(desc)), "--state", std::to_string(c.state)}),
              0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, c.outcome);
    if (c.exit_status >= 0) {
        EXPECT_EQ(dev.result().exit_status.value_or(-1), c.exit_status);
    }
    if (c.text != nullptr) {
        const int n = dev.FrameCount();
        ASSERT_GE(n, 2);
        EXPECT_EQ(dev.FrameText(n - 1), FailureScreen(c.text, c.failure_id));
    }
    if (c.countdown) {
        // 60 down to 1, then the notice; the reboot uses "reboot".
        std::vector<std::string> frames = drivertest::Frames(dev);
        ASSERT_GE(frames.size(), 61u);
        const size_t first = frames.size() - 61;
        for (int s = 60; s >= 1; --s) {
            EXPECT_EQ(frames[first + static_cast<size_t>(60 - s)], CountdownScreen(c.failure_id, s))
                << "second " << s;
        }
        EXPECT_EQ(frames.back(), drivertest::NoticeScreen("Rebooting..."));
        EXPECT_EQ(dev.result().reboot_command.value_or(""), "reboot");
    }
    if (!c.refused) {
        EXPECT_EQ(dev.result().outcome, "rebooted");
    }
    if (!c.refused && c.state != -1 && c.state != -2) {
        ExpectBurned(dev, desc);
    }
    // Deleted after a refusal; kept by the -199 ending and by a reboot that
    // comes first. Its semaphore is free however the run ended.
    EXPECT_EQ(dev.result().sysv.Segment("0xA130").exists, c.buffer_left);
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xA130"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    States, DriverState,
    testing::Values(
        StateCase{"s0", 0, true, "rebooted", -1, "Rom check Failed!", -95, false, false},
        StateCase{"sm1", -1, false, "rebooted", -1, "Load Rom Failed!", -199, false, true},
        StateCase{"s1", 1, true, "rebooted", -1, nullptr, -95, true, false},
        StateCase{"sm2", -2, false, "rebooted", -1, nullptr, -199, true, true},
        StateCase{"s2", 2, false, "rebooted", -1, nullptr, 0, false, true},
        StateCase{"sm3", -3, false, "rebooted", -1, nullptr, 0, false, true},
        StateCase{"s5", 5, true, "exited", 63, nullptr, 0, false, false}),
    [](const testing::TestParamInfo<StateCase>& p) { return std::string(p.param.name); });

// Key 35 during the countdown reboots through the main thread's wait, which
// uses the copy in /tmp.
TEST(DriverCountdown, KeyDuringTheCountdownReboots) {
    devsim::Device dev("cdkey");
    dev.Ini(PhoneIni("keys = 35@frame5\n"));
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    desc.device_id = 54;
    ASSERT_EQ(dev.Run({"--shm", dev.HostFile("p.rom", Build(desc)), "--state", "1"}), 0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_LT(dev.FrameCount(), 30);
    EXPECT_EQ(Broadcasts(dev), (Pairs{{4, 1}, {3, 0}}));
}

// States 2 and -3 leave the applications running.
TEST(DriverState, StatesTwoAndMinusThreeSkipKillapps) {
    for (int state : {2, -3, 0}) {
        devsim::Device dev("kill" + std::to_string(state + 3));
        dev.Ini(PhoneIni());
        drivertest::AddVersionFiles(dev);
        ASSERT_EQ(dev.Run({"--shm", dev.HostFile("p.rom", Build(SamplePackage())), "--state",
                           std::to_string(state)}),
                  0)
            << dev.Stderr();
        EXPECT_EQ(dev.result().outcome, "rebooted");
        const std::string result = devsim::ReadFile(dev.OutDir() + "/result.json");
        const bool ran = result.find("\"killapps_runs\": 1") != std::string::npos ||
                         result.find("\"killapps_runs\":1") != std::string::npos;
        EXPECT_EQ(ran, state == 0) << "state " << state << ": " << result;
    }
}

// The save-file semaphore held elsewhere for 15 s: the run goes on after its
// ten tries and completes.
TEST(DriverLocks, SaveFileSemaphoreHeldLongerThanTenSeconds) {
    devsim::Device dev("savesem");
    dev.Ini(PhoneIni("", "[semaphores]\n0xB012 = 15\n"));
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(desc))}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    ExpectBurned(dev, desc);
}

// Upgrader tools: a script stands in for the newer installer and records how
// it was started.
RomPartitionSpec Tool(uint32_t version) {
    const std::string script = "#!/bin/sh\necho \"started $#:$1\" > /config/tool_ran\n";
    RomPartitionSpec p;
    p.partition_id = 255;
    p.partition_type = 1;
    p.partition_version = version;
    p.data.assign(script.begin(), script.end());
    return p;
}

struct HandOff {
    const char* name;
    bool shm;
    const char* argv0;
    uint32_t tool_version;  // 0: no tool partition
    bool stale_tool;        // /tmp/upgrader_tool present before the run
    bool handed_off;
    const char* tool_record;  // what the tool wrote, when handed off
};

void PrintTo(const HandOff& c, std::ostream* os) { *os << c.name; }

class DriverHandOff : public testing::TestWithParam<HandOff> {};

TEST_P(DriverHandOff, StartsTheToolOrGoesOn) {
    const HandOff& c = GetParam();
    devsim::Device dev(c.name);
    dev.Ini(PhoneIni(std::string("argv0 = ") + c.argv0 + "\n"));
    drivertest::AddVersionFiles(dev);
    if (c.stale_tool) {
        dev.File("/tmp/upgrader_tool", "#!/bin/sh\necho \"stale $#\" > /config/tool_ran\n", 0755);
    }
    RomPackageSpec desc = SamplePackage();
    if (c.tool_version != 0) desc.partitions.insert(desc.partitions.begin(), Tool(c.tool_version));
    const std::string rom = dev.HostFile("p.rom", Build(desc));
    ASSERT_EQ(dev.Run(c.shm ? std::vector<std::string>{"--shm", rom, "--state", "0"}
                            : std::vector<std::string>{"--rom", rom}),
              0)
        << dev.Stderr();
    if (c.handed_off) {
        EXPECT_EQ(dev.result().outcome, "exited");
        EXPECT_EQ(dev.result().exit_status.value_or(-1), 0);
        EXPECT_TRUE(dev.LogContains("upgrader_tool_check /tmp/upgrader_tool exist"));
        EXPECT_EQ(dev.DeviceFile("/config/tool_ran"), std::string(c.tool_record) + "\n");
        for (int mtd = 0; mtd < 7; ++mtd) EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << mtd;
        EXPECT_TRUE(Broadcasts(dev).empty());
        // The buffer is left for the tool, its semaphore free.
        EXPECT_EQ(dev.result().sysv.Segment("0xA130").exists, c.shm);
        EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xA130"), c.shm ? 1 : drivertest::kNoSemaphore);
    } else {
        EXPECT_EQ(dev.result().outcome, "rebooted");
        EXPECT_FALSE(dev.DeviceFileExists("/config/tool_ran"));
        ExpectBurned(dev, desc);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverHandOff,
    testing::Values(
        HandOff{"newer", true, "/basic/bin/upgrader", rombuild_version(1, 0, 0, 56), false, true,
                "started 0:"},
        HandOff{"stale", true, "/basic/bin/upgrader", 0, true, true, "stale 0"},
        HandOff{"ownver", true, "/basic/bin/upgrader", rombuild_version(1, 0, 0, 55), false, false,
                ""},
        HandOff{"exists", true, "/basic/bin/upgrader", rombuild_version(1, 0, 0, 56), true, true,
                "stale 0"},
        HandOff{"tool2", true, "/tmp/upgrader_tool2", rombuild_version(1, 0, 0, 56), false, true,
                "started 0:"},
        HandOff{"filemode", false, "/basic/bin/upgrader", rombuild_version(1, 0, 0, 56), false, true,
                "started 1:/tmp/upgrade.rom"}),
    [](const testing::TestParamInfo<HandOff>& p) { return std::string(p.param.name); });

}  // namespace
