// What the installer's device tests share: a sample phone, sample packages, and
// readers for what a run showed (broadcasts, screens, flash).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devsim_harness.h"
#include "rombuild.h"

namespace drivertest {

// The sample phone: hardware 53 with sub-id 5, RomVersion 1.0.0.1, Mtd5Version
// 2.0.0.1 (so partition 5 of the sample package is skipped), seven windows.
// `extra` is appended to device.ini (more sections, or keys that override by
// coming later in a section of their own).
std::string PhoneIni(const std::string& device_extra = "", const std::string& extra = "");
void AddVersionFiles(devsim::Device& dev);

// Flash windows of the sample phone.
struct Window {
    uint32_t start, end;
};
extern const Window kWindows[7];

// Recognisable partition contents.
std::vector<uint8_t> Pattern(uint32_t seed, uint32_t size);

// The sample package: device 53, match id 5, ROM 2.0.0.1; partitions 1 (kernel,
// 100000 bytes, 2.0.0.1), 2 (70000 bytes) and 5 (40000 bytes, 2.0.0.1: the
// installed version, skipped).
RomPackageSpec SamplePackage();
std::string Bytes(const std::vector<uint8_t>& v);
std::string Build(const RomPackageSpec& desc);

// devsim options that hand `rom` to the installer: in the shared ROM buffer
// with upgrade state 0 (`shm`), or as the ROM file of file mode.
std::vector<std::string> SourceOptions(bool shm, const std::string& rom);

// Broadcasts as (msg, wparam) pairs in order, counted once per broadcast (the
// copy received by IPC id 1).
std::vector<std::pair<int, int>> Broadcasts(const devsim::Device& dev);

// The screen a CBasicUI call draws, rendered off-screen in this process, as
// the device's frames read.
std::string FailureScreen(const char* text, int id);
std::string CountdownScreen(int id, int seconds);
std::string NoticeScreen(const char* text);
std::string ProgressScreen(int percent);

// The last frame of the run ("" without frames).
std::string LastFrame(const devsim::Device& dev);
// Every frame of the run, in order.
std::vector<std::string> Frames(const devsim::Device& dev);

// True when the window of mtdN holds nothing but `fill` bytes.
bool WindowUntouched(const devsim::Device& dev, int mtd, char fill);

// A semaphore of the phone as the run left it, read once every process of the
// device had ended (undo records applied): 1 free, 0 taken, kNoSemaphore when
// the run left none under that key ("0xC002" ...).
constexpr int kNoSemaphore = -1;
int SemaphoreAtEnd(const devsim::Device& dev, const char* key);

}  // namespace drivertest
