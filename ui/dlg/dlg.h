// dlg: the dialog engine.
//
// A dialog is a full-screen set of twelve controls over a background, built
// from a screen description (display_info), with keyboard focus moving among a
// range of its controls, key handling, a periodic tick for the caret and the
// multi-tap timing, and full or partial redraw. A dialog record carries its own
// operations; the system has one dialog, g_dlgdisplay, whose operations are the
// displayinfo_* functions. Opening a description rebuilds all twelve controls
// and repaints the screen; one thread at a time.
#pragma once

#include <cstdint>

#include "ctrl.h"

constexpr int DLG_CTRL_COUNT = 12;
constexpr uint8_t DLG_NO_FOCUS = 255;

// Background values; any other value is the address of a width x height
// picture in the drawing layer's bit order.
constexpr uintptr_t DLG_BACKGROUND_CLEAR = 0;  // colour 0
constexpr uintptr_t DLG_BACKGROUND_FILL = 1;   // colour 1

// Results of the key-down operation.
constexpr int DLG_KEY_NO_FOCUS = -1;  // null dialog or no focused control: key dropped
constexpr int DLG_KEY_HANDLED = 0;    // handled or ignored, the dialog goes on
constexpr int DLG_KEY_OK = 1;         // ended with OK, values copied back
constexpr int DLG_KEY_CANCEL = 2;     // ended with cancel, nothing copied

// One line of a screen description: a control. A zero width or height stands
// for no control.
struct display_line {
    int32_t x, y, width, height;  // low 16 bits used
    int32_t value_width;          // low 16 bits used
    uint8_t align;                // 0 left, 1 centre, 2 right
    uint8_t font_size;            // 12
    uint8_t frame;
    uint8_t reverse;
    uint8_t type;                 // ctrl_type
    char label[CTRL_TEXT_SIZE];
    char value[CTRL_TEXT_SIZE];   // initial value; receives the entry on OK
};

// A screen description, filled by a screen and read by the dialog.
struct display_info {
    uint8_t focus;                // line focused at opening; DLG_NO_FOCUS = none
    uint8_t first_focus;
    uint8_t last_focus;
    uintptr_t background;         // DLG_BACKGROUND_* or a picture's address
    display_line lines[DLG_CTRL_COUNT];
};

struct dlg_info {
    void (*init)(dlg_info* dlg, display_info* info);
    void (*show)(dlg_info* dlg, uint8_t force);
    int (*keydown)(dlg_info* dlg, uint8_t key);
    void (*keyup)(dlg_info* dlg, uint8_t key);
    void (*process_1s)(dlg_info* dlg);
    uint16_t x, y, width, height;
    uint8_t id;
    uint8_t redraw_all;           // next show repaints background and every control
    uint8_t ctrl_count;
    uint8_t focus;                // 12 or more: no control has the focus
    uint8_t first_focus, last_focus;
    uint8_t scroll_top;           // kept 0
    uint8_t changed;              // set by focus moves
    uintptr_t background;         // DLG_BACKGROUND_* or a picture's address
    ctrl_info ctrls[DLG_CTRL_COUNT];
    display_info* info;           // description last opened; OK writes values back
};

// The one dialog of the system: display-info operations, area (0, 0, 132, 64).
extern dlg_info g_dlgdisplay;

// Logs the opening, builds the controls from `info` and shows with force.
void open_dlg(dlg_info* dlg, display_info* info);
// Draws the dialog: everything when `force` or the redraw-all flag is set,
// otherwise only the controls marked for redraw; then refreshes the panel.
void dlg_show(dlg_info* dlg, uint8_t force);
// Focus moves through first..last focusable, wrapping; nothing when the focus
// is outside that range.
void dlg_next_item(dlg_info* dlg);
void dlg_prev_item(dlg_info* dlg);

// The display-info operations of g_dlgdisplay.
void displayinfo_init(dlg_info* dlg, display_info* info);
void displayinfo_show(dlg_info* dlg, uint8_t force);
// One key code; see DLG_KEY_*.
int displayinfo_keydown(dlg_info* dlg, uint8_t key);
void displayinfo_keyup(dlg_info* dlg, uint8_t key);
// The tick: blinks the focused control's caret, advances its repeat window and
// redraws what changed.
void displayinfo_process_1s(dlg_info* dlg);
