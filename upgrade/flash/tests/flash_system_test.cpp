// The flash functions inside the simulated device: flash_probe calls them there,
// and these tests read back the chip, the partition windows, the device's files
// and the log.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devsim_harness.h"
#include "rombuild.h"

namespace {

const uint32_t K64 = 0x10000;
const char kFill = 0x5A;  // what the chip holds where nothing erased or wrote

// Small windows, free flash behind them for moves.
const char* kBootloader =
    "[bootloader]\n"
    "MID_VERSION = 0\n"
    "SW_OEM = 0\n"
    "SW_protect = 0\n"
    "mtd0 = 0x90000000,0x90010000\n"
    "mtd1 = 0x90010000,0x90030000\n"
    "mtd2 = 0x90030000,0x90050000\n"
    "mtd3 = 0x90050000,0x90060000\n"
    "mtd4 = 0x90060000,0x900E0000\n"
    "mtd5 = 0x900E0000,0x90110000\n"
    "mtd6 = 0x90110000,0x90130000\n"
    "mtd7 = 0x90130000,0x90140000\n"
    "mtd8 = 0x90140000,0x90150000\n";

struct Range {
    uint32_t start, end;
};
const Range kWindows[9] = {{0x90000000, 0x90010000}, {0x90010000, 0x90030000}, {0x90030000, 0x90050000},
                           {0x90050000, 0x90060000}, {0x90060000, 0x900E0000}, {0x900E0000, 0x90110000},
                           {0x90110000, 0x90130000}, {0x90130000, 0x90140000}, {0x90140000, 0x90150000}};

std::string Probe() { return devsim::BinDir() + "/flash_probe"; }

std::string Data(uint32_t id, uint32_t size) {
    std::string s(size, '\0');
    for (uint32_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 251 + id * 37 + (i >> 8)) & 0xFF);
    return s;
}

std::string Package(const std::vector<std::pair<uint32_t, uint32_t>>& parts) {  // id, size
    RomPackageSpec desc;
    for (auto [id, size] : parts) {
        RomPartitionSpec p;
        p.partition_id = id;
        const std::string d = Data(id, size);
        p.data.assign(d.begin(), d.end());
        desc.partitions.push_back(p);
    }
    std::vector<uint8_t> pkg = rombuild_package(desc);
    return std::string(pkg.begin(), pkg.end());
}

// Offset of the first byte where `got` differs from `want` (also by length),
// or -1: keeps failure output short for whole partition images.
long FirstDiff(const std::string& got, const std::string& want) {
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i)
        if (got[i] != want[i]) return static_cast<long>(i);
    return got.size() == want.size() ? -1 : static_cast<long>(n);
}

std::vector<int> Progress(const devsim::Device& d) {
    std::vector<int> out;
    for (const auto& l : d.Syslog()) {
        auto at = l.message.find("probe progress:");
        if (at != std::string::npos) out.push_back(std::stoi(l.message.substr(at + 15)));
    }
    return out;
}

// Message texts of the run's log (prefix cut), for exact comparisons.
bool Logged(const devsim::Device& d, const std::string& text) {
    for (const auto& l : d.Syslog())
        if (l.message.size() >= text.size() && l.message.compare(l.message.size() - text.size(), text.size(), text) == 0)
            return true;
    return false;
}

std::string Chip(const devsim::Device& d, Range r) {
    std::string chip = d.Flash();
    if (chip.size() < (r.end - 0x90000000u)) return "";
    return chip.substr(r.start - 0x90000000u, r.end - r.start);
}

// Window of partition `mtd` as partitions.json lists it at the end of the run.
Range FinalWindow(const devsim::Device& d, int mtd) {
    auto j = nlohmann::json::parse(devsim::ReadFile(d.OutDir() + "/partitions.json"), nullptr, false);
    const std::string key = "mtd" + std::to_string(mtd);
    if (!j.is_object() || !j.contains(key)) return {0, 0};
    return {static_cast<uint32_t>(std::stoul(j[key].value("start", "0"), nullptr, 16)),
            static_cast<uint32_t>(std::stoul(j[key].value("end", "0"), nullptr, 16))};
}

