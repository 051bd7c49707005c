// The screens the device probe draws, in order; the system test draws the same
// list on the host's off-screen picture and compares each with the frame the
// simulated panel captured.
#pragma once

#include "basicui.h"

namespace probe {

inline constexpr int kScreenCount = 6;

inline void DrawScreen(CBasicUI& ui, int index) {
    static const char* info[] = {"Upgrade Info", "line one", "line two"};
    switch (index) {
    case 0: ui.SetUpgradingProgressBar(0); break;
    case 1: ui.SetUpgradingProgressBar(50); break;
    case 2: ui.SetUpgradingProgressBar(100); break;
    case 3: ui.ShowUpgradingFailedInfoWithID("Rom check Failed!", 5); break;
    case 4: ui.ShowUpgradingAutop2FailedInfoWithID(-82, 60); break;
    case 5: ui.ShowInfo(info, 3); break;
    default: break;
    }
}

}  // namespace probe
