// The flash functions inside the simulated device, for what needs it: the real
// erase and move requests, the bar on the screen, the shell copy. The probe
// (flash_probe) calls them there; these tests read back the chip and the log.
#include <gtest/gtest.h>

#include <algorithm>
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
    void Setup(const std::string& device = "", const std::string& more = "") {
        dev_.Ini("[device]\n" + device + "\n" + Windows("bootloader", " = ", "0x", 9) +
                 "MID_VERSION = 0\nSW_OEM = 0\nSW_protect = 0\n[flash]\nfill = 0x5A\n" + more);
    }
    // The probe's exit status.
    int Run(const std::vector<std::string>& args) {
        EXPECT_EQ(dev_.Exec(Probe(), args), 0) << dev_.Stderr();
        return dev_.result().exit_status.value_or(-1000);
    }
    // The layout file with `changes` on a device with kernel support, mtd3
    // holding `block3_`.
    void Layout(const std::map<int, std::string>& changes, const std::string& faults = "") {
        Setup("kernel_mtd_repair = yes", "mtd3 = " + dev_.HostFile("m3.bin", block3_) + "\n" + faults);
        std::string text = Windows("mtd", "=", "", 7);
        for (const auto& [mtd, value] : changes) {
            const size_t at = text.find("mtd" + std::to_string(mtd) + "=") + 5;
            text.replace(at, text.find('\n', at) - at, value);
        }
        dev_.File("/tmp/mtd.conf", text);
    }
    devsim::Device dev_;
    const std::string block3_ = Data(103, K64);
};

// ---- burning ----
// What each fault leaves and the progress values are the burner's logic, held
// by burn_test on the host; here the real erase requests and the bar.

TEST_F(FlashDevice, TheDriverEntryBurnsWhileTheBarMoves) {
    Setup();
    dev_.File("/tmp/data", Data(5, 2 * K64));
    EXPECT_EQ(Run({"burn-ui", "/tmp/data", "5"}), 0);
    // Every erase request covered its whole block: the data, 0xFF behind it.
    EXPECT_EQ(FirstDiff(dev_.Window(5), Data(5, 2 * K64) + std::string(K64, '\xFF')), -1);
    // Six bar positions (15, 29, 43, 57, 78, 100) drawn one after the other.
    ASSERT_GE(dev_.FrameCount(), 2);
    EXPECT_NE(dev_.FrameText(1), dev_.FrameText(dev_.FrameCount()));
    // Without a screen it touches nothing.
    Setup();
    EXPECT_EQ(Run({"burn-ui", "/tmp/data", "5", "null"}), 1);
    EXPECT_EQ(dev_.Window(5), std::string(3 * K64, kFill));
}

// ---- layout migration ----
// Which entries move is layout_test's, the endings of a migration and the
// copies are the installer's runs (driver scenarios); here the kernel's move
// request, the write-back into the moved window and a copy that never works.

TEST_F(FlashDevice, TheMovedEnvironmentPartitionIsWrittenBackAtTheRequestedOffset) {
    Layout({{3, "90150000,90160000"}});
    EXPECT_EQ(Run({"layout"}), 0);
    // The kernel's request takes the offset from the flash start; the saved
    // copy lands in the moved window.
    EXPECT_TRUE(dev_.LogContains("offset:150000 size:10000"));
    EXPECT_EQ(FirstDiff(Block(dev_, 0x90150000), block3_), -1);
}

// Without a good copy the environment partition stays where its variables are.
TEST_F(FlashDevice, AFailedCopyMovesNothing) {
    Layout({{2, "90030000,90040000"}, {3, "90150000,90160000"}}, "[faults]\nmissing = /dev/mtdblock/3\n");
    EXPECT_EQ(Run({"layout"}), 1);
    const auto log = dev_.Syslog();
    auto copy = [](const devsim::LogLine& l) { return l.message.find("cat /dev/mtdblock/3 >") != std::string::npos; };
    EXPECT_EQ(std::count_if(log.begin(), log.end(), copy), 5);  // tried five times
    // Not even mtd2, which comes first and needs no copy, has moved.
    EXPECT_FALSE(dev_.LogContains("offset:"));
    EXPECT_EQ(Block(dev_, 0x90150000).find_first_not_of(kFill), std::string::npos);
}

}  // namespace
