// Result code names and their fixed log lines.
#include "upd_msg.h"

#include "rl_log.h"

namespace {

// Names of the codes -100 .. -75, indexed by code + 100.
const char* const g_upd_msg_fail_names[] = {
    "UPD_MSG_ARG_ADDR_ERR",
    "UPD_MSG_ROM_HEADER_KROM_ERR",
    "UPD_MSG_ROM_HEADER_CHECKSUM_ERR",
    "UPD_MSG_ROM_CHECKSUM_ERR",
    "UPD_MSG_OEM_VERSION_ERR",
    "UPD_MSG_MACHINE_ID_ERR",
    "UPD_MSG_MATCH_ID_ERR",
    "UPD_MSG_PART_HEADER_KPAT_ERR",
    "UPD_MSG_PART_HEADER_CHECKSUM_ERR",
    "UPD_MSG_PART_CHECKSUM_ERR",
    "UPD_MSG_PARTITION_ID_ERROR",
    "UPD_MSG_PARTITION_TYPE_ERROR",
    "UPD_MSG_READ_ENV_FAILED",
    "UPD_MSG_READ_HWVERSION_FAILED",
    "UPD_MSG_ROM_VERSION_SAME",
    "UPD_MSG_MTD_ENV_LOSED",
    "UPD_MSG_MTD_ADDR_ERR",
    "UPD_MSG_MTD_OPEN_ERR",
    "UPD_MSG_FLASH_ERASE_ERR",
    "UPD_MSG_FLASH_WRITE_ERR",
    "UPD_MSG_SET_ENV_FAILED",
    "UPD_MSG_PART_NUM_ERR",
    "UPD_MSG_MID_OEM_ERR",
    "UPD_MSG_PROTECT_HEADER_ERR",
    "UPD_MSG_PROTECT_OEM_ERR",
    "UPD_MSG_UNPROTECT_OEM_ERR",
};
constexpr int kFailCount = sizeof(g_upd_msg_fail_names) / sizeof(g_upd_msg_fail_names[0]);
static_assert(kFailCount == UPD_MSG_UNPROTECT_OEM_ERR - UPD_MSG_ARG_ADDR_ERR + 1);

// Log lines of the codes -100 .. 1, indexed by code + 100; nullptr logs nothing.
// Each is passed as the format itself, so none may contain '%'.
const char* const g_upd_msg_lines[] = {
    "UPD_MSG_ARG_ADDR_ERR\n",
    "UPD_MSG_ROM_HEADER_KROM_ERR\n",
    "UPD_MSG_ROM_HEADER_CHECKSUM_ERR\n",
    "UPD_MSG_ROM_CHECKSUM_ERR\n",
    "UPD_MSG_OEM_VERSION_ERR\n",
    "UPD_MSG_MACHINE_ID_ERR\n",
    "UPD_MSG_MATCH_ID_ERR\n",
    "UPD_MSG_PART_HEADER_KPAT_ERR\n",
    "UPD_MSG_PART_HEADER_CHECKSUM_ERR\n",
    "UPD_MSG_PART_CHECKSUM_ERR\n",
    "UPD_MSG_PARTITION_ID_ERROR\n",
    "UPD_MSG_PARTITION_TYPE_ERROR\n",
    "UPD_MSG_READ_ENV_FAILED\n",
    "UPD_MSG_READ_HWVERSION_FAILED\n",
    "UPD_MSG_ROM_VERSION_SAME\n",
    "UPD_MSG_MTD_ENV_LOSED\n",
    "UPD_MSG_MTD_ADDR_ERR\n",
    "UPD_MSG_MTD_ADDR_ERR\n",  // -83 shares the line of -84
    "UPD_MSG_FLASH_ERASE_ERR\n",
    "UPD_MSG_FLASH_WRITE_ERR\n",
    "UPD_MSG_SET_ENV_FAILED\n",
    "UPD_MSG_PART_NUM_ERR\n",
    nullptr, nullptr, nullptr, nullptr,  // -78 .. -75
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr,  // -74 .. 0
    "UPD_MSG_PART_VERSION_SAME\n",
};
static_assert(sizeof(g_upd_msg_lines) / sizeof(g_upd_msg_lines[0]) == 102);

}  // namespace

void update_msg_printf(int code) {
    // Shifted by 100 as an unsigned value so that codes far out of range
    // cannot overflow or index outside the table.
    unsigned int index = static_cast<unsigned int>(code) + 100u;
    if (index > 101u || g_upd_msg_lines[index] == nullptr) {
        return;
    }
    rl_log_err("%s", g_upd_msg_lines[index]);
}

const char* upd_msg_name(int code) {
    if (code >= UPD_MSG_ARG_ADDR_ERR && code < UPD_MSG_ARG_ADDR_ERR + kFailCount) {
        return g_upd_msg_fail_names[code - UPD_MSG_ARG_ADDR_ERR];
    }
    switch (code) {
    case UPD_MSG_SUCCESS: return "UPD_MSG_SUCCESS";
    case UPD_MSG_PART_VERSION_SAME: return "UPD_MSG_PART_VERSION_SAME";
    case UPD_MSG_PART_IGNORED: return "UPD_MSG_PART_IGNORED";
    case UPD_MSG_UPGRADER_TOOL_SAVED: return "UPD_MSG_UPGRADER_TOOL_SAVED";
    case UPD_MSG_MTD_CONFIG_SAVED: return "UPD_MSG_MTD_CONFIG_SAVED";
    case UPD_MSG_CONFIG_MODIFY_SAVED: return "UPD_MSG_CONFIG_MODIFY_SAVED";
    default: return nullptr;
    }
}
