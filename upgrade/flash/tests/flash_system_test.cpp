// The flash functions inside the simulated device, for what needs it: the real
// erase and move requests, the bar on the screen, the shell commands. The probe
// (flash_probe) calls them there; these tests read back the chip, the
// partition windows, the device's files and the log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "devsim_harness.h"
#include "readable.h"

namespace {

const uint32_t K64 = 0x10000;
const char kFill = 0x5A;  // what the chip holds where nothing erased or wrote

// Small windows, free flash behind them for moves.
struct Range {
    uint32_t start, end;
};
const Range kWindows[9] = {{0x90000000, 0x90010000}, {0x90010000, 0x90030000}, {0x90030000, 0x90050000},
                           {0x90050000, 0x90060000}, {0x90060000, 0x900E0000}, {0x900E0000, 0x90110000},
                           {0x90110000, 0x90130000}, {0x90130000, 0x90140000}, {0x90140000, 0x90150000}};

// "[section]" and the windows as "mtdN<sep>start,end" lines, with `prefix`.
std::string Windows(const char* section, const char* sep, const char* prefix, int count) {
    std::string text = std::string("[") + section + "]\n";
    for (int i = 0; i < count; ++i) {
        char line[64];
        snprintf(line, sizeof line, "mtd%d%s%s%x,%s%x\n", i, sep, prefix, kWindows[i].start, prefix, kWindows[i].end);
        text += line;
    }
    return text;
}

std::string Probe() { return devsim::BinDir() + "/flash_probe"; }

std::string Data(uint32_t id, uint32_t size) {
    std::string s(size, '\0');
    for (uint32_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 251 + id * 37 + (i >> 8)) & 0xFF);
    return s;
}

// The 64 KiB block of the chip at flash address `addr`.
std::string Block(const devsim::Device& d, uint32_t addr) { return d.Flash().substr(addr - 0x90000000u, K64); }

class FlashDevice : public ::testing::Test {
protected:
    explicit FlashDevice() : dev_("flash") {}
    void Setup(const std::string& extra_ini = "") {
        dev_.Ini("[device]\n" + device_ + "\n" + Windows("bootloader", " = ", "0x", 9) +
                 "MID_VERSION = 0\nSW_OEM = 0\nSW_protect = 0\n[flash]\nfill = 0x5A\n" + flash_ + extra_ini);
    }
    int ExitStatus() const { return dev_.result().exit_status.value_or(-1000); }
    devsim::Device dev_;
    std::string device_;
    std::string flash_;
};

// ---- burning ----
// What each fault leaves and the progress values are the burner's logic, held
// by burn_test on the host; here the real erase requests and the bar.

