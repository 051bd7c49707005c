// Drawing of controls: background, frame, reverse, hidden, the label's box and
// the password mask.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ctrl.h"
#include "lcd.h"
#include "screen_art.h"

namespace {

using namespace uitest;

enum Box { kEmpty, kFilled, kOutline, kReversedOutline };

// Columns 0..9, rows 0..5 around a 6x4 box at (2, 1), drawn with the picture's
// own fill and outline.
std::string BoxArt(Box box) {
    FillScreen(0);
    if (box != kEmpty) lcd_fill_color(2, 1, 6, 4, box == kOutline ? 0 : 1);
    if (box != kFilled) lcd_draw_rect(2, 1, 7, 4, box == kOutline ? 1 : 0);
    return LcdArt(0, 0, 10, 6);
}

TEST(CtrlBox, DrawsBackgroundAndFrame) {
    const struct {
        const char* name; uint8_t reverse, frame, focused, hidden; const char* label; Box box;
    } cases[] = {
        {"plain", 0, 0, 0, 0, "", kEmpty},          {"reversed", 1, 0, 0, 0, "", kFilled},
        {"frame", 0, 1, 0, 0, "", kOutline},        {"focus mark", 0, 0, 1, 0, "", kOutline},
        {"reversed frame", 1, 1, 0, 0, "", kReversedOutline},
        {"hidden label not drawn", 0, 1, 0, 1, "WWW", kOutline}, {"hidden reversed", 1, 0, 0, 1, "WWW", kFilled},
    };
    for (const auto& c : cases) {
        const std::string expected = BoxArt(c.box);
        FillScreen(0);
        ctrl_info ctrl;
        ctrl_init(&ctrl, CTRL_TYPE_LABEL, 2, 1, 6, 4, 0, 0, c.label, nullptr);
        ctrl_set_reverse(&ctrl, c.reverse);
        ctrl.frame = c.frame;
        ctrl.focused = c.focused;
        ctrl_set_hide(&ctrl, c.hidden);
        ctrl_show(&ctrl, 0);
        EXPECT_EQ(LcdArt(0, 0, 10, 6), expected) << c.name;
        EXPECT_EQ(ctrl.redraw, 0) << c.name;
    }
}

TEST(CtrlShow, NothingWithoutRedrawOrForce) {
    struct Case { uint16_t width, height; uint8_t redraw, force; bool drawn; } cases[] = {
        {6, 4, 0, 0, false}, {6, 4, 1, 0, true}, {6, 4, 0, 1, true},
        {0, 4, 1, 1, false}, {6, 0, 1, 1, false},
    };
    const std::string filled = BoxArt(kFilled), empty = BoxArt(kEmpty);
    for (const Case& c : cases) {
        FillScreen(0);
        ctrl_info ctrl;
        ctrl_init(&ctrl, CTRL_TYPE_LABEL, 2, 1, c.width, c.height, 0, 0, "", nullptr);
        ctrl_set_reverse(&ctrl, 1);
        ctrl.redraw = c.redraw;
        ctrl_show(&ctrl, c.force);
        EXPECT_EQ(LcdArt(0, 0, 10, 6), c.drawn ? filled : empty)
            << c.width << "x" << c.height << " redraw " << int(c.redraw) << " force " << int(c.force);
    }
    ctrl_show(nullptr, 1);  // no crash
}

TEST(CtrlShow, LabelStaysLeftOfTheValueArea) {
    FillScreen(0);
    ctrl_info ctrl;
    ctrl_init(&ctrl, CTRL_TYPE_LABEL, 0, 13, 132, 12, 90, 0, "WWWWWWWWWWWWWWWWWWWW", "value");
    ctrl_show(&ctrl, 1);
    EXPECT_NE(LcdArt(0, 13, 42, 12).find('#'), std::string::npos);
    // A label control draws neither its value nor anything right of its box.
    EXPECT_EQ(LcdArt(42, 13, 90, 12).find('#'), std::string::npos);
}

// Renders a control of `type` with `value`, the caret at `cursor` and the
// given repeat-window state; returns its row of the picture.
std::string RenderValue(uint8_t type, const char* value, uint8_t cursor, uint8_t ticks,
                        uint8_t pending) {
    FillScreen(0);
    ctrl_info ctrl;
    ctrl_init(&ctrl, type, 0, 26, 132, 12, 90, 0, "Passwd:", value);
    ctrl.cursor = cursor;
    ctrl.key_ticks = ticks;
    ctrl.pending = pending;
    ctrl.caret_visible = 1;
    ctrl_show(&ctrl, 1);
    return LcdArt(0, 26, 132, 12);
}

// A password shows '*' per letter, and the letter before the caret as itself
// while the repeat window is open: compared with a text control showing the
// expected mask.
TEST(CtrlShow, PasswordMask) {
    struct Case { const char* value; uint8_t cursor, ticks, pending; const char* shown; } cases[] = {
        {"ab", 2, 0, 1, "*b"}, {"ab", 2, 1, 1, "*b"}, {"ab", 2, 2, 1, "**"}, {"ab", 2, 2, 0, "**"},
        {"abc", 2, 0, 0, "*b*"}, {"ab", 0, 0, 0, "**"}, {"", 0, 0, 0, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(RenderValue(CTRL_TYPE_PASSWORD, c.value, c.cursor, c.ticks, c.pending),
                  RenderValue(CTRL_TYPE_TEXT, c.shown, c.cursor, c.ticks, c.pending))
            << c.value << " cursor " << int(c.cursor) << " ticks " << int(c.ticks);
}

}  // namespace
