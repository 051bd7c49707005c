// The auto-provisioning hand-off: saving the /tmp configuration files for the
// retry after the reboot, and retiring line key 8.
#include "autop.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process_control.h"
#include "rl_log.h"

namespace {

// Commands run with at most about 3 seconds and one retry; results ignored.
void run(const char* cmd) { (void)system_ex(cmd, 3, 1); }

// The earlier version, or false when the environment has no "RomVersion".
bool earlier_version(const env_info* env, rom_version* out) {
    unsigned int index = 0;
    if (get_mtd_info(env, "RomVersion", &index) < 0) {
        rl_log_info("RomVersion env isnot exist!\n");
        return false;
    }
    *out = autop_scan_version(env[index].value);
    return true;
}

class Dir {
public:
    explicit Dir(const char* path) : dir_(opendir(path)) {}
    ~Dir() {
        if (dir_ != nullptr) closedir(dir_);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

}  // namespace

void config_autop(const env_info* env) {
    rom_version v;
    if (!earlier_version(env, &v)) return;
    if (!autop_version_applies(&v)) return;
    if (access(AUTOP_SAVE_FILE, F_OK) == 0) {
        rl_log_err(AUTOP_SAVE_FILE " is exist");
        return;
    }
    char cmds[AUTOP_MAX_FILES][256];
    int collected = 0;
    {
        Dir dir(AUTOP_SCAN_DIR);
        if (dir.get() == nullptr) {
            rl_log_err("open /tmp failed!\n");
            return;
        }
        while (const dirent* ent = readdir(dir.get())) {
            if (!autop_name_matches(ent->d_name)) continue;
            char path[256];
            const int n = snprintf(path, sizeof path, "%s%s", AUTOP_SCAN_DIR, ent->d_name);
            if (n < 0 || static_cast<unsigned int>(n) >= sizeof path) {
                rl_log_err("%s%s skipped: path too long\n", AUTOP_SCAN_DIR, ent->d_name);
                continue;
            }
            struct stat st;
            if (lstat(path, &st) < 0 || !S_ISREG(st.st_mode)) continue;
            char cmd[sizeof cmds[0]];
            switch (autop_pick(ent->d_name, path, collected, cmd, sizeof cmd)) {
            case AUTOP_PICK_COLLECT:
                memcpy(cmds[collected++], cmd, sizeof cmd);
                break;
            case AUTOP_PICK_HOSTILE:
                rl_log_err("%s skipped: name holds shell characters\n", path);
                break;
            case AUTOP_PICK_TOO_LONG:
                rl_log_err("%s skipped: path too long\n", path);
                break;
            case AUTOP_PICK_TOO_MANY:
                rl_log_err("%s skipped: more than %d files\n", path, AUTOP_MAX_FILES);
                break;
            case AUTOP_PICK_IGNORE:
                break;
            }
        }
    }
    run("touch " AUTOP_SAVE_FILE);
    for (int i = 0; i < collected; ++i) {
        run(cmds[i]);
        run("echo \"  \" >> " AUTOP_SAVE_FILE);
    }
    run("sed -i \"/.[u,U][r,R][l,L]/ c\\   \"  " AUTOP_SAVE_FILE);
    run("echo \"Config.Autoprovision.Reboot.Enable = 1 \" >> " AUTOP_SAVE_FILE);
    rl_log_err("config ok");
}

void config_deleteLineKey8(const env_info* env) {
    rl_log_info("config_deleteLineKey8");
    rom_version v;
    if (!earlier_version(env, &v)) return;
    if (!linekey8_version_applies(&v)) return;
    rl_log_info("config_deleteLineKey8 excute");
    run("sed -i \"/LINEKEY8/ c\\ [ LINEKEY8_NOUSED ]\" " LINEKEY8_FILE " ");
}
