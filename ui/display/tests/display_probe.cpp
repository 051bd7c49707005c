// Runs inside the simulated device: the misc-device requests and the LED
// notification. The exit status names the first step that went wrong (0: all
// as expected).
#include <cstdio>
#include <cstring>

#include "display.h"
#include "ipc.h"

namespace {

// LED, backlight and extension-LED requests; the LED notification goes out
// only from devctrl_set_led and only with an IPC id of our own.
int Leds() {
    ipc_register(6);
    if (devctrl_set_led(0x15) != 0) return 40;
    if (devctrl_get_led() != 0x15) return 41;
    const std::uint8_t states[2] = {0x19, 0x03};  // LEDs 0..4: 1, 2, 1, 0, 3
    if (devctrl_set_led_ex(states) != 0) return 42;
    if (devctrl_get_led() != 0x05) return 43;
    if (devctrl_set_bklight(7) != 0) return 44;
    if (devctrl_get_bklight() != 7) return 45;
    if (devctrl_set_ext_led(2) != 0) return 46;
    return 0;
}

// With a failing misc device: -1 and no notification (the other calls'
// failures: display_test).
int LedsFailing() {
    ipc_register(6);
    return devctrl_set_led(0x15) == -1 ? 0 : 50;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "leds") == 0) return Leds();
    if (std::strcmp(mode, "leds-failing") == 0) return LedsFailing();
    std::fprintf(stderr, "usage: display_probe leds|leds-failing\n");
    return 2;
}
