#include "failure_screens.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "basicui.h"
#include "broadcasts.h"
#include "ipc.h"
#include "key.h"
#include "process_control.h"
#include "rl_log.h"

namespace {

constexpr int kCountdownSeconds = 60;
constexpr unsigned int kAfterRebootSeconds = 10;
// A keypad that reports errors or end of file is polled again after this pause
// instead of in a busy loop.
constexpr useconds_t kReadRetryPauseUs = 200 * 1000;

// Shows the notice, requests the reboot and re-arms the watchdog should the
// device survive it.
void request_reboot(CBasicUI* ui, int reboot_choice) {
    ui->DispNoticeInfo("Rebooting...");
    do_reboot(reboot_choice);
    sleep(kAfterRebootSeconds);
    CloseWatchDog(1);
}

}  // namespace

const char* failed_info_text(int result) {
    switch (result) {
        case -199: return "Load Rom Failed!";
        case -198: return "Get shm Failed!";
        case -193: return "Rom check Failed!";
        case -192: return "Killapps Failed!";
        case -191: return "Burn Flash Failed!";
        default: return "Upgrade Failed!";
    }
}

void failure_key_wait(CBasicUI* ui, int reboot_choice) {
    int fd = open("/dev/input/event0", O_RDWR);
    if (fd < 0) {
        perror("failed to open \n");
        exit(-1);
    }
    for (;;) {
        key_event event = {};
        if (dev_read_key(fd, &event) != 0) {
            usleep(kReadRetryPauseUs);
            continue;
        }
        if (event.value == KEY_VALUE_PRESS && event.code == KEY_CODE_OK2) {
            request_reboot(ui, reboot_choice);
        }
    }
}

void disp_failed_info(CBasicUI* ui, int result, int reboot_choice, int failure_id) {
    if (result == 0) return;
    ipc_broadcast(kMsgFailureShown, 0, 0, nullptr, 0);
    const char* text = failed_info_text(result);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
    rl_log_err(text);
#pragma GCC diagnostic pop
    ui->ShowUpgradingFailedInfoWithID(text, failure_id);
    failure_key_wait(ui, reboot_choice);
}

void* autop_reboot_timer(void* arg) {
    const autop_timer_arg* timer = static_cast<const autop_timer_arg*>(arg);
    int seconds = kCountdownSeconds;
    for (;;) {
        timer->ui->ShowUpgradingAutop2FailedInfoWithID(timer->failure_id, seconds);
        sleep(1);
        --seconds;
        // The countdown reboots with "reboot", never the copy in /tmp.
        if (seconds <= 0) request_reboot(timer->ui, 1);
    }
    return nullptr;
}
