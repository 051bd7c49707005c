// burn: writes the selected partitions of a validated ROM package to their MTD
// devices while the upgrade screen's progress bar moves.
//
// Before anything is erased, every partition to be written is checked against
// its window "mtdN" of the device environment as it stands (a new layout may
// have changed it since the package check). Then each selected partition N
// gets its whole window, block by block (64 KiB): its `partition_size` bytes
// from the package at `partition_offset`, 0xFF behind them. A block that
// already holds what it should is neither erased nor written; every block
// written is read back and compared, and written once more after an erase when
// it reads back wrong (mtd_io.h). Nothing outside that range of the package is
// read. Partitions are handled one after the other; nothing is rolled back: a
// failure leaves earlier partitions written and the failing one partly erased
// or written. One line per partition tells the blocks in place, erased,
// written and retried.
#pragma once

#include <cstdint>

#include "env.h"
#include "mtd_io.h"
#include "rom_format.h"

class CBasicUI;

// Erases `count` 64 KiB blocks of the open MTD device `fd`, the first at byte
// `start`. 0, or -1 when the device geometry cannot be read, its erase size is
// not 65536, or an erase request fails.
int non_region_erase(int fd, int start, int count);

// Writes every partition whose flag is 1 (flags[i] belongs to headers[i]).
// While `upgrader_kernel_only` is 1 only partition_id 1 is written; the others
// are skipped but still count in the progress steps. The bar starts at 15, moves
// once per block of the erase phase and once per whole data block of the write
// phase, whether the block was left alone or not, and ends at 100.
// Returns 0, -1 for a null argument, or (already reported with
// update_msg_printf) -85 no "mtdN" entry or -84 a partition larger than its
// window (both before anything is erased), -83 the device does not open,
// -82 an erase failed, -81 a write failed or a block read back wrong twice.
int upgrader_burn_flash(const uint8_t* rom, env_info* env, int count, const Partition_Header* headers,
                        const int* flags, CBasicUI* ui);

// ---- The same over any MTD operation table and progress sink (tests) ----

typedef void (*burn_progress_fn)(void* ctx, int percent);

int burn_partitions(const mtd_ops* ops, burn_progress_fn progress, void* progress_ctx, const uint8_t* rom,
                    const env_info* env, int count, const Partition_Header* headers, const int* flags);
