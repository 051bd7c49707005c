// check_steps: the stages of upgrader_rompack_check, one file each. Every stage
// returns 0 to go on or the code that ends the check; the caller reports it.
#pragma once

#include <cstdint>

#include "check_rules.h"
#include "env.h"
#include "rom_format.h"

// The ROM header: length, magics, sizes, descrambling, both checksums. Zero-fills
// `env` and `header` before the copy.
int check_rom_header(const uint8_t* package, uint32_t package_len, env_info* env,
                     Rom_Header* header);

// Every partition header, its data, its flash range and device, its burn flag;
// special partitions are extracted. Returns 0, UPD_MSG_UPGRADER_TOOL_SAVED or a
// refusal code.
int check_partitions(const uint8_t* package, uint32_t package_len, const env_info* env,
                     const Rom_Header* header, Partition_Header* parts, int* burn_flags);

// One special partition (partition_id 255 and above): its outcome code.
int check_special_partition(const uint8_t* package, const Partition_Header* part);

// Writes `size` bytes to `path` (created with the shell's touch, then truncated).
// Returns 0, or -1 after "%s open failed!\n" or "%s write failed!\n"; a failed
// write leaves no file behind.
int check_extract(const char* path, const uint8_t* data, uint32_t size);

// The hardware version of the device into `hw`: 0 or UPD_MSG_READ_HWVERSION_FAILED.
int check_read_hwver(uint8_t hw[HWVER_NUMBERS]);

// The OEM, protection and MID rules, writing the variables they decide.
int check_oem(const env_info* env, const Rom_Header* header);

// The installed ROM version: 0, or UPD_MSG_ROM_VERSION_SAME.
int check_rom_version(const env_info* env, const Rom_Header* header);
