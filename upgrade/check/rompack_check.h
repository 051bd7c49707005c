// rompack_check: decides whether a ROM package may be installed on this device
// and which of its partitions must be written.
#pragma once

#include <cstdint>

#include "env.h"
#include "rom_format.h"

// Checks the package of `package_len` bytes at `package` (read only, never read
// beyond its length) against the device, in this order: header magics, sizes and
// checksums; the device environment (read_env into `env`, which is zero-filled
// first); every partition header with its data, its flash range and its device;
// special partitions (extracted to "/tmp/upgrader_tool", "/tmp/mtd.conf",
// "/config/config_modify"); the hardware id; the OEM, protection and MID rules
// (which may set the bootloader variables "SW_protect", "SW_OEM", "MID_VERSION");
// the hardware sub-id; the installed ROM version.
//
// Outputs, all owned by the caller: `env` (30 entries), `header` (the descrambled
// copy), `parts` (room for 16; one copy per partition examined) and `burn_flags`
// (room for 16; 1 = write the partition; entries of partitions not examined keep
// the caller's values). Sets `upgrader_tool_version` when an upgrader tool
// partition is met and `mtd_config` = 1 when the flash layout file was written.
//
// Returns 0 (install the flagged partitions), UPD_MSG_ROM_VERSION_SAME (-86: the
// same ROM is installed), UPD_MSG_UPGRADER_TOOL_SAVED (11: a newer upgrader tool
// was extracted and the check stopped there), -1 for a null pointer (nothing
// logged) or another negative upd_msg_e code (refused; outputs partly filled and
// not to be used). Every code but 0 and the null-pointer -1 is reported with
// update_msg_printf, as are the per-partition outcomes. Device only: runs shell
// commands and opens /dev/mtdN.
int upgrader_rompack_check(const uint8_t* package, uint32_t package_len, env_info* env,
                           Rom_Header* header, Partition_Header* parts, int* burn_flags);
