// Packages that bring a new flash layout, end to end on the simulated device:
// partitions moved with the environment and configuration partitions carried
// into their new windows, kernel-only burning on a kernel that cannot move
// partitions, and the failures of the layout steps with what they leave on the
// chip.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "readable.h"

namespace {

using drivertest::Broadcasts;
using drivertest::Build;
using drivertest::Bytes;
using drivertest::FailureScreen;
using drivertest::kWindows;
using drivertest::LastFrame;
using drivertest::PhoneIni;
using drivertest::ProgressScreen;
using drivertest::SamplePackage;
using drivertest::Window;

using Pairs = std::vector<std::pair<int, int>>;
using Moves = std::map<int, Window>;

constexpr uint32_t kFlashBase = 0x90000000u;
constexpr char kErasedByte = static_cast<char>(0xFF);
constexpr const char* kUmountCommand = "shellcmd:/tmp/bin/umount /etc/; /tmp/bin/umount /config/";
constexpr const char* kCopyCommand = "shellcmd:/tmp/bin/cat /dev/mtdblock/3 > /tmp/mtdblock3";
constexpr const char* kConfigCopyCommand = "shellcmd:/tmp/bin/cat /dev/mtdblock/4 > /tmp/mtdblock4";

// The new layouts. The chip of the sample phone is fully used, so a partition
// that moves takes room from another: mtd2 grows over the old environment and
// configuration windows, mtd5 gives up its tail.
const Moves kMoveBoth = {{2, {0x90100000, 0x90490000}},
                         {5, {0x90490000, 0x90670000}},
                         {4, {0x90670000, 0x906F0000}},
                         {3, {0x906F0000, 0x90700000}}};
const Moves kMoveEnv = {{2, {0x90100000, 0x90410000}},
                        {5, {0x90490000, 0x906F0000}},
                        {3, {0x906F0000, 0x90700000}}};

// The "[mtd]" text of the sample phone's layout with `moves` applied and the
// values of `raw` (index -> value text; an empty text leaves the key out).
std::string LayoutIni(const Moves& moves, const std::map<int, std::string>& raw = {}) {
    std::string text = "[mtd]\n";
    for (int i = 0; i < 7; ++i) {
        Window w = kWindows[i];
        if (auto it = moves.find(i); it != moves.end()) w = it->second;
        char value[32];
        snprintf(value, sizeof value, "%x,%x", w.start, w.end);
        std::string v = value;
        if (auto it = raw.find(i); it != raw.end()) v = it->second;
        if (!v.empty()) text += "mtd" + std::to_string(i) + " = " + v + "\n";
    }
    return text;
}

// The sample package with the layout partition in front (type 2, id 255).
RomPackageSpec LayoutPackage(const std::string& ini) {
    RomPackageSpec desc = SamplePackage();
    RomPartitionSpec layout;
    layout.partition_type = 2;
    layout.partition_id = 255;
    layout.data.assign(ini.begin(), ini.end());
    desc.partitions.insert(desc.partitions.begin(), layout);
    return desc;
}

// Window of mtdN as partitions.json (or, at the start, partitions.start.json) lists it.
Window ListedWindow(const devsim::Device& dev, int mtd, bool at_start = false) {
    const std::string file = at_start ? "/partitions.start.json" : "/partitions.json";
    auto j = nlohmann::json::parse(devsim::ReadFile(dev.OutDir() + file), nullptr, false);
    const std::string key = "mtd" + std::to_string(mtd);
    if (!j.is_object() || !j.contains(key)) return {0, 0};
    return {static_cast<uint32_t>(std::stoul(j[key].value("start", "0"), nullptr, 16)),
            static_cast<uint32_t>(std::stoul(j[key].value("end", "0"), nullptr, 16))};
}

std::string Range(const std::string& chip, Window w) {
    if (w.start < kFlashBase || w.end < w.start || w.end - kFlashBase > chip.size()) return "";
    return chip.substr(w.start - kFlashBase, w.end - w.start);
}

std::string StartChip(const devsim::Device& dev) { return devsim::ReadFile(dev.OutDir() + "/flash.start.img"); }

// A log message that is exactly `text` after the installer's prefix.
bool LoggedLine(const devsim::Device& dev, const std::string& text) {
    const std::string want = ": " + text;
    for (const auto& l : dev.Syslog()) {
        std::string m = l.message;
        while (!m.empty() && m.back() == '\n') m.pop_back();
        if (m.size() >= want.size() && m.compare(m.size() - want.size(), want.size(), want) == 0) return true;
    }
    return false;
}

// Places of the log messages that contain `text`, in order.
std::vector<size_t> Lines(const devsim::Device& dev, const std::string& text) {
    std::vector<size_t> out;
    const auto lines = dev.Syslog();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].message.find(text) != std::string::npos) out.push_back(i);
    return out;
}

