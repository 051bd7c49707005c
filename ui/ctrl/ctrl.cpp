// Control set-up, setters and text entry (multi-tap letters, caret moves).
#include "ctrl.h"

#include <cstring>

namespace {

// Copies at most 63 characters and always terminates; null copies as empty.
void copy_text(char (&dst)[CTRL_TEXT_SIZE], const char* src) {
    size_t n = (src != nullptr) ? strnlen(src, CTRL_MAX_TEXT) : 0;
    if (n > 0) memcpy(dst, src, n);
    dst[n] = '\0';
}

// Index of a key character in the letter-list tables, -1 for none.
int key_index(char key) {
    if (key >= '0' && key <= '9') return key - '0';
    if (key == '*') return 10;
    if (key == '#') return 11;
    return -1;
}

// Ends the repeat window: the next key starts a new letter.
void close_repeat_window(ctrl_info* ctrl) {
    ctrl->key_ticks = CTRL_REPEAT_TICKS;
    ctrl->pending = 0;
}

}  // namespace

void ctrl_init(ctrl_info* ctrl, uint8_t type, uint16_t x, uint16_t y, uint16_t width,
               uint16_t height, uint16_t value_width, uint8_t attribute, const char* label,
               const char* value) {
    if (ctrl == nullptr) return;
    memset(ctrl, 0, sizeof(*ctrl));
    ctrl->x = x;
    ctrl->y = y;
    ctrl->width = width;
    ctrl->height = height;
    ctrl->value_width = value_width;
    ctrl->type = type;
    ctrl->attribute = attribute;
    ctrl->color = 1;
    ctrl->bkcolor = 0;
    ctrl->font_size = 12;
    ctrl->redraw = 1;
    ctrl->input_method = 1;
    copy_text(ctrl->label, label);
    copy_text(ctrl->value, value);
    if (type == CTRL_TYPE_TEXT || type == CTRL_TYPE_PASSWORD) {
        ctrl->caret_visible = 1;
        ctrl->cursor = static_cast<uint8_t>(strlen(ctrl->value));
    }
}

void ctrl_set_align(ctrl_info* ctrl, uint8_t align) {
    if (ctrl == nullptr) return;
    ctrl->align = align;
    ctrl->redraw = 1;
}

void ctrl_set_reverse(ctrl_info* ctrl, uint8_t reverse) {
    if (ctrl == nullptr) return;
    ctrl->reverse = reverse;
    ctrl->redraw = 1;
}

int ctrl_set_roundrect(ctrl_info* ctrl, uint8_t first, uint8_t second) {
    if (ctrl == nullptr) return 0;
    ctrl->round_a = first;
    ctrl->round_b = second;
    ctrl->redraw = 1;
    return 1;
}

int ctrl_set_bkcolor(ctrl_info* ctrl, uint16_t colour) {
    if (ctrl == nullptr) return 0;
    ctrl->bkcolor = colour;
    ctrl->redraw = 1;
    return 1;
}

int ctrl_set_pos(ctrl_info* ctrl, uint16_t x, uint16_t y, uint16_t width, uint16_t height) {
    if (ctrl == nullptr) return 0;
    ctrl->x = x;
    ctrl->y = y;
    ctrl->width = width;
    ctrl->height = height;
    ctrl->redraw = 1;
    return 1;
}

int ctrl_set_hide(ctrl_info* ctrl, uint8_t hidden) {
    if (ctrl == nullptr) return 0;
    ctrl->hidden = hidden;
    ctrl->redraw = 1;
    return 1;
}

void ctrl_switch_input(ctrl_info* ctrl) {
    if (ctrl == nullptr) return;
    ctrl->input_method = static_cast<uint8_t>((ctrl->input_method + 1) % CTRL_INPUT_METHODS);
}

int add_raw_char(ctrl_info* ctrl, char character) {
    if (ctrl == nullptr) return -1;
    size_t len = strlen(ctrl->value);
    if (len >= static_cast<size_t>(CTRL_MAX_TEXT)) return -1;
    size_t at = ctrl->cursor <= len ? ctrl->cursor : len;
    // Shift the tail (with its terminator) one place right.
    memmove(ctrl->value + at + 1, ctrl->value + at, len - at + 1);
    ctrl->value[at] = character;
    ctrl->cursor = static_cast<uint8_t>(at + 1);
    ctrl->redraw = 1;
    return 0;
}

int del_raw_char(ctrl_info* ctrl) {
    if (ctrl == nullptr || ctrl->cursor == 0) return -1;
    size_t len = strlen(ctrl->value);
    size_t at = ctrl->cursor <= len ? ctrl->cursor : len;
    if (at == 0) return -1;
    memmove(ctrl->value + at - 1, ctrl->value + at, len - at + 1);
    ctrl->cursor = static_cast<uint8_t>(at - 1);
    close_repeat_window(ctrl);
    ctrl->redraw = 1;
    return 0;
}

int ctrl_del_char(ctrl_info* ctrl) { return del_raw_char(ctrl); }

int ctrl_add_char(ctrl_info* ctrl, char key) {
    if (ctrl == nullptr) return -1;
    if (ctrl->type != CTRL_TYPE_TEXT && ctrl->type != CTRL_TYPE_PASSWORD) return -1;
    int index = key_index(key);
    if (index < 0) return -1;
    uint8_t method = ctrl->input_method < CTRL_INPUT_METHODS ? ctrl->input_method : 1;
    const char* letters = g_input_char_list[method][index];
    size_t count = strlen(letters);

    const bool repeat = static_cast<uint8_t>(key) == ctrl->last_key &&
                        ctrl->key_ticks < CTRL_REPEAT_TICKS;
    if (repeat && count > 1) {
        // Replace the letter this key entered with the next one of its list.
        ctrl->letter_index = static_cast<uint8_t>((ctrl->letter_index + 1) % count);
        del_raw_char(ctrl);
        add_raw_char(ctrl, letters[ctrl->letter_index]);
    } else {
        ctrl->letter_index = 0;
        if (add_raw_char(ctrl, letters[0]) != 0) {
            // A full value takes no new letter. The window stays closed so that
            // a second press cannot replace a letter this key never entered.
            close_repeat_window(ctrl);
            return -1;
        }
    }
    ctrl->pending = count > 1 ? 1 : 0;
    ctrl->last_key = static_cast<uint8_t>(key);
    ctrl->key_ticks = 0;
    return 0;
}

void ctrl_move_left(ctrl_info* ctrl) {
    if (ctrl == nullptr) return;
    if (ctrl->cursor > 0) ctrl->cursor--;
    close_repeat_window(ctrl);
    ctrl->redraw = 1;
}

void ctrl_move_right(ctrl_info* ctrl) {
    if (ctrl == nullptr) return;
    if (ctrl->cursor < strlen(ctrl->value)) ctrl->cursor++;
    close_repeat_window(ctrl);
    ctrl->redraw = 1;
}

void ctrl_show_cursor(ctrl_info* ctrl, uint8_t visible) {
    if (ctrl == nullptr) return;
    ctrl->caret_visible = visible;
    if (ctrl->key_ticks < CTRL_REPEAT_TICKS) {
        ctrl->key_ticks++;
    } else {
        ctrl->pending = 0;
    }
    ctrl->redraw = 1;
}
