// Pure decisions of the package check: version texts, hardware version and ids,
// OEM / protection / MID rules.
#include "check_rules.h"

#include <cstdio>
#include <cstring>

#include "rl_log.h"
#include "upd_msg.h"

namespace {

// Value of one hardware version piece [p, end): optional blanks and sign, then
// decimal digits; the number is kept as one byte, as the device gives small ones.
uint8_t hwver_piece(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint32_t n = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) n = n * 10 + static_cast<uint32_t>(*p - '0');
    return static_cast<uint8_t>(negative ? 0u - n : n);
}

}  // namespace

void version_text(uint32_t version, char out[VERSION_TEXT_SIZE]) {
    snprintf(out, VERSION_TEXT_SIZE, "%d.%d.%d.%d", static_cast<int>(version >> 24),
             static_cast<int>((version >> 16) & 0xFF), static_cast<int>((version >> 8) & 0xFF),
             static_cast<int>(version & 0xFF));
}

int hwver_parse(const char* text, uint8_t hw[HWVER_NUMBERS]) {
    int count = 0;
    const char* p = text;
    while (*p != '\0') {
        while (*p == '.') ++p;
        if (*p == '\0') break;
        const char* end = p;
        while (*end != '\0' && *end != '.') ++end;
        if (count == HWVER_NUMBERS) {
            rl_log_err("read hwver fail1\n");
            return UPD_MSG_READ_HWVERSION_FAILED;
        }
        hw[count++] = hwver_piece(p, end);
        p = end;
    }
    if (count < HWVER_NUMBERS) {
        rl_log_err("hwver read fail2\n");
        return UPD_MSG_READ_HWVERSION_FAILED;
    }
    rl_log_info("hw_version: %d.%d.%d.%d.%d.%d.%d.%d\n", hw[0], hw[1], hw[2], hw[3], hw[4],
                hw[5], hw[6], hw[7]);
    return 0;
}

int hw_id_match(uint8_t hw_id, uint32_t device_id) {
    if (hw_id == device_id) return 0;
    if ((hw_id == 1 && device_id == 53) || (hw_id == 53 && device_id == 1)) {
        rl_log_err("hardware_version is 1\n");
        return 0;
    }
    if (hw_id == 52 && device_id == 55) {
        rl_log_err("Upgrade K65 rom on K62 device.");
        return 0;
    }
    rl_log_err("hardware_version:%x prom_header->device_id:%x\n", hw_id, device_id);
    return UPD_MSG_MACHINE_ID_ERR;
}

int hw_sub_id_match(const uint8_t hw[HWVER_NUMBERS], const uint8_t match_id[16]) {
    uint8_t sub_id = hw[4] & 0x0F;
    for (int i = 0; i < 16; ++i) {
        if (match_id[i] == sub_id) return 0;
    }
    rl_log_err("match_id:%x\n", sub_id);
    return UPD_MSG_MATCH_ID_ERR;
}

uint32_t env_decimal(const env_info* env, const char* name) {
    unsigned int index = 0;
    if (get_mtd_info(env, name, &index) < 0) return 0;
    const char* p = env[index].value;
    uint32_t n = 0;
    for (size_t i = 0; i < sizeof env[index].value && p[i] >= '0' && p[i] <= '9'; ++i) {
        uint32_t digit = static_cast<uint32_t>(p[i] - '0');
        if (n > (0xFFFFFFFFu - digit) / 10) return 0xFFFFFFFFu;
        n = n * 10 + digit;
    }
    return n;
}

oem_plan oem_rules(uint32_t header_size, uint32_t e_oem, uint32_t e_mid, uint32_t e_prot,
                   uint32_t h_oem, uint32_t h_mid, uint32_t h_prot) {
    oem_plan plan = {0, -1, 0, -1};
    if (header_size != 128) {
        // Older headers carry no protection data: a protected device refuses them.
        if (e_prot == 1) plan.result = UPD_MSG_PROTECT_HEADER_ERR;
    } else if (e_mid != 0 && h_mid != 0) {
        if (h_oem != e_oem) plan.result = UPD_MSG_MID_OEM_ERR;
    } else if (e_prot != 0) {
        if (h_oem != e_oem) {
            plan.result = UPD_MSG_PROTECT_OEM_ERR;
        } else if (h_mid != 0) {
            plan.set_protect = 0;
        } else if (h_prot == 0) {
            plan.result = UPD_MSG_PROTECT_OEM_ERR;
        }
    } else if (h_mid != 0 && (h_oem == e_oem || e_oem == 0)) {
        plan.set_protect = 1;
        plan.set_oem = 1;
    } else if (h_prot != 0 || h_mid != 0) {
        plan.result = UPD_MSG_UNPROTECT_OEM_ERR;
    } else {
        plan.set_oem = 1;
    }
    if (plan.result == 0 && (e_mid != 0) != (h_mid != 0)) plan.set_mid = e_mid == 0 ? 1 : 0;
    return plan;
}