int Count(const devsim::Device& dev, const std::string& text) { return static_cast<int>(Lines(dev, text).size()); }

// A phone whose environment and configuration partitions hold recognisable
// contents (the whole of their windows), with a layout package for it.
class LayoutRun {
public:
    explicit LayoutRun(const char* name) : dev(name) {}

    std::string Prepare(bool support, const std::string& layout, const std::string& faults = "") {
        env_block = Bytes(drivertest::Pattern(103, kWindows[3].end - kWindows[3].start));
        config_block = Bytes(drivertest::Pattern(104, kWindows[4].end - kWindows[4].start));
        const std::string flash = "mtd3 = " + dev.HostFile("m3.bin", env_block) +
                                  "\nmtd4 = " + dev.HostFile("m4.bin", config_block) + "\n";
        // The phone's description ends in its [flash] section: the files follow.
        const std::string faults_section = faults.empty() ? "" : "[faults]\n" + faults + "\n";
        dev.Ini(PhoneIni(support ? "kernel_mtd_repair = yes\n" : "kernel_mtd_repair = no\n",
                         flash + faults_section));
        drivertest::AddVersionFiles(dev);
        desc = LayoutPackage(layout);
        return dev.HostFile("p.rom", Build(desc));
    }

    const std::vector<uint8_t>& Data(int mtd) const {
        for (const auto& p : desc.partitions)
            if (static_cast<int>(p.partition_id) == mtd) return p.data;
        static const std::vector<uint8_t> none;
        return none;
    }

    // The partition data at the start of `w`, erased bytes behind it.
    void ExpectBurned(int mtd, Window w) const {
        const std::string got = Range(dev.Flash(), w);
        const std::string data = Bytes(Data(mtd));
        ASSERT_EQ(got.size(), w.end - w.start) << "mtd" << mtd;
        EXPECT_EQ(FirstDiff(got.substr(0, data.size()), data), -1) << "mtd" << mtd;
        EXPECT_EQ(got.find_first_not_of(kErasedByte, data.size()), std::string::npos)
            << "mtd" << mtd << " not erased to the end of its window";
    }

    // The bytes of `w` are those the chip held there before the run.
    void ExpectUnchanged(Window w, const std::string& what) const {
        EXPECT_EQ(FirstDiff(Range(dev.Flash(), w), Range(StartChip(dev), w)), -1) << what;
    }

    devsim::Device dev;
    RomPackageSpec desc;
    std::string env_block, config_block;
};

// ---- migrations that complete ----

struct Migration {
    const char* name;
    bool support;
    Moves moves;
    bool env_write;     // mtd3 moved: written back from its copy
    bool config_write;  // mtd4 moved: unmounted and written back
    bool short_copy = false;    // the first copy of mtdblock4 comes out half long
    bool same_version = false;  // the package's version is installed: reboot, no burn
};

void PrintTo(const Migration& c, std::ostream* os) { *os << c.name; }

class DriverLayout : public testing::TestWithParam<Migration> {};

