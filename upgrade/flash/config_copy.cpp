// The saved copies of the environment and configuration partitions: taken
// once before a move, written back into the moved windows; and the unmounting
// of the configuration file systems before they are rewritten.
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "mtd_layout.h"
#include "process_control.h"
#include "rl_log.h"
#include "upgrade_flags.h"

namespace {

struct saved_copy {
    int mtd;
    const char* command;  // with %s for the file
    const char* file;
    int size;
    const int32_t* moved;  // the flag that says the partition moved
};

// In write-back order: the configuration first, as the driver does.
const saved_copy g_saved_copies[] = {
    {MTD_CONFIG_MTD, "/tmp/bin/cat /dev/mtdblock/4 > %s", MTD_CONFIG_COPY, MTD_CONFIG_COPY_SIZE,
     &config_mtd_write},
    {MTD_ENV_MTD, "/tmp/bin/cat /dev/mtdblock/3 > %s", MTD_ENV_COPY, MTD_ENV_COPY_SIZE, &env_mtd_write},
};

// 1 once the copies were taken; their result then stands for the whole run.
int g_copies_taken = 0;
int g_copies_result = -1;
// Per entry of g_saved_copies: the copy is in its window.
bool g_written_back[2] = {false, false};

const saved_copy* find_copy(int mtd) {
    for (const saved_copy& c : g_saved_copies)
        if (c.mtd == mtd) return &c;
    return nullptr;
}

// Runs the copy command up to 5 times until it succeeds with a file of exactly
// the partition's size: a copy cut short (a full /tmp) is no copy.
int copy_block(const saved_copy& c) {
    char cmd[128];
    snprintf(cmd, sizeof cmd, c.command, c.file);
    for (int attempt = 0; attempt < 5; ++attempt) {
        rl_log_info("shellcmd:%s\n", cmd);
        const int status = system(cmd);
        struct stat st;
        if (system_return_check(status) == 0 && stat(c.file, &st) == 0 && st.st_size == c.size) return 0;
        sleep(1);
    }
    rl_log_err("%s: no good copy of mtd%d\n", c.file, c.mtd);
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
    rl_log_debug("cat_env_config_block\n");
    if (g_copies_taken == 1) return g_copies_result;
    g_copies_taken = 1;
    // The environment first, then the configuration.
    g_copies_result = copy_block(g_saved_copies[1]) == 0 && copy_block(g_saved_copies[0]) == 0 ? 0 : -1;
    return g_copies_result;
}

int mtd_write_saved_copy(int mtd) {
    const saved_copy* c = find_copy(mtd);
    if (c == nullptr) return -1;
    char path[32];
    snprintf(path, sizeof path, "%s", c->file);
    if (mtd_write(c->mtd, c->size, path) < 0) return -1;
    g_written_back[c - g_saved_copies] = true;
    return 0;
}

int mtd_restore_moved_partitions() {
    int ret = 0;
    for (const saved_copy& c : g_saved_copies) {
        if (*c.moved != 1 || g_written_back[&c - g_saved_copies]) continue;
        if (mtd_write_saved_copy(c.mtd) < 0) {
            rl_log_err("mtd%d: %s not written back\n", c.mtd, c.file);
            ret = -1;
        }
    }
    return ret;
}
