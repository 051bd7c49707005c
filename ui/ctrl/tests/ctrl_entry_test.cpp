// Text entry of controls: multi-tap letters with the repeat window, caret
// moves, deletion, limits and the input methods.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ctrl.h"

namespace {

constexpr uint8_t kAbc = 1;
constexpr uint8_t kABC = 0;
constexpr uint8_t k123 = 2;
constexpr uint8_t k1Ab = 3;

// Plays a script on a control: digits, '*' and '#' are keys; 't' is a tick,
// '<' and '>' caret moves, 'D' a deletion.
void Play(ctrl_info* ctrl, const std::string& script) {
    for (char c : script) {
        switch (c) {
        case 't': ctrl_show_cursor(ctrl, 1); break;
        case '<': ctrl_move_left(ctrl); break;
        case '>': ctrl_move_right(ctrl); break;
        case 'D': ctrl_del_char(ctrl); break;
        default: ctrl_add_char(ctrl, c); break;
        }
    }
}

ctrl_info InputCtrl(uint8_t method, const char* value = "") {
    ctrl_info ctrl;
    ctrl_init(&ctrl, CTRL_TYPE_TEXT, 0, 0, 132, 12, 90, 0, "User:", value);
    ctrl.input_method = method;
    return ctrl;
}

// start: the value at initialisation (caret at its end).
struct EntryCase {
    const char* name; uint8_t method; const char *start, *script, *value; int cursor;
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class MultiTap : public ::testing::TestWithParam<EntryCase> {};

TEST_P(MultiTap, GivesValueAndCaret) {
    const EntryCase& c = GetParam();
    ctrl_info ctrl = InputCtrl(c.method, c.start);
    Play(&ctrl, c.script);
    EXPECT_STREQ(ctrl.value, c.value);
    EXPECT_EQ(ctrl.cursor, c.cursor);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, MultiTap,
    ::testing::Values(
        EntryCase{"ThreePressesStepThroughTheList", kAbc, "", "222", "c", 1},
        EntryCase{"FourthPressWrapsAround", kAbc, "", "2222", "a", 1},
        EntryCase{"OtherKeyStartsNewLetter", kAbc, "", "23", "ad", 2},
        EntryCase{"OneTickKeepsTheWindowOpen", kAbc, "", "2t2", "b", 1},
        EntryCase{"TwoTicksCloseTheWindow", kAbc, "", "2tt2", "aa", 2},
        EntryCase{"FourLetterKeyWraps", kABC, "", "77777", "P", 1},
        EntryCase{"DigitMethodRepeatsTheDigit", k123, "", "22", "22", 2},
        EntryCase{"OneRepeatsInAbc", kAbc, "", "11", "11", 2},
        EntryCase{"OneRepeatsIn1Ab", k1Ab, "", "11", "11", 2},
        EntryCase{"MixedCaseKeyIn1Ab", k1Ab, "", "2222222", "C", 1},
        EntryCase{"SymbolsWrapAfterTwentyFive", kAbc, "", "**************************", "*", 1},
        EntryCase{"HashRepeats", kAbc, "", "##", "##", 2},
        EntryCase{"InsertAtCaretInTheMiddle", kAbc, "ac", "<2t2", "abc", 2},
        EntryCase{"LeftClosesTheWindow", kAbc, "", "2<2", "aa", 1},
        EntryCase{"RightAtEndStillClosesTheWindow", kAbc, "", "2>2", "aa", 2},
        EntryCase{"DeleteRemovesTheLetterBeforeCaret", kAbc, "xyz", "<D", "xz", 1},
        EntryCase{"DeleteClosesTheWindow", kAbc, "", "22D2", "a", 1},
        EntryCase{"DeleteAtZeroChangesNothing", kAbc, "ab", "<<<DD", "ab", 0},
        EntryCase{"RightStopsAtTheEnd", kAbc, "ab", "<<>>>>3", "abd", 3},
        EntryCase{"ReplacedLetterKeepsCaretInTheMiddle", kAbc, "xy", "<222", "xcy", 2}),
    [](const auto& p) { return std::string(p.param.name); });

// A full value takes no letter, and a second press of the same key replaces
// no letter it never entered; the last free place still cycles letters.
TEST(CtrlEntry, FullValueTakesNoLetterAndKeepsItsText) {
    const std::string full(63, 'x');
    ctrl_info ctrl = InputCtrl(kAbc, full.c_str());
    EXPECT_EQ(ctrl_add_char(&ctrl, '2'), -1);
    EXPECT_EQ(ctrl_add_char(&ctrl, '2'), -1);
    EXPECT_EQ(std::string(ctrl.value), full);
    EXPECT_EQ(ctrl.cursor, 63);
    ctrl = InputCtrl(kAbc, full.c_str() + 1);
    EXPECT_EQ(ctrl_add_char(&ctrl, '2'), 0);
    EXPECT_EQ(ctrl_add_char(&ctrl, '2'), 0);  // the deletion makes room
    EXPECT_EQ(std::string(ctrl.value), full.substr(1) + "b");
}

TEST(CtrlEntry, RefusesWhatHasNoLetters) {
    ctrl_info label;
    ctrl_init(&label, CTRL_TYPE_LABEL, 0, 0, 10, 10, 0, 0, "L", "v");
    ctrl_info input = InputCtrl(kAbc);
    struct { ctrl_info* ctrl; char key; } cases[] = {
        {&label, '2'}, {nullptr, '2'}, {&input, 'x'}, {&input, '\0'}, {&input, 'A'}};
    for (const auto& c : cases)
        EXPECT_EQ(ctrl_add_char(c.ctrl, c.key), -1) << c.key;
    EXPECT_STREQ(label.value, "v");
    EXPECT_STREQ(input.value, "");
}

// The highlight of a typed letter outlives the repeat window (closed at the
// second tick: MultiTap) by one tick; each tick marks the control for redraw.
// The caret shown or hidden by the tick: DlgTick.
TEST(CtrlEntry, TheThirdTickEndsTheHighlight) {
    ctrl_info ctrl = InputCtrl(kAbc);
    ctrl_add_char(&ctrl, '2');
    for (int pending : {1, 1, 1, 0}) {
        EXPECT_EQ(ctrl.pending, pending);
        ctrl.redraw = 0;
        ctrl_show_cursor(&ctrl, 1);
        EXPECT_EQ(ctrl.redraw, 1);
    }
}

// Texts are copied (null as empty) and cut to 63 characters; the caret stands
// after the value of an input control and shows at once.
TEST(CtrlInit, SetsUpAndCutsTexts) {
    const std::string long_text(80, 'q');
    const std::string cut(63, 'q');
    struct Case {
        uint8_t type; const char *label, *value, *want_label, *want_value; int cursor, caret;
    } cases[] = {
        {CTRL_TYPE_TEXT, "User:", "bob", "User:", "bob", 3, 1},
        {CTRL_TYPE_PASSWORD, nullptr, "pw", "", "pw", 2, 1},
        {CTRL_TYPE_LABEL, "Title", nullptr, "Title", "", 0, 0},
        {CTRL_TYPE_TEXT, long_text.c_str(), long_text.c_str(), cut.c_str(), cut.c_str(), 63, 1},
    };
    for (const Case& c : cases) {
        ctrl_info ctrl;
        memset(&ctrl, 0xA5, sizeof(ctrl));
        ctrl_init(&ctrl, c.type, 1, 2, 3, 4, 5, 6, c.label, c.value);
        EXPECT_STREQ(ctrl.label, c.want_label);
        EXPECT_STREQ(ctrl.value, c.want_value);
        EXPECT_EQ(ctrl.cursor, c.cursor);
        EXPECT_EQ(ctrl.caret_visible, c.caret);
        EXPECT_EQ(ctrl.input_method, kAbc);
        EXPECT_EQ(ctrl.redraw, 1);
        EXPECT_EQ(ctrl.focused | ctrl.key_ticks | ctrl.frame | ctrl.pending, 0);
    }
}

TEST(CtrlInputMethod, SwitchOrderAndNames) {
    ctrl_info ctrl = InputCtrl(kAbc);
    for (const char* name : {"123", "1Ab", "ABC", "abc", "123"}) {
        ctrl.redraw = 0;
        ctrl_switch_input(&ctrl);
        EXPECT_STREQ(ctrl_get_input_text(ctrl.input_method), name);
        EXPECT_EQ(ctrl.redraw, 0);
    }
    for (uint8_t unknown : {4, 7, 255}) EXPECT_STREQ(ctrl_get_input_text(unknown), "abc") << int(unknown);
}

}  // namespace
