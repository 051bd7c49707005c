// Runs one process-control function inside the simulated device and prints
// its result ("result <n>") on stdout. Logging is open as the installer opens
// it, so the device's syslog records carry the installer's prefix.
//
//   process_probe watchdog VALUE
//   process_probe killapps STATE
//   process_probe reboot CHOICE [copy]     copy: cp /sbin/reboot /tmp/reboot first
//
// SAFETY: device paths and reboots: run only inside the simulated device.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "process_control.h"
#include "rl_log.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    rl_log_init("upgrader", 7);
    const char* what = argv[1];
    const int n = atoi(argv[2]);
    int result = 0;
    if (strcmp(what, "watchdog") == 0) {
        result = CloseWatchDog(static_cast<unsigned int>(n));
    } else if (strcmp(what, "killapps") == 0) {
        result = upgrader_killapps(n);
    } else if (strcmp(what, "reboot") == 0) {
        if (argc > 3 && strcmp(argv[3], "copy") == 0) {
            result = system("cp /sbin/reboot /tmp/reboot");
            if (system_return_check(result) < 0) fprintf(stderr, "copy failed\n");
        }
        result = do_reboot(n);
    } else {
        return 2;
    }
    printf("result %d\n", result);
    fflush(stdout);
    rl_log_deinit();
    return 0;
}
