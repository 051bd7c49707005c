// Every screen of the installer with the calls that draw it: the pictures of
// docs/screens are drawn from this list (ui_screens), and the tests compare
// each screen with its committed picture.
#pragma once

#include <functional>
#include <vector>

#include "basicui.h"

struct UiScreen {
    const char* name;                     // file name in docs/screens, without ".png"
    std::function<void(CBasicUI&)> draw;  // draws the screen into the off-screen picture
};

// The screens in the order of docs/screens.md. The user-setting screens are
// driven with keys and ticks given to the dialog directly, so their pictures
// are the same on every run.
std::vector<UiScreen> ui_screen_list();
