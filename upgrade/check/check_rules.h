// check_rules: the pure decisions of the package check (no files, no shell), so
// that the host tests and the fuzzer can drive them directly.
#pragma once

#include <cstdint>

#include "env.h"

#define HWVER_NUMBERS 8
#define HWVER_TEXT_SIZE 100
#define VERSION_TEXT_SIZE 16

// Formats a version word as "%d.%d.%d.%d", most significant byte first.
void version_text(uint32_t version, char out[VERSION_TEXT_SIZE]);

// Splits the hardware version text at '.' (runs of dots are one separator) into
// eight numbers, each kept as one byte. Returns 0 with "hw_version: ..." logged,
// or UPD_MSG_READ_HWVERSION_FAILED after "read hwver fail1\n" (a ninth number) or
// "hwver read fail2\n" (fewer than eight).
int hwver_parse(const char* text, uint8_t hw[HWVER_NUMBERS]);

// The hardware id (number 1 of the hardware version) against the package's
// device_id: equal, or one of the accepted pairs 1/53, 53/1, 52/55 (each logged).
// Returns 0 or UPD_MSG_MACHINE_ID_ERR (logged with both values).
int hw_id_match(uint8_t hw_id, uint32_t device_id);

// The hardware sub-id (low 4 bits of number 5) must be one of the 16 match_id
// bytes. Returns 0 or UPD_MSG_MATCH_ID_ERR after "match_id:%x\n".
int hw_sub_id_match(const uint8_t hw[HWVER_NUMBERS], const uint8_t match_id[16]);

// The leading decimal digits of the text of entry `name` (0 when the entry is
// missing or its text starts with no digit; saturates at 0xFFFFFFFF).
uint32_t env_decimal(const env_info* env, const char* name);

// What the OEM and protection rules decide for a package.
struct oem_plan {
    int result;       // 0 pass, or UPD_MSG_PROTECT_HEADER_ERR ... UPD_MSG_UNPROTECT_OEM_ERR
    int set_protect;  // -1: leave "SW_protect"; 0 or 1: write it
    int set_oem;      // 1: write "SW_OEM" = the package's oem_id
    int set_mid;      // -1: leave "MID_VERSION"; 0 or 1: write it (only on pass)
};

// Device values e_* (from the environment), header values h_* (rom_header_size,
// oem_id, mid_version, sw_protect). MID mode is on/off: a device and package that
// are both in MID mode, whatever their numbers, leave "MID_VERSION" alone.
oem_plan oem_rules(uint32_t header_size, uint32_t e_oem, uint32_t e_mid, uint32_t e_prot,
                   uint32_t h_oem, uint32_t h_mid, uint32_t h_prot);
