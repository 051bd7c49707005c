// mtd_io: the few MTD device operations the flash writers need, behind a table
// of functions so the block logic can run against a simulated chip in tests.
//
// The device table (`g_mtd_dev_ops`) opens "/dev/mtd%d" read-write and issues
// the platform's MEMGETINFO / MEMERASE requests; everything built on it only
// runs on the device. The block helpers below take any table.
//
// Block writing (mtd_block_*): a window gets `size` bytes of data from its
// start; the target of each 64 KiB block is its share of the data, padded with
// 0xFF past the data's end (all 0xFF beyond the data). The erase phase reads a
// block first and leaves it alone when it already holds its target; the write
// phase writes the other blocks and reads each one back, erasing and writing
// it once more when it does not hold its target.
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
    // Moves the device's position to byte `offset`; 0 or -1.
    int (*seek)(void* ctx, int fd, uint32_t offset);
    // Stores up to `len` bytes at the device's current position, like write(2):
    // the count stored, or -1.
    long (*write)(void* ctx, int fd, const uint8_t* buf, uint32_t len);
    // Reads up to `len` bytes at the device's current position, like read(2):
    // the count read (0 at the device's end), or -1.
    long (*read)(void* ctx, int fd, uint8_t* buf, uint32_t len);
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

// Blocks whose in-place state a block run keeps: the whole 8 MiB chip. Blocks
// beyond are never found in place, so they are always erased and written.
#define MTD_TRACKED_BLOCKS 128u

// What a block run did to one window, for its syslog line.
struct mtd_block_counts {
    int in_place;  // already held their target: neither erased nor written
    int erased;    // erased by the erase phase
    int written;   // written, read back and compared
    int retried;   // read back wrong once, then erased and written again
};

// One window being written: the device, the data for its start, and what the
// erase phase found.
struct mtd_block_run {
    const mtd_ops* ops;
    int fd;
    int mtd;              // for the log lines
    const uint8_t* data;  // the window's data, `size` bytes
    uint32_t size;
    uint32_t in_place[MTD_TRACKED_BLOCKS / 32];
    mtd_block_counts counts;
};

void mtd_block_run_init(mtd_block_run* run, const mtd_ops* ops, int fd, int mtd, const uint8_t* data,
                        uint32_t size);

// Erase phase of block `block`: reads it and leaves it alone when it holds its
// target (a read that fails counts as not in place), otherwise erases it.
// 0, or -1 when the erase fails.
int mtd_block_prepare(mtd_block_run* run, uint32_t block);

// Write phase of block `block`: nothing for a block found in place or one
// without data; otherwise writes its data at the block's start, reads the block
// back and compares it with its target; on a mismatch erases, writes and
// compares once more. 0; -1 when a write fails or the block reads back wrong
// twice ("mtd%d block %u reads back wrong after a rewrite" at error level);
// -2 when the erase before the second write fails.
int mtd_block_program(mtd_block_run* run, uint32_t block);

// Logs "mtd%d blocks in place:%d erased:%d written:%d retried:%d\n" at info
// level.
void mtd_block_log(const mtd_block_run* run);
