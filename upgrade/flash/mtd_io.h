// mtd_io: the few MTD device operations the flash writers need, behind a table
// of functions so the block logic can run against a simulated chip in tests.
//
// The device table (`g_mtd_dev_ops`) opens "/dev/mtd%d" read-write and issues
// the platform's MEMGETINFO / MEMERASE requests; everything built on it only
// runs on the device. The block helpers below take any table.
#pragma once

#include <cstdint>

// Flash block size the installer erases and writes in.
#define FLASH_BLOCK_SIZE 65536u

// MTD requests as the device's (MIPS) kernel headers encode them.
#define MTD_REQ_MEMGETINFO 0x40204D01u  // struct mtd_info_user, 32 bytes, out
#define MTD_REQ_MEMERASE 0x80084D02u    // u32 start, u32 length, in

struct mtd_ops {
    void* ctx;
    // Opens MTD device `mtd` read-write; a descriptor, or -1 (errno set).
    int (*open)(void* ctx, int mtd);
    void (*close)(void* ctx, int fd);
    // Reads the device's erase size; 0, or -1 when the request fails.
    int (*get_erasesize)(void* ctx, int fd, uint32_t* erasesize);
    // Erases `length` bytes from byte `start` of the device; 0 or -1.
    int (*erase)(void* ctx, int fd, uint32_t start, uint32_t length);
    // Stores up to `len` bytes at the device's current position, like write(2):
    // the count stored, or -1.
    long (*write)(void* ctx, int fd, const uint8_t* buf, uint32_t len);
};

// The real devices: "/dev/mtd%d", ioctl, write.
extern const mtd_ops g_mtd_dev_ops;

// Writes "/dev/mtd%d" for `mtd` into `buf` (cut to `size`).
void mtd_dev_path(char* buf, unsigned int size, int mtd);

// Owns a descriptor opened through an operation table; closes it when it goes.
class MtdDevice {
public:
    MtdDevice(const mtd_ops* ops, int mtd) : ops_(ops), fd_(ops->open(ops->ctx, mtd)) {}
    ~MtdDevice() {
        if (fd_ >= 0) ops_->close(ops_->ctx, fd_);
    }
    MtdDevice(const MtdDevice&) = delete;
    MtdDevice& operator=(const MtdDevice&) = delete;
    int fd() const { return fd_; }  // -1 when the open failed

private:
    const mtd_ops* ops_;
    int fd_;
};

// Erases `count` consecutive 64 KiB blocks, the first at byte `start`, each with
// one erase request of the device's own erase size. Returns 0, or -1 when the
// erase size cannot be read, is not 65536 (after the
// "------------FLASH_BLOCK_SIZE------ERROR---------------\n" line: blocks of
// another size would leave parts unerased) or an erase request fails. A count of
// 0 or less erases nothing and succeeds.
int mtd_erase_blocks(const mtd_ops* ops, int fd, int start, int count);

// Stores exactly `len` bytes from `src`: a write that stores fewer bytes is
// continued from the first byte not yet stored; a write that fails or stores
// nothing ends it. Returns 0, or -1 (then some prefix of `src` was stored).
int mtd_write_fully(const mtd_ops* ops, int fd, const uint8_t* src, uint32_t len);
