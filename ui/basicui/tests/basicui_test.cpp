// CBasicUI on the off-screen picture: every screen method with its texts and
// edge cases, the user-setting dialog driven through the keypad word, and the
// lock that keeps calls from two threads apart.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "basicui.h"
#include "basicui_golden.h"
#include "key.h"
#include "lcd.h"
#include "screen_art.h"

namespace {

using uitest::FillScreen;
using uitest::LcdArt;
using uitest::ScreenArt;

// Rows y0..y0+h-1 of a whole-screen text art.
std::string Rows(const std::string& art, int y0, int h) {
    return art.substr(static_cast<size_t>(y0) * 133, static_cast<size_t>(h) * 133 - 1);
}

// Columns x0..x0+w-1 of rows y0..y0+h-1 of a whole-screen text art.
std::string Region(const std::string& art, int x0, int y0, int w, int h) {
    std::string out;
    for (int y = y0; y < y0 + h; ++y) {
        if (y != y0) out += '\n';
        out += art.substr(static_cast<size_t>(y) * 133 + x0, static_cast<size_t>(w));
    }
    return out;
}

// The keypad thread must never open a real device here: it is pointed at a
// path that does not exist, so keys come only from g_last_key.
void NoKeypad() {
    static bool done = false;
    if (!done) key_set_device_path("/nonexistent/uihigh-test-keypad");
    done = true;
}

// Feeds keys one at a time, each after the previous one has been consumed.
void FeedKeys(std::vector<int> keys) {
    for (int key : keys) {
        for (int i = 0; i < 500 && g_last_key.load() != 0; ++i) usleep(10 * 1000);
        g_last_key.store(key);
    }
}

TEST(BasicUI, FailedInfoWholeScreenWithId) {
    CBasicUI ui;
    FillScreen(1);
    EXPECT_EQ(ui.ShowUpgradingFailedInfoWithID("Rom check Failed!", 5), 0);
    EXPECT_EQ(ScreenArt(), golden::kFailedId5);
}

// The failure line is "<text>:<id>", or the text alone for ID 0: compared
// with an info screen showing the expected line.
TEST(BasicUI, FailedInfoLineOne) {
    struct Case {
        const char* text;
        int id;
        const char* line;
    } cases[] = {
        {"Rom check Failed!", 0, "Rom check Failed!"},
        {"Rom check Failed!", 5, "Rom check Failed!:5"},
        {"Burn failed", -82, "Burn failed:-82"},
        {nullptr, 7, ":7"},
        {"", 0, ""},
    };
    CBasicUI ui;
    for (const Case& c : cases) {
        for (bool with_id : {false, true}) {
            if (with_id) {
                EXPECT_EQ(ui.ShowUpgradingFailedInfoWithID(c.text, c.id), 0);
            } else {
                EXPECT_EQ(ui.ShowUpgradingFailedInfo(c.text, c.id), 0);
            }
            const std::string failed = ScreenArt();
            const char* info[] = {"Upgrade Status", c.line};
            ui.ShowInfo(info, 2);
            const std::string expected = ScreenArt();
            EXPECT_EQ(Rows(failed, 0, 48), Rows(expected, 0, 48)) << c.line;
            // The "Reboot" button of the golden screen.
            EXPECT_EQ(Rows(failed, 48, 16), Rows(golden::kFailedId5, 48, 16)) << c.line;
        }
    }
}

TEST(BasicUI, CountdownWholeScreen) {
    CBasicUI ui;
    FillScreen(1);
    EXPECT_EQ(ui.ShowUpgradingAutop2FailedInfoWithID(-82, 60), 0);
    EXPECT_EQ(ScreenArt(), golden::kCountdown60);
}

TEST(BasicUI, CountdownLinesFollowTheirNumbers) {
    struct Case {
        int id, seconds;
        const char* line1;
        const char* line4;
    } cases[] = {{-82, 1, "Upgrade failed:-82", "1"}, {-190, 59, "Upgrade failed:-190", "59"},
                 {0, 0, "Upgrade failed:0", "0"}};
    CBasicUI ui;
    for (const Case& c : cases) {
        ui.ShowUpgradingAutop2FailedInfoWithID(c.id, c.seconds);
        const std::string countdown = ScreenArt();
        const char* info[] = {"Upgrade Status", c.line1, "Autoprovision failed,",
                              "Please check errors on web.", c.line4};
        ui.ShowInfo(info, 5);
        EXPECT_EQ(Rows(countdown, 0, 52), Rows(ScreenArt(), 0, 52)) << c.line1;
        EXPECT_EQ(Region(countdown, 99, 52, 33, 12), Region(golden::kCountdown60, 99, 52, 33, 12));
    }
}

TEST(BasicUI, ShowInfoCounts) {
    const char* texts[] = {"Title", "one", "two", "three", "four", "five", "six"};
    CBasicUI ui;
    ui.ShowInfo(texts, 5);
    const std::string five = ScreenArt();
    struct Case {
        int count;
        int drawn_rows;  // rows 0..drawn_rows-1 equal the five-string screen; the rest clear
    } cases[] = {{7, 64}, {6, 64}, {5, 64}, {4, 48}, {2, 24}, {1, 12}};
    for (const Case& c : cases) {
        FillScreen(1);
        ui.ShowInfo(texts, c.count);
        const std::string art = ScreenArt();
        EXPECT_EQ(Rows(art, 0, c.drawn_rows), Rows(five, 0, c.drawn_rows)) << c.count;
        if (c.drawn_rows < 64) {
            EXPECT_EQ(Rows(art, c.drawn_rows, 64 - c.drawn_rows).find('#'), std::string::npos)
                << c.count;
        }
    }
    EXPECT_NE(Rows(five, 48, 12).find('#'), std::string::npos);  // line 4 drawn
}

TEST(BasicUI, ShowInfoInvalidShowsNothing) {
    const char* texts[] = {"Title"};
    CBasicUI ui;
    ui.DispNoticeInfo("before");
    const std::string before = ScreenArt();
    ui.ShowInfo(nullptr, 3);
    ui.ShowInfo(texts, 0);
    ui.ShowInfo(texts, -4);
    EXPECT_EQ(ScreenArt(), before);
}

TEST(BasicUI, ExpansionScreens) {
    CBasicUI ui;
    struct Case {
        int which;  // 0 failed, 1 upgrading, 2 upgraded
        std::vector<const char*> lines;
        bool start_button;
    } cases[] = {
        {0, {"Upgrading Expansion Status", "Upgrade Expansion failed,", "Please check the ROM file!"},
         false},
        {1,
         {"Upgrading Expansion Status", "", "Please connect Expansion to upgrade...",
          "Upgraded count:2", "Upgrading, Please don't press any key..."},
         true},
        {2,
         {"Upgrading Expansion Status", "", "Please connect Expansion to upgrade...",
          "Upgraded count:3"},
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.which == 0   ? ui.ShowUpgradingExtFailed()
                  : c.which == 1 ? ui.ShowUpgradingExtInfo(2)
                                 : ui.ShowUpgradedExtInfo(3),
                  0);
        const std::string screen = ScreenArt();
        ui.ShowInfo(const_cast<const char**>(c.lines.data()), static_cast<int>(c.lines.size()));
        const std::string info = ScreenArt();
        EXPECT_EQ(Rows(screen, 0, 52), Rows(info, 0, 52)) << c.which;
        // "Start" in button 1 only where stated; "Reboot" always in button 4.
        EXPECT_EQ(Region(screen, 0, 52, 32, 12).find('#') != std::string::npos, c.start_button)
            << c.which;
        EXPECT_EQ(Region(screen, 99, 52, 32, 12), Region(golden::kFailedId5, 99, 52, 32, 12))
            << c.which;
    }
}

TEST(BasicUI, ProgressBarFills) {
    struct Case {
        int percent;
        int fill;  // pixels from column 17
    } cases[] = {{-5, 0}, {0, 0}, {1, 0}, {15, 14}, {50, 49}, {95, 93}, {100, 98}, {101, 98}};
    CBasicUI ui;
    for (const Case& c : cases) {
        EXPECT_EQ(ui.SetUpgradingProgressBar(c.percent), 0);
        int fill = 0;
        for (int x = 17; x <= 115; ++x) fill += lcd_get_point_color(static_cast<uint16_t>(x), 53);
        EXPECT_EQ(fill, c.fill) << c.percent << "%";
        EXPECT_EQ(lcd_get_point_color(16, 53), 0) << c.percent;  // trough edge
        EXPECT_EQ(lcd_get_point_color(115, 53), 0) << c.percent;
    }
}

TEST(BasicUI, NoticeLine) {
    CBasicUI ui;
    ui.SetUpgradingProgressBar(40);
    ui.DispNoticeInfo("Rebooting...");
    const std::string notice = ScreenArt();
    EXPECT_EQ(Rows(notice, 0, 26).find('#'), std::string::npos);
    EXPECT_NE(Rows(notice, 26, 12).find('#'), std::string::npos);
    EXPECT_EQ(Rows(notice, 38, 26).find('#'), std::string::npos);
    ui.DispNoticeInfo(nullptr);
    EXPECT_EQ(ScreenArt(), notice);
}

TEST(BasicUI, UserSettingCancelledAtOnce) {
    NoKeypad();
    CBasicUI ui;
    char user[16] = "old-user";
    char password[16] = "old-pw";
    g_last_key.store(32);
    EXPECT_EQ(ui.OpenUserSetting(user, sizeof(user), password, sizeof(password)), 2);
    EXPECT_STREQ(user, "");
    EXPECT_STREQ(password, "");
    EXPECT_EQ(ScreenArt(), golden::kUserSettings);  // nothing drawn after the cancel
}

TEST(BasicUI, UserSettingConfirmedCopiesWithinSizes) {
    NoKeypad();
    struct Case {
        int user_size, password_size;
        const char* user;
        const char* password;
    } cases[] = {
        {16, 16, "admin", "ab"},
        {3, 2, "ad", "a"},
        {1, 1, "", ""},
    };
    CBasicUI ui;
    for (const Case& c : cases) {
        char user[32];
        char password[32];
        memset(user, 'x', sizeof(user));
        memset(password, 'y', sizeof(password));
        // "admin" (a d m iii nn), down, "ab" (a, right closes the repeat
        // window, a then b on the same key), OK.
        std::thread keys(FeedKeys, std::vector<int>{2, 3, 6, 4, 4, 4, 6, 6, 14, 2, 16, 2, 2, 17});
        EXPECT_EQ(ui.OpenUserSetting(user, c.user_size, password, c.password_size), 1);
        keys.join();
        EXPECT_STREQ(user, c.user);
        EXPECT_STREQ(password, c.password);
        EXPECT_EQ(user[c.user_size], 'x');  // nothing written past the size
        EXPECT_EQ(password[c.password_size], 'y');
    }
}

TEST(BasicUI, UserSettingRefusesNullBuffers) {
    CBasicUI ui;
    char buffer[8] = "keep";
    ui.DispNoticeInfo("before");
    const std::string before = ScreenArt();
    EXPECT_EQ(ui.OpenUserSetting(nullptr, 8, buffer, 8), -1);
    EXPECT_EQ(ui.OpenUserSetting(buffer, 8, nullptr, 8), -1);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(ScreenArt(), before);
}

TEST(BasicUI, GetKeyPressedConsumes) {
    NoKeypad();
    CBasicUI ui;
    ui.GetKeyPressed();  // the first call starts the thread
    struct Case {
        std::vector<int> stored;  // presses between two polls
        int polled;
    } cases[] = {{{35}, 35}, {{}, 0}, {{3, 17}, 17}};
    for (const Case& c : cases) {
        for (int key : c.stored) g_last_key.store(key);
        EXPECT_EQ(ui.GetKeyPressed(), c.polled);
    }
    EXPECT_EQ(ui.GetKeyPressed(), 0);
}

// A screen call from a second thread waits while OpenUserSetting holds the UI.
TEST(BasicUI, CallsFromTwoThreadsDoNotOverlap) {
    NoKeypad();
    CBasicUI ui;
    char user[8], password[8];
    std::atomic<bool> notice_done{false};
    std::thread dialog([&] { EXPECT_EQ(ui.OpenUserSetting(user, 8, password, 8), 2); });
    usleep(300 * 1000);  // the dialog is open and polling
    std::thread other([&] {
        ui.DispNoticeInfo("Rebooting...");
        notice_done = true;
    });
    usleep(300 * 1000);
    EXPECT_FALSE(notice_done.load());
    g_last_key.store(32);
    dialog.join();
    other.join();
    EXPECT_TRUE(notice_done.load());
    // The notice came last and is what the screen shows.
    EXPECT_EQ(Rows(ScreenArt(), 0, 26).find('#'), std::string::npos);
    EXPECT_NE(Rows(ScreenArt(), 26, 12).find('#'), std::string::npos);
}

}  // namespace
