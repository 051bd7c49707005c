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
#include <string>

#include "basicui.h"
#include "lcd.h"
#include "picture.h"
#include "private_proc.h"
#include "rl_log.h"
#include "screen_list.h"

namespace {

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
    for (const UiScreen& screen : ui_screen_list()) {
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
