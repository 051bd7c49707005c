// The installer's device scenarios: a row states the phone, the package and
// the faults of one run and what the run must end with; RunScenario runs it in
// devsim and checks every column the row states. Every run also checks that
// nothing ended in a crash, no hostile text reached a shell (the canary) and
// the partition copies were taken under the save-file lock, before any move.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "devsim_harness.h"
#include "rombuild.h"

namespace drivertest {

using Pairs = std::vector<std::pair<int, int>>;

// Flash windows of the sample phone.
struct Window {
    uint32_t start, end;
};
extern const Window kWindows[7];
using Moves = std::map<int, Window>;

// Recognisable partition contents.
std::vector<uint8_t> Pattern(uint32_t seed, uint32_t size);

// The sample package: device 53, match id 5, ROM 2.0.0.1; partitions 1 (kernel,
// 100000 bytes, 2.0.0.1), 2 (70000 bytes) and 5 (40000 bytes, 2.0.0.1: the
// installed version on the sample phone, skipped).
RomPackageSpec SamplePackage();
std::string Build(const RomPackageSpec& desc);

// The sample phone: hardware 53 with sub-id 5, seven windows; `extra` is
// appended to device.ini (keys of a later section override earlier ones).
std::string PhoneIni(const std::string& device_extra = "", const std::string& extra = "");
// RomVersion 1.0.0.1, Mtd5Version 2.0.0.1 (partition 5 of the sample package is skipped).
void AddVersionFiles(devsim::Device& dev);

// "touch /tmp/canary" spelled without a slash (no file name can hold one).
constexpr char kTouch[] = "touch $(printf '\\057tmp\\057canary')";

constexpr int kUnchecked = -2;
constexpr int kNoSemaphore = -1;

// How the package reaches the installer.
enum class Source {
    kFile,   // --rom: file mode
    kShm,    // --shm with upgrade state `state`
    kAtArg,  // written on the device at args[0], which names it
    kEmpty,  // --rom with an empty file
    kNone,   // no package at all
};

struct Scenario {
    const char* name;
    // ---- the run ----
    const char* device = "";    // more [device] keys
    const char* sections = "";  // more sections: [faults], [semaphores], [bootloader] ...
    Source source = Source::kFile;
    int state = 0;
    void (*package)(RomPackageSpec&) = nullptr;  // changes to the sample package
    // A layout partition in front of the package: the sample layout with these
    // moves and `raw` values (index -> text, "" leaves the key out). The chip
    // then holds patterns in the environment and configuration windows.
    const Moves* layout = nullptr;
    std::map<int, std::string> raw = {};
    std::vector<std::pair<std::string, std::string>> files = {};  // device files before the run
    std::vector<std::string> options = {};
    std::vector<std::string> args = {};
    const char* keys = "35@frame1";
    // ---- what it ends with ----
    const char* outcome = "rebooted";
    int exit_status = 0;          // for "exited"
    const char* screen = nullptr;  // failure text shown with `id` before "Rebooting..."
    int id = 0;
    bool countdown = false;  // the screen is the 60 s countdown with `id`
    bool bar = false;        // the last frame is the full progress bar
    // Each flash window (mtd0..6, where the run's listing puts it): 'o' as the
    // run began, 'w' holds its partition, 'c' does not hold it completely,
    // 'k' holds the whole saved copy of the environment/configuration, 'p' the
    // copy's first three blocks and erased bytes after them.
    const char* chip = "ooooooo";
    bool moved = false;  // the layout's windows are listed at the end
    const char* log = nullptr;
    std::optional<Pairs> broadcasts = {};  // (msg, wparam) in order
    const char* reboot = nullptr;          // reboot command used
    int process_lock = kUnchecked;         // semaphores at the end: 1 free, 0 taken
    int save_file = kUnchecked;
    int burn_lock = kUnchecked;
    int buffer = kUnchecked;     // 1: the shared ROM buffer is left (its semaphore free)
    int killapps = kUnchecked;   // killapps runs
    int kernel_writes = -1;      // write requests into mtd1
    // Device files at the end: text, "*" any text, "-" absent.
    std::vector<std::pair<std::string, std::string>> after = {};
    std::pair<const char*, const char*> env = {nullptr, nullptr};  // bootloader variable at the end
    // With the files of AutopFiles(): 1 the configuration saved for the retry, 0 not;
    // line key 8 retired with it, or the key file unchanged.
    int autop = kUnchecked;
};

inline void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

void RunScenario(const Scenario& row);

// Puts a partition with id 255 of `type` in front of the package.
void AddPartition(RomPackageSpec& desc, int type, uint32_t version, const std::string& data);

// Package changes for rows: device 54, refused with -95; an upgrader tool
// partition in front: a script that writes how it was started ("started
// <argc>:<first argument>") to /config/tool_ran, of build 56 (newer than the
// installer's 1.0.0.55) or 55 (its own version).
inline void OtherDevice(RomPackageSpec& desc) { desc.device_id = 54; }
template <uint32_t kBuild>
void Tool(RomPackageSpec& desc) {
    AddPartition(desc, 1, rombuild_version(1, 0, 0, kBuild), "#!/bin/sh\necho \"started $#:$1\" > /config/tool_ran\n");
}

// Files of the auto-provisioning retry: the key file, configuration files in
// /tmp (one whose name would break out of a quoted copy command), the flag.
// The auto-provisioning set-up, with `more` files besides.
std::vector<std::pair<std::string, std::string>> AutopFiles(std::vector<std::pair<std::string, std::string>> more = {});

}  // namespace drivertest
