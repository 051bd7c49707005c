// ui_probe: runs CBasicUI inside the simulated device for the system tests.
//
//   ui_probe screens N...  Init, then the named screens of the screen list
//   ui_probe keys N S      Init, wait S seconds, then log every key pressed
//                          ("probe key %d") until N keys came (10 s at most)
// Exit 0 on success, 1 on a wrong result, 2 on bad usage, 3 on a time-out.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "basicui.h"
#include "rl_log.h"
#include "screen_list.h"

int main(int argc, char** argv) {
    rl_log_init("ui_probe", 7);
    CBasicUI ui;
    if (ui.Init() != 0) return 1;
    const char* mode = argc > 1 ? argv[1] : "";
    if (strcmp(mode, "screens") == 0) {
        const std::vector<UiScreen> screens = ui_screen_list();
        for (int i = 2; i < argc; ++i)
            for (const UiScreen& s : screens)
                if (strcmp(s.name, argv[i]) == 0) s.draw(ui);
        return 0;
    }
    if (strcmp(mode, "keys") == 0 && argc == 4) {
        const int wanted = atoi(argv[2]);
        sleep(static_cast<unsigned>(atoi(argv[3])));
        int got = 0;
        for (int polls = 0; polls < 200 && got < wanted; ++polls) {
            const int key = ui.GetKeyPressed();
            if (key != 0) {
                rl_log_info("probe key %d", key);
                ++got;
            }
            usleep(50 * 1000);
        }
        rl_log_info("probe rest %d", ui.GetKeyPressed());  // nothing may be left over
        return got == wanted ? 0 : 3;
    }
    fprintf(stderr, "usage: ui_probe screens NAME...|keys N SECONDS\n");
    return 2;
}
