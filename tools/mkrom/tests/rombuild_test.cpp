// Packages built here must read back through the installer's own reader with
// every field intact, for every scramble key and both header forms.
#include "rombuild.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "aes.h"
#include "rl_log.h"

namespace {

const int g_quiet = (rl_log_reset_level(-1), 0);  // keep the host's syslog clean

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(seed + i * 13);
    }
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
    for (int i = 0; i < 16; ++i) {
        s.match_id[i] = static_cast<uint8_t>(0xF0 - i);
    }
    s.mid_version = 3;
    s.sw_protect = 1;
    s.scramble_key = key;
    s.partitions.push_back({0, 1, 5, 2, rombuild_version(1, 0, 0, 7), bytes(13, 1)});
    s.partitions.push_back({1, 0, 6, 255, rombuild_version(1, 0, 0, 56), bytes(1000, 7)});
    s.partitions.push_back({0, 0, 0, 6, rombuild_version(9, 8, 7, 6), {}});
    return s;
}

struct Exact {  // the package in a heap block of exactly its length
    std::unique_ptr<uint8_t[]> data;
    uint32_t len;
};

Exact exact(const std::vector<uint8_t>& pkg) {
    Exact e{std::unique_ptr<uint8_t[]>(new uint8_t[pkg.size()]), static_cast<uint32_t>(pkg.size())};
    memcpy(e.data.get(), pkg.data(), pkg.size());
    return e;
}

struct RoundTrip {
    uint8_t key;
    uint32_t header_size;
};

void PrintTo(const RoundTrip& r, std::ostream* os) { *os << "key " << int(r.key) << " size " << r.header_size; }

class RombuildRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RombuildRoundTrip, ReaderGetsEveryField) {
    const RomPackageSpec s = sample(GetParam().key, GetParam().header_size);
    RomLayout lay;
    const std::vector<uint8_t> pkg = rombuild_package(s, &lay);
    ASSERT_FALSE(pkg.empty());
    EXPECT_EQ(lay.length, pkg.size());
    EXPECT_EQ(pkg.size() % 4, 0u);
    Exact e = exact(pkg);

    Rom_Header h;
    ASSERT_EQ(rom_check_header(e.data.get(), e.len, &h), 0) << g_rom_error;
    EXPECT_EQ(h.rom_header_size, s.rom_header_size);
    EXPECT_EQ(h.rom_type, s.rom_type);
    EXPECT_EQ(h.process_type, s.process_type);
    EXPECT_EQ(h.partition_num, 3u);
    EXPECT_EQ(h.device_id, s.device_id);
    EXPECT_EQ(h.oem_id, s.oem_id);
    EXPECT_EQ(h.rom_version, s.rom_version);
    EXPECT_EQ(h.rom_size, lay.length - lay.header_len);
    EXPECT_EQ(memcmp(h.match_id, s.match_id, 16), 0);
    EXPECT_EQ(h.mid_version, s.mid_version);
    EXPECT_EQ(h.sw_protect, s.sw_protect);
    if (s.rom_header_size == ROM_HEADER_SIZE) {
        EXPECT_EQ(h.ext_magic_num, ROM_MAGIC);
        EXPECT_EQ(h.scramble_key[0], s.scramble_key);
        EXPECT_EQ(h.shadow_partition_num, h.partition_num);
        EXPECT_EQ(h.shadow_rom_size, h.rom_size);
        EXPECT_EQ(h.shadow_rom_checksum, h.rom_checksum);
    }

    uint32_t offset = rom_first_part_offset(&h);
    for (size_t k = 0; k < s.partitions.size(); ++k) {
        const RomPartitionSpec& ps = s.partitions[k];
        EXPECT_EQ(offset, lay.part_header_offset[k]);
        Partition_Header p;
        ASSERT_EQ(rom_check_part(e.data.get(), e.len, offset, &p), 0) << k << ": " << g_rom_error;
        EXPECT_EQ(p.partition_type, ps.partition_type);
        EXPECT_EQ(p.process_type, ps.process_type);
        EXPECT_EQ(p.partition_data_type, ps.partition_data_type);
        EXPECT_EQ(p.partition_id, ps.partition_id);
        EXPECT_EQ(p.partition_version, ps.partition_version);
        EXPECT_EQ(p.partition_size, ps.data.size());
        EXPECT_EQ(p.partition_offset % 4, 0u);
        EXPECT_EQ(p.partition_offset, lay.data_offset[k]);
        EXPECT_EQ(std::vector<uint8_t>(pkg.begin() + p.partition_offset,
                                       pkg.begin() + p.partition_offset + p.partition_size),
                  ps.data);
        offset = rom_next_part_offset(offset, &p);
    }
}

INSTANTIATE_TEST_SUITE_P(KeysAndForms, RombuildRoundTrip,
                         ::testing::Values(RoundTrip{0, 128}, RoundTrip{1, 128},
                                           RoundTrip{91, 128}, RoundTrip{92, 128},
                                           RoundTrip{184, 128}, RoundTrip{255, 128},
                                           RoundTrip{1, 124}),
                         [](const auto& p) {
                             return "Key" + std::to_string(p.param.key) + "Size" +
                                    std::to_string(p.param.header_size);
                         });

