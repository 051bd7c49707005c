// Fuzz target: the package check's parsing and checksum paths, driven with the
// exact package length, against a fixed device (listing, version files and
// hardware version below) and never reading past the input.
//
// Input: one mode byte, then the package. Mode bit 0 set: every checksum of the
// package is recomputed first (as the package builder does), so that mutations
// reach the partition and device stages instead of ending at a checksum.
//
// Stages run: check_rom_header and check_partitions (the device's /dev/mtdN are
// the sandbox's empty files; special partitions are replaced by a stand-in that
// reads their whole data range but extracts nothing), then the pure device
// rules: hardware id, OEM/protection/MID plan, sub-id, installed versions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check_rules.h"
#include "check_steps.h"
#include "env.h"
#include "fuzz_sandbox.h"
#include "rombuild.h"
#include "upd_msg.h"

namespace {

// The sample phone's bootloader listing and installed versions.
constexpr char kListing[] =
    "bootloaderVersion 1.2.3\n"
    "SW_protect 0\n"
    "MID_VERSION 0\n"
    "SW_OEM 0\n"
    "mtd0 0x90000000,0x90020000\n"
    "mtd1 0x90020000,0x90100000\n"
    "mtd2 0x90100000,0x90400000\n"
    "mtd3 0x90400000,0x90410000\n"
    "mtd4 0x90410000,0x90490000\n"
    "mtd5 0x90490000,0x90700000\n"
    "mtd6 0x90700000,0x90800000\n"
    "Mtd5Version 2.0.0.1\n";
constexpr uint8_t kHwver[HWVER_NUMBERS] = {53, 2, 0, 0, 5, 0, 0, 0};

env_info g_env[ENV_INFO_NUM];

volatile uint32_t g_sink;

}  // namespace

// Stand-in for the extraction of special partitions: the data range must have
// been checked against the package length before this is reached, so every
// byte of it is read (ASan reports a read past the input).
int check_special_partition(const uint8_t* package, const Partition_Header* part) {
    uint32_t sum = 0;
    const uint8_t* data = package + part->partition_offset;
    for (uint32_t i = 0; i < part->partition_size; ++i) sum += data[i];
    g_sink = sum;
    switch (part->partition_type) {
        case PART_TYPE_UPGRADER_TOOL: return UPD_MSG_UPGRADER_TOOL_SAVED;
        case PART_TYPE_MTD_CONFIG: return UPD_MSG_MTD_CONFIG_SAVED;
        case PART_TYPE_CONFIG_MODIFY: return UPD_MSG_CONFIG_MODIFY_SAVED;
        default: return UPD_MSG_PART_IGNORED;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    env_parse_listing(g_env, kListing, sizeof kListing - 1);
    env_add_text(g_env, "RomVersion", "1.0.0.1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 22)) return -1;
    const uint8_t mode = data[0];
    // An exact-size heap copy: any read past the package is an ASan report.
    std::vector<uint8_t> pkg(data + 1, data + size);
    if ((mode & 1) != 0) {
        std::string why;
        rombuild_fix_checksums(&pkg, &why);
    }
    const uint32_t len = static_cast<uint32_t>(pkg.size());
    uint8_t* copy = static_cast<uint8_t*>(malloc(len == 0 ? 1 : len));
    if (len != 0) memcpy(copy, pkg.data(), len);

    env_info env[ENV_INFO_NUM];
    Rom_Header header;
    Partition_Header parts[ROM_PARTITION_MAX];
    int burn[ROM_PARTITION_MAX];
    memset(burn, 0x7F, sizeof burn);
    int ret = check_rom_header(copy, len, env, &header);
    if (ret == 0) {
        if (header.partition_num > ROM_PARTITION_MAX) abort();  // the header stage lets no more through
        memcpy(env, g_env, sizeof g_env);
        ret = check_partitions(copy, len, env, &header, parts, burn);
        if (ret == 0) {
            for (uint32_t k = 0; k < header.partition_num; ++k) {
                if (burn[k] != 0 && burn[k] != 1) abort();  // every examined partition decided
            }
            ret = hw_id_match(kHwver[0], header.device_id);
            oem_plan plan = oem_rules(header.rom_header_size, env_decimal(env, "SW_OEM"),
                                      env_decimal(env, "MID_VERSION"), env_decimal(env, "SW_protect"),
                                      header.oem_id, header.mid_version, header.sw_protect);
            if (plan.result > 0) abort();  // refusals are negative
            if (ret == 0) ret = hw_sub_id_match(kHwver, header.match_id);
            char version[VERSION_TEXT_SIZE];
            version_text(header.rom_version, version);
            if (strlen(version) >= VERSION_TEXT_SIZE) abort();
        }
    }
    g_sink = static_cast<uint32_t>(ret);
    free(copy);
    return 0;
}
