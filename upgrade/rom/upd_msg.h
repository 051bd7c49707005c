// upd_msg: result codes of the package check, the environment reader and the
// flash writer, and their fixed log lines.
//
// Negative values refuse or fail, 0 is success, small positive values are
// per-partition outcomes. Results travel upward unchanged; the stage that detects
// a failure reports it once with update_msg_printf.
#pragma once

enum upd_msg_e {
    UPD_MSG_ARG_ADDR_ERR = -100,
    UPD_MSG_ROM_HEADER_KROM_ERR = -99,
    UPD_MSG_ROM_HEADER_CHECKSUM_ERR = -98,
    UPD_MSG_ROM_CHECKSUM_ERR = -97,
    UPD_MSG_OEM_VERSION_ERR = -96,
    UPD_MSG_MACHINE_ID_ERR = -95,
    UPD_MSG_MATCH_ID_ERR = -94,
    UPD_MSG_PART_HEADER_KPAT_ERR = -93,
    UPD_MSG_PART_HEADER_CHECKSUM_ERR = -92,
    UPD_MSG_PART_CHECKSUM_ERR = -91,
    UPD_MSG_PARTITION_ID_ERROR = -90,
    UPD_MSG_PARTITION_TYPE_ERROR = -89,
    UPD_MSG_READ_ENV_FAILED = -88,
    UPD_MSG_READ_HWVERSION_FAILED = -87,
    UPD_MSG_ROM_VERSION_SAME = -86,
    UPD_MSG_MTD_ENV_LOSED = -85,
    UPD_MSG_MTD_ADDR_ERR = -84,
    // "/dev/mtd%d" cannot be opened; logs the same line as UPD_MSG_MTD_ADDR_ERR.
    UPD_MSG_MTD_OPEN_ERR = -83,
    UPD_MSG_FLASH_ERASE_ERR = -82,
    UPD_MSG_FLASH_WRITE_ERR = -81,
    UPD_MSG_SET_ENV_FAILED = -80,
    UPD_MSG_PART_NUM_ERR = -79,
    UPD_MSG_MID_OEM_ERR = -78,
    UPD_MSG_PROTECT_HEADER_ERR = -77,
    UPD_MSG_PROTECT_OEM_ERR = -76,
    UPD_MSG_UNPROTECT_OEM_ERR = -75,
    UPD_MSG_SUCCESS = 0,
    UPD_MSG_PART_VERSION_SAME = 1,
    UPD_MSG_PART_IGNORED = 2,
    UPD_MSG_UPGRADER_TOOL_SAVED = 11,
    UPD_MSG_MTD_CONFIG_SAVED = 12,
    UPD_MSG_CONFIG_MODIFY_SAVED = 13,
};

// Logs the fixed line of `code` at error level with one call and no arguments:
// codes -100..-79 and 1 log their own name followed by "\n" (-83 logs
// "UPD_MSG_MTD_ADDR_ERR\n"); every other code logs nothing.
void update_msg_printf(int code);

// Name of the enumerator of `code` ("UPD_MSG_PART_CHECKSUM_ERR"), or nullptr
// for a value that is no upd_msg_e code (0 gives "UPD_MSG_SUCCESS").
// For tools and reports; the log lines come from update_msg_printf.
const char* upd_msg_name(int code);
