#include "probe_picture.h"

#include "lcd.h"

void DrawProbePicture(int n) {
    lcd_text_state state{};
    state.cursor = LCD_NO_CURSOR;
    if (n == 1) {
        lcd_fill_color(0, 0, LCD_WIDTH, LCD_HEIGHT, 0);
        lcd_draw_rect(0, 0, LCD_WIDTH - 1, LCD_HEIGHT - 1, 1);
        state.align = LCD_ALIGN_CENTER;
        lcd_draw_text(&state, 0, 4, LCD_WIDTH, 13, "Frame check 1", 12, 1);
        lcd_fill_color(3, 40, 67, 9, 1);
        lcd_draw_point(131, 63, 0);
        lcd_draw_point(130, 62, 1);
    } else {
        lcd_fill_color(0, 20, LCD_WIDTH, 13, 1);
        state.align = LCD_ALIGN_RIGHT;
        lcd_draw_text(&state, 0, 20, LCD_WIDTH, 13, "reversed line", 12, 0);
    }
}
