// The four screens: update info, upgrading (picture and progress bar), the
// notice line and the user settings.
#include <cstring>

#include "lcd.h"
#include "simpleui.h"

namespace {

constexpr int kScreenWidth = 132;
constexpr int kLineHeight = 12;
constexpr int kButtonWidth = 32;
constexpr int kButtonY = 52;
constexpr int kButtonX[UPDATE_INFO_BUTTONS] = {0, 33, 66, 99};
constexpr int kFirstButtonLine = 8;
constexpr int kInputValueWidth = 90;

// Copies at most 63 characters into a line field, always terminated; null is
// empty.
void copy_field(char (&dst)[UI_TEXT_SIZE], const char* src) {
    size_t n = src != nullptr ? strnlen(src, UI_TEXT_SIZE - 1) : 0;
    if (n > 0) memcpy(dst, src, n);
    dst[n] = '\0';
}

display_line& set_line(display_info& info, int index, int x, int y, int width, int height,
                       const char* label) {
    display_line& line = info.lines[index];
    line.x = x;
    line.y = y;
    line.width = width;
    line.height = height;
    copy_field(line.label, label);
    return line;
}

// A reversed, centred box: title bars and buttons.
void set_bar(display_info& info, int index, int x, int y, int width, const char* label) {
    display_line& line = set_line(info, index, x, y, width, kLineHeight, label);
    line.align = LCD_ALIGN_CENTER;
    line.reverse = 1;
}

}  // namespace

int basicui_open_update_info(const update_info* input) {
    if (input == nullptr) return 0;
    display_info info;
    basicui_displayline_init(&info);
    set_bar(info, 0, 0, 0, kScreenWidth, input->title);
    for (int i = 0; i < UPDATE_INFO_LINES; ++i) {
        set_line(info, 1 + i, 0, kLineHeight * (1 + i), kScreenWidth, kLineHeight, input->line[i]);
    }
    for (int i = 0; i < UPDATE_INFO_BUTTONS; ++i) {
        if (input->button[i][0] == '\0') continue;
        set_bar(info, kFirstButtonLine + i, kButtonX[i], kButtonY, kButtonWidth, input->button[i]);
    }
    return basicui_open_display_info(&info, 0);
}

int basicui_progress_fill(int percent) {
    if (percent > 100) return PROGRESS_FILL_MAX;
    if (percent <= 0) return 0;
    return percent * PROGRESS_FILL_MAX / 100;
}

int basicui_open_upgrading(int percent) {
    display_info info;
    basicui_displayline_init(&info);
    info.background = reinterpret_cast<uintptr_t>(g_image_upgrading.data());
    set_line(info, 1, 15, 48, 102, 12, nullptr).reverse = 1;  // frame
    set_line(info, 2, 16, 49, 100, 10, nullptr);              // trough
    const int fill = basicui_progress_fill(percent);
    if (fill > 0) set_line(info, 3, 17, 50, fill, 8, nullptr).reverse = 1;
    return basicui_open_display_info(&info, 0);
}

void basicui_display_updating_line(const char* text) {
    if (text == nullptr) return;
    display_info info;
    basicui_displayline_init(&info);
    set_line(info, 0, 0, 26, kScreenWidth, kLineHeight, text).align = LCD_ALIGN_CENTER;
    basicui_open_display_info(&info, 0);
}

void basicui_fill_user_setting(const user_setting_info* input, display_info* info) {
    if (input == nullptr || info == nullptr) return;
    basicui_displayline_init(info);
    info->focus = 1;
    info->first_focus = 1;
    info->last_focus = 2;
    set_bar(*info, 0, 0, 0, kScreenWidth, input->title);
    display_line& user = set_line(*info, 1, 0, 13, kScreenWidth, kLineHeight, input->user_label);
    user.type = CTRL_TYPE_TEXT;
    user.value_width = kInputValueWidth;
    display_line& password =
        set_line(*info, 2, 0, 26, kScreenWidth, kLineHeight, input->password_label);
    password.type = CTRL_TYPE_PASSWORD;
    password.value_width = kInputValueWidth;
    const char* buttons[UPDATE_INFO_BUTTONS] = {"Cancel", ctrl_get_input_text(1), "Delete", "OK"};
    for (int i = 0; i < UPDATE_INFO_BUTTONS; ++i) {
        set_bar(*info, kFirstButtonLine + i, kButtonX[i], kButtonY, kButtonWidth, buttons[i]);
    }
}

void basicui_open_user_setting(user_setting_info* input) {
    if (input == nullptr) return;
    display_info info;
    basicui_fill_user_setting(input, &info);
    const int result = basicui_open_display_info(&info, 1);
    memcpy(input->user_value, info.lines[1].value, UI_TEXT_SIZE);
    memcpy(input->password_value, info.lines[2].value, UI_TEXT_SIZE);
    input->result = result;
}
