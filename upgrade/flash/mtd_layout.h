// mtd_layout: adapting the running flash layout to the one a package brings,
// and writing the environment and configuration partitions back afterwards.
//
// Flash addresses (device environment, "/tmp/mtd.conf") lie in the processor's
// window 0x90000000..0x90800000; the kernel's move request takes offsets from the
// flash start (address - 0x90000000). All functions return 0 on success and -1
// on failure, with their log lines; none produces an upd_msg_e code.
//
// Order in an upgrade: kernel_support_mtd_repair_check at start; when the
// package brought a layout, mtd_config_moves_env_config tells whether the
// environment (mtd3) or configuration (mtd4) partition will move (the driver
// then holds the save-file lock before their copies are taken) and
// mtd_config_deal applies the layout; after the applications stopped,
// umount_config_mtd + mtd_write_saved_copy(4) when `config_mtd_write` is 1 and
// mtd_write_saved_copy(3) when `env_mtd_write` is 1; then the burn. Moved
// partitions are never moved back: every ending of a run after a move first
// calls mtd_restore_moved_partitions, so that the phone restarts with its
// variables and configuration in the moved windows.
#pragma once

#include <cstdint>

#include "env.h"
#include "mtd_io.h"

#define MTD_LAYOUT_FILE "/tmp/mtd.conf"
#define MTD_LAYOUT_ENTRIES 7

// The saved copies of the environment and configuration partitions: a good
// copy holds exactly the partition's size, which is also the size written back.
#define MTD_ENV_MTD 3
#define MTD_ENV_COPY "/tmp/mtdblock3"
#define MTD_ENV_COPY_SIZE 0x10000
#define MTD_CONFIG_MTD 4
#define MTD_CONFIG_COPY "/tmp/mtdblock4"
#define MTD_CONFIG_COPY_SIZE 0x80000

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

// Copies "/dev/mtdblock/3" and "/dev/mtdblock/4" to MTD_ENV_COPY and
// MTD_CONFIG_COPY, once per run: the first call takes both copies (up to 5
// attempts each, 1 s apart; an attempt counts only when the command succeeded
// and the file holds exactly MTD_ENV_COPY_SIZE / MTD_CONFIG_COPY_SIZE bytes).
// Every later call returns the first call's result without copying again, so
// a window that has moved meanwhile is never read as if it were the old one.
// 0 when both copies are good, else -1.
int cat_env_config_block();

// Handles one partition whose range differs: mtd3 and mtd4 move only when
// cat_env_config_block reports good copies, and after a successful move their
// `env_mtd_write` or `config_mtd_write` is set. The result is that of
// mtd_addr_repair, or -1 (nothing moved) when the copies are not good.
int mtd_diffrent_deal(int mtd, env_info* entry);

// 1 when the layout in "/tmp/mtd.conf", applied on this kernel
// (`kernel_support`), moves mtd3 or mtd4, so that their copies will be taken;
// 0 otherwise, also for a layout that mtd_config_deal refuses.
int mtd_config_moves_env_config(const env_info* env);

// Reads "/tmp/mtd.conf" (section "mtd", keys "mtd0".."mtd6", values
// "start,end" in hexadecimal) and compares it with the device environment `env`.
// Differences are moved with mtd_diffrent_deal when `kernel_support` is 1 (the
// environment entries follow each move); without support the first difference
// sets `upgrader_kernel_only` and returns 0. -1 with nothing moved for a
// missing, partial, reversed, unaligned or out-of-window entry, a missing
// "mtdN" in `env`, a new mtd3/mtd4 window whose size is not that of its saved
// copy, or copies that are not good (they are taken before the first move);
// -1 for a failed move (earlier moves stay).
int mtd_config_deal(env_info* env);

// Writes the file `path`, which must be exactly `size` bytes, over the first
// size/65536 blocks of "/dev/mtd<mtd>": blocks already holding the file are
// left alone, every block written is read back (mtd_io.h). 0 or -1.
int mtd_write(int mtd, int size, char* path);

// Writes the saved copy of mtd 3 or 4 into that partition's (moved) window
// with mtd_write and remembers a success. 0, or -1 (also for any other mtd).
int mtd_write_saved_copy(int mtd);

// For every partition that moved (`config_mtd_write`, `env_mtd_write`) and
// whose saved copy has not been written back yet: mtd_write_saved_copy, a
// failure logged at error level. 0 when no moved window is left without its
// copy, else -1.
int mtd_restore_moved_partitions();

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
typedef int (*mtd_copy_fn)();

// 1 when applying `table` with `support` moves mtd3 or mtd4, else 0.
int mtd_layout_moves_env_config(const env_info* env, const env_info* table, int support);

// Phase two of mtd_config_deal over a layout already read. Before anything
// moves: every entry must be in `env`, and when mtd3 or mtd4 will move, their
// new windows must have their copies' sizes and `copy` (called once) must
// succeed; else -1. Then compares entries 0..6 with `env` in order and moves
// differing ones with `move` when `support` is 1, else sets
// `upgrader_kernel_only` at the first difference.
int mtd_layout_apply(env_info* env, env_info* table, int support, mtd_move_fn move,
                     mtd_copy_fn copy);

// mtd_write over any MTD operation table.
int mtd_write_with(const mtd_ops* ops, int mtd, int size, const char* path);
