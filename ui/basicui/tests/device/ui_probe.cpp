// ui_probe: runs CBasicUI inside the simulated device for the system tests.
//
//   ui_probe init        exit 0 when Init gives 0
//   ui_probe init-fails  exit 0 when Init gives -1 (run without /dev/fb0)
//   ui_probe screens     Init, then the probe screens one after another
//   ui_probe keys N S    Init, wait S seconds, then log every key pressed
//                        ("probe key %d") until N keys came (10 s at most)
//   ui_probe user        Init, OpenUserSetting; logs "probe user %d [%s] [%s]"
//                        with the result and both texts
// Exit 0 on success, 1 on a wrong result, 2 on bad usage, 3 on a time-out.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "basicui.h"
#include "probe_screens.h"
#include "rl_log.h"

namespace {

int Usage() {
    fprintf(stderr, "usage: ui_probe init|init-fails|screens|keys N SECONDS|user\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (strcmp(argv[1], "--help") == 0) {
        Usage();
        return 0;
    }
    rl_log_init("ui_probe", 7);
    CBasicUI ui;
    const int init = ui.Init();
    rl_log_info("probe init %d", init);
    const char* mode = argv[1];
    if (strcmp(mode, "init-fails") == 0) return init == -1 ? 0 : 1;
    if (init != 0) return 1;
    if (strcmp(mode, "init") == 0) return ui.Init() == 0 ? 0 : 1;  // a second Init keeps the first
    if (strcmp(mode, "screens") == 0) {
        for (int i = 0; i < probe::kScreenCount; ++i) probe::DrawScreen(ui, i);
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
        // A last poll: nothing may be left over.
        rl_log_info("probe rest %d", ui.GetKeyPressed());
        return got == wanted ? 0 : 3;
    }
    if (strcmp(mode, "user") == 0) {
        char user[64];
        char password[64];
        const int result = ui.OpenUserSetting(user, sizeof(user), password, sizeof(password));
        rl_log_info("probe user %d [%s] [%s]", result, user, password);
        return 0;
    }
    return Usage();
}
