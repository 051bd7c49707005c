// Block erase and complete writes over any MTD operation table.
#include "mtd_io.h"

#include "burn.h"
#include "rl_log.h"

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

int non_region_erase(int fd, int start, int count) { return mtd_erase_blocks(&g_mtd_dev_ops, fd, start, count); }
