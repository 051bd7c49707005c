#include "rom_format.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <cstring>
#include <string>
#include <vector>

#include "rl_log.h"
#include "private_ns.h"
#include "syslog_capture.h"

namespace {

// Stored headers written by an independent generator: rom_type 0x11223344,
// process_type 0, partition_num 2, device_id 53, oem_id 7, rom_version 2.1.0.4,
// rom_size 0x450, rom_checksum 0xdeadbeef, match_id 3,4,100..113,
// mid_version 1, sw_protect 1, reserved bytes 0xa0.., ext magic, and the key
// byte 1 (rotation by one) or 91 (rotation by 91, the other direction's one).
const uint8_t kStoredKey1[140] = {
    0x4d, 0x4f, 0x52, 0x4b, 0x80, 0x00, 0x00, 0x00, 0xb1, 0x3d, 0x6a, 0x47, 0xf1, 0xb2,
    0x01, 0x94, 0x1b, 0xee, 0xee, 0xee, 0x02, 0x00, 0x00, 0x00, 0xee, 0x8f, 0xee, 0xee,
    0xee, 0x85, 0xee, 0xee, 0xee, 0xf2, 0xee, 0x2b, 0x50, 0x04, 0x00, 0x00, 0xef, 0xbe,
    0xad, 0xde, 0xc0, 0xb1, 0xf2, 0xd2, 0x1f, 0x58, 0xe5, 0x26, 0x63, 0xac, 0xe9, 0x2a,
    0x77, 0xb0, 0xfd, 0x3e, 0x7b, 0x2b, 0xee, 0xee, 0xee, 0x2b, 0xee, 0xee, 0xee, 0x8e,
    0xcb, 0x14, 0x51, 0x92, 0xdf, 0x18, 0xa5, 0xe6, 0x23, 0x6c, 0xa9, 0xea, 0x37, 0x70,
    0xbd, 0xfe, 0x3b, 0x44, 0x81, 0xc2, 0x0f, 0x48, 0x95, 0xd6, 0x13, 0x5c, 0x99, 0xda,
    0x67, 0xa0, 0xed, 0x2e, 0x6b, 0xb4, 0x4d, 0x4f, 0x52, 0x4b, 0xee, 0x74, 0xee, 0xee,
    0xee, 0x7d, 0xa0, 0x37, 0x74, 0x9e, 0xf2, 0xee, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};
const uint8_t kStoredKey91[140] = {
    0x4d, 0x4f, 0x52, 0x4b, 0x80, 0x00, 0x00, 0x00, 0x3e, 0x27, 0xbf, 0x5d, 0x01, 0x94,
    0x1b, 0xee, 0xee, 0xee, 0xee, 0x74, 0x02, 0x00, 0x00, 0x00, 0xee, 0xee, 0xee, 0x85,
    0xee, 0xee, 0xee, 0xf2, 0xee, 0x2b, 0x74, 0x9e, 0x50, 0x04, 0x00, 0x00, 0xef, 0xbe,
    0xad, 0xde, 0xf2, 0xd2, 0x1f, 0x58, 0xe5, 0x26, 0x63, 0xac, 0xe9, 0x2a, 0x77, 0xb0,
    0xfd, 0x3e, 0x7b, 0x2b, 0xee, 0xee, 0xee, 0x2b, 0xee, 0xee, 0xee, 0x8e, 0xcb, 0x14,
    0x51, 0x92, 0xdf, 0x18, 0xa5, 0xe6, 0x23, 0x6c, 0xa9, 0xea, 0x37, 0x70, 0xbd, 0xfe,
    0x3b, 0x44, 0x81, 0xc2, 0x0f, 0x48, 0x95, 0xd6, 0x13, 0x5c, 0x99, 0xda, 0x67, 0xa0,
    0xed, 0x2e, 0x6b, 0xb4, 0xf1, 0xb2, 0x4d, 0x4f, 0x52, 0x4b, 0xee, 0xee, 0xee, 0x8f,
    0xa0, 0x37, 0xc0, 0xb1, 0xf2, 0xee, 0xee, 0x7d, 0x00, 0x00, 0x00, 0x00, 0x5b, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

struct StoredHeader {
    const char* name;
    const uint8_t* bytes;
};
void PrintTo(const StoredHeader& h, std::ostream* os) { *os << h.name; }

class RomDescramble : public ::testing::TestWithParam<StoredHeader> {};

TEST_P(RomDescramble, KnownHeaderGivesItsFields) {
    Rom_Header h;
    rom_copy_header(&h, GetParam().bytes);
    ASSERT_EQ(rom_descramble_header(&h), 0);
    EXPECT_EQ(h.magic_num, ROM_MAGIC);
    EXPECT_EQ(h.rom_header_size, 128u);
    EXPECT_EQ(h.rom_type, 0x11223344u);
    EXPECT_EQ(h.process_type, 0u);
    EXPECT_EQ(h.partition_num, 2u);
    EXPECT_EQ(h.device_id, 53u);
    EXPECT_EQ(h.oem_id, 7u);
    EXPECT_EQ(h.rom_version, 0x02010004u);
    EXPECT_EQ(h.rom_size, 0x450u);
    EXPECT_EQ(h.rom_checksum, 0xdeadbeefu);
    const uint8_t match[16] = {3, 4, 100, 101, 102, 103, 104, 105,
                               106, 107, 108, 109, 110, 111, 112, 113};
    EXPECT_EQ(memcmp(h.match_id, match, 16), 0);
    EXPECT_EQ(h.mid_version, 1u);
    EXPECT_EQ(h.sw_protect, 1u);
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(h.reserved1[i], 0xA0 + i) << i;
    }
    EXPECT_EQ(h.ext_magic_num, ROM_MAGIC);
    // The stream words of the three plain fields come back as their values.
    EXPECT_EQ(h.shadow_partition_num, 2u);
    EXPECT_EQ(h.shadow_rom_size, 0x450u);
    EXPECT_EQ(h.shadow_rom_checksum, 0xdeadbeefu);
}

INSTANTIATE_TEST_SUITE_P(Keys, RomDescramble,
                         ::testing::Values(StoredHeader{"Key1", kStoredKey1},
                                           StoredHeader{"Key91", kStoredKey91}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(RomDescrambleShort, BelowCurrentSizeChangesNothingAndWarns) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        uint8_t stored[140];
        memcpy(stored, kStoredKey1, sizeof(stored));
        stored[4] = 124;
        Rom_Header h;
        rom_copy_header(&h, stored);
        Rom_Header before = h;
        EXPECT_EQ(rom_descramble_header(&h), 0);
        EXPECT_EQ(memcmp(&h, &before, sizeof(h)), 0);
        const std::vector<SyslogRecord> logged = SyslogRecords();
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_WARNING);
        EXPECT_NE(logged[0].message.find(": ignore aes decrypt, invalid rom header size 124.\n"),
                  std::string::npos);
    }));
}

