// The ROM header stage of the package check: every range is tested against the
// package length where it is first read, so a valid package meets the checks in
// their fixed order.
#include <cstring>

#include "check_steps.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

void check_log_header(const Rom_Header* h) {
    rl_log_debug("\nmagic_num: %x\n", h->magic_num);
    rl_log_debug("rom_header_size: %x\n", h->rom_header_size);
    rl_log_debug("rom_header_checksum: %x\n", h->rom_header_checksum);
    rl_log_debug("rom_type: %x\n", h->rom_type);
    rl_log_debug("process_type: %x\n", h->process_type);
    rl_log_debug("partition_num: %x\n", h->partition_num);
    rl_log_debug("device_id: %x\n", h->device_id);
    rl_log_debug("oem_id: %x\n", h->oem_id);
    rl_log_debug("rom_version: %x\n", h->rom_version);
    rl_log_debug("mid_version: %x\n", h->mid_version);
    rl_log_debug("sw_protect: %x\n", h->sw_protect);
    rl_log_debug("rom_size: %x\n", h->rom_size);
    rl_log_debug("rom_checksum: %x\n\n", h->rom_checksum);
}

int check_sums(const uint8_t* package, uint32_t package_len, const Rom_Header* h) {
    int ret = rom_check_header_range(h, package_len);
    if (ret != 0) return ret;
    rl_log_debug("\npaddr:%x pdat:%x\n", 8u, rom_le32(package + 8));
    rl_log_debug("len:%x\n", h->rom_header_size / 4 + 1);
    if (rom_header_sum(package, h) != 0) return UPD_MSG_ROM_HEADER_CHECKSUM_ERR;

    ret = rom_check_data_range(h, package_len);
    if (ret != 0) return ret;
    uint32_t sum = rom_data_sum(package, h);
    rl_log_debug("\npdat:%x len:%x\n", h->rom_header_size + 12, h->rom_size);
    rl_log_debug("last dat:%x %x\n", sum, h->rom_checksum);
    if (sum != h->rom_checksum) return UPD_MSG_ROM_CHECKSUM_ERR;
    return 0;
}

}  // namespace

int check_rom_header(const uint8_t* package, uint32_t package_len, env_info* env,
                     Rom_Header* header) {
    int ret = rom_check_package_len(package_len);
    if (ret != 0) return ret;
    uint32_t first = rom_le32(package);
    rl_log_debug("rom--------:0x%x\n", first);
    if (first != ROM_MAGIC) return UPD_MSG_ARG_ADDR_ERR;

    memset(env, 0, sizeof(env_info) * ENV_INFO_NUM);
    memset(header, 0, sizeof *header);
    rom_copy_header(header, package);
    ret = rom_check_header_size(header->rom_header_size);
    if (ret != 0) return ret;
    rom_descramble_header(header);
    check_log_header(header);

    if (header->rom_header_size >= ROM_HEADER_SIZE_MIN_SCRAMBLED &&
        header->ext_magic_num != ROM_MAGIC)
        return UPD_MSG_ROM_HEADER_KROM_ERR;
    if (header->partition_num > ROM_PARTITION_MAX) return UPD_MSG_PART_NUM_ERR;
    if (header->magic_num != ROM_MAGIC) return UPD_MSG_ROM_HEADER_KROM_ERR;
    return check_sums(package, package_len, header);
}
