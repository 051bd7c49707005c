// The upgrade driver: the order of an upgrade and its endings.
//
// upgrader_main is the whole process: start-up, the common front, the package
// source (file mode with one argument, shared-memory mode without), the package
// check, the upgrader-tool hand-off, preparation, burning and completion; any
// failure after the UI is up goes to the failure ending. Its result is the
// process's exit status (modulo 256); normally the device reboots first.
#pragma once

#include <pthread.h>

// Driver result codes (exit statuses 69 down to 56).
enum upgrader_result_e {
    UPGRADER_OK = 0,
    UPGRADER_CONFIG_UMOUNT_FAILED = -187,
    UPGRADER_MTD_CONFIG_FAILED = -188,
    UPGRADER_COPY_BINS_FAILED = -189,
    UPGRADER_WATCHDOG_FAILED = -190,
    UPGRADER_BURN_FAILED = -191,
    UPGRADER_KILLAPPS_FAILED = -192,
    UPGRADER_ROM_CHECK_FAILED = -193,
    UPGRADER_ROM_MAP_FAILED = -195,
    UPGRADER_ROM_OPEN_FAILED = -196,
    UPGRADER_SHM_FAILED = -198,
    UPGRADER_STATE_FAILED = -199,
    UPGRADER_USAGE = -200,
};

// Thread id of the countdown thread of the auto-provisioning failure wait.
extern pthread_t tid_kpad;

int upgrader_main(int argc, char** argv);