TEST(RomDescrambleShort, OversizedOrUnalignedSizeIsRefusedUntouched) {
    for (uint32_t size : {168u, 132u + 2u, 0xFFFFFFFCu}) {
        Rom_Header h;
        rom_copy_header(&h, kStoredKey1);
        h.rom_header_size = size;
        Rom_Header before = h;
        EXPECT_EQ(rom_descramble_header(&h), UPD_MSG_ROM_HEADER_CHECKSUM_ERR) << size;
        EXPECT_EQ(memcmp(&h, &before, sizeof(h)), 0) << size;
    }
}

// The copy assembles little-endian words whatever the alignment of the source.
TEST(RomCopy, AnyAlignmentSameRecordAndStoreRestoresTheBytes) {
    for (size_t shift = 0; shift < 4; ++shift) {
        std::vector<uint8_t> buf(140 + shift);
        memcpy(buf.data() + shift, kStoredKey91, 140);
        Rom_Header h;
        rom_copy_header(&h, buf.data() + shift);
        EXPECT_EQ(h.magic_num, ROM_MAGIC);
        EXPECT_EQ(h.rom_header_checksum, 0x5dbf273eu);
        EXPECT_EQ(h.scramble_key[0], 91);
        uint8_t back[140];
        rom_store_header(back, &h);
        EXPECT_EQ(memcmp(back, kStoredKey91, 140), 0) << shift;
    }
    uint8_t raw[45];
    for (int i = 0; i < 45; ++i) {
        raw[i] = static_cast<uint8_t>(i + 1);
    }
    Partition_Header p;
    rom_copy_part_header(&p, raw + 1);
    EXPECT_EQ(p.magic_num, 0x05040302u);
    EXPECT_EQ(p.partition_offset, 0x2d2c2b2au);
    uint8_t back[44];
    rom_store_part_header(back, &p);
    EXPECT_EQ(memcmp(back, raw + 1, 44), 0);
}

// A buffer whose word i is 1 << i: the XOR of a run of words is a bit mask of
// exactly the words included, so a sum over a wrong range shows.
std::vector<uint8_t> bit_words() {
    std::vector<uint8_t> b(32 * 4);
    for (uint32_t i = 0; i < 32; ++i) {
        uint32_t w = 1u << i;
        memcpy(&b[4 * i], &w, 4);  // the test host is little-endian, as the device
    }
    return b;
}

uint32_t mask(uint32_t first_word, uint32_t words) {
    uint32_t m = 0;
    for (uint32_t i = 0; i < words; ++i) {
        m |= 1u << (first_word + i);
    }
    return m;
}

