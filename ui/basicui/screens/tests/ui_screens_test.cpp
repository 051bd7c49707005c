// Every screen of the installer, drawn on the off-screen picture, equals its
// committed picture in docs/screens: texts, centring, fonts, buttons, the
// upgrading picture and the progress bar, pixel for pixel. The pictures are
// made by the ui_screens_docs target and reviewed when they change; tests never
// redraw them.
#include <gtest/gtest.h>

#include <string>

#include "lcd.h"
#include "param_name.h"
#include "picture.h"
#include "screen_art.h"
#include "screen_list.h"

// A failing case names its screen rather than printing the record's bytes.
void PrintTo(const UiScreen& screen, std::ostream* os) { *os << screen.name; }

namespace {

class DocsScreen : public ::testing::TestWithParam<UiScreen> {};

TEST_P(DocsScreen, EqualsTheCommittedPicture) {
    uint8_t expected[picture::kFrameBytes];
    std::string error;
    ASSERT_TRUE(picture::ReadPng(std::string(UPG_DOCS_SCREENS) + "/" + GetParam().name + ".png",
                                 expected, &error))
        << error;
    CBasicUI ui;
    uitest::FillScreen(1);  // every screen paints all of the panel
    GetParam().draw(ui);
    EXPECT_EQ(uitest::ScreenArt(), uitest::PictureArt(expected, 0, 0, LCD_WIDTH, LCD_HEIGHT));
}

INSTANTIATE_TEST_SUITE_P(Screens, DocsScreen, ::testing::ValuesIn(ui_screen_list()),
                         [](const auto& p) { return coord_testing::ParamName(p.index, p.param.name); });

}  // namespace
