// LEDs, backlight and extension LED through the misc device, one open per call.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "display.h"
#include "ipc.h"
#include "rl_log.h"

namespace {

constexpr int kLedExCount = 5;

// Opens "/dev/misc0" for one request; -1 (logged) when it cannot.
int open_misc() {
    const int fd = open("/dev/misc0", O_RDWR);
    if (fd < 0) {
        rl_log_err("open misc ioctl device failed.");
    }
    return fd;
}

// A write request with the value itself as the argument. 0 or -1.
int misc_set(std::uint32_t request, std::uint32_t value, const char* failure) {
    const int fd = open_misc();
    if (fd < 0) {
        return -1;
    }
    if (ioctl(fd, request, static_cast<unsigned long>(value)) < 0) {
        rl_log_err("%s", failure);
        close(fd);
        return -1;
    }
    close(fd);
    return 0;
}

// A read request into a 32-bit int; 0 on any failure.
int misc_get(std::uint32_t request, const char* failure) {
    int value = 0;
    const int fd = open_misc();
    if (fd < 0) {
        return 0;
    }
    if (ioctl(fd, request, &value) < 0) {
        rl_log_err("%s", failure);
        close(fd);
        return 0;
    }
    close(fd);
    return value;
}

}  // namespace

int devctrl_get_led() {
    return misc_get(MISC_IOCG_LED, "IOCTL MISC_IOCG_LED failed.");
}

int devctrl_set_led(std::uint32_t mask) {
    if (misc_set(MISC_IOCS_LED, mask, "IOCTL MISC_IOCS_LED failed.") < 0) {
        return -1;
    }
    // The receivers read the mask as a little-endian 32-bit word.
    const std::uint8_t data[4] = {
        static_cast<std::uint8_t>(mask),
        static_cast<std::uint8_t>(mask >> 8),
        static_cast<std::uint8_t>(mask >> 16),
        static_cast<std::uint8_t>(mask >> 24),
    };
    ipc_send(DEVCTRL_LED_NOTIFY_ID, DEVCTRL_LED_NOTIFY_MSG, 0, 0, data, sizeof data);
    return 0;
}

int devctrl_set_led_ex(const std::uint8_t* states) {
    if (states == nullptr) {
        rl_log_err("set led: no states\n");
        return -1;
    }
    std::uint32_t mask = 0;
    for (int i = 0; i < kLedExCount; ++i) {
        const int state = (states[i / 4] >> (2 * (i % 4))) & 3;
        if (state == 1) {
            mask |= 1u << i;
        }
    }
    return misc_set(MISC_IOCS_LED, mask, "IOCTL MISC_IOCS_LED failed.");
}

int devctrl_get_bklight() {
    return misc_get(MISC_IOCG_BKLIGHT, "IOCTL MISC_IOCG_BKLIGHT failed.");
}

int devctrl_set_bklight(std::uint32_t value) {
    return misc_set(MISC_IOCS_BKLIGHT, value, "IOCTL MISC_IOCS_BKLIGHT failed.");
}

int devctrl_set_ext_led(std::uint32_t value) {
    return misc_set(MISC_IOCS_EXT_LED, value, "IOCTL MISC_IOCS_EXT_LED failed.");
}
