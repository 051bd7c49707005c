// simpleui: the screens of the local user interface and the loop that runs an
// interactive one.
//
// Every screen fills a screen description with fixed geometry and the caller's
// texts and opens it in the one dialog g_dlgdisplay, replacing the previous
// screen. The update-info, upgrading and notice screens are drawn once and stay
// on the panel; the user-setting screen polls the keypad until OK or cancel.
// The screens share one dialog, one off-screen picture and one poll counter:
// calls must never overlap (the facade CBasicUI holds a lock around each).
#pragma once

#include <array>
#include <cstdint>

#include "dlg.h"

constexpr int UI_TEXT_SIZE = CTRL_TEXT_SIZE;  // texts of the records, NUL included
constexpr int UPDATE_INFO_LINES = 4;
constexpr int UPDATE_INFO_BUTTONS = 4;

// Input of the update-info screen. An empty button label shows no button.
struct update_info {
    char title[UI_TEXT_SIZE];
    char line[UPDATE_INFO_LINES][UI_TEXT_SIZE];      // lines 1 to 4
    char button[UPDATE_INFO_BUTTONS][UI_TEXT_SIZE];  // button labels 1 to 4
};

// Results of the user-setting screen.
constexpr int USER_SETTING_OK = 1;
constexpr int USER_SETTING_CANCEL = 2;

// Input (title and labels) and output (values and result) of the user-setting
// screen.
struct user_setting_info {
    char title[UI_TEXT_SIZE];
    char user_label[UI_TEXT_SIZE];
    char password_label[UI_TEXT_SIZE];
    char user_value[UI_TEXT_SIZE];
    char password_value[UI_TEXT_SIZE];
    int32_t reserved;
    int result;  // USER_SETTING_OK or USER_SETTING_CANCEL
};

// Geometry of the progress bar on the upgrading screen.
constexpr int PROGRESS_FILL_MAX = 98;

// Background of the upgrading screen: 132 x 64 pixels in the picture order of
// the drawing layer, almost all colour 1, with "Upgrading", "Please wait..." and
// zig-zag borders in colour 0; rows 45 to 63 between the borders are plain.
extern const std::array<uint8_t, 1056> g_image_upgrading;

// Maps the display: 0, or -1 when the frame buffer cannot be mapped.
int basicui_init();
// Releases nothing; the frame buffer stays mapped.
void basicui_deinit();
// Clears the description, sets every line's font size to 12 and no focus.
void basicui_displayline_init(display_info* info);
// Opens the description in g_dlgdisplay. Modal 0: returns 0 at once, the screen
// staying on the panel. Otherwise polls the keypad every 50 ms, ticking the
// dialog every tenth poll, and returns 1 (OK) or 2 (cancel); it has no time-out.
int basicui_open_display_info(display_info* info, int modal);
// The update-info screen: reversed centred title, four lines, up to four
// reversed buttons over the bottom of line 4. Returns 0; nothing for null.
int basicui_open_update_info(const update_info* info);
// Fill of the progress bar in pixels for a percentage: percent*98/100 up to
// 100, 98 above, 0 or less draws no fill.
int basicui_progress_fill(int percent);
// The upgrading screen with its picture and a progress bar. Returns 0.
int basicui_open_upgrading(int percent);
// A cleared screen with the text centred at y 26; nothing for null.
void basicui_display_updating_line(const char* text);
// Fills `info` with the user-setting screen for `input` (focus on the user
// name, focusable lines 1 and 2); basicui_open_user_setting runs it.
void basicui_fill_user_setting(const user_setting_info* input, display_info* info);
// The user-setting screen: title, a user-name field, a password field and the
// buttons "Cancel", the input-method indicator, "Delete", "OK". Blocks until OK
// or cancel; fills the record's values and result. Nothing for null.
void basicui_open_user_setting(user_setting_info* info);
// The keypad poll (key_get_keypressed).
int basicui_get_keypressed();
