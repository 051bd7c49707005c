// Block erase, complete writes and the verified block writing over any MTD
// operation table.
#include "mtd_io.h"

#include <cstring>

#include "burn.h"
#include "rl_log.h"

namespace {

// The writers' one read buffer: a block read for comparison.
uint8_t g_block_buf[FLASH_BLOCK_SIZE];

// Bytes of the run's data that fall into `block` (0 beyond the data).
uint32_t block_data_len(const mtd_block_run* run, uint32_t block) {
    const uint64_t start = static_cast<uint64_t>(block) * FLASH_BLOCK_SIZE;
    if (start >= run->size) return 0;
    const uint64_t left = run->size - start;
    return left < FLASH_BLOCK_SIZE ? static_cast<uint32_t>(left) : FLASH_BLOCK_SIZE;
}

// True when `block` reads back as its target; a failed or short read is false.
bool block_holds_target(const mtd_block_run* run, uint32_t block) {
    const mtd_ops* ops = run->ops;
    if (ops->seek(ops->ctx, run->fd, block * FLASH_BLOCK_SIZE) < 0) return false;
    uint32_t got = 0;
    while (got < FLASH_BLOCK_SIZE) {
        long n = ops->read(ops->ctx, run->fd, g_block_buf + got, FLASH_BLOCK_SIZE - got);
        if (n <= 0 || static_cast<unsigned long>(n) > FLASH_BLOCK_SIZE - got) return false;
        got += static_cast<uint32_t>(n);
    }
    const uint32_t len = block_data_len(run, block);
    if (len > 0 && memcmp(g_block_buf, run->data + static_cast<size_t>(block) * FLASH_BLOCK_SIZE, len) != 0)
        return false;
    for (uint32_t i = len; i < FLASH_BLOCK_SIZE; ++i)
        if (g_block_buf[i] != 0xFF) return false;
    return true;
}

int write_block(const mtd_block_run* run, uint32_t block, uint32_t len) {
    const mtd_ops* ops = run->ops;
    if (ops->seek(ops->ctx, run->fd, block * FLASH_BLOCK_SIZE) < 0) return -1;
    return mtd_write_fully(ops, run->fd, run->data + static_cast<size_t>(block) * FLASH_BLOCK_SIZE, len);
}

bool marked(const mtd_block_run* run, uint32_t block) {
    return block < MTD_TRACKED_BLOCKS && (run->in_place[block / 32] >> (block % 32) & 1u) != 0;
}

}  // namespace

int mtd_erase_blocks(const mtd_ops* ops, int fd, int start, int count) {
    uint32_t erasesize = 0;
    // Without the geometry nothing can be erased, and unerased flash must never
    // be written: the caller treats this as a failed erase.
    if (ops->get_erasesize(ops->ctx, fd, &erasesize) < 0) return -1;
    uint32_t offset = static_cast<uint32_t>(start);
    if (erasesize != FLASH_BLOCK_SIZE) {
        rl_log_err("------------FLASH_BLOCK_SIZE------ERROR---------------\n");
        // Requests of another size at 64 KiB steps would leave gaps or overlap.
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        if (ops->erase(ops->ctx, fd, offset, erasesize) < 0) return -1;
        offset += erasesize;
    }
    rl_log_debug("erase done\n");
    return 0;
}

int mtd_write_fully(const mtd_ops* ops, int fd, const uint8_t* src, uint32_t len) {
    uint32_t done = 0;
    while (done < len) {
        long n = ops->write(ops->ctx, fd, src + done, len - done);
        if (n <= 0 || static_cast<unsigned long>(n) > len - done) {
            if (n == 0) rl_log_err("flash write stored nothing at %x\n", done);
            return -1;
        }
        done += static_cast<uint32_t>(n);
    }
    return 0;
}

void mtd_block_run_init(mtd_block_run* run, const mtd_ops* ops, int fd, int mtd, const uint8_t* data,
                        uint32_t size) {
    memset(run, 0, sizeof *run);
    run->ops = ops;
    run->fd = fd;
    run->mtd = mtd;
    run->data = data;
    run->size = size;
}

int mtd_block_prepare(mtd_block_run* run, uint32_t block) {
    // A block whose state cannot be remembered is always erased and written.
    if (block < MTD_TRACKED_BLOCKS && block_holds_target(run, block)) {
        run->in_place[block / 32] |= 1u << (block % 32);
        ++run->counts.in_place;
        return 0;
    }
    if (mtd_erase_blocks(run->ops, run->fd, static_cast<int>(block * FLASH_BLOCK_SIZE), 1) < 0) return -1;
    ++run->counts.erased;
    return 0;
}

int mtd_block_program(mtd_block_run* run, uint32_t block) {
    const uint32_t len = block_data_len(run, block);
    if (len == 0 || marked(run, block)) return 0;
    ++run->counts.written;
    if (write_block(run, block, len) < 0) return -1;
    if (block_holds_target(run, block)) return 0;
    // Bits that did not program (a worn block): one more erase and write.
    rl_log_warn("mtd%d block %u reads back wrong, written again\n", run->mtd, block);
    ++run->counts.retried;
    if (mtd_erase_blocks(run->ops, run->fd, static_cast<int>(block * FLASH_BLOCK_SIZE), 1) < 0) return -2;
    if (write_block(run, block, len) < 0) return -1;
    if (block_holds_target(run, block)) return 0;
    rl_log_err("mtd%d block %u reads back wrong after a rewrite\n", run->mtd, block);
    return -1;
}

void mtd_block_log(const mtd_block_run* run) {
    rl_log_info("mtd%d blocks in place:%d erased:%d written:%d retried:%d\n", run->mtd, run->counts.in_place,
                run->counts.erased, run->counts.written, run->counts.retried);
}

int non_region_erase(int fd, int start, int count) { return mtd_erase_blocks(&g_mtd_dev_ops, fd, start, count); }
