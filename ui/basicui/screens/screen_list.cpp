#include "screen_list.h"

#include <cstring>
#include <initializer_list>

#include "simpleui.h"

namespace {

// The user-setting screen after `keys` (0 stands for a tick).
void UserSetting(std::initializer_list<int> keys) {
    user_setting_info input = {};
    strcpy(input.title, "User Settings");
    strcpy(input.user_label, "User:");
    strcpy(input.password_label, "Passwd:");
    display_info info;
    basicui_fill_user_setting(&input, &info);
    basicui_open_display_info(&info, 0);
    dlg_info* dlg = &g_dlgdisplay;
    for (int key : keys) {
        if (key == 0) {
            dlg->process_1s(dlg);
        } else {
            dlg->keydown(dlg, static_cast<uint8_t>(key));
        }
    }
}

const char* kInfo[] = {"Upgrade Info", "ROM: 2.42.0.10", "Hardware: 14.0.0.3", "Partitions: 5",
                       "Size: 7936 KiB"};

}  // namespace

std::vector<UiScreen> ui_screen_list() {
    return {
        {"progress-0", [](CBasicUI& ui) { ui.SetUpgradingProgressBar(0); }},
        {"progress-15", [](CBasicUI& ui) { ui.SetUpgradingProgressBar(15); }},
        {"progress-50", [](CBasicUI& ui) { ui.SetUpgradingProgressBar(50); }},
        {"progress-100", [](CBasicUI& ui) { ui.SetUpgradingProgressBar(100); }},
        {"failed", [](CBasicUI& ui) { ui.ShowUpgradingFailedInfoWithID("Rom check Failed!", 0); }},
        {"failed-id-5", [](CBasicUI& ui) { ui.ShowUpgradingFailedInfoWithID("Rom check Failed!", 5); }},
        {"countdown-60", [](CBasicUI& ui) { ui.ShowUpgradingAutop2FailedInfoWithID(-82, 60); }},
        {"countdown-7", [](CBasicUI& ui) { ui.ShowUpgradingAutop2FailedInfoWithID(-82, 7); }},
        {"notice-rebooting", [](CBasicUI& ui) { ui.DispNoticeInfo("Rebooting..."); }},
        {"info", [](CBasicUI& ui) { ui.ShowInfo(kInfo, 5); }},
        {"ext-failed", [](CBasicUI& ui) { ui.ShowUpgradingExtFailed(); }},
        {"ext-upgrading", [](CBasicUI& ui) { ui.ShowUpgradingExtInfo(2); }},
        {"ext-upgraded", [](CBasicUI& ui) { ui.ShowUpgradedExtInfo(3); }},
        {"user-settings", [](CBasicUI&) { UserSetting({}); }},
        // "admin" (a d m i n), down, then "ab" with the b still being chosen.
        {"user-settings-typing",
         [](CBasicUI&) { UserSetting({2, 3, 6, 4, 4, 4, 6, 6, 0, 0, 14, 2, 0, 0, 2, 2}); }},
        {"user-settings-123", [](CBasicUI&) { UserSetting({33, 1, 2, 3, 0}); }},
    };
}
