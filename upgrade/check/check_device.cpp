// The device stages of the package check: the hardware version, the OEM and
// protection rules with the variables they set, and the installed ROM version.
#include <cstdio>
#include <cstring>

#include "check_steps.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

constexpr const char* kHwverCopy = "/tmp/ver_hardware";

void check_set_decimal(const char* name, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%u", value);
    do_set_env(name, text);
}

}  // namespace

int check_read_hwver(uint8_t hw[HWVER_NUMBERS]) {
    if (env_copy_proc("/proc/misc/hwver", kHwverCopy) < 0) return UPD_MSG_READ_HWVERSION_FAILED;
    FILE* f = fopen(kHwverCopy, "r");
    if (f == nullptr) return UPD_MSG_READ_HWVERSION_FAILED;
    // Terminated inside the buffer whatever the file holds.
    char text[HWVER_TEXT_SIZE];
    size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = '\0';
    rl_log_debug("hardware_version:%s\n", text);
    return hwver_parse(text, hw);
}

int check_oem(const env_info* env, const Rom_Header* header) {
    uint32_t e_oem = env_decimal(env, "SW_OEM");
    uint32_t e_mid = env_decimal(env, "MID_VERSION");
    uint32_t e_prot = env_decimal(env, "SW_protect");
    rl_log_debug("sw_oem :%d \n", static_cast<int>(e_oem));
    rl_log_debug("mid_version :%d \n", static_cast<int>(e_mid));
    rl_log_debug("sw_protect :%d \n", static_cast<int>(e_prot));

    oem_plan plan = oem_rules(header->rom_header_size, e_oem, e_mid, e_prot, header->oem_id,
                              header->mid_version, header->sw_protect);
    if (plan.set_protect >= 0) do_set_env("SW_protect", plan.set_protect ? "1" : "0");
    if (plan.set_oem) check_set_decimal("SW_OEM", header->oem_id);
    if (plan.result != 0) return plan.result;
    if (plan.set_mid >= 0) do_set_env("MID_VERSION", plan.set_mid ? "1" : "0");
    return 0;
}

int check_rom_version(const env_info* env, const Rom_Header* header) {
    if (header->process_type == ROM_PROCESS_FORCED) {
        rl_log_info("rom force upgrader!\n");
        return 0;
    }
    unsigned int index = 0;
    if (get_mtd_info(env, "RomVersion", &index) < 0) {
        rl_log_info("RomVersion env isnot exist!\n");
        return 0;
    }
    rl_log_info("%s name:%s value:%s\n", "upgrader_rompack_check", env[index].name,
                env[index].value);
    char version[VERSION_TEXT_SIZE];
    version_text(header->rom_version, version);
    rl_log_debug("rom_version_cmp:%s rom_version:%s\n", version, env[index].value);
    if (strcmp(version, env[index].value) == 0) return UPD_MSG_ROM_VERSION_SAME;
    return 0;
}