class FlashDevice : public ::testing::Test {
protected:
    explicit FlashDevice() : dev_("flash") {}
    void Setup(const std::string& extra_ini, const std::string& bootloader = kBootloader) {
        dev_.Ini("[device]\n" + device_ + "\n" + bootloader + "[flash]\nfill = 0x5A\n" + flash_ + extra_ini);
    }
    int ExitStatus() const { return dev_.result().exit_status.value_or(-1000); }
    // The package data at the start of the window, 0xFF behind it.
    void ExpectBurned(int mtd, uint32_t size) {
        const std::string w = Chip(dev_, kWindows[mtd]);
        ASSERT_EQ(w.size(), kWindows[mtd].end - kWindows[mtd].start);
        EXPECT_EQ(FirstDiff(w.substr(0, size), Data(static_cast<uint32_t>(mtd), size)), -1) << "mtd" << mtd;
        EXPECT_EQ(w.find_first_not_of('\xFF', size), std::string::npos) << "mtd" << mtd << " not erased to the end";
    }
    void ExpectUntouched(int mtd) {
        const std::string w = Chip(dev_, kWindows[mtd]);
        EXPECT_EQ(w.find_first_not_of(kFill), std::string::npos) << "mtd" << mtd << " was touched";
    }
    devsim::Device dev_;
    std::string device_;
    std::string flash_;
};

// ---- burning ----

struct BurnCase {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> parts;  // id, size
    std::string flags;
    bool kernel_only;
    std::vector<int> progress;
    std::set<int> written;  // MTD numbers that must hold their data
};

class BurnOnDevice : public FlashDevice, public ::testing::WithParamInterface<BurnCase> {};

