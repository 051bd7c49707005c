// read_env: gathers the bootloader variables and installed versions into the
// device environment table. Device only (shell commands on /proc and /tmp).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "env.h"
#include "inifile.h"
#include "process_control.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

constexpr const char* kEnvCopy = "/tmp/avalanche_env_file";
constexpr const char* kSoftwareCopy = "/tmp/ver_software";
constexpr int kCopyRuns = 5;
// The software version's first line is read with at most this many characters.
constexpr int kSoftwareLine = 148;

struct version_source {
    const char* key;
    const char* path;
};
// Installed versions, in the order their entries are added.
const version_source g_env_versions[] = {
    {"RomVersion", "/app/version.conf"},
    {"Mtd6Version", "/app/version.conf"},
    {"Mtd5Version", "/basic/version.conf"},
    {"Mtd0Version", "/version.conf"},
};

bool env_file_has_data(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && st.st_size > 0;
}

int env_read_listing(env_info* env) {
    FILE* f = fopen(kEnvCopy, "r");
    if (f == nullptr) return UPD_MSG_READ_ENV_FAILED;
    env_line_reader reader{};
    int c;
    while ((c = fgetc(f)) != EOF) env_listing_feed(env, &reader, static_cast<char>(c));
    fclose(f);
    return 0;
}

void env_read_versions(env_info* env) {
    for (const version_source& src : g_env_versions) {
        char value[ENV_VALUE_SIZE] = {};
        if (read_profile_string("Version", src.key, value, sizeof value, nullptr, src.path) != 1)
            continue;
        rl_log_debug("%s:%s\n", src.key, value);
        env_add_text(env, src.key, value);
    }
}

int env_read_software(env_info* env) {
    FILE* f = fopen(kSoftwareCopy, "r");
    if (f == nullptr) return UPD_MSG_READ_ENV_FAILED;
    char line[kSoftwareLine + 1] = {};
    if (fgets(line, sizeof line, f) == nullptr) line[0] = '\0';
    char version[ENV_VALUE_SIZE];
    int ret = env_software_version(line, version, sizeof version);
    fclose(f);
    if (ret < 0) return UPD_MSG_READ_ENV_FAILED;
    rl_log_debug("%s:%s\n", "Mtd1Version", version);
    env_add_text(env, "Mtd1Version", version);
    return 0;
}

}  // namespace

int env_copy_proc(const char* src, const char* dst) {
    char cmd[256];
    snprintf(cmd, sizeof cmd, "/tmp/bin/cat %s > %s", src, dst);
    for (int run = 0; run < kCopyRuns; ++run) {
        rl_log_info("shellcmd:%s\n", cmd);
        if (system_return_check(system(cmd)) < 0) return -1;
        if (env_file_has_data(dst)) break;
    }
    return 0;
}

int read_env(env_info* env) {
    if (env == nullptr) return -1;
    if (env_copy_proc("/proc/avalanche/env", kEnvCopy) < 0) return -1;
    int ret = env_read_listing(env);
    if (ret < 0) return ret;
    env_read_versions(env);
    if (env_copy_proc("/proc/ver/software", kSoftwareCopy) < 0) return -1;
    return env_read_software(env);
}
