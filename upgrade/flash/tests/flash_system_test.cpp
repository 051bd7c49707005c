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
#include <string>
#include <vector>

#include "devsim_harness.h"
#include "readable.h"
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
// The progress values, what each fault leaves and the write failure between
// partitions are the burner's logic, held by burn_test on the host; here only
// what needs the device: its lines, the bar on the screen, the real ioctls.

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
// The installer's runs (driver_layout_test) show each ending of a migration;
// here the steps the probe reaches alone: the copies, the kernel's move request
// and the write-back of one partition.

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

TEST_F(LayoutOnDevice, PartitionSevenIsNeverMoved) {
    Prepare(LayoutFile({}), true);
    ASSERT_EQ(dev_.Exec(Probe(), {"repair", "7", "0x150000", "0x10000"}), 0) << dev_.Stderr();
    EXPECT_EQ(ExitStatus(), 1);
    EXPECT_EQ(FinalWindow(dev_, 7).start, kWindows[7].start);
    EXPECT_FALSE(dev_.LogContains("offset:"));
}

// ---- auto-provisioning ----
// Which version asks for which step is autop_rules_test's, the steps after an
// upgrade and hostile names are the installer's runs (driver_autop_test,
// shell_safety_test); here what the collection takes and leaves.

class AutopOnDevice : public FlashDevice {
protected:
    void SetUp() override { Setup(""); }
    int Run(const std::string& version) {
        EXPECT_EQ(dev_.Exec(Probe(), {"autop", version}), 0) << dev_.Stderr();
        return ExitStatus();
    }
    std::string Saved() const { return dev_.DeviceFile("config/autop_retry_save.cfg"); }
};

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
