// The dialog engine: building controls from a description, focus moves, key
// results, OK and cancel, partial redraw, the tick and the backgrounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dlg.h"
#include "lcd.h"
#include "screen_art.h"

namespace {

using namespace uitest;

display_line& SetLine(display_info& info, int i, int x, int y, int w, int h, const char* label,
                      uint8_t type = 0, int value_width = 0) {
    info.lines[i] = display_line{x, y, w, h, value_width, 0, 12, 0, 0, type, {}, {}};
    strncpy(info.lines[i].label, label, sizeof(info.lines[i].label) - 1);
    return info.lines[i];
}

// A form like the user-setting screen: title, two inputs (focusable 1..2), an
// input-method indicator in line 9.
display_info Form(uint8_t focus = 1) {
    display_info info = {focus, 1, 2, 0, {}};  // lines 1..2 take the focus
    SetLine(info, 0, 0, 0, 132, 12, "Title").reverse = 1;
    SetLine(info, 1, 0, 13, 132, 12, "User:", CTRL_TYPE_TEXT, 90);
    SetLine(info, 2, 0, 26, 132, 12, "Passwd:", CTRL_TYPE_PASSWORD, 90);
    SetLine(info, 9, 33, 52, 32, 12, "abc").reverse = 1;
    return info;
}

dlg_info* Open(display_info* info) {
    open_dlg(&g_dlgdisplay, info);
    return &g_dlgdisplay;
}

// Opens Form(focus), kept in g_form (it receives the values on OK).
display_info g_form;
dlg_info* OpenForm(uint8_t focus = 1) {
    g_form = Form(focus);
    return Open(&g_form);
}

int Key(dlg_info* dlg, int key) { return dlg->keydown(dlg, static_cast<uint8_t>(key)); }

// Texts of a full field (no terminator) are cut; every real control is drawn
// by the opening; the caret of a typed value starts at 0, not yet shown.
TEST(DlgInit, BuildsControlsFromTheDescription) {
    display_info info = Form();
    info.lines[1].frame = 1;
    strcpy(info.lines[1].value, "bob");
    memset(info.lines[2].label, 'L', sizeof(info.lines[2].label));
    memset(info.lines[2].value, 'v', sizeof(info.lines[2].value));
    dlg_info* dlg = Open(&info);
    EXPECT_EQ(dlg->focus, 1);
    const ctrl_info& user = dlg->ctrls[1];
    EXPECT_EQ(user.type, CTRL_TYPE_TEXT);
    EXPECT_EQ(user.frame, 1);
    EXPECT_STREQ(user.value, "bob");
    EXPECT_EQ(user.cursor, 0);
    EXPECT_EQ(user.caret_visible, 0);
    EXPECT_EQ(strlen(dlg->ctrls[2].label), 63u);
    EXPECT_EQ(strlen(dlg->ctrls[2].value), 63u);
    for (const ctrl_info& c : dlg->ctrls) EXPECT_EQ(c.redraw, c.width == 0 ? 1 : 0);
}

// Focus after each key: down (14) and up (13) wrap within the focusable lines;
// a focus outside them stays.
TEST(DlgFocus, MovesAndWraps) {
    const struct { uint8_t start; std::vector<int> keys, focus_after; } cases[] = {
        {2, {14}, {1}}, {1, {13}, {2}}, {1, {14, 13, 14, 14}, {2, 1, 2, 1}}, {0, {14, 13}, {0, 0}}};
    for (const auto& c : cases) {
        dlg_info* dlg = OpenForm(c.start);
        for (size_t i = 0; i < c.keys.size(); ++i) {
            EXPECT_EQ(Key(dlg, c.keys[i]), 0);
            for (int k = 0; k < DLG_CTRL_COUNT; ++k)
                EXPECT_EQ(dlg->ctrls[k].focused, k == c.focus_after[i] ? 1 : 0) << "start " << int(c.start) << " key " << i;
            EXPECT_EQ(dlg->focus, c.focus_after[i]) << "start " << int(c.start) << " after key " << i;
        }
    }
}

TEST(DlgFocus, UpShowsTheCaretAtOnceDownAtTheNextTick) {
    dlg_info* dlg = OpenForm();
    Key(dlg, 2);  // 'a' pending on line 1
    Key(dlg, 14);
    const ctrl_info& user = dlg->ctrls[1];
    EXPECT_EQ(user.pending, 0);
    EXPECT_EQ(user.caret_visible, 0);
    EXPECT_EQ(user.key_ticks, CTRL_REPEAT_TICKS);
    EXPECT_EQ(dlg->ctrls[2].caret_visible, 0);
    EXPECT_EQ(dlg->changed, 1);
    Key(dlg, 13);
    EXPECT_EQ(dlg->ctrls[1].caret_visible, 1);
}

// OK and OK2 (17, 35) give 1, cancel (32) 2, every other key 0.
TEST(DlgKeys, Results) {
    for (int key : {0, 1, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 32, 33, 34, 35, 40, 255})
        EXPECT_EQ(Key(OpenForm(), key), key == 17 || key == 35 ? 1 : key == 32 ? 2 : 0) << key;
}

TEST(DlgKeys, CharacterKeysEnterTheirLetters) {
    struct Case { std::vector<int> keys; const char* value; } cases[] = {
        {{2, 3}, "ad"}, {{10}, " "}, {{11}, "*"}, {{12}, "#"}, {{2, 2, 2}, "c"},
        {{2, 15, 3}, "da"}, {{2, 3, 18}, "a"}, {{2, 3, 34, 34}, ""}, {{2, 15, 16, 3}, "ad"},
    };
    for (const Case& c : cases) {
        dlg_info* dlg = OpenForm();
        for (int k : c.keys) Key(dlg, k);
        EXPECT_STREQ(dlg->ctrls[1].value, c.value);
    }
}

TEST(DlgKeys, WithoutFocusEveryKeyAndTickIsDroppedAndNothingRedrawn) {
    dlg_info* dlg = OpenForm(DLG_NO_FOCUS);
    dlg->ctrls[1].redraw = 1;
    lcd_draw_point(60, 20, 1);  // a mark a redraw of line 1 would erase
    const std::string before = ScreenArt();
    for (int key : {2, 13, 14, 15, 16, 17, 18, 32, 33, 35, 40})
        EXPECT_EQ(Key(dlg, key), -1) << "key " << key;
    EXPECT_EQ(ScreenArt(), before);
    EXPECT_STREQ(dlg->ctrls[1].value, "");
    dlg->process_1s(dlg);  // nor does the tick show a caret or redraw
    EXPECT_EQ(dlg->ctrls[1].caret_visible, 0);
    EXPECT_EQ(dlg->ctrls[1].redraw, 1);
    EXPECT_EQ(displayinfo_keydown(nullptr, 17), -1);
}

// OK copies every value back, cancel none; neither redraws.
TEST(DlgKeys, OkCopiesEveryValueCancelNone) {
    struct Case { int last_key, result; const char *user, *password; } cases[] = {
        {17, 1, "hm", "p"}, {32, 2, "", ""}};
    for (const Case& c : cases) {
        g_form = Form();
        strcpy(g_form.lines[5].value, "kept");
        dlg_info* dlg = Open(&g_form);
        for (int k : {4, 4, 6, 14, 7}) Key(dlg, k);  // "hm" on line 1, "p" on line 2
        lcd_draw_point(60, 20, 1);
        const std::string before = ScreenArt();
        EXPECT_EQ(Key(dlg, c.last_key), c.result);
        EXPECT_EQ(ScreenArt(), before);
        EXPECT_STREQ(g_form.lines[1].value, c.user);
        EXPECT_STREQ(g_form.lines[2].value, c.password);
        EXPECT_STREQ(g_form.lines[5].value, "kept");
        EXPECT_STREQ(g_form.lines[0].value, "");
    }
}

TEST(DlgKeys, UnknownKeyRedrawsOnlyMarkedControls) {
    dlg_info* dlg = OpenForm();
    lcd_draw_point(60, 40, 1);   // outside every control
    lcd_draw_point(5, 2, 0);     // inside the reversed title, not marked
    dlg->ctrls[9].redraw = 1;
    lcd_draw_point(63, 55, 0);   // inside the reversed indicator, marked, past its text
    EXPECT_EQ(Key(dlg, 40), 0);
    EXPECT_EQ(lcd_get_point_color(60, 40), 1);
    EXPECT_EQ(lcd_get_point_color(5, 2), 0);
    EXPECT_EQ(lcd_get_point_color(63, 55), 1);
    EXPECT_EQ(dlg->ctrls[9].redraw, 0);
    EXPECT_STREQ(dlg->ctrls[1].value, "");
}

// The whole cycle of methods: CtrlInputMethod; the indicator after the key, as
// drawn: the user-settings-123 picture (ui_screens_test).
TEST(DlgKeys, InputMethodKeyFollowsTheFocus) {
    dlg_info* dlg = OpenForm();
    EXPECT_EQ(Key(dlg, 33), 0);
    Key(dlg, 14);
    EXPECT_EQ(dlg->ctrls[2].input_method, 2);
    for (int k : {2, 2}) Key(dlg, k);
    EXPECT_STREQ(dlg->ctrls[2].value, "22");
    Key(dlg, 13);
    EXPECT_EQ(dlg->ctrls[1].input_method, 2);
}

TEST(DlgTick, BlinksTheFocusedCaret) {
    dlg_info* dlg = OpenForm();
    const std::string hidden_caret = LcdArt(42, 13, 90, 12);
    for (int visible : {1, 0, 1, 0}) {
        dlg->process_1s(dlg);
        EXPECT_EQ(dlg->ctrls[1].caret_visible, visible);
        EXPECT_EQ(dlg->ctrls[1].redraw, 0);
        EXPECT_EQ(LcdArt(42, 13, 90, 12) == hidden_caret, visible == 0);
    }
    EXPECT_EQ(dlg->ctrls[2].caret_visible, 0);
}

TEST(DlgBackground, ClearFillAndPicture) {
    uint8_t picture[LCD_BUFFER_SIZE], filled[LCD_BUFFER_SIZE], cleared[LCD_BUFFER_SIZE] = {};
    for (size_t i = 0; i < sizeof(picture); ++i) picture[i] = static_cast<uint8_t>(i * 37 + 11);
    memset(filled, 0xFF, sizeof(filled));
    const std::pair<uintptr_t, const uint8_t*> cases[] = {
        {DLG_BACKGROUND_FILL, filled}, {DLG_BACKGROUND_CLEAR, cleared},
        {reinterpret_cast<uintptr_t>(picture), picture}};
    for (auto [background, expected] : cases) {
        display_info info = {};
        info.focus = DLG_NO_FOCUS;
        info.background = background;
        FillScreen(expected == filled ? 0 : 1);
        Open(&info);
        EXPECT_EQ(memcmp(g_lcdbuffer, expected, LCD_BUFFER_SIZE), 0) << background;
    }
}

// Every show, partial or full, copies the whole picture to the frame buffer and
// refreshes the panel; a dropped key, OK and cancel do neither.
TEST(DlgShow, RefreshesAfterEveryShow) {
    uint8_t frame[LCD_BUFFER_SIZE];
    g_framebuffer = frame;
    // key 0: open the form with that focus.
    struct Step { uint8_t focus; int key; bool refreshed; } steps[] = {
        {1, 0, true}, {1, 40, true}, {1, 2, true}, {1, 17, false}, {1, 32, false},
        {DLG_NO_FOCUS, 0, true}, {DLG_NO_FOCUS, 2, false}};
    for (const Step& s : steps) {
        dlg_info* dlg = s.key == 0 ? OpenForm(s.focus) : &g_dlgdisplay;
        memset(frame, 0xA5, sizeof(frame));
        ClearRefreshFile();
        if (s.key != 0) Key(dlg, s.key);
        else dlg_show(dlg, 0);  // a show with nothing marked still refreshes
        EXPECT_EQ(RefreshFileContent(), s.refreshed ? "1" : "") << "key " << s.key;
        EXPECT_EQ(memcmp(frame, g_lcdbuffer, sizeof(frame)) == 0, s.refreshed) << "key " << s.key;
    }
    g_framebuffer = nullptr;
}

TEST(DlgOpen, NullsAreIgnored) {
    open_dlg(nullptr, nullptr);
    dlg_info* dlg = OpenForm();
    displayinfo_init(dlg, nullptr);
    EXPECT_EQ(dlg->info, &g_form);
    dlg_next_item(nullptr);
    dlg_prev_item(nullptr);
}

}  // namespace
