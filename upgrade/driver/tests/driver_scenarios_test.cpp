// The installer end to end on the simulated device, one row per run: the
// ending of every result code and screen (the fault matrix: one injected fault
// of the phone at a time), the upgrade states, the hand-off to an upgrader
// tool, the auto-provisioning files, the layout migrations and hostile texts
// (each carries a command that would create the runner's canary file). Which package
// the check refuses with which code is the check's own table; which layout
// values are refused is the layout's. Columns: driver_fixture.h.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using namespace drivertest;

constexpr char kBurn[] = "Burn Flash Failed!";
constexpr char kCheck[] = "Rom check Failed!";
constexpr char kFailed[] = "Upgrade Failed!";
constexpr char kKillapps[] = "Killapps Failed!";

// The sample phone's chip is fully used, so a partition that moves takes room
// from another: mtd2 grows over the old environment and configuration windows,
// mtd5 gives up its tail.
const Moves kMoveBoth = {{2, {0x90100000, 0x90490000}},
                         {5, {0x90490000, 0x90670000}},
                         {4, {0x90670000, 0x906F0000}},
                         {3, {0x906F0000, 0x90700000}}};
const Moves kMoveEnv = {{2, {0x90100000, 0x90410000}}, {5, {0x90490000, 0x906F0000}}, {3, {0x906F0000, 0x90700000}}};

// A layout that shrinks the kernel's window to 64 KiB below a kernel of
// 200,000 bytes: the check passes, the burn refuses before anything is erased.
const Moves kShrinkKernel = {{1, {0x90020000, 0x90030000}}};
void BigKernel(RomPackageSpec& desc) { desc.partitions[0].data = Pattern(1, 200000); }

const std::string kHostileRom = std::string("/tmp/a';") + kTouch + ";'$(" + kTouch + ").rom";

