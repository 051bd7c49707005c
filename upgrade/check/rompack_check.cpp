// upgrader_rompack_check: the package check, stage by stage in its fixed order.
#include "rompack_check.h"

#include "check_steps.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

int check_refuse(int code) {
    update_msg_printf(code);
    return code;
}

}  // namespace

int upgrader_rompack_check(const uint8_t* package, uint32_t package_len, env_info* env,
                           Rom_Header* header, Partition_Header* parts, int* burn_flags) {
    if (package == nullptr || env == nullptr || header == nullptr || parts == nullptr ||
        burn_flags == nullptr)
        return -1;

    int ret = check_rom_header(package, package_len, env, header);
    if (ret != 0) return check_refuse(ret);

    ret = read_env(env);
    if (ret < 0) return check_refuse(ret);

    ret = check_partitions(package, package_len, env, header, parts, burn_flags);
    if (ret != 0) return check_refuse(ret);

    rl_log_debug("rom_upgrade_check start\n");
    uint8_t hw[HWVER_NUMBERS] = {};
    ret = check_read_hwver(hw);
    if (ret == 0) ret = hw_id_match(hw[0], header->device_id);
    if (ret == 0) ret = check_oem(env, header);
    // The variable writes above stand even when the sub-id refuses the package.
    if (ret == 0) ret = hw_sub_id_match(hw, header->match_id);
    if (ret == 0) ret = check_rom_version(env, header);
    if (ret != 0) return check_refuse(ret);
    return 0;
}
