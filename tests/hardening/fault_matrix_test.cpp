// The fault matrix: the installer, started in file mode with the sample
// package, on a phone with one injected fault at a time (or a package for
// another device). Every row must end in a reboot or a stated exit, never in a
// crash or a hang; a refusal writes no flash; a failure after the first write
// keeps what was written before it and touches nothing after it; the failure
// screen names the failure; broadcasts and locks are as the row states.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "driver_fixture.h"

namespace {

using drivertest::Build;
using drivertest::FailureScreen;
using drivertest::PhoneIni;
using drivertest::SamplePackage;
using drivertest::WindowUntouched;

constexpr char kFill = static_cast<char>(0xA5);

// What a row leaves in the flash windows of the sample package's partitions
// (1: kernel, 2: file system; 5 is the installed version and never written).
enum class Win {
    kAsShipped,  // as the phone came
    kWritten,    // holds its partition
    kCut,        // does not hold its partition completely
};
struct Flash {
    Win kernel, rootfs;
};
constexpr Flash kUntouched{Win::kAsShipped, Win::kAsShipped};
constexpr Flash kAll{Win::kWritten, Win::kWritten};
constexpr Flash kKernelOnly{Win::kWritten, Win::kCut};
constexpr Flash kNoneWritten{Win::kCut, Win::kAsShipped};

constexpr int kUnchecked = -2;

struct FaultRow {
    const char* name;
    const char* faults;     // lines of [faults]
    const char* outcome;    // "rebooted" or "exited"
    int exit_status;        // for "exited"
    const char* failure;    // failure screen text, or null for none
    int failure_id;
    Flash flash;
    int kernel_writes = -1;                   // write requests into mtd1, where stated
    void (*package)(RomPackageSpec&) = nullptr;  // changes to the sample package
    // Where stated: a log line with the broadcasts in order, and the process
    // lock (0xC002) and save-file lock (0xB012) as the run left them.
    const char* log_line = nullptr;
    std::vector<std::pair<int, int>> broadcasts = {};
    int process_lock = kUnchecked;
    int save_file = kUnchecked;
};

void OtherDevice(RomPackageSpec& desc) { desc.device_id = 54; }

// The sample phone's layout with mtd1 shrunk to 64 KiB, and a kernel of
// 200,000 bytes: the package check passes, the window is too small by the burn.
void ShrinkingLayout(RomPackageSpec& desc) {
    std::string ini = "[mtd]\n";
    for (int i = 0; i < 7; ++i) {
        drivertest::Window w = drivertest::kWindows[i];
        if (i == 1) w.end = w.start + 0x10000;
        char line[48];
        snprintf(line, sizeof line, "mtd%d = %x,%x\n", i, w.start, w.end);
        ini += line;
    }
    desc.partitions[0].data = drivertest::Pattern(1, 200000);
    RomPartitionSpec layout;
    layout.partition_type = 2;
    layout.partition_id = 255;
    layout.data.assign(ini.begin(), ini.end());
    desc.partitions.push_back(layout);
}

bool Holds(const devsim::Device& dev, int mtd, const std::vector<uint8_t>& data) {
    const std::string w = dev.Window(mtd);
    return w.size() >= data.size() && w.compare(0, data.size(), drivertest::Bytes(data)) == 0;
}

void ExpectWindow(const devsim::Device& dev, int mtd, const std::vector<uint8_t>& data, Win want) {
    switch (want) {
        case Win::kAsShipped: EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << "mtd" << mtd; break;
        case Win::kWritten: EXPECT_TRUE(Holds(dev, mtd, data)) << "mtd" << mtd; break;
        case Win::kCut: EXPECT_FALSE(Holds(dev, mtd, data)) << "mtd" << mtd; break;
    }
}

void PrintTo(const FaultRow& c, std::ostream* os) { *os << c.name; }

class FaultMatrix : public testing::TestWithParam<FaultRow> {};

TEST_P(FaultMatrix, EndsAsStatedAndWritesOnlyWhatItShould) {
    const FaultRow& row = GetParam();
    devsim::Device dev(row.name);
    dev.Ini(PhoneIni("timeout = 40\n", std::string("[faults]\n") + row.faults + "\n"));
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    if (row.package != nullptr) row.package(desc);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(desc)), "--keys", "35@frame1"}), 0)
        << dev.Stderr();

    EXPECT_EQ(dev.result().outcome, row.outcome) << dev.Console();
    if (std::string(row.outcome) == "exited") {
        EXPECT_EQ(dev.result().exit_status.value_or(-1000), row.exit_status);
    }
    EXPECT_FALSE(dev.result().signal.has_value());
    if (row.failure != nullptr) {
        const int n = dev.FrameCount();
        ASSERT_GE(n, 2);
        EXPECT_TRUE(dev.FrameText(n - 1) == FailureScreen(row.failure, row.failure_id))
            << "not the failure screen " << row.failure << ":" << row.failure_id;
        EXPECT_TRUE(dev.FrameText(n) == drivertest::NoticeScreen("Rebooting..."));
    }

    ExpectWindow(dev, 1, desc.partitions[0].data, row.flash.kernel);
    ExpectWindow(dev, 2, desc.partitions[1].data, row.flash.rootfs);
    for (int mtd : {0, 3, 4, 5, 6}) EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << "mtd" << mtd;
    if (row.kernel_writes >= 0) {
        const auto ops = dev.result().flash_ops.find("mtd1");
        EXPECT_EQ(ops == dev.result().flash_ops.end() ? 0 : ops->second.writes, row.kernel_writes);
    }
    if (row.log_line == nullptr) return;
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_TRUE(dev.LogContains(row.log_line)) << row.log_line;
    EXPECT_TRUE(dev.LogContains(row.failure));
    EXPECT_EQ(drivertest::Broadcasts(dev), row.broadcasts);
    if (row.process_lock == kUnchecked) return;
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xC002"), row.process_lock);
    EXPECT_EQ(drivertest::SemaphoreAtEnd(dev, "0xB012"), row.save_file);
    // The save-file semaphore is given back exactly when this run took it.
    EXPECT_EQ(dev.LogContains("unlock cfg_semid"), dev.LogContains("locked cfg_semid"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    testing::Values(
        FaultRow{"none", "", "rebooted", 0, nullptr, 0, kAll},
        // Burn failures: the burner's code on the screen, earlier partitions kept.
        FaultRow{"erase_kernel", "erase = mtd1:0", "rebooted", 0, "Burn Flash Failed!", -82,
                 kNoneWritten},
        FaultRow{"erase_rootfs", "erase = mtd2:0", "rebooted", 0, "Burn Flash Failed!", -82,
                 kKernelOnly},
        FaultRow{"write_kernel", "write = mtd1:1", "rebooted", 0, "Burn Flash Failed!", -81,
                 kNoneWritten},
        FaultRow{"write_rootfs", "write = mtd2:0", "rebooted", 0, "Burn Flash Failed!", -81, kKernelOnly, -1,
                 nullptr, "burn flash failed!", {{4, 2}, {4, 4}, {3, 0}}},
        // The chip stores half of one write and says so: the burner writes the
        // rest and the upgrade completes.
        FaultRow{"short_write", "short_write = mtd2:0", "rebooted", 0, nullptr, 0, kAll},
        // Bits left unprogrammed by the first write of kernel block 0: the
        // read-back finds them and the block is written again (3 writes for 2
        // blocks). Always so in block 1: the write error, nothing written after.
        FaultRow{"weak_write", "weak_write = mtd1:0", "rebooted", 0, nullptr, 0, kAll, 3},
        FaultRow{"weak_write_always", "weak_write = mtd1:1:always", "rebooted", 0, "Burn Flash Failed!", -81,
                 kNoneWritten, 3},
        // A layout that shrinks the kernel's window below the kernel: refused
        // before anything is erased.
        FaultRow{"layout_shrinks_kernel", "", "rebooted", 0, "Burn Flash Failed!", -84, kUntouched, 0,
                 ShrinkingLayout},
        FaultRow{"memgetinfo", "memgetinfo = mtd2", "rebooted", 0, "Burn Flash Failed!", -82,
                 kKernelOnly},
        // Refusals of the package check: nothing written.
        FaultRow{"refused", "", "rebooted", 0, "Rom check Failed!", -95, kUntouched, -1, OtherDevice,
                 "rom pack check failed! ID:-95", {{4, 1}, {3, 0}}, 0, 1},
        FaultRow{"no_mtd2", "missing = /dev/mtd2", "rebooted", 0, "Rom check Failed!", -83,
                 kUntouched},
        FaultRow{"no_env", "missing = /proc/avalanche/env", "rebooted", 0, "Rom check Failed!", -1,
                 kUntouched},
        FaultRow{"no_hwver", "missing = /proc/misc/hwver", "rebooted", 0, "Rom check Failed!", -87,
                 kUntouched},
        FaultRow{"no_software", "missing = /proc/ver/software", "rebooted", 0, "Rom check Failed!",
                 -1, kUntouched},
        // The watchdog cannot be stopped: nothing is written.
        FaultRow{"no_misc", "missing = /dev/misc0", "rebooted", 0, "Upgrade Failed!", -190,
                 kUntouched},
        FaultRow{"misc_fail", "misc = fail", "rebooted", 0, "Upgrade Failed!", -190, kUntouched},
        // The watchdog fails before the process lock is taken.
        FaultRow{"watchdog", "misc = watchdog", "rebooted", 0, "Upgrade Failed!", -190, kUntouched, -1, nullptr,
                 "/dev/misc0 ctrl failed!", {{3, 0}}, drivertest::kNoSemaphore, 1},
        // The run takes the save-file lock and gives it back on the way out ...
        FaultRow{"killapps", "killapps = fail", "rebooted", 0, "Killapps Failed!", -192, kUntouched, -1, nullptr,
                 "locked cfg_semid", {{4, 2}, {4, 3}, {3, 0}}, 0, 1},
        // ... unless another process holds it for the whole run: after ten
        // tries it is left to that process, not released.
        FaultRow{"savefileheld", "killapps = fail\n[semaphores]\n0xB012 = 0", "rebooted", 0, "Killapps Failed!",
                 -192, kUntouched, -1, nullptr, "lock cfg_semid failed", {{4, 2}, {4, 3}, {3, 0}}, 0, 0},
        // Before the screen is up: the short exit with the result as status
        // (-189 is 67), or 0 for a screen that cannot be opened.
        FaultRow{"copy_bin", "copy_bin = fail", "exited", 67, nullptr, 0, kUntouched},
        FaultRow{"tmp_full", "tmp_full = yes", "exited", 67, nullptr, 0, kUntouched},
        FaultRow{"no_fb", "missing = /dev/fb0", "exited", 0, nullptr, 0, kUntouched},
        // Faults that do not stop an upgrade.
        FaultRow{"no_refresh", "missing = /proc/glcd/refresh", "rebooted", 0, nullptr, 0, kAll},
        FaultRow{"no_keypad", "missing = /dev/input/event0", "rebooted", 0, nullptr, 0, kAll}),
    [](const testing::TestParamInfo<FaultRow>& p) { return std::string(p.param.name); });

}  // namespace

