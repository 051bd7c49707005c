#include "driver_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <tuple>

#include "basicui.h"
#include "lcd.h"
#include "picture.h"
#include "readable.h"

namespace drivertest {

const Window kWindows[7] = {
    {0x90000000, 0x90020000}, {0x90020000, 0x90100000}, {0x90100000, 0x90400000},
    {0x90400000, 0x90410000}, {0x90410000, 0x90490000}, {0x90490000, 0x90700000},
    {0x90700000, 0x90800000},
};

std::string PhoneIni(const std::string& device_extra, const std::string& extra) {
    std::string ini =
        "[device]\n"
        "hwver = 53.2.0.0.5.0.0.0\n"
        "software = 1.2.3.4,20261206\n"
        // Sleeps run 20 times faster; the time limits of the shell commands
        // (3 s and 10 s) stay far above what a command needs on a busy machine.
        "speed = 20\n"
        "timeout = 60\n" +
        device_extra + "[bootloader]\nMID_VERSION = 0\nSW_OEM = 0\nSW_protect = 0\n";
    char line[64];
    for (int i = 0; i < 7; ++i) {
        snprintf(line, sizeof(line), "mtd%d = 0x%08X,0x%08X\n", i, kWindows[i].start, kWindows[i].end);
        ini += line;
    }
    return ini + "[flash]\nfill = 0xA5\n" + extra;
}

void AddVersionFiles(devsim::Device& dev) {
    dev.File("/app/version.conf", "[Version]\nRomVersion = 1.0.0.1\n");
    dev.File("/basic/version.conf", "[Version]\nMtd5Version = 2.0.0.1\n");
}

std::vector<uint8_t> Pattern(uint32_t seed, uint32_t size) {
    std::vector<uint8_t> v(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint32_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

RomPackageSpec SamplePackage() {
    RomPackageSpec desc;
    desc.device_id = 53;
    desc.match_id[0] = 5;
    desc.rom_version = rombuild_version(2, 0, 0, 1);
    desc.scramble_key = 0x5C;
    for (const auto& [id, size] : {std::pair<uint32_t, uint32_t>{1, 100000}, {2, 70000}, {5, 40000}}) {
        RomPartitionSpec part;
        part.partition_id = id;
        part.partition_version = rombuild_version(2, 0, 0, 1);
        part.data = Pattern(id, size);
        desc.partitions.push_back(part);
    }
    return desc;
}

std::string Build(const RomPackageSpec& desc) {
    const std::vector<uint8_t> v = rombuild_package(desc);
    return std::string(v.begin(), v.end());
}

void AddPartition(RomPackageSpec& desc, int type, uint32_t version, const std::string& data) {
    RomPartitionSpec p;
    p.partition_id = 255;
    p.partition_type = type;
    p.partition_version = version;
    p.data.assign(data.begin(), data.end());
    desc.partitions.insert(desc.partitions.begin(), p);
}

namespace {

constexpr char kSaveFile[] = "config/autop_retry_save.cfg";
constexpr char kKeyFile[] = "/config/Phone/Key/ProgramableKey.conf";
constexpr char kKeys[] = "[ LINEKEY1 ]\ntype = 1\n[ LINEKEY8 ]\ntype = 2\n";

// The screen a CBasicUI call draws, rendered off-screen as the device's frames read.
template <typename Draw>
std::string Render(Draw draw) {
    CBasicUI ui;
    draw(ui);
    std::string text = picture::ToText(g_lcdbuffer);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The saved copy a layout row puts in the environment (3) or configuration (4) window.
std::string Saved(int mtd) {
    const std::vector<uint8_t> v = Pattern(100 + mtd, kWindows[mtd].end - kWindows[mtd].start);
    return std::string(v.begin(), v.end());
}

std::string PartitionData(const RomPackageSpec& desc, int mtd) {
    for (const auto& p : desc.partitions) {
        if (p.partition_type == 0 && static_cast<int>(p.partition_id) == mtd) {
            return std::string(p.data.begin(), p.data.end());
        }
    }
    return "";
}

// Places of the log messages that contain `text`, in order.
std::vector<size_t> Lines(const devsim::Device& dev, const std::string& text) {
    std::vector<size_t> out;
    const auto lines = dev.Syslog();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].message.find(text) != std::string::npos) out.push_back(i);
    }
    return out;
}

void ExpectScreens(const devsim::Device& dev, const Scenario& row) {
    const std::string notice = Render([](CBasicUI& ui) { ui.DispNoticeInfo("Rebooting..."); });
    std::vector<std::string> frames;
    for (int i = 1; i <= dev.FrameCount(); ++i) frames.push_back(dev.FrameText(i));
    const size_t n = frames.size();
    if (row.bar) {
        EXPECT_TRUE(n > 0 && frames.back() == Render([](CBasicUI& ui) { ui.SetUpgradingProgressBar(100); }));
    }
    if (row.countdown) {
        // 60 down to 1, then the notice.
        ASSERT_GE(n, 61u);
        for (int s = 60; s >= 1; --s) {
            EXPECT_TRUE(frames[n - 1 - s] ==
                        Render([&](CBasicUI& ui) { ui.ShowUpgradingAutop2FailedInfoWithID(row.id, s); }))
                << "not the countdown at second " << s;
        }
        EXPECT_TRUE(frames.back() == notice);
    }
    if (row.screen == nullptr) return;
    const std::string failure = Render([&](CBasicUI& ui) { ui.ShowUpgradingFailedInfoWithID(row.screen, row.id); });
    // Without the key the failure screen stays until the run's time limit.
    const bool waits = std::string(row.outcome) == "timeout";
    ASSERT_GE(n, waits ? 1u : 2u);
    EXPECT_TRUE(frames[n - (waits ? 1 : 2)] == failure) << "not the failure screen " << row.screen << ":" << row.id;
    if (!waits) { EXPECT_TRUE(frames.back() == notice); }
}

// Every window where the run's listing puts it, with the contents the row states.
void ExpectChip(const devsim::Device& dev, const Scenario& row, const RomPackageSpec& desc) {
    const std::string start = devsim::ReadFile(dev.OutDir() + "/flash.start.img");
    for (int mtd = 0; mtd < 7; ++mtd) {
        const std::string what = "mtd" + std::to_string(mtd);
        const auto [begin, end] = dev.WindowRange(mtd);
        const Window want = row.moved && row.layout->count(mtd) ? row.layout->at(mtd) : kWindows[mtd];
        EXPECT_EQ(begin, want.start) << what;
        EXPECT_EQ(end, want.end) << what;
        const std::string got = dev.Window(mtd);
        const std::string data = PartitionData(desc, mtd);
        const bool holds = !data.empty() && got.compare(0, data.size(), data) == 0;
        const size_t written = 3 * 0x10000;
        switch (row.chip[mtd]) {
            case 'o': EXPECT_EQ(FirstDiff(got, start.substr(begin - 0x90000000u, got.size())), -1) << what; break;
            case 'w': EXPECT_TRUE(holds) << what; break;
            case 'c': EXPECT_FALSE(holds) << what; break;
            case 'k': EXPECT_EQ(FirstDiff(got, Saved(mtd)), -1) << what << " not carried over"; break;
            case 'p':
                EXPECT_EQ(FirstDiff(got.substr(0, written), Saved(mtd).substr(0, written)), -1) << what;
                EXPECT_EQ(got.find_first_not_of('\xFF', written), std::string::npos) << what;
                break;
            default: ADD_FAILURE() << "no such window state " << row.chip[mtd];
        }
    }
}

// The auto-provisioning files: the configuration of /tmp saved for the retry
// (plain names only, URL lines left out, the reboot line added), line key 8 retired.
void ExpectAutop(const devsim::Device& dev, const Scenario& row) {
    EXPECT_FALSE(dev.LogContains("retry")) << "a file step ran out of time";
    EXPECT_EQ(dev.DeviceFileExists(kSaveFile), row.autop == 1);
    if (row.autop == 1) {
        const std::string saved = dev.DeviceFile(kSaveFile);
        for (const char* in : {"account = 7\n", "volume = 3\n", "fits = 1\n"})
            EXPECT_NE(saved.find(in), std::string::npos) << saved;
        for (const char* out : {"notes = 1", "http", "HOSTILE", "long = 1", "nopath = 1"})
            EXPECT_EQ(saved.find(out), std::string::npos) << saved;
        for (const std::string& name : {std::string(209, 'l'), std::string(247, 'p')})
            EXPECT_TRUE(dev.LogContains("/tmp/" + name + ".cfg skipped: path too long")) << name;
        EXPECT_TRUE(saved.ends_with("Config.Autoprovision.Reboot.Enable = 1 \n")) << saved;
        EXPECT_TRUE(dev.LogContains("skipped: name holds shell characters"));
    }
    // Only the LINEKEY8 line replaced (blanks before it are the shell tool's business).
    EXPECT_EQ(std::regex_replace(dev.DeviceFile(kKeyFile), std::regex("\n +"), "\n"),
              row.autop == 1 ? "[ LINEKEY1 ]\ntype = 1\n[ LINEKEY8_NOUSED ]\ntype = 2\n" : kKeys);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> AutopFiles(std::vector<std::pair<std::string, std::string>> more) {
    // Names whose collect command is 255 characters (fits), 256, and 256 with
    // the folder: only the first is taken.
    for (const auto& [fill, n, text] :
         {std::tuple{'f', 208, "fits = 1\n"}, {'l', 209, "long = 1\n"}, {'p', 247, "nopath = 1\n"}})
        more.emplace_back("/tmp/" + std::string(n, fill) + ".cfg", text);
    more.insert(more.end(), {{"/app/version.conf", "[Version]\nRomVersion = 59.0.3.7\n"},
                             {"/config/upgrader_autop", "1"},
                             {kKeyFile, kKeys},
                             {"/tmp/account.cfg", "account = 7\nserver_url = http://x\n"},
                             {"/tmp/phone.conf", "volume = 3\n"},
                             {"/tmp/notes.txt", "notes = 1\n"},
                             {std::string("/tmp/a';") + kTouch + ";'.cfg", "HOSTILE-CONTENT\n"}});
    return more;
}

void RunScenario(const Scenario& row) {
    devsim::Device dev(row.name);
    RomPackageSpec desc = SamplePackage();
    if (row.package != nullptr) row.package(desc);
    std::string flash;
    if (row.layout != nullptr) {
        // The "[mtd]" text of the sample layout with the row's moves and raw values.
        std::string ini = "[mtd]\n";
        for (int i = 0; i < 7; ++i) {
            const Window w = row.layout->count(i) ? row.layout->at(i) : kWindows[i];
            char value[32];
            snprintf(value, sizeof value, "%x,%x", w.start, w.end);
            const std::string v = row.raw.count(i) ? row.raw.at(i) : value;
            if (!v.empty()) ini += "mtd" + std::to_string(i) + " = " + v + "\n";
        }
        AddPartition(desc, 2, 0, ini);
        for (int mtd : {3, 4}) {
            const std::string n = std::to_string(mtd);
            flash += "mtd" + n + " = " + dev.HostFile("m" + n + ".bin", Saved(mtd)) + "\n";
        }
    }
    dev.Ini(PhoneIni(row.device, flash + row.sections));
    AddVersionFiles(dev);
    for (const auto& [path, text] : row.files) dev.File(path, text, 0755);
    std::vector<std::string> options = row.options;
    const std::string rom = Build(desc);
    if (row.source == Source::kFile || row.source == Source::kEmpty) {
        options.insert(options.end(), {"--rom", dev.HostFile("p.rom", row.source == Source::kFile ? rom : "")});
    }
    if (row.source == Source::kShm) {
        options.insert(options.end(), {"--shm", dev.HostFile("p.rom", rom), "--state", std::to_string(row.state)});
    }
    if (row.source == Source::kAtArg) dev.File(row.args.at(0), rom);
    if (*row.keys != '\0') options.insert(options.end(), {"--keys", row.keys});
    ASSERT_EQ(dev.Run(options, row.args), 0) << dev.Stderr();

    const devsim::Result& r = dev.result();
    EXPECT_EQ(r.outcome, row.outcome) << dev.Console();
    if (r.outcome == "exited") { EXPECT_EQ(r.exit_status.value_or(-1000), row.exit_status); }
    EXPECT_FALSE(r.signal.has_value());
    EXPECT_FALSE(dev.DeviceFileExists("/tmp/canary")) << "a hostile text reached a shell";
    ExpectScreens(dev, row);
    ExpectChip(dev, row, desc);
    if (row.log != nullptr) { EXPECT_TRUE(dev.LogContains(row.log)) << row.log; }
    if (row.broadcasts) {
        Pairs got;
        for (const auto& m : dev.Ipc()) {
            if (m.receiver == 1 && !m.malformed) got.emplace_back(m.msg, m.wparam);  // once per broadcast
        }
        EXPECT_EQ(got, *row.broadcasts);
    }
    if (row.reboot != nullptr) { EXPECT_EQ(r.reboot_command.value_or(""), row.reboot); }
    const std::pair<int, const char*> locks[] = {{row.process_lock, "0xC002"}, {row.save_file, "0xB012"},
                                                 {row.burn_lock, "0xC004"}, {row.buffer == kUnchecked ? kUnchecked : 1, "0xA130"}};
    for (const auto& [want, key] : locks) {
        const devsim::SysvObject sem = r.sysv.Semaphore(key);
        if (want != kUnchecked) { EXPECT_EQ(sem.exists ? static_cast<int>(sem.value) : kNoSemaphore, want) << key; }
    }
    // The save-file semaphore is given back exactly when this run took it.
    if (row.save_file != kUnchecked) {
        EXPECT_EQ(dev.LogContains("unlock cfg_semid"), dev.LogContains("locked cfg_semid"));
    }
    // Partition copies are taken under the save-file lock, before the first move.
    const auto copies = Lines(dev, "shellcmd:/tmp/bin/cat /dev/mtdblock/");
    if (!copies.empty()) {
        const auto locked = Lines(dev, "locked cfg_semid");
        const auto moves = Lines(dev, ": offset:");
        EXPECT_TRUE(!locked.empty() && locked.front() < copies.front()) << "copies taken without the save-file lock";
        EXPECT_TRUE(moves.empty() || copies.back() < moves.front());
    }
    if (row.buffer != kUnchecked) { EXPECT_EQ(r.sysv.Segment("0xA130").exists, row.buffer == 1); }
    if (row.killapps != kUnchecked) { EXPECT_EQ(r.killapps_runs, row.killapps); }
    if (row.kernel_writes >= 0) {
        const auto ops = r.flash_ops.find("mtd1");
        EXPECT_EQ(ops == r.flash_ops.end() ? 0 : ops->second.writes, row.kernel_writes);
    }
    for (const auto& [path, text] : row.after) {
        const bool any = text == "-" || text == "*";
        EXPECT_EQ(!any ? dev.DeviceFile(path) : dev.DeviceFileExists(path) ? "*" : "-", text) << path;
    }
    if (row.env.first != nullptr) { EXPECT_EQ(dev.EnvValue(row.env.first), row.env.second); }
    if (row.autop != kUnchecked) ExpectAutop(dev, row);
}

}  // namespace drivertest