std::vector<Scenario> Rows() {
    const Pairs kNone = {}, kShown = {{3, 0}}, kStopping = {{4, 2}}, kKilled = {{4, 2}, {4, 3}, {3, 0}};
    return {
        // ---- file mode, one fault at a time ----
        {.name = "none", .files = {{"/config/upgrader_autop", "1"}}, .bar = true, .chip = "owwoooo",
         .broadcasts = kStopping, .reboot = "/tmp/reboot", .process_lock = 0, .burn_lock = 0, .killapps = 1,
         .after = {{"/config/upgrader_autop", "-"}}},
        // Burn failures: the burner's code on the screen, earlier partitions kept, nothing after.
        {.name = "erase_kernel", .sections = "[faults]\nerase = mtd1:0", .screen = kBurn, .id = -82, .chip = "ocooooo"},
        {.name = "erase_rootfs", .sections = "[faults]\nerase = mtd2:0", .screen = kBurn, .id = -82, .chip = "owcoooo"},
        {.name = "write_rootfs", .sections = "[faults]\nwrite = mtd2:0", .screen = kBurn, .id = -81, .chip = "owcoooo",
         .log = "burn flash failed!", .broadcasts = Pairs{{4, 2}, {4, 4}, {3, 0}}, .reboot = "/tmp/reboot"},
        {.name = "memgetinfo", .sections = "[faults]\nmemgetinfo = mtd2", .screen = kBurn, .id = -82, .chip = "owcoooo"},
        // The chip stores half of one write and says so: the rest is written.
        {.name = "short_write", .sections = "[faults]\nshort_write = mtd2:0", .chip = "owwoooo"},
        // Bits left unprogrammed by the first write of kernel block 0: found on
        // read-back and written again (3 writes for 2 blocks); always so in
        // block 1: the write error.
        {.name = "weak_write", .sections = "[faults]\nweak_write = mtd1:0", .chip = "owwoooo", .kernel_writes = 3},
        {.name = "weak_write_always", .sections = "[faults]\nweak_write = mtd1:1:always", .screen = kBurn, .id = -81,
         .chip = "ocooooo", .kernel_writes = 3},
        {.name = "layout_shrinks_kernel", .device = "kernel_mtd_repair = yes\n", .package = BigKernel,
         .layout = &kShrinkKernel, .screen = kBurn, .id = -84, .moved = true, .kernel_writes = 0},
        // Refusals of the package check and of the phone's description.
        {.name = "refused", .package = OtherDevice, .screen = kCheck, .id = -95, .log = "rom pack check failed! ID:-95",
         .broadcasts = Pairs{{4, 1}, {3, 0}}, .process_lock = 0, .save_file = 1},
        {.name = "no_mtd2", .sections = "[faults]\nmissing = /dev/mtd2", .screen = kCheck, .id = -83},
        {.name = "no_env", .sections = "[faults]\nmissing = /proc/avalanche/env", .screen = kCheck, .id = -1},
        {.name = "no_hwver", .sections = "[faults]\nmissing = /proc/misc/hwver", .screen = kCheck, .id = -87},
        // The watchdog cannot be stopped: nothing written, before the process lock.
        {.name = "no_misc", .sections = "[faults]\nmissing = /dev/misc0", .screen = kFailed, .id = -190},
        {.name = "watchdog", .sections = "[faults]\nmisc = watchdog", .screen = kFailed, .id = -190,
         .log = "/dev/misc0 ctrl failed!", .broadcasts = kShown, .process_lock = kNoSemaphore, .save_file = 1},
        // The run takes the save-file lock and gives it back on the way out ...
        {.name = "killapps", .sections = "[faults]\nkillapps = fail", .screen = kKillapps, .id = -192,
         .log = "locked cfg_semid", .broadcasts = kKilled, .process_lock = 0, .save_file = 1},
        // ... unless another process holds it the whole run: left to that process.
        {.name = "savefileheld", .sections = "[faults]\nkillapps = fail\n[semaphores]\n0xB012 = 0", .screen = kKillapps,
         .id = -192, .log = "lock cfg_semid failed", .broadcasts = kKilled, .process_lock = 0, .save_file = 0},
        // Held for 15 s: the run goes on after its ten tries and completes.
        {.name = "savefile15s", .sections = "[semaphores]\n0xB012 = 15", .chip = "owwoooo"},
        // Before the screen is up: the result as exit status (-189 is 67), 0
        // without a screen.
        {.name = "copy_bin", .sections = "[faults]\ncopy_bin = fail", .outcome = "exited", .exit_status = 67},
        {.name = "tmp_full", .sections = "[faults]\ntmp_full = yes", .outcome = "exited", .exit_status = 67},
        {.name = "no_fb", .sections = "[faults]\nmissing = /dev/fb0", .outcome = "exited", .exit_status = 0},
        {.name = "no_keypad", .sections = "[faults]\nmissing = /dev/input/event0", .chip = "owwoooo"},
        {.name = "no_refresh", .sections = "[faults]\nmissing = /proc/glcd/refresh", .chip = "owwoooo"},
        // Another installer holds the process lock: this one stops quietly; the
        // flash is held: it stops once the applications were told.
        {.name = "second", .sections = "[semaphores]\n0xC002 = 0", .outcome = "exited",
         .log = "lock upgrader_process failed"},
        {.name = "burnlock", .sections = "[semaphores]\n0xC004 = 0", .outcome = "exited",
         .log = "lock burn_flash_semid failed", .broadcasts = kStopping},
        // File-mode exits without a package give back the process lock, so a
        // later installer runs instead of stopping at its try-lock.
        {.name = "emptyrom", .source = Source::kEmpty, .outcome = "exited", .exit_status = 61,
         .log = "memory map failed!", .broadcasts = kNone, .process_lock = 1},
        {.name = "norom", .source = Source::kNone, .args = {"/tmp/missing.rom"}, .outcome = "exited", .exit_status = 60,
         .log = "/tmp/missing.rom File open failed!", .broadcasts = kNone, .process_lock = 1},
        {.name = "path", .source = Source::kNone, .options = {"--argv0", "/usr/bin/upgrader", "--rom", "/dev/null"},
         .outcome = "exited", .log = "upgrader path error", .broadcasts = kNone, .process_lock = kNoSemaphore},
        // The usage exit comes after the copies of reboot and the shell tools.
        {.name = "usage", .source = Source::kNone, .args = {"/tmp/a.rom", "extra"}, .outcome = "exited",
         .exit_status = 56, .log = "usage: /basic/bin/upgrader  or  /basic/bin/upgrader rom_file", .broadcasts = kNone,
         .process_lock = kNoSemaphore, .after = {{"/tmp/reboot", "*"}}},
        // Without the key the failure screen stays: the run ends at its time limit.
        {.name = "waits_for_key", .device = "timeout = 3\n", .package = OtherDevice, .keys = "34@frame1,36@frame1",
         .outcome = "timeout", .screen = kCheck, .id = -95},
        // Without a copy of reboot in /tmp ("cp /sbin/reboot /tmp/" fails on a
        // directory in the way) every reboot uses "reboot".
        {.name = "no_reboot_copy", .package = OtherDevice, .files = {{"/tmp/reboot/in-the-way", ""}}, .screen = kCheck,
         .id = -95, .reboot = "reboot"},
        // The installed ROM version again.
        {.name = "same_version", .package = [](RomPackageSpec& d) { d.rom_version = rombuild_version(1, 0, 0, 1); },
         .files = {{"/config/upgrader_autop", "1"}}, .bar = true, .after = {{"/config/upgrader_autop", "-"}}},
        // ---- upgrade states of the shared ROM buffer ----
        {.name = "shm_autop", .source = Source::kShm, .files = AutopFiles(), .options = {"--speed", "4"}, .bar = true,
         .chip = "owwoooo", .broadcasts = kStopping, .reboot = "/tmp/reboot", .process_lock = 0, .burn_lock = 0,
         .after = {{"/config/upgrader_autop", "-"}}, .autop = 1},
        // A save file already there is left for the retry that made it.
        {.name = "shm_autop_saved", .source = Source::kShm,
         .files = AutopFiles({{"/config/autop_retry_save.cfg", "old\n"}}), .options = {"--speed", "4"}, .chip = "owwoooo", .log = "/config/autop_retry_save.cfg is exist", .after = {{"/config/autop_retry_save.cfg", "old\n"}}},
        {.name = "file_autop", .files = AutopFiles(), .options = {"--speed", "4"}, .bar = true, .chip = "owwoooo",
         .autop = 0},
        {.name = "no_shm", .source = Source::kNone, .screen = "Get shm Failed!", .id = -198, .broadcasts = kShown},
        {.name = "state_m1", .source = Source::kShm, .state = -1, .screen = "Load Rom Failed!", .id = -199, .buffer = 1},
        // A refusal in state 1: the auto-provisioning countdown, then "reboot";
        // the buffer is deleted. A key during it reboots through /tmp's copy.
        {.name = "state1", .source = Source::kShm, .state = 1, .package = OtherDevice, .keys = "", .id = -95,
         .countdown = true, .reboot = "reboot", .buffer = 0},
        {.name = "state1_key", .source = Source::kShm, .state = 1, .package = OtherDevice, .keys = "35@frame5",
         .broadcasts = Pairs{{4, 1}, {3, 0}}, .reboot = "/tmp/reboot"},
        // State 2 leaves the applications running.
        {.name = "state2", .source = Source::kShm, .state = 2, .chip = "owwoooo", .buffer = 1, .killapps = 0},
        // State 5: a failure shows nothing, the exit status is the result (-193).
        {.name = "state5", .source = Source::kShm, .state = 5, .package = OtherDevice, .outcome = "exited",
         .exit_status = 63, .buffer = 0},
        // ---- upgrader tools: started instead of the burn, or skipped ----
        {.name = "tool_shm", .source = Source::kShm, .package = Tool<56>, .outcome = "exited",
         .log = "upgrader_tool_check /tmp/upgrader_tool exist", .broadcasts = kNone, .buffer = 1,
         .after = {{"/config/tool_ran", "started 0:\n"}}},
        {.name = "tool_own_version", .source = Source::kShm, .package = Tool<55>, .chip = "owwoooo",
         .after = {{"/config/tool_ran", "-"}}},
        // ---- layout migrations ----
        // Moved with the environment and configuration carried into their new windows.
        {.name = "layout_both", .device = "kernel_mtd_repair = yes\n", .layout = &kMoveBoth, .bar = true,
         .chip = "owwkkoo", .moved = true, .log = "kernel_support is :1", .broadcasts = kStopping},
        // The configuration's first copy comes out half long: taken again before
        // anything moves, and the whole copy carried over.
        {.name = "layout_copy_retry", .device = "kernel_mtd_repair = yes\n", .sections = "[faults]\nshort_read = mtd4",
         .layout = &kMoveBoth, .bar = true, .chip = "owwkkoo", .moved = true},
        // A kernel that cannot move partitions: the kernel alone is burned.
        {.name = "layout_kernel_only", .device = "kernel_mtd_repair = no\n", .layout = &kMoveBoth, .bar = true,
         .chip = "owooooo", .log = "upgrader_kernel_only is AVAILABLE"},
        // A refused layout file moves nothing.
        {.name = "layout_refused", .device = "kernel_mtd_repair = yes\n", .layout = &kMoveBoth, .raw = {{6, ""}},
         .screen = kFailed, .id = -188, .log = "mtd_config failed!", .broadcasts = kShown},
        // Failures after a move: the moves stay, each ending writes the saved
        // copies into the moved windows first.
        {.name = "layout_killapps", .device = "kernel_mtd_repair = yes\n", .sections = "[faults]\nkillapps = fail",
         .layout = &kMoveEnv, .screen = kKillapps, .id = -192, .chip = "oookooo", .moved = true,
         .log = "killapps failed!", .broadcasts = kKilled},
        // "/tmp/bin/umount /etc/; /tmp/bin/umount /config/" fails without umount.
        {.name = "layout_umount", .device = "kernel_mtd_repair = yes\n", .sections = "[faults]\nmissing = /bin/umount",
         .layout = &kMoveBoth, .screen = kFailed, .id = -187, .chip = "oookkoo", .moved = true,
         .log = "config unmount failed!", .broadcasts = Pairs{{4, 2}, {3, 0}}},
        // The configuration's write-back fails at block 3 (again at the ending).
        {.name = "layout_cfgwrite", .device = "kernel_mtd_repair = yes\n", .sections = "[faults]\nwrite = mtd4:3",
         .layout = &kMoveBoth, .screen = kBurn, .id = -191, .chip = "oookpoo", .moved = true,
         .log = "config mtd_write failed!", .broadcasts = Pairs{{4, 2}, {3, 0}}},
        // ---- hostile texts never reach a shell ----
        // The path is opened, installed, and handed to a tool as one argument.
        {.name = "hostile_path", .source = Source::kAtArg, .args = {kHostileRom}, .chip = "owwoooo"},
        {.name = "hostile_path_to_tool", .source = Source::kAtArg, .package = Tool<56>, .args = {kHostileRom},
         .outcome = "exited", .after = {{"/config/tool_ran", "started 1:" + kHostileRom + "\n"}}},
        // Bootloader variables are read as numbers; only decimal texts are written back.
        {.name = "hostile_variables",
         .sections = "[bootloader]\nSW_OEM = 0$(touch $(printf '\\057tmp\\057canary'))\n"
                     "MID_VERSION = 0`touch $(printf '\\057tmp\\057canary')`\n"
                     "SW_protect = 0';touch $(printf '\\057tmp\\057canary');'\n",
         .chip = "owwoooo", .env = {"SW_OEM", "0"}},
    };
}

class Scenarios : public testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, EndAsStated) { RunScenario(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Driver, Scenarios, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<Scenario>& p) { return std::string(p.param.name); });

}  // namespace