TEST_F(FlashDevice, TheDriverEntryBurnsWhileTheBarMoves) {
    Setup();
    dev_.File("/tmp/data", Data(5, 2 * K64));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn-ui", "/tmp/data", "5"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 0);
    // Every erase request covered its whole block: the data, 0xFF behind it.
    EXPECT_EQ(FirstDiff(dev_.Window(5), Data(5, 2 * K64) + std::string(K64, '\xFF')), -1);
    EXPECT_TRUE(dev_.LogContains("mtd5 blocks in place:0 erased:3 written:2 retried:0"));
    // Six bar positions (15, 29, 43, 57, 78, 100) drawn one after the other.
    ASSERT_GE(dev_.FrameCount(), 2);
    EXPECT_NE(dev_.FrameText(1), dev_.FrameText(dev_.FrameCount()));
    // Without a screen it touches nothing.
    Setup();
    ASSERT_EQ(dev_.Exec(Probe(), {"burn-ui", "/tmp/data", "5", "null"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    EXPECT_EQ(dev_.Window(5), std::string(3 * K64, kFill));
}

// ---- layout migration ----
// Which entries move is layout_test's, the endings of a migration are the
// installer's runs (driver_layout_test); here the shell copies, the kernel's
// move request and the write-back of one partition.

// The layout file: the windows as they are, with `changes`.
std::string LayoutFile(const std::map<int, std::string>& changes) {
    std::string text = Windows("mtd", "=", "", 7);
    for (const auto& [mtd, value] : changes) {
        const size_t at = text.find("mtd" + std::to_string(mtd) + "=") + 5;
        text.replace(at, text.find('\n', at) - at, value);
    }
    return text;
}

class LayoutOnDevice : public FlashDevice {
protected:
    // Gives mtd3 and mtd4 recognisable contents.
    void Prepare(const std::string& layout, const std::string& faults = "") {
        device_ = "kernel_mtd_repair = yes";
        block3_ = Data(103, K64);
        block4_ = Data(104, 8 * K64);
        flash_ = "mtd3 = " + dev_.HostFile("m3.bin", block3_) + "\nmtd4 = " + dev_.HostFile("m4.bin", block4_) + "\n";
        Setup(faults);
        dev_.File("/tmp/mtd.conf", layout);
    }
    int Run() {
        EXPECT_EQ(dev_.Exec(Probe(), {"layout"}), 0) << dev_.Stderr();
        return ExitStatus();
    }
    std::string block3_, block4_;
};

TEST_F(LayoutOnDevice, MovingTheEnvironmentPartitionCopiesBothAndWritesItBack) {
    Prepare(LayoutFile({{3, "90150000,90160000"}}));
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(dev_.LogContains("probe layout:0 kernel_support:1 env_mtd_write:1 config_mtd_write:0 kernel_only:0"));
    EXPECT_EQ(FirstDiff(dev_.DeviceFile("tmp/mtdblock3"), block3_), -1);
    EXPECT_EQ(FirstDiff(dev_.DeviceFile("tmp/mtdblock4"), block4_), -1);
    // The kernel's request takes the offset from the flash start; the saved
    // copy lands in the moved window.
    EXPECT_TRUE(dev_.LogContains("offset:150000 size:10000"));
    EXPECT_EQ(FirstDiff(Block(dev_, 0x90150000), block3_), -1);
}

// Without a good copy the environment partition stays where its variables are.
TEST_F(LayoutOnDevice, AFailedCopyMovesNothingNorDoesARequestForMtd7) {
    Prepare(LayoutFile({{2, "90030000,90040000"}, {3, "90150000,90160000"}}), "[faults]\nmissing = /dev/mtdblock/3\n");
    EXPECT_EQ(Run(), 1);
    int attempts = 0;
    for (const auto& l : dev_.Syslog())
        if (l.message.find("shellcmd:/tmp/bin/cat /dev/mtdblock/3 > /tmp/mtdblock3") != std::string::npos) ++attempts;
    EXPECT_EQ(attempts, 5);
    EXPECT_TRUE(dev_.LogContains("probe layout:-1 kernel_support:1 env_mtd_write:0 config_mtd_write:0"));
    // Not even mtd2, which comes first and needs no copy, has moved.
    EXPECT_FALSE(dev_.LogContains("offset:"));
    EXPECT_EQ(Block(dev_, 0x90150000).find_first_not_of(kFill), std::string::npos);
    // Partition 7 (and above) is never moved.
    ASSERT_EQ(dev_.Exec(Probe(), {"repair", "7", "0x150000", "0x10000"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    EXPECT_FALSE(dev_.LogContains("offset:"));
}

// ---- auto-provisioning ----
// Which version asks for which step is autop_rules_test's, the steps after an
// upgrade and hostile names are the installer's runs (driver_autop_test,
// shell_safety_test); here what the collection takes and leaves.

class AutopOnDevice : public FlashDevice {
protected:
    void SetUp() override { Setup(); }
    int Run(const std::string& version) {
        EXPECT_EQ(dev_.Exec(Probe(), {"autop", version}), 0) << dev_.Stderr();
        return ExitStatus();
    }
    std::string Saved() const { return dev_.DeviceFile("config/autop_retry_save.cfg"); }
};

// What the installer's runs show too (the URL lines blanked, the setting
// last) is left to them.
TEST_F(AutopOnDevice, CollectsRegularFilesWhosePathFitsTheCommandIntoANewSaveFile) {
    const std::string fits = std::string(208, 'f') + ".cfg";      // command of 255 characters
    const std::string too_long = std::string(209, 'l') + ".cfg";  // 256
    const std::string no_path = std::string(247, 'p') + ".cfg";   // "/tmp/" + name: 256
    dev_.File("/tmp/a.cfg", "a = 1\n");
    dev_.File("/tmp/b.conf", "b = 2\n");
    dev_.File("/tmp/e.cfg/inner", "e = 5\n");
    dev_.File("/tmp/target.txt", "t = 7\n");
    ASSERT_EQ(symlink("target.txt", (dev_.Dir() + "/rootfs/tmp/link.cfg").c_str()), 0);
    dev_.File("/tmp/" + fits, "fits = 1\n");
    dev_.File("/tmp/" + too_long, "long = 1\n");
    dev_.File("/tmp/" + no_path, "nopath = 1\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    const std::string saved = Saved();
    for (const char* want : {"a = 1\n  \n", "b = 2\n  \n", "fits = 1\n  \n"})  // each file, then two blanks
        EXPECT_NE(saved.find(want), std::string::npos) << want;
    for (const char* unwanted : {"e = 5", "t = 7", "long = 1", "nopath = 1"})
        EXPECT_EQ(saved.find(unwanted), std::string::npos) << unwanted;
    for (const std::string& name : {too_long, no_path})
        EXPECT_TRUE(dev_.LogContains("/tmp/" + name + " skipped: path too long")) << name;
    // A save file already there is left alone.
    dev_.File("/config/autop_retry_save.cfg", "old\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    EXPECT_EQ(Saved(), "old\n");
    EXPECT_TRUE(dev_.LogContains("/config/autop_retry_save.cfg is exist"));
    EXPECT_FALSE(dev_.LogContains("config ok"));
}

}  // namespace
