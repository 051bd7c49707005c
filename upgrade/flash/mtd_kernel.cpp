// The platform kernel's partition-move requests.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "mtd_layout.h"
#include "rl_log.h"

int kernel_support_mtd_repair_check() {
    rl_log_debug("kernel_support_mtd_repair_check \n");
    for (int n = 0; n <= 1; ++n) {
        char path[32];
        mtd_dev_path(path, sizeof path, n);
        int fd = open(path, O_RDWR);
        if (fd < 0) {
            rl_log_debug("%s open failed!\n", path);
            return 0;
        }
        if (ioctl(fd, static_cast<unsigned long>(MTD_REQ_REPAIR_CHECK), nullptr) == 0) {
            close(fd);
            return 1;
        }
        rl_log_debug("%s ioctl failed!\n", path);
        close(fd);
    }
    return 0;
}

int mtd_addr_repair(int mtd, int offset, int size) {
    if (mtd >= MTD_LAYOUT_ENTRIES || mtd < 0) return -1;
    char path[32];
    mtd_dev_path(path, sizeof path, mtd);
    int fd = open(path, O_RDWR);
    if (fd < 0) {
        rl_log_debug("%s open failed!\n", path);
        return -1;
    }
    rl_log_debug("offset:%x size:%x\n", static_cast<unsigned int>(offset), static_cast<unsigned int>(size));
    struct {
        uint32_t offset;
        uint32_t size;
    } req = {static_cast<uint32_t>(offset), static_cast<uint32_t>(size)};
    static_assert(sizeof req == 8, "move request argument is 8 bytes");
    if (ioctl(fd, static_cast<unsigned long>(MTD_REQ_ADDR_REPAIR), &req) < 0) {
        rl_log_debug("%s ioctl failed!\n", path);
        close(fd);
        return -1;
    }
    close(fd);
    return 0;
}