// The older 124-byte form is stored in plain: the fields sit at their offsets.
TEST(RombuildForms, HeaderSize124IsStoredPlain) {
    const std::vector<uint8_t> pkg = rombuild_package(sample(77, 124));
    ASSERT_FALSE(pkg.empty());
    EXPECT_EQ(rom_le32(&pkg[0x18]), 53u);
    EXPECT_EQ(rom_le32(&pkg[0x20]), rombuild_version(2, 1, 0, 4));
    EXPECT_EQ(rom_le32(&pkg[136]), PART_MAGIC);  // first partition header right after
}

// In the scrambled form nothing of the scrambled range is stored in plain.
TEST(RombuildForms, HeaderSize128HidesTheScrambledFields) {
    for (uint8_t key : {0, 1, 91}) {
        RomPackageSpec s = sample(key, 128);
        s.device_id = 0x35353535;
        const std::vector<uint8_t> pkg = rombuild_package(s);
        ASSERT_FALSE(pkg.empty());
        for (uint32_t off = 0x0C; off + 4 <= 0x68; off += 4) {
            EXPECT_NE(rom_le32(&pkg[off]), 0x35353535u) << int(key) << " at " << off;
        }
    }
}

TEST(RombuildForms, UnbuildableHeaderSizesAreRefused) {
    for (uint32_t size : {126u, 132u, 164u}) {
        RomPackageSpec s = sample(0, size);
        std::vector<uint8_t> pkg;
        std::string error;
        EXPECT_FALSE(rombuild_package(s, &pkg, nullptr, &error)) << size;
        EXPECT_NE(error.find(std::to_string(size)), std::string::npos) << error;
    }
}

// The scrambler is the exact inverse of the descrambler, for every key.
TEST(RombuildScramble, InvertsAesDecrypt) {
    const std::vector<uint8_t> plain = bytes(92, 3);
    for (int key = 0; key < 256; ++key) {
        std::vector<uint8_t> s(92), back(92);
        rombuild_scramble(static_cast<uint8_t>(key), s.data(), 92, plain.data());
        const uint8_t k = static_cast<uint8_t>(key);
        aes_decrypt(&k, back.data(), 92, s.data());
        ASSERT_EQ(back, plain) << key;
    }
}

// After bytes are changed, fix_checksums makes the package consistent again
// without undoing the change.
TEST(RombuildFix, ChangedDataIsResealedAndKept) {
    for (uint32_t header_size : {128u, 124u}) {
        RomLayout lay;
        std::vector<uint8_t> pkg = rombuild_package(sample(91, header_size), &lay);
        const uint32_t at = lay.data_offset[1] + 17;
        pkg[at] ^= 0xFF;
        Rom_Header h;
        EXPECT_EQ(rom_check_header(pkg.data(), static_cast<uint32_t>(pkg.size()), &h),
                  UPD_MSG_ROM_CHECKSUM_ERR);
        const uint8_t changed = pkg[at];
        std::string error;
        ASSERT_TRUE(rombuild_fix_checksums(&pkg, &error)) << error;
        EXPECT_EQ(pkg[at], changed);
        Exact e = exact(pkg);
        ASSERT_EQ(rom_check_header(e.data.get(), e.len, &h), 0) << g_rom_error;
        uint32_t offset = rom_first_part_offset(&h);
        for (uint32_t k = 0; k < h.partition_num; ++k) {
            Partition_Header p;
            ASSERT_EQ(rom_check_part(e.data.get(), e.len, offset, &p), 0) << g_rom_error;
            offset = rom_next_part_offset(offset, &p);
        }
        EXPECT_EQ(h.device_id, 53u);
    }
}

// Tweaked fields land in the package and everything else stays consistent.
TEST(RombuildTweak, TweakedFieldIsTheOnlyFault) {
    RomPackageSpec s = sample(1, 128);
    s.tweak = [](Rom_Header& h, std::vector<Partition_Header>& parts) {
        h.ext_magic_num = 0x12345678;
        parts[1].partition_checksum ^= 1;
    };
    const std::vector<uint8_t> pkg = rombuild_package(s);
    Rom_Header h;
    Exact e = exact(pkg);
    EXPECT_EQ(rom_check_header(e.data.get(), e.len, &h), UPD_MSG_ROM_HEADER_KROM_ERR);
    EXPECT_EQ(h.ext_magic_num, 0x12345678u);
    EXPECT_EQ(rom_header_sum(e.data.get(), &h), 0u);
    EXPECT_EQ(rom_data_sum(e.data.get(), &h), h.rom_checksum);
    Partition_Header p;
    EXPECT_EQ(rom_check_part(e.data.get(), e.len, rom_first_part_offset(&h), &p), 0);
    EXPECT_EQ(rom_check_part(e.data.get(), e.len, rom_next_part_offset(rom_first_part_offset(&h), &p), &p),
              UPD_MSG_PART_CHECKSUM_ERR);
}

}  // namespace
