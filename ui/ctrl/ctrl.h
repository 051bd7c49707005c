// ctrl: the one widget of the local user interface.
//
// A control is a box with an optional frame, a label on its left and, for input
// controls, an editable value on its right (the right `value_width` pixels).
// Labels, title bars, buttons, progress-bar pieces and the user-name and
// password fields are all controls. Text entry works with a caret and multi-tap
// letters: pressing the same digit key again inside the repeat window (two
// ticks) replaces the letter just entered with the next one of the key's list.
//
// Controls live inside their dialog's record and are touched by one thread at a
// time. Every operation accepts a null control and then does nothing (results
// as stated per function).
#pragma once

#include <cstdint>

constexpr int CTRL_TEXT_SIZE = 64;            // label and value fields, NUL included
constexpr int CTRL_MAX_TEXT = CTRL_TEXT_SIZE - 1;
constexpr int CTRL_INPUT_METHODS = 4;
constexpr int CTRL_INPUT_KEYS = 12;           // '0'..'9', '*', '#'
constexpr uint8_t CTRL_REPEAT_TICKS = 2;      // key ticks at which the repeat window closes

enum ctrl_type : uint8_t {
    CTRL_TYPE_LABEL = 0,
    CTRL_TYPE_TEXT = 1,
    CTRL_TYPE_PASSWORD = 2,
};

struct ctrl_info {
    uint16_t x, y;
    uint16_t width, height;      // a box with a zero side is never drawn
    uint16_t value_width;        // right part holding the value; the label gets the rest
    uint8_t type;                // ctrl_type
    uint8_t attribute;
    uint8_t redraw;              // drawn at the next partial redraw
    uint8_t hidden;              // label and value not drawn
    uint8_t reserved_flag;
    uint8_t reserved;
    uint8_t focused;             // the frame marks the focus
    uint8_t round_a, round_b;    // corner values, not drawn
    uint16_t font_size;
    uint16_t bkcolor;            // lowest bit used
    uint16_t color;              // lowest bit used
    uint8_t value_y_offset;
    uint8_t align;               // 0 left, 1 centre, 2 right (label)
    uint8_t reverse;             // exchange text and background colours
    uint8_t frame;               // always draw the frame
    uint8_t cursor;              // caret position in the value, 0..length
    uint8_t caret_visible;
    uint8_t input_method;        // 0 "ABC", 1 "abc", 2 "123", 3 "1Ab"
    uint8_t key_ticks;           // ticks since the last character key, up to 2
    uint8_t last_key;            // character of the last key given to ctrl_add_char
    uint8_t letter_index;        // position of the last letter in its key's list
    uint8_t pending;             // the letter before the caret may still be replaced
    char label[CTRL_TEXT_SIZE];
    char value[CTRL_TEXT_SIZE];
};

// Names of the input methods shown to the user, and the letters of each key
// ('0'..'9' at 0..9, '*' at 10, '#' at 11) per method.
extern const char* const g_input_text[CTRL_INPUT_METHODS];
extern const char* const g_input_char_list[CTRL_INPUT_METHODS][CTRL_INPUT_KEYS];

// Clears the record and sets it up: geometry, type, attribute, text colour 1,
// background 0, font 12, redraw 1, input method 1. Label and value are copied
// (at most 63 characters; null counts as empty). Input types start with the
// caret visible at the end of the value.
void ctrl_init(ctrl_info* ctrl, uint8_t type, uint16_t x, uint16_t y, uint16_t width,
               uint16_t height, uint16_t value_width, uint8_t attribute, const char* label,
               const char* value);

// Draws the control into the off-screen picture when `force` is set or the
// control is marked for redraw; clears the mark and grows the redraw rectangle.
void ctrl_show(ctrl_info* ctrl, uint8_t force);

void ctrl_set_align(ctrl_info* ctrl, uint8_t align);
void ctrl_set_reverse(ctrl_info* ctrl, uint8_t reverse);
// These four store their fields, mark the control for redraw and return 1
// (0 for a null control).
int ctrl_set_roundrect(ctrl_info* ctrl, uint8_t first, uint8_t second);
int ctrl_set_bkcolor(ctrl_info* ctrl, uint16_t colour);
int ctrl_set_pos(ctrl_info* ctrl, uint16_t x, uint16_t y, uint16_t width, uint16_t height);
int ctrl_set_hide(ctrl_info* ctrl, uint8_t hidden);

// Name of an input method; methods 4 and above give the name of method 1.
const char* ctrl_get_input_text(uint8_t method);
// Next input method in the order abc, 123, 1Ab, ABC. Does not mark for redraw.
void ctrl_switch_input(ctrl_info* ctrl);

// Multi-tap entry of a key character ('0'..'9', '*', '#'). 0 when a letter was
// entered or replaced; -1 for a null or label control, a character without
// letters, or a full value (63 characters) that takes no new letter.
int ctrl_add_char(ctrl_info* ctrl, char key);
// Deletes the letter before the caret and closes the repeat window; -1 with the
// caret at 0 (or a null control).
int ctrl_del_char(ctrl_info* ctrl);
// Caret moves; they close the repeat window even when the caret cannot move.
void ctrl_move_left(ctrl_info* ctrl);
void ctrl_move_right(ctrl_info* ctrl);
// The tick: sets the caret visibility, advances the repeat window (or ends the
// highlight once it is closed) and marks the control for redraw.
void ctrl_show_cursor(ctrl_info* ctrl, uint8_t visible);

// Raw insertion at the caret: -1 (nothing changed) when the value already holds
// 63 characters, else 0 with the caret moved right.
int add_raw_char(ctrl_info* ctrl, char character);
// Raw deletion before the caret: -1 with the caret at 0, else 0.
int del_raw_char(ctrl_info* ctrl);
