// Runs inside the simulated device: exercises the display calls against the
// device's frame buffer, refresh file, misc device and IPC. The exit status
// names the first step that went wrong (0: all as expected).
#include <cstdio>
#include <cstring>

#include "display.h"
#include "ipc.h"
#include "lcd.h"
#include "probe_picture.h"

namespace {

// lcd_init's result only: 0 mapped, 10 not.
int Init() {
    return lcd_init() == 0 ? 0 : 10;
}

// Two pictures, each refreshed once; a second opening keeps the mapping.
int Frames() {
    if (lcd_init() != 0 || g_framebuffer == nullptr) return 10;
    for (int n = 1; n <= 2; ++n) {
        DrawProbePicture(n);
        if (lcd_refresh() != 0) return 20 + n;
    }
    std::uint8_t* again = nullptr;
    if (devctrl_open_lcd(&again) < 0 || again != nullptr) return 30;
    if (lcd_init() != 0) return 31;
    return 0;
}

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

// With a failing misc device: setters -1, getters 0, no notification.
int LedsFailing() {
    ipc_register(6);
    if (devctrl_set_led(0x15) != -1) return 50;
    if (devctrl_get_led() != 0) return 51;
    if (devctrl_set_bklight(7) != -1) return 52;
    if (devctrl_get_bklight() != 0) return 53;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "init") == 0) return Init();
    if (std::strcmp(mode, "frames") == 0) return Frames();
    if (std::strcmp(mode, "leds") == 0) return Leds();
    if (std::strcmp(mode, "leds-failing") == 0) return LedsFailing();
    std::fprintf(stderr, "usage: display_probe init|frames|leds|leds-failing\n");
    return 2;
}
