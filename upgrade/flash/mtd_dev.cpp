// The MTD operations on the real character devices.
#include "mtd_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "rl_log.h"

namespace {

// struct mtd_info_user of the kernel interface (32 bytes on every ABI we build).
struct mtd_info_user_t {
    uint8_t type;
    uint32_t flags;
    uint32_t size;
    uint32_t erasesize;
    uint32_t writesize;
    uint32_t oobsize;
    uint64_t padding;
};
static_assert(sizeof(mtd_info_user_t) == 32, "MEMGETINFO argument is 32 bytes");

struct erase_info_user_t {
    uint32_t start;
    uint32_t length;
};
static_assert(sizeof(erase_info_user_t) == 8, "MEMERASE argument is 8 bytes");

int dev_open(void*, int mtd) {
    char path[32];
    mtd_dev_path(path, sizeof path, mtd);
    return open(path, O_RDWR);
}

void dev_close(void*, int fd) { close(fd); }

int dev_get_erasesize(void*, int fd, uint32_t* erasesize) {
    mtd_info_user_t info;
    memset(&info, 0, sizeof info);
    if (ioctl(fd, static_cast<unsigned long>(MTD_REQ_MEMGETINFO), &info) < 0) {
        rl_log_err("MEMGETINFO failed: %s\n", strerror(errno));
        return -1;
    }
    *erasesize = info.erasesize;
    return 0;
}

int dev_erase(void*, int fd, uint32_t start, uint32_t length) {
    erase_info_user_t req = {start, length};
    if (ioctl(fd, static_cast<unsigned long>(MTD_REQ_MEMERASE), &req) < 0) {
        rl_log_err("MEMERASE at %x failed: %s\n", start, strerror(errno));
        return -1;
    }
    return 0;
}

int dev_seek(void*, int fd, uint32_t offset) {
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        rl_log_err("flash seek to %x failed: %s\n", offset, strerror(errno));
        return -1;
    }
    return 0;
}

long dev_read(void*, int fd, uint8_t* buf, uint32_t len) {
    ssize_t n;
    do {
        n = read(fd, buf, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) rl_log_err("flash read failed: %s\n", strerror(errno));
    return static_cast<long>(n);
}

long dev_write(void*, int fd, const uint8_t* buf, uint32_t len) {
    ssize_t n;
    do {
        n = write(fd, buf, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) rl_log_err("flash write failed: %s\n", strerror(errno));
    return static_cast<long>(n);
}

}  // namespace

const mtd_ops g_mtd_dev_ops = {nullptr,  dev_open,  dev_close, dev_get_erasesize,
                                dev_erase, dev_seek, dev_write, dev_read};

void mtd_dev_path(char* buf, unsigned int size, int mtd) { snprintf(buf, size, "/dev/mtd%d", mtd); }