namespace {

// Hostile packages on a sound phone: each is refused by the package check with
// its code, shown on the failure screen, and nothing is written (the ranges are
// checked against the package length before anything is read). Which package
// gets which code is the check's table (CheckResult); these rows are the ones
// whose sizes and offsets would reach past the package or wrap.
struct PackageRow {
    const char* name;
    int code;  // the check's refusal, also the failure ID
    void (*make)(std::vector<uint8_t>& pkg, RomPackageSpec& desc);
};

std::vector<uint8_t> Rebuild(RomPackageSpec& desc) { return rombuild_package(desc); }

void PrintTo(const PackageRow& c, std::ostream* os) { *os << c.name; }

class HostilePackage : public testing::TestWithParam<PackageRow> {};

TEST_P(HostilePackage, IsRefusedAndWritesNothing) {
    const PackageRow& row = GetParam();
    devsim::Device dev(row.name);
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    std::vector<uint8_t> pkg = rombuild_package(desc);
    row.make(pkg, desc);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", drivertest::Bytes(pkg)), "--keys", "35@frame1"}), 0)
        << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    const std::string line = "rom pack check failed! ID:" + std::to_string(row.code);
    EXPECT_TRUE(dev.LogContains(line)) << line;
    const int n = dev.FrameCount();
    ASSERT_GE(n, 2);
    EXPECT_TRUE(dev.FrameText(n - 1) == FailureScreen("Rom check Failed!", row.code));
    for (int mtd = 0; mtd < 7; ++mtd) EXPECT_TRUE(WindowUntouched(dev, mtd, kFill)) << "mtd" << mtd;
}

INSTANTIATE_TEST_SUITE_P(
    Packages, HostilePackage,
    testing::Values(
        PackageRow{"truncated", -97, [](std::vector<uint8_t>& p, RomPackageSpec&) { p.resize(p.size() / 2); }},
        PackageRow{"header_only", -97, [](std::vector<uint8_t>& p, RomPackageSpec&) { p.resize(140); }},
        PackageRow{"size_wraps", -91,
                   [](std::vector<uint8_t>& p, RomPackageSpec& s) {
                       s.tweak = [](Rom_Header&, std::vector<Partition_Header>& parts) {
                           parts[1].partition_size = 0xFFFFFFF0u;
                       };
                       p = Rebuild(s);
                   }},
        PackageRow{"part_header_size_33", -92,
                   [](std::vector<uint8_t>& p, RomPackageSpec& s) {
                       // The last header: every sum consistent and no header
                       // after it, so only the size's alignment refuses it.
                       s.tweak = [](Rom_Header&, std::vector<Partition_Header>& parts) {
                           parts[2].partition_header_size = 33;
                       };
                       p = Rebuild(s);
                   }},
        PackageRow{"later_part_bad", -91,
                   [](std::vector<uint8_t>& p, RomPackageSpec& s) {
                       // The third partition's stated checksum is wrong; everything
                       // else, the package checksum included, is consistent.
                       s.tweak = [](Rom_Header&, std::vector<Partition_Header>& parts) {
                           parts[2].partition_checksum ^= 1u;
                       };
                       p = Rebuild(s);
                   }}),
    [](const testing::TestParamInfo<PackageRow>& p) { return std::string(p.param.name); });

}  // namespace
