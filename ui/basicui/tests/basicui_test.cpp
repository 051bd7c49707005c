// CBasicUI and the screens below it on the off-screen picture: what the
// committed pictures of docs/screens cannot show (ui_screens_test compares every
// screen with them): line counts and invalid arguments, the progress fill at its
// edges, the user-setting dialog driven through the keypad word and the lock
// that keeps calls from two threads apart.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "basicui.h"
#include "key.h"
#include "lcd.h"
#include "screen_art.h"
#include "simpleui.h"

namespace {

using namespace uitest;

bool Clear(int y0, int h) { return LcdArt(0, y0, LCD_WIDTH, h).find('#') == std::string::npos; }

// The keypad thread must never open a real device here: it is pointed at a
// path that does not exist, so keys come only from g_last_key.
void NoKeypad() { key_set_device_path("/nonexistent/uihigh-test-keypad"); }

// Feeds keys one at a time, each after the previous one has been consumed.
void FeedKeys(std::vector<int> keys) {
    for (int key : keys) {
        for (int i = 0; i < 500 && g_last_key.load() != 0; ++i) usleep(10 * 1000);
        g_last_key.store(key);
    }
}

// The failure line is "<text>:<id>", or the text alone for ID 0, from both
// methods; a null text counts as empty.
TEST(BasicUI, FailedInfoLineEqualsAnInfoScreenWithThatLine) {
    struct Case { const char* text; int id; const char* line; } cases[] = {
        {"Burn failed", -82, "Burn failed:-82"}, {nullptr, 7, ":7"}, {"", 0, ""}};
    CBasicUI ui;
    for (const Case& c : cases) {
        const char* info[] = {"Upgrade Status", c.line};
        ui.ShowInfo(info, 2);
        const std::string expected = LcdArt(0, 0, LCD_WIDTH, 48);
        ui.ShowUpgradingFailedInfo(c.text, c.id);
        EXPECT_EQ(LcdArt(0, 0, LCD_WIDTH, 48), expected) << c.line;
        ui.ShowUpgradingFailedInfoWithID(c.text, c.id);
        EXPECT_EQ(LcdArt(0, 0, LCD_WIDTH, 48), expected) << c.line;
    }
}

// Rows 0..drawn-1 equal the five-string screen, the rest stay clear; counts
// above 5 are taken as 5.
TEST(BasicUI, ShowInfoDrawsTitleAndCountMinusOneLines) {
    const char* texts[] = {"Title", "one", "two", "three", "four", "five", "six"};
    CBasicUI ui;
    ui.ShowInfo(texts, 5);
    const std::string five = ScreenArt();
    ASSERT_FALSE(Clear(48, 12));
    for (auto [count, drawn] : {std::pair{7, 64}, {6, 64}, {4, 48}, {2, 24}, {1, 12}}) {
        FillScreen(1);
        ui.ShowInfo(texts, count);
        EXPECT_EQ(LcdArt(0, 0, LCD_WIDTH, drawn), five.substr(0, drawn * (LCD_WIDTH + 1) - 1)) << count;
        EXPECT_TRUE(drawn == 64 || Clear(drawn, 64 - drawn)) << count;
    }
}

TEST(BasicUI, InvalidArgumentsShowNothing) {
    const char* texts[] = {"Title"};
    char buffer[8] = "keep";
    CBasicUI ui;
    ui.DispNoticeInfo("before");
    const std::string before = ScreenArt();
    ui.ShowInfo(nullptr, 3);
    ui.ShowInfo(texts, 0);
    ui.ShowInfo(texts, -4);
    ui.DispNoticeInfo(nullptr);
    EXPECT_EQ(basicui_open_update_info(nullptr), 0);
    EXPECT_EQ(ui.OpenUserSetting(nullptr, 8, buffer, 8), -1);
    EXPECT_EQ(ui.OpenUserSetting(buffer, 8, nullptr, 8), -1);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(ScreenArt(), before);
}

// percent*98/100, rounded down, 0 at or below 0 and 98 above 100, without
// overflow at the ends of int.
TEST(ProgressBar, FillPixels) {
    const std::pair<int, int> cases[] = {{INT_MIN, 0}, {-5, 0}, {0, 0},    {1, 0},    {2, 1},  {15, 14},
                                         {50, 49},    {99, 97}, {100, 98}, {101, 98}, {INT_MAX, 98}};
    for (auto [percent, fill] : cases) EXPECT_EQ(basicui_progress_fill(percent), fill) << percent;
}

// A line of 64 characters without terminator is cut, not read past; absent
// buttons leave their boxes clear.
TEST(UpdateInfoScreen, UnterminatedLineIsCutAndEmptyButtonsAreNotDrawn) {
    update_info info = {};
    strcpy(info.title, "Upgrade Status");
    strcpy(info.button[3], "Reboot");
    memset(info.line[0], 'W', sizeof(info.line[0]));
    FillScreen(1);
    basicui_open_update_info(&info);
    EXPECT_FALSE(Clear(12, 12));
    EXPECT_EQ(LcdArt(0, 52, 99, 12).find('#'), std::string::npos);
}

// Confirmed, the texts are copied within the sizes given; cancelled, both are
// emptied.
TEST(BasicUI, UserSettingCopiesWithinSizesOrEmptiesOnCancel) {
    NoKeypad();
    // "admin" (a d m iii nn), down, "ab" (a, right closes the repeat window, a
    // then b on the same key), OK.
    const std::vector<int> typed = {2, 3, 6, 4, 4, 4, 6, 6, 14, 2, 16, 2, 2, 17};
    struct Case {
        std::vector<int> keys; int result, user_size, password_size; const char *user, *password;
    } cases[] = {
        {typed, 1, 16, 16, "admin", "ab"}, {typed, 1, 3, 2, "ad", "a"}, {typed, 1, 1, 1, "", ""},
        {{KEY_CODE_CANCEL}, 2, 16, 16, "", ""}};
    CBasicUI ui;
    for (const Case& c : cases) {
        char user[32], password[32];
        memset(user, 'x', sizeof(user));
        memset(password, 'y', sizeof(password));
        std::thread keys(FeedKeys, c.keys);
        EXPECT_EQ(ui.OpenUserSetting(user, c.user_size, password, c.password_size), c.result);
        keys.join();
        EXPECT_STREQ(user, c.user);
        EXPECT_STREQ(password, c.password);
        EXPECT_EQ(user[c.user_size], 'x');  // nothing written past the size
        EXPECT_EQ(password[c.password_size], 'y');
    }
}

// A screen call from a second thread waits while OpenUserSetting holds the UI.
TEST(BasicUI, CallsFromTwoThreadsDoNotOverlap) {
    NoKeypad();
    CBasicUI ui;
    char user[8], password[8];
    std::atomic<bool> notice_done{false};
    std::thread dialog([&] { EXPECT_EQ(ui.OpenUserSetting(user, 8, password, 8), 2); });
    usleep(300 * 1000);  // the dialog is open and polling
    std::thread other([&] { ui.DispNoticeInfo("Rebooting..."); notice_done = true; });
    usleep(300 * 1000);
    EXPECT_FALSE(notice_done.load());
    g_last_key.store(KEY_CODE_CANCEL);
    dialog.join();
    other.join();
    EXPECT_TRUE(notice_done.load());
    // The notice came last and is what the screen shows.
    EXPECT_TRUE(Clear(0, 26));
    EXPECT_FALSE(Clear(26, 12));
}

}  // namespace