TEST_P(BurnOnDevice, ProgressAndChipContents) {
    const BurnCase& c = GetParam();
    Setup("");
    dev_.File("/tmp/pkg.rom", Package(c.parts));
    std::vector<std::string> args = {"burn", "/tmp/pkg.rom", c.flags};
    if (c.kernel_only) args.push_back("ko");
    ASSERT_EQ(dev_.Exec(Probe(), args), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 0);
    EXPECT_EQ(Progress(dev_), c.progress);
    std::set<int> ids;
    for (auto [id, size] : c.parts)
        if (c.written.count(static_cast<int>(id)) != 0) ExpectBurned(static_cast<int>(id), size);
    for (int mtd = 0; mtd < 9; ++mtd)
        if (c.written.count(mtd) == 0) ExpectUntouched(mtd);
    // Nothing outside the partition windows changes either.
    EXPECT_EQ(Chip(dev_, {0x90150000, 0x90800000}).find_first_not_of(kFill), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Device, BurnOnDevice,
    ::testing::Values(
        // D = 42, three erase blocks, two data blocks.
        BurnCase{"one_whole_blocks", {{5, 2 * K64}}, "1", false, {15, 29, 43, 57, 78, 100}, {5}},
        // Below one block: only the remainder write, no write progress.
        BurnCase{"one_below_a_block", {{1, 0x1000}}, "1", false, {15, 36, 100}, {1}},
        // D = 21: one and a half blocks, then one block.
        BurnCase{"two", {{2, K64 + 0x8000}, {6, K64}}, "1,1", false, {15, 25, 36, 57, 67, 78, 100}, {2, 6}},
        // D = 14.
        BurnCase{"three", {{0, 0x100}, {3, K64}, {5, 2 * K64 + 0x10}}, "1,1,1", false,
                 {15, 43, 57, 71, 75, 80, 85, 92, 100}, {0, 3, 5}},
        // Kernel-only: mtd3 skipped, steps still those of two partitions.
        BurnCase{"kernel_only", {{1, K64}, {3, K64}}, "1,1", true, {15, 25, 36, 100}, {1}},
        BurnCase{"no_flag_set", {{1, K64}, {3, K64}}, "0,2", false, {100}, {}},
        BurnCase{"no_partition", {}, "", false, {100}, {}}),
    [](const ::testing::TestParamInfo<BurnCase>& p) { return std::string(p.param.what); });

struct BurnFaultCase {
    const char* what;
    std::string faults;  // [faults] lines
    bool drop_env;       // bootloader listing without mtd5
    int exit_status;     // -result
    uint32_t done;       // mtd5: bytes erased (erase fault) or written (write fault)
    enum { kUntouched, kErased, kWritten } after;
};

class BurnFaultOnDevice : public FlashDevice, public ::testing::WithParamInterface<BurnFaultCase> {};

TEST_P(BurnFaultOnDevice, ResultAndWhatIsLeft) {
    const BurnFaultCase& c = GetParam();
    std::string boot = kBootloader;
    if (c.drop_env) boot.erase(boot.find("mtd5 ="), boot.find('\n', boot.find("mtd5 =")) - boot.find("mtd5 =") + 1);
    Setup(c.faults.empty() ? "" : "[faults]\n" + c.faults + "\n", boot);
    const uint32_t size = 2 * K64 + 0x800;
    dev_.File("/tmp/pkg.rom", Package({{5, size}}));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn", "/tmp/pkg.rom", "1"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), c.exit_status);
    const std::string w = Chip(dev_, kWindows[5]);
    ASSERT_EQ(w.size(), 3 * K64);
    const uint32_t k = c.done;
    switch (c.after) {
    case BurnFaultCase::kUntouched:
        ExpectUntouched(5);
        break;
    case BurnFaultCase::kErased:
        EXPECT_EQ(FirstDiff(w.substr(0, k), std::string(k, '\xFF')), -1);
        EXPECT_EQ(w.find_first_not_of(kFill, k), std::string::npos);
        break;
    case BurnFaultCase::kWritten:
        EXPECT_EQ(FirstDiff(w.substr(0, k), Data(5, size).substr(0, k)), -1);
        EXPECT_EQ(w.find_first_not_of('\xFF', k), std::string::npos);
        break;
    }
    if (c.exit_status != 0) {
        const std::vector<int> progress = Progress(dev_);
        EXPECT_TRUE(progress.empty() || progress.back() != 100);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Device, BurnFaultOnDevice,
    ::testing::Values(
        BurnFaultCase{"env_entry_missing", "", true, 85, 0, BurnFaultCase::kUntouched},
        BurnFaultCase{"open", "missing = /dev/mtd5", false, 83, 0, BurnFaultCase::kUntouched},
        BurnFaultCase{"memgetinfo", "memgetinfo = mtd5", false, 82, 0, BurnFaultCase::kUntouched},
        BurnFaultCase{"erase_block_0", "erase = mtd5:0", false, 82, 0, BurnFaultCase::kErased},
        BurnFaultCase{"erase_block_2", "erase = mtd5:2", false, 82, 2 * K64, BurnFaultCase::kErased},
        BurnFaultCase{"write_block_1", "write = mtd5:1", false, 81, K64, BurnFaultCase::kWritten},
        BurnFaultCase{"write_remainder", "write = mtd5:2", false, 81, 2 * K64, BurnFaultCase::kWritten},
        // The first write into block 1 stores only half: the burner goes on
        // with the rest and the whole partition lands.
        BurnFaultCase{"short_write_completed", "short_write = mtd5:1", false, 0, 2 * K64 + 0x800,
                      BurnFaultCase::kWritten}),
    [](const ::testing::TestParamInfo<BurnFaultCase>& p) { return std::string(p.param.what); });

TEST_F(FlashDevice, WriteFailureInTheSecondOfThreeKeepsTheFirst) {
    Setup("[faults]\nwrite = mtd2:1\n");
    dev_.File("/tmp/pkg.rom", Package({{1, 2 * K64}, {2, 2 * K64}, {6, K64}}));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn", "/tmp/pkg.rom", "1,1,1"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 81);
    ExpectBurned(1, 2 * K64);
    const std::string w2 = Chip(dev_, kWindows[2]);
    EXPECT_EQ(FirstDiff(w2.substr(0, K64), Data(2, K64)), -1);
    EXPECT_EQ(w2.find_first_not_of('\xFF', K64), std::string::npos);
    ExpectUntouched(6);
    EXPECT_TRUE(Logged(dev_, "UPD_MSG_FLASH_WRITE_ERR"));
}

TEST_F(FlashDevice, FailureLinesNameTheEntryAndTheDevice) {
    std::string boot = kBootloader;
    Setup("[faults]\nmissing = /dev/mtd6\n", boot);
    dev_.File("/tmp/pkg.rom", Package({{6, K64}}));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn", "/tmp/pkg.rom", "1"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 83);
    EXPECT_TRUE(dev_.LogContains("/dev/mtd6 open failed!"));
    EXPECT_TRUE(dev_.LogContains("UPD_MSG_MTD_ADDR_ERR"));
    EXPECT_TRUE(dev_.LogContains("mtd6 start_addr:90110000 end_addr:90130000"));
}

TEST_F(FlashDevice, TheDriverEntryDrawsTheProgressOnTheScreen) {
    Setup("");
    dev_.File("/tmp/pkg.rom", Package({{5, 2 * K64}}));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn-ui", "/tmp/pkg.rom", "1"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 0);
    ExpectBurned(5, 2 * K64);
    // Six bar positions (15, 29, 43, 57, 78, 100) drawn one after the other.
    ASSERT_GE(dev_.FrameCount(), 2);
    EXPECT_NE(dev_.FrameText(1), dev_.FrameText(dev_.FrameCount()));
}

TEST_F(FlashDevice, TheDriverEntryWithoutScreenTouchesNothing) {
    Setup("");
    dev_.File("/tmp/pkg.rom", Package({{5, 2 * K64}}));
    ASSERT_EQ(dev_.Exec(Probe(), {"burn-ui", "/tmp/pkg.rom", "1", "null"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    ExpectUntouched(5);
}

// Lines and levels of the burner's log: a burn, and the refusals that come
// before anything is erased.
TEST_F(FlashDevice, BurnLogLinesAndLevels) {
    struct Line {
        const char* text;
        int level;
    };
    const struct {
        std::vector<std::pair<uint32_t, uint32_t>> parts;
        const char* flags;
        const char* drop;  // bootloader entry left out
        int exit_status;
        std::vector<Line> lines;
    } runs[] = {
        {{{5, K64 + 0x20}}, "1", nullptr, 0,
         {{"mtd5 start_addr:900e0000 end_addr:90110000\n", 6},
          {"erase done\n", 7},
          {"blocks :1 size:10020\n", 7},
          {"last size:20\n", 7},
          {"mtd5 blocks in place:0 erased:3 written:2 retried:0\n", 6}}},
        // mtd6's window holds two blocks.
        {{{5, K64}, {6, 3 * K64}}, "1,1", nullptr, 84,
         {{"mtd6 start_addr:90110000 end_addr:90130000\n", 6}, {"UPD_MSG_MTD_ADDR_ERR\n", 3}}},
        {{{5, K64}, {6, K64}}, "1,1", "mtd6 =", 85, {{"mtd6 isnot exist!\n", 3}, {"UPD_MSG_MTD_ENV_LOSED\n", 3}}},
    };
    for (const auto& run : runs) {
        std::string boot = kBootloader;
        if (run.drop != nullptr)
            boot.erase(boot.find(run.drop), boot.find('\n', boot.find(run.drop)) - boot.find(run.drop) + 1);
        Setup("", boot);
        dev_.File("/tmp/pkg.rom", Package(run.parts));
        ASSERT_EQ(dev_.Exec(Probe(), {"burn", "/tmp/pkg.rom", run.flags}), 0) << dev_.Stderr();
        EXPECT_EQ(ExitStatus(), run.exit_status);
        if (run.exit_status != 0) ExpectUntouched(5);
        for (const auto& [text, level] : run.lines) {
            bool found = false;
            for (const auto& l : dev_.Syslog()) {
                const std::string want = std::string(": ") + text;
                const std::string msg = l.message + (l.message.empty() || l.message.back() != '\n' ? "\n" : "");
                if (msg.size() >= want.size() && msg.compare(msg.size() - want.size(), want.size(), want) == 0) {
                    found = true;
                    EXPECT_EQ(l.priority, level) << text;
                }
            }
            EXPECT_TRUE(found) << text;
        }
    }
}

// ---- layout migration ----

std::string LayoutFile(std::map<int, std::string> changes) {
    std::string text = "[mtd]\n";
    for (int i = 0; i < 7; ++i) {
        char def[40];
        snprintf(def, sizeof def, "%x,%x", kWindows[i].start, kWindows[i].end);
        auto it = changes.find(i);
        if (it == changes.end())
            text += "mtd" + std::to_string(i) + "=" + def + "\n";
        else if (!it->second.empty())
            text += "mtd" + std::to_string(i) + "=" + it->second + "\n";
    }
    return text;
}

class LayoutOnDevice : public FlashDevice {
protected:
    // Gives mtd3 and mtd4 recognisable contents.
    void Prepare(const std::string& layout, bool support) {
        device_ = support ? "kernel_mtd_repair = yes" : "kernel_mtd_repair = no";
        block3_ = Data(103, K64);
        block4_ = Data(104, 8 * K64);
        flash_ = "mtd3 = " + dev_.HostFile("m3.bin", block3_) + "\nmtd4 = " + dev_.HostFile("m4.bin", block4_) + "\n";
        Setup("");
        dev_.File("/tmp/mtd.conf", layout);
    }
    int Run(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"layout"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(dev_.Exec(Probe(), args), 0) << dev_.Stderr();
        return ExitStatus();
    }
    std::string block3_, block4_;
};

TEST_F(LayoutOnDevice, IdenticalLayoutChangesNothing) {
    Prepare(LayoutFile({}), true);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(dev_.LogContains("probe layout:0 kernel_support:1 env_mtd_write:0 config_mtd_write:0 kernel_only:0"));
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(FinalWindow(dev_, i).start, kWindows[i].start) << i;
        EXPECT_EQ(FinalWindow(dev_, i).end, kWindows[i].end) << i;
    }
    EXPECT_FALSE(dev_.DeviceFileExists("tmp/mtdblock3"));
}

TEST_F(LayoutOnDevice, WithoutKernelSupportOnlyTheKernelIsWritten) {
    Prepare(LayoutFile({{2, "90030000,90060000"}}), false);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(dev_.LogContains("probe layout:0 kernel_support:0 env_mtd_write:0 config_mtd_write:0 kernel_only:1"));
    EXPECT_TRUE(dev_.LogContains("kernel_support is UNAVAILABLE"));
    EXPECT_FALSE(dev_.DeviceFileExists("tmp/mtdblock3"));
    EXPECT_FALSE(dev_.DeviceFileExists("tmp/mtdblock4"));
    EXPECT_EQ(FinalWindow(dev_, 2).end, kWindows[2].end);
    EXPECT_TRUE(dev_.LogContains("probe env mtd2 90030000,90050000"));
}

TEST_F(LayoutOnDevice, MovingTheEnvironmentPartitionCopiesBothAndWritesItBack) {
    Prepare(LayoutFile({{3, "90150000,90160000"}}), true);
    EXPECT_EQ(Run({"writeback"}), 0);
    EXPECT_TRUE(dev_.LogContains("probe layout:0 kernel_support:1 env_mtd_write:1 config_mtd_write:0 kernel_only:0"));
    EXPECT_EQ(FirstDiff(dev_.DeviceFile("tmp/mtdblock3"), block3_), -1);
    EXPECT_EQ(FirstDiff(dev_.DeviceFile("tmp/mtdblock4"), block4_), -1);
    const Range w = FinalWindow(dev_, 3);
    EXPECT_EQ(w.start, 0x90150000u);
    EXPECT_EQ(w.end, 0x90160000u);
    EXPECT_TRUE(dev_.LogContains("offset:150000 size:10000"));
    EXPECT_TRUE(dev_.LogContains("probe env mtd3 90150000,90160000"));
    EXPECT_TRUE(dev_.LogContains("probe writeback3 write:0"));
    EXPECT_EQ(FirstDiff(dev_.Window(3), block3_), -1);
    EXPECT_EQ(FirstDiff(Chip(dev_, {0x90150000, 0x90160000}), block3_), -1);
    EXPECT_FALSE(dev_.LogContains("probe writeback4"));
}

TEST_F(LayoutOnDevice, MovingBothCopiesOnceAndWritesBothBack) {
    Prepare(LayoutFile({{3, "90150000,90160000"}, {4, "90160000,901E0000"}}), true);
    EXPECT_EQ(Run({"writeback"}), 0);
    EXPECT_TRUE(dev_.LogContains("probe layout:0 kernel_support:1 env_mtd_write:1 config_mtd_write:1 kernel_only:0"));
    int copies = 0;
    for (const auto& l : dev_.Syslog())
        if (l.message.find("shellcmd:/tmp/bin/cat /dev/mtdblock/3 > /tmp/mtdblock3") != std::string::npos) ++copies;
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(FinalWindow(dev_, 4).start, 0x90160000u);
    EXPECT_TRUE(dev_.LogContains("probe writeback4 umount:0 write:0"));
    EXPECT_EQ(FirstDiff(Chip(dev_, {0x90150000, 0x90160000}), block3_), -1);
    EXPECT_EQ(FirstDiff(Chip(dev_, {0x90160000, 0x901E0000}), block4_), -1);
}

// Without a good copy the environment partition stays where its variables are.
TEST_F(LayoutOnDevice, AFailedCopyMovesNothing) {
    Prepare(LayoutFile({{2, "90030000,90040000"}, {3, "90150000,90160000"}}), true);
    dev_.Ini(devsim::ReadFile(dev_.Dir() + "/device.ini") + "[faults]\nmissing = /dev/mtdblock/3\n");
    EXPECT_EQ(Run({"writeback"}), 1);
    int attempts = 0;
    for (const auto& l : dev_.Syslog())
        if (l.message.find("shellcmd:/tmp/bin/cat /dev/mtdblock/3 > /tmp/mtdblock3") != std::string::npos) ++attempts;
    EXPECT_EQ(attempts, 5);
    EXPECT_TRUE(dev_.LogContains("probe layout:-1 kernel_support:1 env_mtd_write:0 config_mtd_write:0"));
    // Not even mtd2, which comes first and needs no copy, has moved.
    EXPECT_FALSE(dev_.LogContains("offset:"));
    for (int mtd : {2, 3}) EXPECT_EQ(FinalWindow(dev_, mtd).end, kWindows[mtd].end) << mtd;
    EXPECT_EQ(FirstDiff(dev_.Window(3), block3_), -1);
    EXPECT_EQ(Chip(dev_, {0x90150000, 0x90160000}).find_first_not_of(kFill), std::string::npos);
}

TEST_F(LayoutOnDevice, RefusedLayoutsMoveNothing) {
    const std::map<int, std::string> cases[] = {
        {{6, ""}},                    // key missing
        {{3, "90150000,90160100"}},   // end unaligned
        {{3, "90150100,90160000"}},   // start unaligned
        {{3, "90160000,90150000"}},   // reversed
        {{3, "907F0000,90810000"}},   // beyond the window
        {{3, "90150000"}},            // one number
    };
    for (const auto& change : cases) {
        Prepare(LayoutFile(change), true);
        EXPECT_EQ(Run(), 1) << change.begin()->second;
        EXPECT_EQ(FinalWindow(dev_, 3).start, kWindows[3].start);
        EXPECT_FALSE(dev_.DeviceFileExists("tmp/mtdblock3"));
        EXPECT_FALSE(dev_.LogContains("offset:"));
    }
}

TEST_F(LayoutOnDevice, PartitionSevenIsNeverMoved) {
    Prepare(LayoutFile({}), true);
    ASSERT_EQ(dev_.Exec(Probe(), {"repair", "7", "0x150000", "0x10000"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    EXPECT_EQ(FinalWindow(dev_, 7).start, kWindows[7].start);
    EXPECT_FALSE(dev_.LogContains("offset:"));
}

TEST_F(LayoutOnDevice, ImageOfTheWrongSizeIsNotWritten) {
    Prepare(LayoutFile({}), true);
    dev_.File("/tmp/short.bin", std::string(65535, 'x'));
    ASSERT_EQ(dev_.Exec(Probe(), {"mtd-write", "3", "65536", "/tmp/short.bin"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    EXPECT_TRUE(dev_.LogContains("/tmp/short.bin size error"));
    EXPECT_EQ(FirstDiff(dev_.Window(3), block3_), -1);
}

// ---- auto-provisioning ----

class AutopOnDevice : public FlashDevice {
protected:
    void SetUp() override { Setup(""); }
    int Run(const std::string& version) {
        EXPECT_EQ(dev_.Exec(Probe(), {"autop", version}), 0) << dev_.Stderr();
        return ExitStatus();
    }
    std::string Saved() const { return dev_.DeviceFile("config/autop_retry_save.cfg"); }
    void KeyFile() { dev_.File("/config/Phone/Key/ProgramableKey.conf", "[ LINEKEY1 ]\ntype = 1\n[ LINEKEY8 ]\ntype = 2\n"); }
    // Only the LINEKEY8 line changed, into "[ LINEKEY8_NOUSED ]" (leading blanks
    // are the shell tool's business).
    bool KeyFileEdited() const {
        std::string text = dev_.DeviceFile("config/Phone/Key/ProgramableKey.conf");
        const std::string head = "[ LINEKEY1 ]\ntype = 1\n";
        if (text.compare(0, head.size(), head) != 0) return false;
        text.erase(0, head.size());
        text.erase(0, text.find_first_not_of(' '));
        return text == "[ LINEKEY8_NOUSED ]\ntype = 2\n";
    }
};

struct VersionCase {
    const char* version;
    bool autop;
    bool linekey8;
};

class AutopVersionOnDevice : public AutopOnDevice, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(AutopVersionOnDevice, RunsTheStepsTheEarlierVersionCallsFor) {
    const VersionCase& c = GetParam();
    dev_.File("/tmp/a.cfg", "account = 1\n");
    KeyFile();
    EXPECT_EQ(Run(c.version), 0);
    EXPECT_EQ(dev_.DeviceFileExists("config/autop_retry_save.cfg"), c.autop);
    EXPECT_EQ(dev_.LogContains("config ok"), c.autop);
    EXPECT_EQ(KeyFileEdited(), c.linekey8) << dev_.DeviceFile("config/Phone/Key/ProgramableKey.conf");
    EXPECT_EQ(dev_.LogContains("config_deleteLineKey8 excute"), c.linekey8);
}

INSTANTIATE_TEST_SUITE_P(Device, AutopVersionOnDevice,
                         ::testing::Values(VersionCase{"3.2.5.1", false, false}, VersionCase{"59.0.3.7", true, true},
                                           VersionCase{"59.0", true, true}, VersionCase{"60.0.3.1", true, false}));

TEST_F(AutopOnDevice, CollectsOnlyRegularConfigurationFilesAndBlanksUrls) {
    dev_.File("/tmp/a.cfg", "a = 1\nserver_url = http://x\n");
    dev_.File("/tmp/b.conf", "b = 2\n");
    dev_.File("/tmp/c.cfg.bak", "c = 3\n");
    dev_.File("/tmp/d.config", "d = 4\n");
    dev_.File("/tmp/e.cfg/inner", "e = 5\n");
    dev_.File("/tmp/x.cfg.conf", "x = 6\n");
    dev_.File("/tmp/target.txt", "t = 7\n");
    ASSERT_EQ(symlink("target.txt", (dev_.Dir() + "/rootfs/tmp/link.cfg").c_str()), 0);
    EXPECT_EQ(Run("1.0.2.0"), 0);
    const std::string saved = Saved();
    for (const char* want : {"a = 1\n", "b = 2\n", "x = 6\n"}) EXPECT_NE(saved.find(want), std::string::npos) << want;
    for (const char* unwanted : {"c = 3", "d = 4", "e = 5", "t = 7", "http"})
        EXPECT_EQ(saved.find(unwanted), std::string::npos) << unwanted;
    // Each file is followed by a line of two blanks; the setting comes last.
    size_t blanks = 0;
    for (size_t at = saved.find("\n  \n"); at != std::string::npos; at = saved.find("\n  \n", at + 1)) ++blanks;
    EXPECT_GE(blanks, 3u);
    const std::string tail = "Config.Autoprovision.Reboot.Enable = 1 \n";
    ASSERT_GE(saved.size(), tail.size());
    EXPECT_EQ(saved.substr(saved.size() - tail.size()), tail);
}

TEST_F(AutopOnDevice, AnExistingSaveFileIsLeftAlone) {
    dev_.File("/config/autop_retry_save.cfg", "old\n");
    dev_.File("/tmp/a.cfg", "a = 1\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    EXPECT_EQ(Saved(), "old\n");
    EXPECT_TRUE(dev_.LogContains("/config/autop_retry_save.cfg is exist"));
    EXPECT_FALSE(dev_.LogContains("config ok"));
}

TEST_F(AutopOnDevice, NothingCollectedStillWritesTheSetting) {
    EXPECT_EQ(Run("1.0.2.0"), 0);
    EXPECT_EQ(Saved(), "Config.Autoprovision.Reboot.Enable = 1 \n");
}

TEST_F(AutopOnDevice, HostileNamesAreSkippedAndNeverRun) {
    // Run unquoted, either name would create /tmp/pwned (no '/' can appear in a name).
    dev_.File("/tmp/a;cd ..;cd ..;cd ..;cd tmp;touch pwned;.cfg", "h1 = 1\n");
    dev_.File("/tmp/x$(cd ..;cd ..;cd ..;cd tmp;touch pwned).cfg", "h2 = 2\n");
    dev_.File("/tmp/q'uote.cfg", "h3 = 3\n");
    dev_.File("/tmp/ok.cfg", "ok = 1\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    const std::string saved = Saved();
    EXPECT_NE(saved.find("ok = 1"), std::string::npos);
    for (const char* h : {"h1", "h2", "h3"}) EXPECT_EQ(saved.find(h), std::string::npos) << h;
    EXPECT_TRUE(dev_.LogContains("/tmp/x$(cd ..;cd ..;cd ..;cd tmp;touch pwned).cfg skipped: name holds shell characters"));
    EXPECT_TRUE(dev_.LogContains("/tmp/q'uote.cfg skipped"));
    EXPECT_FALSE(dev_.DeviceFileExists("tmp/pwned"));
}

TEST_F(AutopOnDevice, NamesTooLongForTheCommandAreSkipped) {
    const std::string fits = std::string(208, 'f') + ".cfg";       // command of 255 characters
    const std::string too_long = std::string(209, 'l') + ".cfg";   // 256
    const std::string no_path = std::string(247, 'p') + ".cfg";    // "/tmp/" + name: 256
    dev_.File("/tmp/" + fits, "fits = 1\n");
    dev_.File("/tmp/" + too_long, "long = 1\n");
    dev_.File("/tmp/" + no_path, "nopath = 1\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    const std::string saved = Saved();
    EXPECT_NE(saved.find("fits = 1"), std::string::npos);
    EXPECT_EQ(saved.find("long = 1"), std::string::npos);
    EXPECT_EQ(saved.find("nopath = 1"), std::string::npos);
    EXPECT_TRUE(dev_.LogContains("/tmp/" + too_long + " skipped: path too long"));
    EXPECT_TRUE(dev_.LogContains("/tmp/" + no_path + " skipped: path too long"));
}

TEST_F(AutopOnDevice, AtMostTenFilesAreCollected) {
    for (int i = 0; i < 12; ++i) dev_.File("/tmp/f" + std::to_string(i) + ".cfg", "file" + std::to_string(i) + " = 1\n");
    EXPECT_EQ(Run("1.0.2.0"), 0);
    const std::string saved = Saved();
    int present = 0;
    for (int i = 0; i < 12; ++i)
        if (saved.find("file" + std::to_string(i) + " = 1\n") != std::string::npos) ++present;
    EXPECT_EQ(present, 10);
    int skipped = 0;
    for (const auto& l : dev_.Syslog())
        if (l.message.find("skipped: more than 10 files") != std::string::npos) ++skipped;
    EXPECT_EQ(skipped, 2);
}

}  // namespace
