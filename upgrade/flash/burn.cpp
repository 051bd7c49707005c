// The partition burner: progress arithmetic, erase and write of each selected
// partition.
#include "burn.h"

#include <cstdio>

#include "rl_log.h"
#include "upd_msg.h"
#include "upgrade_flags.h"

namespace {

// Reports `code` once and hands it back to the caller.
int burn_fail(int code) {
    update_msg_printf(code);
    return code;
}

struct burn_run {
    const mtd_ops* ops;
    burn_progress_fn progress;
    void* progress_ctx;
    int base;  // P: progress value at the start of the partition
    int step;  // D: progress span of one erase or one write phase
};

// True when the burn writes this partition: its flag is 1 and, in kernel-only
// mode, it is the kernel.
bool burns(const Partition_Header& hdr, int flag) {
    return flag == 1 && (upgrader_kernel_only != 1 || hdr.partition_id == 1);
}

// The window "mtdN" of the partition, or null after "%s isnot exist!".
const env_info* find_window(const env_info* env, const Partition_Header* hdr, char* name, unsigned int size) {
    snprintf(name, size, "mtd%d", static_cast<int>(hdr->partition_id));
    unsigned int index = 0;
    if (get_mtd_info(env, name, &index) < 0) {
        rl_log_err("%s isnot exist!\n", name);
        return nullptr;
    }
    return &env[index];
}

// Every partition the burn writes must fit its window as the device
// environment holds it now: a new layout applied after the package check may
// have shrunk a window, and a refusal must come before the first erase. The
// check's codes and lines: -85 no window, -84 a window too small.
int check_windows(const env_info* env, int count, const Partition_Header* headers, const int* flags) {
    for (int i = 0; i < count; ++i) {
        if (!burns(headers[i], flags[i])) continue;
        char name[16];
        const env_info* range = find_window(env, &headers[i], name, sizeof name);
        if (range == nullptr) return burn_fail(UPD_MSG_MTD_ENV_LOSED);
        if (range->end_addr <= range->start_addr || range->end_addr - range->start_addr < headers[i].partition_size) {
            rl_log_info("%s start_addr:%x end_addr:%x\n", name, range->start_addr, range->end_addr);
            return burn_fail(UPD_MSG_MTD_ADDR_ERR);
        }
    }
    return 0;
}

// The erase and write phases of one partition on its open device, with the
// progress calls of each block; 0 or the result code (not yet reported).
int burn_blocks(burn_run* run, mtd_block_run* blocks, const env_info* range) {
    const int d = run->step;
    const int erase_blocks = static_cast<int>((range->end_addr - range->start_addr) >> 16);
    for (int k = 0; k < erase_blocks; ++k) {
        if (mtd_block_prepare(blocks, static_cast<uint32_t>(k)) < 0) return UPD_MSG_FLASH_ERASE_ERR;
        run->progress(run->progress_ctx, run->base + (k * d) / erase_blocks);
    }

    const uint32_t size = blocks->size;
    const int write_blocks = static_cast<int>(size >> 16);
    rl_log_debug("blocks :%x size:%x\n", static_cast<unsigned int>(write_blocks), size);
    const int q = run->base + d;
    for (int j = 0; j <= write_blocks; ++j) {
        if (j == write_blocks) rl_log_debug("last size:%x\n", size & 0xFFFFu);
        const int rc = mtd_block_program(blocks, static_cast<uint32_t>(j));
        if (rc == -2) return UPD_MSG_FLASH_ERASE_ERR;
        if (rc < 0) return UPD_MSG_FLASH_WRITE_ERR;
        // The remainder, in the block after the whole ones, moves no bar.
        if (j < write_blocks) run->progress(run->progress_ctx, q + (j * d) / write_blocks);
    }
    run->base = q + d;
    return 0;
}

// Erases and writes one partition; 0 or the negative result code.
int burn_one(burn_run* run, const uint8_t* src, const env_info* env, const Partition_Header* hdr) {
    char name[16];
    const env_info* range = find_window(env, hdr, name, sizeof name);
    if (range == nullptr) return burn_fail(UPD_MSG_MTD_ENV_LOSED);
    rl_log_info("%s start_addr:%x end_addr:%x\n", name, range->start_addr, range->end_addr);

    MtdDevice dev(run->ops, static_cast<int>(hdr->partition_id));
    if (dev.fd() < 0) {
        char path[32];
        mtd_dev_path(path, sizeof path, static_cast<int>(hdr->partition_id));
        rl_log_err("%s open failed!\n", path);
        return burn_fail(UPD_MSG_MTD_OPEN_ERR);
    }
    mtd_block_run blocks;
    mtd_block_run_init(&blocks, run->ops, dev.fd(), static_cast<int>(hdr->partition_id), src, hdr->partition_size);
    const int rc = burn_blocks(run, &blocks, range);
    mtd_block_log(&blocks);
    return rc < 0 ? burn_fail(rc) : 0;
}

}  // namespace

int burn_partitions(const mtd_ops* ops, burn_progress_fn progress, void* progress_ctx, const uint8_t* rom,
                    const env_info* env, int count, const Partition_Header* headers, const int* flags) {
    if (ops == nullptr || progress == nullptr || rom == nullptr || env == nullptr || headers == nullptr ||
        flags == nullptr)
        return -1;

    unsigned int selected = 0;
    for (int i = 0; i < count; ++i)
        if (flags[i] == 1) ++selected;

    burn_run run = {ops, progress, progress_ctx, 15, 0};
    if (count <= 0) {
        progress(progress_ctx, 100);
        return 0;
    }
    const int fits = check_windows(env, count, headers, flags);
    if (fits < 0) return fits;
    for (int i = 0; i < count; ++i) {
        if (flags[i] != 1) continue;
        // Worked out here, where at least one partition is selected.
        run.step = static_cast<int>(85u / (2u * selected));
        if (upgrader_kernel_only == 1) {
            rl_log_info("upgrader_kernel_only is AVAILABLE \n");
            if (headers[i].partition_id != 1) {
                rl_log_info("ppartition_addr->partition_id:%x\n", headers[i].partition_id);
                continue;
            }
        }
        int rc = burn_one(&run, rom + headers[i].partition_offset, env, &headers[i]);
        if (rc < 0) return rc;
    }
    progress(progress_ctx, 100);
    return 0;
}
