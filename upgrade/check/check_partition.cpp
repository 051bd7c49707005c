// The partition stage of the package check: each header and its data, then its
// flash range and device and its burn flag, or the handling of a special
// partition.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "check_steps.h"
#include "rl_log.h"
#include "upd_msg.h"

namespace {

void check_log_part(const Partition_Header* p) {
    rl_log_debug("\nmagic_num: %x\n", p->magic_num);
    rl_log_debug("partition_header_size: %x\n", p->partition_header_size);
    rl_log_debug("partition_header_checksum: %x\n", p->partition_header_checksum);
    rl_log_debug("partition_type: %x\n", p->partition_type);
    rl_log_debug("process_type: %x\n", p->process_type);
    rl_log_debug("partition_data_type: %x\n", p->partition_data_type);
    rl_log_debug("partition_id: %x\n", p->partition_id);
    rl_log_debug("partition_version: %x\n", p->partition_version);
    rl_log_debug("partition_size: %x\n", p->partition_size);
    rl_log_debug("partition_checksum: %x\n", p->partition_checksum);
    rl_log_debug("partition_offset: %x\n\n\n", p->partition_offset);
}

// Header and data of the partition at `offset`, copied into *p.
int check_part_format(const uint8_t* package, uint32_t package_len, uint32_t offset,
                      Partition_Header* p) {
    int ret = rom_check_part_header_range(offset, package_len);
    if (ret != 0) return ret;
    rom_copy_part_header(p, package + offset);
    check_log_part(p);
    rl_log_debug("ppartition_addr:%x ppart_data_addr:%x\n", offset, p->partition_offset);
    if (rom_le32(package + offset) != PART_MAGIC) return UPD_MSG_PART_HEADER_KPAT_ERR;

    ret = rom_check_part_header_size_range(p, offset, package_len);
    if (ret != 0) return ret;
    if (rom_part_header_sum(package, offset, p) != 0) return UPD_MSG_PART_HEADER_CHECKSUM_ERR;

    rl_log_debug("ppart_dat:%x :%x\n", p->partition_offset, p->partition_size);
    ret = rom_check_part_data_range(p, package_len);
    if (ret != 0) return ret;
    uint32_t sum = rom_part_data_sum(package, p);
    if (sum != p->partition_checksum) {
        rl_log_err("partition_checksum_cal:%x checksum:%x\n", sum, p->partition_checksum);
        return UPD_MSG_PART_CHECKSUM_ERR;
    }
    return 0;
}

// Whether a flash partition must be written: forced, or its installed version is
// unknown or differs. Stores the flag.
void check_burn_flag(const env_info* env, const Rom_Header* header, const Partition_Header* p,
                     int* flag) {
    if (header->process_type == ROM_PROCESS_FORCED) {
        rl_log_info("rom force upgrade!\n");
        *flag = 1;
        return;
    }
    if (p->process_type == ROM_PROCESS_FORCED) {
        rl_log_info("mtd%d force upgrade!\n", static_cast<int>(p->partition_id));
        *flag = 1;
        return;
    }
    char name[ENV_NAME_SIZE];
    snprintf(name, sizeof name, "Mtd%dVersion", static_cast<int>(p->partition_id));
    unsigned int index = 0;
    if (get_mtd_info(env, name, &index) < 0) {
        rl_log_info("%s env isnot exist!\n", name);
        *flag = 1;
        return;
    }
    rl_log_info("%s name:%s value:%s\n", "upgrader_rompack_check", env[index].name, env[index].value);
    char version[VERSION_TEXT_SIZE];
    version_text(p->partition_version, version);
    rl_log_info("mtdn_version:%s version:%s\n", env[index].value, version);
    if (strcmp(env[index].value, version) != 0) {
        *flag = 1;
        return;
    }
    update_msg_printf(UPD_MSG_PART_VERSION_SAME);
    *flag = 0;
}

// A flash partition: its range in the device environment and its device.
int check_flash_partition(const env_info* env, const Rom_Header* header,
                          const Partition_Header* p, int* flag) {
    int ret = rom_check_part_id(p);
    if (ret != 0) return ret;
    char name[ENV_NAME_SIZE];
    snprintf(name, sizeof name, "mtd%d", static_cast<int>(p->partition_id));
    unsigned int index = 0;
    if (get_mtd_info(env, name, &index) < 0) {
        rl_log_err("%s isnot exist!\n", name);
        return UPD_MSG_MTD_ENV_LOSED;
    }
    const env_info& mtd = env[index];
    rl_log_info("%s start_addr:%x end_addr:%x\n", name, mtd.start_addr, mtd.end_addr);
    if (mtd.end_addr <= mtd.start_addr || mtd.end_addr - mtd.start_addr < p->partition_size)
        return UPD_MSG_MTD_ADDR_ERR;

    char dev[32];
    snprintf(dev, sizeof dev, "/dev/mtd%d", static_cast<int>(p->partition_id));
    int fd = open(dev, O_RDWR);
    if (fd < 0) {
        rl_log_err("%s open failed!\n", dev);
        return UPD_MSG_MTD_OPEN_ERR;
    }
    close(fd);
    check_burn_flag(env, header, p, flag);
    return 0;
}

}  // namespace

int check_partitions(const uint8_t* package, uint32_t package_len, const env_info* env,
                     const Rom_Header* header, Partition_Header* parts, int* burn_flags) {
    uint32_t count = header->partition_num;
    rl_log_debug("headers size:0x%x\n", count * PART_HEADER_LEN + ROM_HEADER_LEN);
    memset(parts, 0, sizeof(Partition_Header) * count);
    uint32_t offset = rom_first_part_offset(header);
    for (uint32_t k = 0; k < count; ++k) {
        Partition_Header* p = &parts[k];
        int ret = check_part_format(package, package_len, offset, p);
        if (ret != 0) return ret;
        if (p->partition_id < PART_ID_SPECIAL) {
            ret = check_flash_partition(env, header, p, &burn_flags[k]);
            if (ret != 0) return ret;
        } else {
            burn_flags[k] = 0;
            ret = check_special_partition(package, p);
            update_msg_printf(ret);
            if (ret == UPD_MSG_UPGRADER_TOOL_SAVED) return ret;
        }
        offset = rom_next_part_offset(offset, p);
    }
    return 0;
}
