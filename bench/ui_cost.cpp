// ui_cost: draws installer screens off the device so that callgrind can count
// the instructions of one screen.
//
//   valgrind --tool=callgrind --toggle-collect='measured_*' bench_ui progress|failure [N]
//
// `progress` counts N calls of SetUpgradingProgressBar (percents spread over
// 15..100), `failure` N failure screens; divide the total by N. One call of
// each kind runs first, outside the counted functions, so the counts are the
// steady state of an upgrade. What is counted: the whole repaint into the
// off-screen picture, the copy into a stand-in frame buffer (a plain array in
// place of the device mapping) and the user-space side of the panel refresh,
// which writes "1" into a private /proc (the kernel's part of that write is
// not an instruction of the process).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "basicui.h"
#include "lcd.h"
#include "private_proc.h"
#include "rl_log.h"

namespace {

std::uint8_t g_standin_fb[LCD_BUFFER_SIZE];

extern "C" __attribute__((noinline)) void measured_progress(CBasicUI* ui, int n) {
    for (int i = 0; i < n; ++i) ui->SetUpgradingProgressBar(15 + (i * 85) / n);
}

extern "C" __attribute__((noinline)) void measured_failure(CBasicUI* ui, int n) {
    for (int i = 0; i < n; ++i) ui->ShowUpgradingFailedInfoWithID("Rom check Failed!", -82 - i);
}

int Usage(FILE* to) {
    fprintf(to,
            "usage: bench_ui progress|failure [N]\n"
            "Draws N progress updates (or N failure screens) off the device, inside\n"
            "the functions measured_progress / measured_failure; run under\n"
            "valgrind --tool=callgrind --toggle-collect='measured_*'.\n");
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) return Usage(stdout);
    if (argc < 2 || argc > 3) return Usage(stderr);
    const bool progress = strcmp(argv[1], "progress") == 0;
    if (!progress && strcmp(argv[1], "failure") != 0) return Usage(stderr);
    const int n = argc == 3 ? atoi(argv[2]) : 10;
    if (n < 1 || n > 100000) return Usage(stderr);

    if (!uitest::EnterPrivateProc()) return 1;
    rl_log_reset_level(-1);
    g_framebuffer = g_standin_fb;
    CBasicUI ui;
    if (progress) {
        ui.SetUpgradingProgressBar(15);
        measured_progress(&ui, n);
    } else {
        ui.ShowUpgradingFailedInfoWithID("Rom check Failed!", 0);
        measured_failure(&ui, n);
    }
    // The last picture must be the screen asked for: a set pixel somewhere.
    for (std::uint8_t b : g_standin_fb)
        if (b != 0) return 0;
    fprintf(stderr, "bench_ui: the frame buffer stayed blank\n");
    return 1;
}
