// ui_screens: draws every screen of the installer into the off-screen picture
// and writes each as a PNG (and, with --text, as text art) for the docs.
//
//   ui_screens OUTDIR [--text] [--scale N]     (OUTDIR is created when missing)
//
// Runs on the build machine only: the display is never initialised, and the
// panel refresh each screen ends with goes to a private /proc, so nothing
// reaches a panel. The user-setting screen is driven with keys and ticks given
// to the dialog directly, so its pictures are the same on every run.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "basicui.h"
#include "lcd.h"
#include "picture.h"
#include "private_proc.h"
#include "rl_log.h"
#include "simpleui.h"

namespace {

struct Screen {
    const char* name;
    std::function<void(CBasicUI&)> draw;
};

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

std::vector<Screen> Screens() {
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

int Usage(FILE* to = stderr) {
    fprintf(to,
            "usage: ui_screens OUTDIR [--text] [--scale N]\n"
            "Writes OUTDIR/<screen>.png for every screen of the installer; --text also\n"
            "writes OUTDIR/<screen>.txt ('#' set, '.' clear, 64 lines of 132).\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    bool text = false;
    int scale = 3;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--text") {
            text = true;
        } else if (arg == "--scale" && i + 1 < argc) {
            scale = atoi(argv[++i]);
            if (scale < 1 || scale > 16) return Usage();
        } else if (out.empty() && arg[0] != '-') {
            out = arg;
        } else {
            return Usage();
        }
    }
    if (out.empty()) return Usage();

    // Screens end with a panel refresh: it goes to a private /proc, and is
    // not logged.
    if (!uitest::EnterPrivateProc()) return 1;
    rl_log_reset_level(-1);
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "ui_screens: cannot create %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }
    CBasicUI ui;
    int failures = 0;
    for (const Screen& screen : Screens()) {
        screen.draw(ui);
        const std::string base = out + "/" + screen.name;
        std::string error;
        if (!picture::WritePng(base + ".png", g_lcdbuffer, scale, &error)) {
            fprintf(stderr, "ui_screens: %s.png: %s\n", base.c_str(), error.c_str());
            ++failures;
            continue;
        }
        if (text) {
            FILE* f = fopen((base + ".txt").c_str(), "w");
            if (f == nullptr || fputs(picture::ToText(g_lcdbuffer).c_str(), f) < 0 ||
                fclose(f) != 0) {
                fprintf(stderr, "ui_screens: cannot write %s.txt\n", base.c_str());
                ++failures;
                continue;
            }
        }
        printf("%s\n", screen.name);
    }
    return failures == 0 ? 0 : 1;
}
