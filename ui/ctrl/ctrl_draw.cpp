// Drawing a control into the off-screen picture.
#include <cstring>

#include "ctrl.h"
#include "lcd.h"

namespace {

// Builds the shown form of a password: '*' per character, except the letter
// before the caret while the repeat window is open (so the user sees what the
// key entered).
void password_mask(const ctrl_info* ctrl, char (&out)[CTRL_TEXT_SIZE]) {
    size_t len = strnlen(ctrl->value, CTRL_MAX_TEXT);
    memset(out, '*', len);
    out[len] = '\0';
    if (ctrl->key_ticks < CTRL_REPEAT_TICKS && ctrl->cursor >= 1 && ctrl->cursor <= len) {
        out[ctrl->cursor - 1] = ctrl->value[ctrl->cursor - 1];
    }
}

}  // namespace

void ctrl_show(ctrl_info* ctrl, uint8_t force) {
    if (ctrl == nullptr || ctrl->width == 0 || ctrl->height == 0) return;
    if (force == 0 && ctrl->redraw == 0) return;

    const int x = ctrl->x;
    const int y = ctrl->y;
    lcd_set_redraw(static_cast<uint16_t>(x), static_cast<uint16_t>(y),
                   static_cast<uint16_t>(x + ctrl->width - 1),
                   static_cast<uint16_t>(y + ctrl->height - 1));
    ctrl->redraw = 0;

    lcd_text_state state = {};
    state.reserved_flag = ctrl->reserved_flag;
    state.reverse = ctrl->reverse;
    state.align = ctrl->align;
    state.cursor = LCD_NO_CURSOR;

    uint16_t text = ctrl->color & 1;
    uint16_t back = ctrl->bkcolor & 1;
    if (ctrl->reverse != 0) {
        text ^= 1;
        back ^= 1;
    }

    lcd_fill_color(ctrl->x, ctrl->y, ctrl->width, ctrl->height, back);

    if (ctrl->frame != 0 || ctrl->focused != 0) {
        // The frame is kept on the screen even when the box runs past its edge.
        int right = (x + ctrl->width <= LCD_WIDTH) ? x + ctrl->width - 1 : LCD_WIDTH - 1;
        int bottom = (y + ctrl->height <= LCD_HEIGHT) ? y + ctrl->height - 1 : LCD_HEIGHT - 1;
        lcd_draw_rect(ctrl->x, ctrl->y, static_cast<uint16_t>(right),
                      static_cast<uint16_t>(bottom), text);
    }

    if (ctrl->hidden != 0) return;

    const uint16_t label_width =
        ctrl->width > ctrl->value_width ? static_cast<uint16_t>(ctrl->width - ctrl->value_width) : 0;
    const uint8_t font = static_cast<uint8_t>(ctrl->font_size);
    lcd_show_text(&state, ctrl->x, ctrl->y, label_width, ctrl->height, ctrl->label, font, text);

    state.cursor = ctrl->cursor;
    state.caret_visible = ctrl->caret_visible;
    state.highlight = ctrl->pending;

    const uint16_t value_x = static_cast<uint16_t>(x + ctrl->width - ctrl->value_width);
    const uint16_t value_y = static_cast<uint16_t>(y + ctrl->value_y_offset);
    if (ctrl->type == CTRL_TYPE_PASSWORD) {
        char shown[CTRL_TEXT_SIZE];
        password_mask(ctrl, shown);
        lcd_show_text(&state, value_x, value_y, ctrl->value_width, ctrl->height, shown, font, text);
    } else if (ctrl->type == CTRL_TYPE_TEXT) {
        lcd_show_text(&state, value_x, value_y, ctrl->value_width, ctrl->height, ctrl->value, font,
                      text);
    }
}
