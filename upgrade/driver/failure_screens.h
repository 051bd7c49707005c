// The two screens on which a failed upgrade ends.
//
// disp_failed_info shows the failure text of a driver result with the failure
// ID and waits for the confirmation key (35), which requests a reboot; it
// returns only for result 0. autop_reboot_timer is the countdown thread of the
// auto-provisioning failure wait: 60 seconds on screen, then a reboot request,
// repeated every further second while the device keeps running.
#pragma once

class CBasicUI;

// Argument of autop_reboot_timer; the driver keeps it alive while the thread runs.
struct autop_timer_arg {
    int failure_id;
    CBasicUI* ui;
};

// Failure text of a driver result code ("Upgrade Failed!" for any code without
// a text of its own).
const char* failed_info_text(int result);

void disp_failed_info(CBasicUI* ui, int result, int reboot_choice, int failure_id);

// Thread function; `arg` is an autop_timer_arg. Never returns.
void* autop_reboot_timer(void* arg);

// The confirmation-key wait shared by both failure endings: opens
// "/dev/input/event0" (exit(-1) after perror when it cannot), then for every
// press of key 35 shows "Rebooting...", requests the reboot, sleeps 10 s and
// re-arms the watchdog. A failed read counts as no event. Never returns.
[[noreturn]] void failure_key_wait(CBasicUI* ui, int reboot_choice);
