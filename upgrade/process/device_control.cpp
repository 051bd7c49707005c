// Device-side services: stopping the applications, the watchdog request and
// the reboot commands. They act on the real device: never call them on a
// development machine (see process_control.h).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "process_control.h"
#include "rl_log.h"

namespace {
// The platform's watchdog control request on the misc device: direction write,
// argument size 4, type 'M', number 5, in the device's request encoding (not
// the development machine's, so it is written out rather than built with _IOW).
constexpr unsigned long kWatchdogRequest = 0x80044D05UL;
}  // namespace

int upgrader_killapps(int state) {
    // These states need the applications: nothing is stopped.
    if (state == -3 || state == 2) return 0;
    if (system_return_check(system("/app/scripts/killapps.sh")) < 0) {
        rl_log_err("killapps failed!\n");
        return -1;
    }
    return 0;
}

int CloseWatchDog(unsigned int value) {
    const int fd = open("/dev/misc0", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        rl_log_err("/dev/misc0 open failed\n");
        return -1;
    }
    // The value itself is the argument, not a pointer to it.
    const int result = ioctl(fd, kWatchdogRequest, value);
    close(fd);
    if (result < 0) {
        rl_log_err("/dev/misc0 ctrl failed!\n");
        return -1;
    }
    return 0;
}

int do_reboot(int choice) {
    return system_ex(choice != 0 ? "reboot" : "/tmp/reboot", 10, 3);
}
