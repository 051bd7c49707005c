// The installer's failure endings on the simulated device: each row of the
// failure table with its exit status or reboot, broadcasts, log lines, final
// screen and untouched flash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using drivertest::Broadcasts;
using drivertest::Build;
using drivertest::FailureScreen;
using drivertest::LastFrame;
using drivertest::PhoneIni;
using drivertest::SamplePackage;
using drivertest::WindowUntouched;

constexpr char kFill = static_cast<char>(0xA5);
constexpr uint32_t kWatchdogRequest = 0x80044D05u;

bool FlashUntouched(const devsim::Device& dev) {
    for (int mtd = 0; mtd < 7; ++mtd) {
        if (!WindowUntouched(dev, mtd, kFill)) return false;
    }
    return true;
}

// Runs that end before any failure screen: exit status, log line, no
// broadcast, the watchdog requests made and the process lock left behind. The
// file-mode exits without a package give back the lock and the watchdog, so a
// later installer runs instead of stopping at its try-lock.
struct QuietEnd {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> args;
    bool empty_rom;
    int exit_status;
    const char* log_line;
    std::vector<int> watchdog;  // values of the watchdog requests, in order
    int process_lock;           // 0xC002 at the end
};

void PrintTo(const QuietEnd& c, std::ostream* os) { *os << c.name; }

class DriverQuietEnd : public testing::TestWithParam<QuietEnd> {};

TEST_P(DriverQuietEnd, EndsWithItsStatusAndShowsNothing) {
    const QuietEnd& c = GetParam();
    devsim::Device dev(c.name);
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    std::vector<std::string> options = c.options;
    if (c.empty_rom) {
        options.push_back("--rom");
        options.push_back(dev.HostFile("empty.rom", ""));
    }
    ASSERT_EQ(dev.Run(options, c.args), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "exited");
    ASSERT_TRUE(dev.result().exit_status.has_value());
    EXPECT_EQ(*dev.result().exit_status, c.exit_status);
    EXPECT_TRUE(dev.LogContains(c.log_line)) << c.log_line;
    EXPECT_TRUE(Broadcasts(dev).empty());
    std::vector<int> watchdog;
    for (const auto& m : dev.Misc()) {
        if (m.request == kWatchdogRequest) watchdog.push_back(static_cast<int>(m.value));
    }
    EXPECT_EQ(watchdog, c.watchdog);
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xC002"), c.process_lock);
    EXPECT_TRUE(FlashUntouched(dev));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DriverQuietEnd,
    testing::Values(
        QuietEnd{"path", {"--argv0", "/usr/bin/upgrader", "--rom", "/dev/null"}, {}, false, 0,
                 "upgrader path error", {0}, drivertest::kNoSemaphore},
        QuietEnd{"args3", {}, {"/tmp/a.rom", "extra"}, false, 56,
                 "usage: /basic/bin/upgrader  or  /basic/bin/upgrader rom_file", {}, drivertest::kNoSemaphore},
        QuietEnd{"emptyrom", {}, {}, true, 61, "memory map failed!", {0, 1}, 1},
        QuietEnd{"norom", {}, {"/tmp/missing.rom"}, false, 60, "/tmp/missing.rom File open failed!", {0, 1},
                 1}),
    [](const testing::TestParamInfo<QuietEnd>& p) { return std::string(p.param.name); });

// The usage exit comes after the copies of reboot and the shell tools.
TEST(DriverStart, UsageExitComesAfterTheCopies) {
    devsim::Device dev("usage");
    dev.Ini(PhoneIni());
    ASSERT_EQ(dev.Run({}, {"a", "b"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status.value_or(-1), 56);
    EXPECT_TRUE(dev.DeviceFileExists("/tmp/reboot"));
}

TEST(DriverStart, SecondInstallerStopsAtTheProcessLock) {
    devsim::Device dev("second");
    dev.Ini(PhoneIni("", "[semaphores]\n0xC002 = 0\n"));
    drivertest::AddVersionFiles(dev);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(SamplePackage()))}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "exited");
    EXPECT_EQ(dev.result().exit_status.value_or(-1), 0);
    EXPECT_TRUE(dev.LogContains("lock upgrader_process failed"));
    EXPECT_FALSE(dev.LogContains("rom--------"));
    EXPECT_TRUE(FlashUntouched(dev));
}

// The failure screens of file mode (their texts, IDs, broadcasts and locks)
// are rows of the fault matrix (tests/hardening).

TEST(DriverFailure, BurnLockTakenEndsQuietlyAfterTheApplicationsStopped) {
    devsim::Device dev("burnlock");
    dev.Ini(PhoneIni("", "[semaphores]\n0xC004 = 0\n"));
    drivertest::AddVersionFiles(dev);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(SamplePackage()))}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "exited");
    EXPECT_EQ(dev.result().exit_status.value_or(-1), 0);
    EXPECT_TRUE(dev.LogContains("lock burn_flash_semid failed"));
    EXPECT_EQ(Broadcasts(dev), (std::vector<std::pair<int, int>>{{4, 2}}));
    EXPECT_TRUE(FlashUntouched(dev));
}

TEST(DriverFailure, NoSharedBufferShowsGetShmFailed) {
    devsim::Device dev("noshm");
    dev.Ini(PhoneIni());
    ASSERT_EQ(dev.Run({"--keys", "35@frame1"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    const int n = dev.FrameCount();
    ASSERT_GE(n, 2);
    EXPECT_EQ(dev.FrameText(n - 1), FailureScreen("Get shm Failed!", -198));
    EXPECT_EQ(Broadcasts(dev), (std::vector<std::pair<int, int>>{{3, 0}}));
}

// Without the key the failure screen stays: the run ends at its time limit.
TEST(DriverFailure, FailureScreenWaitsForTheKey) {
    devsim::Device dev("nokey");
    dev.Ini(PhoneIni("timeout = 3\n"));
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    desc.device_id = 54;
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(desc)), "--keys", "34@frame1,36@frame1"}),
              0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "timeout");
    EXPECT_EQ(LastFrame(dev), FailureScreen("Rom check Failed!", -95));
}

// Without a copy of reboot in /tmp every reboot uses "reboot": a directory
// in the way makes "cp /sbin/reboot /tmp/" fail.
TEST(DriverFailure, MissingRebootCopyUsesPlainReboot) {
    devsim::Device dev("nocopy");
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    dev.File("/tmp/reboot/in-the-way", "");
    RomPackageSpec desc = SamplePackage();
    desc.device_id = 54;
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(desc)), "--keys", "35@frame1"}), 0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "reboot");
}

}  // namespace
