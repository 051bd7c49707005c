// CBasicUI on the simulated device: the panel shows the committed screen
// pictures and keypad presses arrive through GetKeyPressed, one by one. A
// missing or short frame buffer: display_fb_test and lcd_refresh_test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devsim_harness.h"
#include "lcd.h"
#include "picture.h"
#include "screen_art.h"

namespace {

const std::string kProbe = devsim::BinDir() + "/ui_probe";

TEST(BasicUIDevice, FramesEqualTheCommittedPictures) {
    const std::vector<std::string> names = {"progress-0", "progress-50", "progress-100", "failed-id-5",
                                            "countdown-60", "info"};
    std::vector<std::string> args = {"screens"};
    args.insert(args.end(), names.begin(), names.end());
    devsim::Device dev("uiscr");
    ASSERT_EQ(dev.Exec(kProbe, args), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status, 0);
    ASSERT_EQ(dev.FrameCount(), static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        uint8_t expected[picture::kFrameBytes];
        std::string error;
        ASSERT_TRUE(picture::ReadPng(std::string(UPG_DOCS_SCREENS) + "/" + names[i] + ".png", expected, &error))
            << error;
        EXPECT_EQ(dev.FrameText(static_cast<int>(i) + 1), uitest::PictureArt(expected, 0, 0, LCD_WIDTH, LCD_HEIGHT))
            << names[i];
    }
}

// Presses reach the poll one by one, nothing left over (which press wins
// between two polls: key_test).
TEST(BasicUIDevice, KeypadPresses) {
    devsim::Device dev("uikeys");
    ASSERT_EQ(dev.Exec(kProbe, {"keys", "3", "0"}, {"--keys", "35@2s,17@3s,32@4s"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().exit_status, 0);
    std::vector<std::string> logged;
    for (const devsim::LogLine& line : dev.Syslog()) {
        const size_t at = line.message.find("probe key ");
        if (at != std::string::npos) logged.push_back(line.message.substr(at));
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"probe key 35", "probe key 17", "probe key 32"}));
    EXPECT_TRUE(dev.LogContains("probe rest 0"));
}

}  // namespace
