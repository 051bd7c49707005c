// Display start-up, screen descriptions and the run loop of interactive screens.
#include <unistd.h>

#include <cstring>

#include "key.h"
#include "lcd.h"
#include "rl_log.h"
#include "simpleui.h"

namespace {

constexpr useconds_t kPollIntervalUs = 50 * 1000;
constexpr int kPollsPerTick = 10;

// Polls since the last tick; kept across dialogs, so the first tick of a dialog
// comes after 1 to 10 polls.
int g_poll_count = 0;

}  // namespace

int basicui_init() { return lcd_init(); }

void basicui_deinit() {}

void basicui_displayline_init(display_info* info) {
    if (info == nullptr) return;
    memset(info, 0, sizeof(*info));
    for (display_line& line : info->lines) line.font_size = 12;
    info->focus = DLG_NO_FOCUS;
}

int basicui_get_keypressed() { return key_get_keypressed(); }

int basicui_open_display_info(display_info* info, int modal) {
    dlg_info* dlg = &g_dlgdisplay;
    open_dlg(dlg, info);
    if (modal == 0) return 0;
    for (;;) {
        usleep(kPollIntervalUs);
        const int key = key_get_keypressed();
        if (key != 0) {
            rl_log_info("KEY = %d", key);
            const int result = dlg->keydown(dlg, static_cast<uint8_t>(key & 0xFF));
            if (result == DLG_KEY_OK || result == DLG_KEY_CANCEL) return result;
        }
        if (++g_poll_count >= kPollsPerTick) {
            dlg->process_1s(dlg);
            g_poll_count = 0;
        }
    }
}
