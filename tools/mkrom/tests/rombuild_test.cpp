// Packages built here must read back through the installer's own checks with
// every field intact, for every scramble key and both header forms. Refusals
// of broken packages are rominfo_test's.
#include "rombuild.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rl_log.h"
#include "rominfo_report.h"

namespace {

const int g_quiet = (rl_log_reset_level(-1), 0);  // keep the host's syslog clean

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
    return v;
}

RomPackageSpec sample(uint8_t key, uint32_t header_size) {
    RomPackageSpec s;
    s.rom_header_size = header_size;
    s.rom_type = 0x0A0B0C0D;
    s.process_type = 1;
    s.device_id = 53;
    s.oem_id = 0x1234;
    s.rom_version = rombuild_version(2, 1, 0, 4);
    for (int i = 0; i < 16; ++i) s.match_id[i] = static_cast<uint8_t>(0xF0 - i);
    s.mid_version = 3;
    s.sw_protect = 1;
    s.scramble_key = key;
    s.partitions.push_back({0, 1, 5, 2, rombuild_version(1, 0, 0, 7), bytes(13, 1)});
    s.partitions.push_back({1, 0, 6, 255, rombuild_version(1, 0, 0, 56), bytes(1000, 7)});
    s.partitions.push_back({0, 0, 0, 6, rombuild_version(9, 8, 7, 6), {}});
    return s;
}

// Every form is read back by the package inspector (the installer's own
// checks); fix_checksums then reseals a changed data byte without undoing it.
TEST(Rombuild, ReaderGetsEveryFieldForEveryKeyAndForm) {
    const std::pair<uint8_t, uint32_t> forms[] = {{0, 128}, {1, 128}, {91, 128}, {92, 128},
                                                  {184, 128}, {255, 128}, {1, 124}};
    for (const auto& [key, size] : forms) {
        SCOPED_TRACE(testing::Message() << "key " << int(key) << " size " << size);
        const RomPackageSpec s = sample(key, size);
        RomLayout lay;
        std::vector<uint8_t> pkg = rombuild_package(s, &lay);
        EXPECT_EQ(lay.length, pkg.size());
        EXPECT_EQ(pkg.size() % 4, 0u);
        const RomInfoReport r = rominfo_analyze(pkg.data(), static_cast<uint32_t>(pkg.size()));
        ASSERT_EQ(r.code, 0) << r.message;
        const Rom_Header& h = r.header;
        const std::vector<uint32_t> got = {h.rom_header_size, h.rom_type, h.process_type,
            h.partition_num, h.device_id, h.oem_id, h.rom_version, h.rom_size, h.mid_version, h.sw_protect};
        const std::vector<uint32_t> want = {size, s.rom_type, s.process_type, 3, s.device_id,
            s.oem_id, s.rom_version, lay.length - lay.header_len, s.mid_version, s.sw_protect};
        EXPECT_EQ(got, want);
        EXPECT_EQ(memcmp(h.match_id, s.match_id, 16), 0);
        if (size == ROM_HEADER_SIZE) {
            EXPECT_EQ(h.scramble_key[0], key);
            EXPECT_EQ(h.shadow_rom_size, h.rom_size);
            EXPECT_EQ(h.shadow_rom_checksum, h.rom_checksum);
        }
        for (size_t k = 0; k < r.partitions.size(); ++k) {
            const RomPartitionSpec& ps = s.partitions[k];
            const Partition_Header& p = r.partitions[k].header;
            EXPECT_EQ(std::vector<uint32_t>({p.partition_type, p.process_type, p.partition_data_type,
                                             p.partition_id, p.partition_version, p.partition_offset}),
                      std::vector<uint32_t>({ps.partition_type, ps.process_type, ps.partition_data_type,
                                             ps.partition_id, ps.partition_version, lay.data_offset[k]}))
                << k;
            EXPECT_EQ(std::vector<uint8_t>(pkg.begin() + p.partition_offset,
                                           pkg.begin() + p.partition_offset + p.partition_size),
                      ps.data);
        }
        const uint32_t at = lay.data_offset[1] + 17;
        const uint8_t changed = pkg[at] ^= 0xFF;
        std::string error;
        ASSERT_TRUE(rombuild_fix_checksums(&pkg, &error)) << error;
        EXPECT_EQ(pkg[at], changed);
        EXPECT_EQ(rominfo_analyze(pkg.data(), static_cast<uint32_t>(pkg.size())).code, 0) << g_rom_error;
    }
}

// Only the 128-byte form and the older plain 124-byte form are built.
TEST(Rombuild, OtherHeaderSizesAreRefused) {
    for (uint32_t size : {126u, 132u, 164u}) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(rombuild_package(sample(0, size), &out, nullptr, &error)) << size;
        EXPECT_NE(error.find(std::to_string(size)), std::string::npos) << error;
    }
}

}  // namespace