TEST(RomChecksums, EachSumCoversExactlyItsWords) {
    const std::vector<uint8_t> b = bit_words();
    Rom_Header h{};
    struct {
        uint32_t rom_header_size, rom_size, want_header, want_data;
    } rom_cases[] = {
        {16, 12, mask(2, 5), mask(7, 3)},   // header words 2..6, data from byte 28
        {16, 15, mask(2, 5), mask(7, 3)},   // trailing partial word not covered
        {18, 3, mask(2, 5), 0},             // size 18: 18/4+1 words; rom_size 3: none
        {0, 0, mask(2, 1), 0},
    };
    for (const auto& c : rom_cases) {
        h.rom_header_size = c.rom_header_size;
        h.rom_size = c.rom_size;
        EXPECT_EQ(rom_header_sum(b.data(), &h), c.want_header) << c.rom_header_size;
    }
    h.rom_header_size = 16;
    h.rom_size = 12;
    EXPECT_EQ(rom_data_sum(b.data(), &h), mask(7, 3));
    h.rom_size = 15;
    EXPECT_EQ(rom_data_sum(b.data(), &h), mask(7, 3));
    h.rom_size = 3;
    EXPECT_EQ(rom_data_sum(b.data(), &h), 0u);

    Partition_Header p{};
    p.partition_header_size = 32;
    EXPECT_EQ(rom_part_header_sum(b.data(), 12, &p), mask(5, 9));  // from byte 20, 9 words
    p.partition_offset = 40;
    p.partition_size = 9;
    EXPECT_EQ(rom_part_data_sum(b.data(), &p), mask(10, 2));
    p.partition_size = 2;
    EXPECT_EQ(rom_part_data_sum(b.data(), &p), 0u);
}

TEST(RomChecksums, StoredHeaderSumsToZeroAndAnyChangedByteBreaksIt) {
    Rom_Header h;
    rom_copy_header(&h, kStoredKey1);
    EXPECT_EQ(rom_header_sum(kStoredKey1, &h), 0u);
    for (size_t i = 8; i < 140; ++i) {  // bytes 0..7 are outside the sum (magic, size)
        uint8_t b[140];
        memcpy(b, kStoredKey1, 140);
        b[i] ^= 0x10;
        EXPECT_NE(rom_header_sum(b, &h), 0u) << "byte " << i;
    }
}

TEST(RomPartOffsets, FirstAndNext) {
    Rom_Header h{};
    h.rom_header_size = 124;
    EXPECT_EQ(rom_first_part_offset(&h), 136u);
    Partition_Header p{};
    p.partition_header_size = 40;
    EXPECT_EQ(rom_next_part_offset(136, &p), 188u);
}

// A partition of one word is checked like any other: a wrong checksum is
// refused with its code and the fixed error line naming both sums.
TEST(RomCheckPart, OneWordPartitionChecksum) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (uint32_t checksum : {0x04030201u, 0x04030203u}) {
            uint8_t pkg[48] = {};
            Partition_Header p{};
            p.magic_num = PART_MAGIC;
            p.partition_header_size = PART_HEADER_SIZE;
            p.partition_offset = 44;
            p.partition_size = 4;
            p.partition_checksum = checksum;
            rom_store_part_header(pkg, &p);
            p.partition_header_checksum = rom_xor32(pkg + 8, PART_HEADER_SIZE / 4 + 1);
            rom_store_part_header(pkg, &p);
            const uint8_t data[4] = {1, 2, 3, 4};
            memcpy(pkg + 44, data, 4);
            coord_testing::SyslogClear();
            Partition_Header out;
            const bool right = checksum == 0x04030201u;
            EXPECT_EQ(rom_check_part(pkg, sizeof(pkg), 0, &out), right ? 0 : UPD_MSG_PART_CHECKSUM_ERR);
            const std::vector<SyslogRecord> logged = SyslogRecords();
            ASSERT_EQ(logged.size(), right ? 0u : 1u);
            if (!right) {
                EXPECT_NE(logged[0].message.find(": partition_checksum_cal:4030201 checksum:4030203\n"),
                          std::string::npos) << logged[0].message;
            }
        }
    }));
}

TEST(RomPartId, FlashSpecialAndInvalid) {
    struct {
        uint32_t id, type;
        int want;
    } cases[] = {
        {0, 0, 0},   {6, 0, 0},   {7, 0, UPD_MSG_PARTITION_ID_ERROR},
        {254, 0, UPD_MSG_PARTITION_ID_ERROR},  {255, 7, 0}, {0xFFFFFFFF, 1, 0},
        {3, 1, UPD_MSG_PARTITION_TYPE_ERROR},  {7, 1, UPD_MSG_PARTITION_ID_ERROR},
    };
    for (const auto& c : cases) {
        Partition_Header p{};
        p.partition_id = c.id;
        p.partition_type = c.type;
        EXPECT_EQ(rom_check_part_id(&p), c.want) << c.id << "/" << c.type;
    }
}

}  // namespace
