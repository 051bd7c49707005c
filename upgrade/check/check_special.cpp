// Special partitions of a package: the upgrader tool, the flash layout and the
// configuration-modify file are extracted to files; other types are ignored.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check_steps.h"
#include "process_control.h"
#include "rl_log.h"
#include "upd_msg.h"
#include "upgrade_flags.h"

namespace {

constexpr const char* kToolPath = "/tmp/upgrader_tool";
constexpr const char* kMtdConfPath = "/tmp/mtd.conf";
constexpr const char* kConfigModifyPath = "/config/config_modify";
// A tool of the installer's own version brings nothing new.
constexpr const char* kInstallerVersion = "1.0.0.55";
constexpr int kTouchRuns = 3;

// Writes all `size` bytes, going on after partial writes and interruptions.
bool check_write_all(int fd, const uint8_t* data, uint32_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

int check_upgrader_tool(const uint8_t* package, const Partition_Header* p) {
    rl_log_info("ppartition_addr->partition_type:%d\n", static_cast<int>(p->partition_type));
    upgrader_tool_version = p->partition_version;
    char version[VERSION_TEXT_SIZE];
    version_text(p->partition_version, version);
    if (strcmp(version, kInstallerVersion) == 0) {
        rl_log_info("upgrader version same! version:%s\n", version);
        return UPD_MSG_PART_IGNORED;
    }
    if (access(kToolPath, F_OK) == 0) return UPD_MSG_PART_IGNORED;
    // A tool that was not written completely is never left to be started.
    if (check_extract(kToolPath, package + p->partition_offset, p->partition_size) < 0)
        return UPD_MSG_PART_IGNORED;
    return UPD_MSG_UPGRADER_TOOL_SAVED;
}

}  // namespace

int check_extract(const char* path, const uint8_t* data, uint32_t size) {
    char cmd[128];
    snprintf(cmd, sizeof cmd, "/tmp/bin/touch %s", path);
    for (int run = 0; run < kTouchRuns; ++run) {
        rl_log_info("shellcmd:%s\n", cmd);
        if (system_return_check(system(cmd)) == 0) break;
        sleep(1);
    }
    snprintf(cmd, sizeof cmd, "/tmp/bin/chmod 777 %s", path);
    if (system(cmd) != 0) {
        // Ignored: the open below decides.
    }

    // Truncated, so that an older, longer file keeps no tail.
    int fd = open(path, O_RDWR | O_TRUNC);
    if (fd < 0) {
        rl_log_err("%s open failed!\n", path);
        return -1;
    }
    bool written = check_write_all(fd, data, size);
    if (close(fd) != 0) written = false;
    if (!written) {
        unlink(path);
        rl_log_err("%s write failed!\n", path);
        return -1;
    }
    return 0;
}

int check_special_partition(const uint8_t* package, const Partition_Header* p) {
    switch (p->partition_type) {
        case PART_TYPE_UPGRADER_TOOL:
            return check_upgrader_tool(package, p);
        case PART_TYPE_MTD_CONFIG:
            rl_log_info("MTD CONFIG ppartition_addr->partition_type:%d\n",
                        static_cast<int>(p->partition_type));
            if (check_extract(kMtdConfPath, package + p->partition_offset, p->partition_size) == 0)
                mtd_config = 1;
            return UPD_MSG_MTD_CONFIG_SAVED;
        case PART_TYPE_CONFIG_MODIFY:
            rl_log_info("CONFIG MODIFY ppartition_addr->partition_type:%d\n",
                        static_cast<int>(p->partition_type));
            check_extract(kConfigModifyPath, package + p->partition_offset, p->partition_size);
            return UPD_MSG_CONFIG_MODIFY_SAVED;
        default:
            return UPD_MSG_PART_IGNORED;
    }
}
