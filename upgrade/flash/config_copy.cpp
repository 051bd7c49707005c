// Saving the environment and configuration partitions before a move, and
// unmounting the configuration file systems before they are rewritten.
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "mtd_layout.h"
#include "process_control.h"
#include "rl_log.h"

namespace {

// Runs the copy command up to 5 times until `file` exists and is not empty.
int copy_block(const char* fmt, const char* file) {
    char cmd[128];
    snprintf(cmd, sizeof cmd, fmt, file);
    for (int attempt = 0; attempt < 5; ++attempt) {
        rl_log_info("shellcmd:%s\n", cmd);
        // The copy is judged by its result file, not by the shell status.
        (void)!system(cmd);
        struct stat st;
        if (stat(file, &st) == 0 && st.st_size != 0) return 0;
        sleep(1);
    }
    return -1;
}

}  // namespace

int umount_config_mtd() {
    const char* cmd = "/tmp/bin/umount /etc/; /tmp/bin/umount /config/";
    for (int attempt = 0; attempt < 5; ++attempt) {
        rl_log_info("shellcmd:%s\n", cmd);
        if (system_return_check(system(cmd)) == 0) return 0;
        sleep(1);
    }
    return -1;
}

int cat_env_config_block() {
    static int cat_env_config_block_flag = 0;
    rl_log_debug("cat_env_config_block\n");
    if (cat_env_config_block_flag == 1) return 0;
    if (copy_block("/tmp/bin/cat /dev/mtdblock/3 > %s", "/tmp/mtdblock3") < 0) return -1;
    if (copy_block("/tmp/bin/cat /dev/mtdblock/4 > %s", "/tmp/mtdblock4") < 0) return -1;
    cat_env_config_block_flag = 1;
    return 0;
}
