#include "driver_fixture.h"

#include <map>
#include <mutex>

#include "basicui.h"
#include "lcd.h"
#include "picture.h"

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
        device_extra +
        "[bootloader]\n"
        "MID_VERSION = 0\n"
        "SW_OEM = 0\n"
        "SW_protect = 0\n";
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
    const struct {
        uint32_t id, size;
    } parts[] = {{1, 100000}, {2, 70000}, {5, 40000}};
    for (const auto& p : parts) {
        RomPartitionSpec part;
        part.partition_id = p.id;
        part.partition_version = rombuild_version(2, 0, 0, 1);
        part.data = Pattern(p.id, p.size);
        desc.partitions.push_back(part);
    }
    return desc;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string Build(const RomPackageSpec& desc) { return Bytes(rombuild_package(desc)); }

std::vector<std::string> SourceOptions(bool shm, const std::string& rom) {
    if (shm) return {"--shm", rom, "--state", "0"};
    return {"--rom", rom};
}

std::vector<std::pair<int, int>> Broadcasts(const devsim::Device& dev) {
    std::vector<std::pair<int, int>> out;
    for (const auto& r : dev.Ipc()) {
        if (r.receiver == 1 && !r.malformed) out.emplace_back(r.msg, r.wparam);
    }
    return out;
}

namespace {

// The off-screen picture is process state: one screen at a time.
std::mutex g_screen_lock;

template <typename Draw>
std::string Render(Draw draw) {
    std::lock_guard<std::mutex> lock(g_screen_lock);
    CBasicUI ui;
    draw(ui);
    std::string text = picture::ToText(g_lcdbuffer);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

std::string FailureScreen(const char* text, int id) {
    return Render([&](CBasicUI& ui) { ui.ShowUpgradingFailedInfoWithID(text, id); });
}

std::string CountdownScreen(int id, int seconds) {
    return Render([&](CBasicUI& ui) { ui.ShowUpgradingAutop2FailedInfoWithID(id, seconds); });
}

std::string NoticeScreen(const char* text) {
    return Render([&](CBasicUI& ui) { ui.DispNoticeInfo(text); });
}

std::string ProgressScreen(int percent) {
    return Render([&](CBasicUI& ui) { ui.SetUpgradingProgressBar(percent); });
}

std::string LastFrame(const devsim::Device& dev) {
    const int n = dev.FrameCount();
    return n > 0 ? dev.FrameText(n) : std::string();
}

std::vector<std::string> Frames(const devsim::Device& dev) {
    std::vector<std::string> out;
    for (int i = 1; i <= dev.FrameCount(); ++i) out.push_back(dev.FrameText(i));
    return out;
}

bool WindowUntouched(const devsim::Device& dev, int mtd, char fill) {
    const std::string w = dev.Window(mtd);
    if (w.empty()) return false;
    for (char c : w) {
        if (c != fill) return false;
    }
    return true;
}

int SemaphoreAtEnd(const devsim::Device& dev, const char* key) {
    const devsim::SysvObject sem = dev.result().sysv.Semaphore(key);
    return sem.exists ? static_cast<int>(sem.value) : kNoSemaphore;
}

}  // namespace drivertest
