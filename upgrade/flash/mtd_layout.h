// mtd_layout: adapting the running flash layout to the one a package brings,
// and writing the environment and configuration partitions back afterwards.
//
// Flash addresses (device environment, "/tmp/mtd.conf") lie in the processor's
// window 0x90000000..0x90800000; the kernel's move request takes offsets from the
// flash start (address - 0x90000000). All functions return 0 on success and -1
// on failure, with their log lines; none produces an upd_msg_e code.
//
// Order in an upgrade: kernel_support_mtd_repair_check at start; mtd_config_deal
// when the package brought a layout; after the applications stopped,
// umount_config_mtd + mtd_write(4, 524288, "/tmp/mtdblock4") when
// `config_mtd_write` is 1 and mtd_write(3, 65536, "/tmp/mtdblock3") when
// `env_mtd_write` is 1; then the burn. Moved partitions are never moved back.
#pragma once

#include <cstdint>

#include "env.h"
#include "mtd_io.h"

#define MTD_LAYOUT_FILE "/tmp/mtd.conf"
#define MTD_LAYOUT_ENTRIES 7

// Kernel requests of this platform on "/dev/mtd%d".
#define MTD_REQ_REPAIR_CHECK 0x40044D12u  // no argument; 0 when moving is supported
#define MTD_REQ_ADDR_REPAIR 0x80084D11u   // u32 offset from flash start, u32 size

// 1 when /dev/mtd0 or /dev/mtd1 accepts the support query with 0, else 0.
int kernel_support_mtd_repair_check();

// Moves partition `mtd` (0..6) to `size` bytes from flash offset `offset`.
// -1 for mtd 7 or above (no device touched), an open or request failure.
int mtd_addr_repair(int mtd, int offset, int size);

// Unmounts "/etc/" and "/config/" (up to 5 attempts, 1 s apart). 0 or -1.
int umount_config_mtd();

// Copies "/dev/mtdblock/3" and "/dev/mtdblock/4" to "/tmp/mtdblock3" and
// "/tmp/mtdblock4" (up to 5 attempts each, 1 s apart; a copy counts when the
// file exists and is not empty). Once both copies are made, later calls return
// 0 at once. -1 when a copy could not be made.
int cat_env_config_block();

// Handles one partition whose range differs: for mtd3 or mtd4 first copies both
// partitions (result not looked at) and sets `env_mtd_write` or
// `config_mtd_write`; then moves the partition to entry->start_addr ..
// entry->end_addr. The result is that of mtd_addr_repair.
int mtd_diffrent_deal(int mtd, env_info* entry);

// Reads "/tmp/mtd.conf" (section "mtd", keys "mtd0".."mtd6", values
// "start,end" in hexadecimal) and compares it with the device environment `env`.
// Differences are moved with mtd_diffrent_deal when `kernel_support` is 1 (the
// environment entries follow each move); without support the first difference
// sets `upgrader_kernel_only` and returns 0. -1 for a missing, partial,
// reversed, unaligned or out-of-window entry (nothing compared or moved), a
// missing "mtdN" in `env`, or a failed move (earlier moves stay).
int mtd_config_deal(env_info* env);

// Writes the file `path`, which must be exactly `size` bytes, over the first
// size/65536 blocks of "/dev/mtd<mtd>": blocks already holding the file are
// left alone, every block written is read back (mtd_io.h). 0 or -1.
int mtd_write(int mtd, int size, char* path);

// ---- Building blocks (no fixed paths; used above and by tests) ----

// Scans a layout value "start,end" and checks it: two hexadecimal numbers,
// start < end, both within 0x90000000..0x90800000 (end may equal the top) and
// both multiples of 0x10000. 0 and the two numbers, or -1.
int mtd_layout_parse(const char* value, uint32_t* start, uint32_t* end);

// Reads all MTD_LAYOUT_ENTRIES entries of a layout file into `table` (cleared
// first; name, start_addr and end_addr of each). 0, or -1 at the first entry
// that is missing or refused by mtd_layout_parse.
int mtd_layout_read(const char* path, env_info* table);

typedef int (*mtd_move_fn)(int mtd, env_info* entry);

// Phase two of mtd_config_deal over a layout already read: compares entries
// 0..6 with `env` in order and moves differing ones with `move` when `support`
// is 1, else sets `upgrader_kernel_only` at the first difference.
int mtd_layout_apply(env_info* env, env_info* table, int support, mtd_move_fn move);

// mtd_write over any MTD operation table.
int mtd_write_with(const mtd_ops* ops, int mtd, int size, const char* path);