TEST_P(DriverLayout, MovesThePartitionsAndKeepsEnvironmentAndConfiguration) {
    const Migration& c = GetParam();
    LayoutRun run(c.name);
    std::string rom = run.Prepare(c.support, LayoutIni(c.moves), c.short_copy ? "short_read = mtd4" : "");
    devsim::Device& dev = run.dev;
    if (c.same_version) {
        run.desc.rom_version = rombuild_version(1, 0, 0, 1);
        rom = dev.HostFile("p.rom", Build(run.desc));
    }
    ASSERT_EQ(dev.Run({"--rom", rom}), 0) << dev.Stderr();

    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_EQ(Broadcasts(dev), (Pairs{{4, 2}}));
    EXPECT_EQ(LastFrame(dev), ProgressScreen(100));
    EXPECT_TRUE(LoggedLine(dev, "mtd_config"));
    EXPECT_TRUE(dev.LogContains(c.support ? "kernel_support is :1" : "kernel_support is :0"));

    const bool moving = c.support && !c.moves.empty();
    const bool kernel_only = !c.support && !c.moves.empty();
    EXPECT_EQ(dev.LogContains("kernel_support is UNAVAILABLE"), kernel_only);
    EXPECT_EQ(dev.LogContains("upgrader_kernel_only is AVAILABLE"), kernel_only);

    // Windows: moved where the layout says, with the kernel's offsets.
    for (int mtd = 0; mtd < 7; ++mtd) {
        Window want = kWindows[mtd];
        auto it = c.moves.find(mtd);
        if (moving && it != c.moves.end()) {
            want = it->second;
            char line[64];
            snprintf(line, sizeof line, "offset:%x size:%x", want.start - kFlashBase, want.end - want.start);
            EXPECT_TRUE(dev.LogContains(line)) << line;
        }
        const Window got = ListedWindow(dev, mtd);
        EXPECT_EQ(got.start, want.start) << "mtd" << mtd;
        EXPECT_EQ(got.end, want.end) << "mtd" << mtd;
    }
    if (!moving) {
        EXPECT_FALSE(dev.LogContains(": offset:"));
    }

    // Both partitions are copied once, before the first partition moves (a
    // copy cut short is taken again), under the save-file lock, which the run
    // takes once.
    const bool copied = c.env_write || c.config_write;
    EXPECT_EQ(Count(dev, kCopyCommand), copied ? 1 : 0);
    EXPECT_EQ(Count(dev, kConfigCopyCommand), copied ? (c.short_copy ? 2 : 1) : 0);
    EXPECT_EQ(dev.DeviceFileExists("tmp/mtdblock3"), copied);
    EXPECT_EQ(dev.DeviceFileExists("tmp/mtdblock4"), copied);
    if (copied) {
        EXPECT_EQ(FirstDiff(dev.DeviceFile("tmp/mtdblock3"), run.env_block), -1);
        EXPECT_EQ(FirstDiff(dev.DeviceFile("tmp/mtdblock4"), run.config_block), -1);
        const auto locked = Lines(dev, "locked cfg_semid");
        const auto copies = Lines(dev, "shellcmd:/tmp/bin/cat /dev/mtdblock/");
        const auto moves = Lines(dev, ": offset:");
        ASSERT_FALSE(locked.empty() || copies.empty() || moves.empty());
        EXPECT_LT(locked.front(), copies.front());
        EXPECT_LT(copies.back(), moves.front());
    }
    EXPECT_EQ(Count(dev, "wait lock cfg_semid"), 1);
    EXPECT_EQ(Count(dev, kUmountCommand), c.config_write && !c.same_version ? 1 : 0);

    // The chip, window by window as the run left them.
    for (int mtd = 0; mtd < 7; ++mtd) {
        const Window w = ListedWindow(dev, mtd);
        const std::string what = "mtd" + std::to_string(mtd);
        if (!c.same_version && (mtd == 1 || (mtd == 2 && !kernel_only))) {
            run.ExpectBurned(mtd, w);
        } else if (mtd == 3 && c.env_write) {
            EXPECT_EQ(FirstDiff(Range(dev.Flash(), w), run.env_block), -1) << what << " not carried over";
        } else if (mtd == 4 && c.config_write) {
            EXPECT_EQ(FirstDiff(Range(dev.Flash(), w), run.config_block), -1) << what << " not carried over";
        } else {
            run.ExpectUnchanged(w, what);
        }
    }
    // The installer changes no bootloader variable here: the partition listing
    // is left to the kernel's move request.
    EXPECT_EQ(dev.Env(), devsim::ReadFile(dev.OutDir() + "/env.start.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DriverLayout,
    testing::Values(Migration{"both", true, kMoveBoth, true, true},
                    Migration{"envonly", true, kMoveEnv, true, false},
                    Migration{"same", true, {}, false, false},
                    Migration{"nosupport", false, kMoveBoth, false, false},
                    // The configuration's first copy is cut short: taken again
                    // before anything moves, and the good copy is carried over.
                    Migration{"copyonce", true, kMoveBoth, true, true, true},
                    // The same-version reboot writes the copies into the moved
                    // windows before it reboots.
                    Migration{"samever", true, kMoveBoth, true, true, false, true}),
    [](const testing::TestParamInfo<Migration>& p) { return std::string(p.param.name); });

// ---- failures of the layout steps ----

// What a failing run leaves in the environment / configuration window: what
// was there, all erased, blocks 0-2 written and the rest erased, or the whole
// saved copy. Every ending after a move writes the saved copies into the moved
// windows first, so a moved window ends with its copy unless its writes fail.
enum class Left { kOld, kErased, kPartial, kWhole };

struct LayoutFailure {
    const char* name;
    Moves moves;
    std::map<int, std::string> raw;  // layout values that replace the computed ones
    // Faults of the simulated phone, and how they make the step fail:
    //  - missing /bin/umount: the copy of /bin in /tmp has no umount, so
    //    "/tmp/bin/umount /etc/; /tmp/bin/umount /config/" exits 127 each time;
    //  - erase/write = mtdN:block: the block of the partition's window (its new
    //    window once moved) refuses MEMERASE or write() with EIO;
    //  - missing /dev/mtdblock/4: the configuration cannot be copied;
    //  - missing /dev/mtd6: the kernel's move request for mtd6 cannot be made.
    const char* faults;
    const char* text;
    int failure_id;
    Pairs broadcasts;
    const char* log_line;
    bool moved;
    int umount_runs;
    Left config_left;
    Left env_left;
};

void PrintTo(const LayoutFailure& c, std::ostream* os) { *os << c.name; }

class DriverLayoutFailure : public testing::TestWithParam<LayoutFailure> {};

TEST_P(DriverLayoutFailure, ShowsTheFailureAndWritesNothingElse) {
    const LayoutFailure& c = GetParam();
    LayoutRun run(c.name);
    const std::string rom = run.Prepare(true, LayoutIni(c.moves, c.raw), c.faults);
    devsim::Device& dev = run.dev;
    ASSERT_EQ(dev.Run({"--rom", rom, "--keys", "35@frame1"}), 0) << dev.Stderr();

    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_EQ(Broadcasts(dev), c.broadcasts);
    EXPECT_TRUE(dev.LogContains(c.log_line)) << c.log_line;
    const int n = dev.FrameCount();
    ASSERT_GE(n, 2);
    EXPECT_EQ(dev.FrameText(n - 1), FailureScreen(c.text, c.failure_id));
    EXPECT_EQ(dev.FrameText(n), drivertest::NoticeScreen("Rebooting..."));
    EXPECT_FALSE(dev.LogContains("burn flash failed!"));

    // Moves done before the failure stay done; a refused layout moves nothing.
    for (int mtd = 0; mtd < 7; ++mtd) {
        Window want = kWindows[mtd];
        if (auto it = c.moves.find(mtd); c.moved && it != c.moves.end()) want = it->second;
        EXPECT_EQ(ListedWindow(dev, mtd).start, want.start) << "mtd" << mtd;
        EXPECT_EQ(ListedWindow(dev, mtd).end, want.end) << "mtd" << mtd;
    }
    if (!c.moved) {
        EXPECT_FALSE(dev.LogContains(": offset:"));
    }
    EXPECT_EQ(Count(dev, kUmountCommand), c.umount_runs);

    // Nothing is burned; only the write-back may have touched its window.
    const std::string chip = dev.Flash();
    const std::string start = StartChip(dev);
    ASSERT_EQ(chip.size(), start.size());
    const struct {
        int mtd;
        Left left;
        const std::string& block;
    } backs[] = {{4, c.config_left, run.config_block}, {3, c.env_left, run.env_block}};
    std::string rest_now = chip, rest_before = start;
    for (const auto& b : backs) {
        const Window w = ListedWindow(dev, b.mtd);
        const std::string got = Range(chip, w);
        const std::string what = "mtd" + std::to_string(b.mtd);
        if (c.moved && c.moves.count(b.mtd) != 0 && b.left != Left::kWhole) {
            EXPECT_TRUE(dev.LogContains(what + ": /tmp/mtdblock" + std::to_string(b.mtd) + " not written back"));
        }
        switch (b.left) {
            case Left::kOld:
                EXPECT_EQ(FirstDiff(got, Range(start, w)), -1) << what;
                break;
            case Left::kErased:
                EXPECT_EQ(got.find_first_not_of(kErasedByte), std::string::npos) << what;
                break;
            case Left::kPartial: {
                // The blocks before the failing block 3 written, the rest erased.
                const size_t written = 3 * 0x10000;
                EXPECT_EQ(FirstDiff(got.substr(0, written), b.block.substr(0, written)), -1) << what;
                EXPECT_EQ(got.find_first_not_of(kErasedByte, written), std::string::npos) << what;
                break;
            }
            case Left::kWhole:
                EXPECT_EQ(FirstDiff(got, b.block), -1) << what;
                break;
        }
        // Blank the window in both images so the comparison below covers the rest.
        rest_now.replace(w.start - kFlashBase, w.end - w.start, w.end - w.start, '\0');
        rest_before.replace(w.start - kFlashBase, w.end - w.start, w.end - w.start, '\0');
    }
    EXPECT_EQ(FirstDiff(rest_now, rest_before), -1) << "flash written outside the write-back windows";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DriverLayoutFailure,
    testing::Values(
        // A refused layout file (which values are refused is layout_test's).
        LayoutFailure{"nokey", kMoveBoth, {{6, ""}}, "", "Upgrade Failed!", -188, {{3, 0}},
                      "mtd_config failed!", false, 0, Left::kOld, Left::kOld},
        // Without a good copy of the configuration nothing moves.
        LayoutFailure{"copy4", kMoveBoth, {}, "missing = /dev/mtdblock/4", "Upgrade Failed!", -188,
                      {{3, 0}}, "mtd_config failed!", false, 0, Left::kOld, Left::kOld},
        // mtd2 to mtd4 moved, then the move of mtd6 fails.
        LayoutFailure{"latermove", kMoveBoth, {{6, "90710000,90800000"}}, "missing = /dev/mtd6",
                      "Upgrade Failed!", -188, {{3, 0}}, "mtd_config failed!", true, 0, Left::kWhole,
                      Left::kWhole},
        LayoutFailure{"killapps", kMoveEnv, {}, "killapps = fail", "Killapps Failed!", -192,
                      {{4, 2}, {4, 3}, {3, 0}}, "killapps failed!", true, 0, Left::kOld, Left::kWhole},
        LayoutFailure{"umount", kMoveBoth, {}, "missing = /bin/umount", "Upgrade Failed!", -187,
                      {{4, 2}, {3, 0}}, "config unmount failed!", true, 5, Left::kWhole, Left::kWhole},
        // The configuration's write-back fails again at the ending; the
        // environment's is made there.
        LayoutFailure{"cfgerase", kMoveBoth, {}, "erase = mtd4:0", "Burn Flash Failed!", -191,
                      {{4, 2}, {3, 0}}, "config mtd_write failed!", true, 1, Left::kOld, Left::kWhole},
        LayoutFailure{"cfgwrite", kMoveBoth, {}, "write = mtd4:3", "Burn Flash Failed!", -191,
                      {{4, 2}, {3, 0}}, "config mtd_write failed!", true, 1, Left::kPartial, Left::kWhole},
        LayoutFailure{"envwrite", kMoveBoth, {}, "write = mtd3:0", "Burn Flash Failed!", -191,
                      {{4, 2}, {3, 0}}, "env mtd_write failed!", true, 1, Left::kWhole, Left::kErased}),
    [](const testing::TestParamInfo<LayoutFailure>& p) { return std::string(p.param.name); });

// The result codes themselves: with upgrade state 5 a failure shows nothing
// and the run ends with its result (exit status = result mod 256).
struct LayoutResult {
    const char* name;
    std::map<int, std::string> raw;
    const char* faults;
    int exit_status;
};

void PrintTo(const LayoutResult& c, std::ostream* os) { *os << c.name; }

class DriverLayoutResult : public testing::TestWithParam<LayoutResult> {};

TEST_P(DriverLayoutResult, EndsWithTheStepsCode) {
    const LayoutResult& c = GetParam();
    LayoutRun run(c.name);
    const std::string rom = run.Prepare(true, LayoutIni(kMoveBoth, c.raw), c.faults);
    ASSERT_EQ(run.dev.Run({"--shm", rom, "--state", "5"}), 0) << run.dev.Stderr();
    EXPECT_EQ(run.dev.result().outcome, "exited");
    EXPECT_EQ(run.dev.result().exit_status.value_or(-1), c.exit_status);
    EXPECT_FALSE(run.dev.LogContains("burn flash failed!"));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DriverLayoutResult,
    testing::Values(LayoutResult{"config188", {{3, "906F0000"}}, "", 68},
                    LayoutResult{"umount187", {}, "missing = /bin/umount", 69},
                    LayoutResult{"writeback191", {}, "erase = mtd4:0", 65}),
    [](const testing::TestParamInfo<LayoutResult>& p) { return std::string(p.param.name); });

}  // namespace
