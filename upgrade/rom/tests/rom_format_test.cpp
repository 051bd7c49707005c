// Copies, descrambling and checksums of ROM packages: stored headers from an
// independent generator, and sums over words whose bits say which were summed.
#include "rom_format.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <cstring>
#include <string>
#include <vector>

#include "private_ns.h"
#include "rl_log.h"
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

// Both keys rotate by one, in opposite directions: a reversed rotation, a wrong
// table entry or a mixed-up shadow field shows in the fields.
TEST(RomDescramble, KnownHeadersGiveTheirFields) {
    for (const uint8_t* stored : {kStoredKey1, kStoredKey91}) {
        SCOPED_TRACE(stored == kStoredKey1 ? "key 1" : "key 91");
        Rom_Header h;
        rom_copy_header(&h, stored);
        ASSERT_EQ(rom_descramble_header(&h), 0);
        // magic, size, type, process, partitions, device, oem, version, rom size and sum,
        // mid version, sw_protect, ext magic, then the three shadows back as plain values
        const std::vector<uint32_t> got = {h.magic_num, h.rom_header_size, h.rom_type,
            h.process_type, h.partition_num, h.device_id, h.oem_id, h.rom_version, h.rom_size,
            h.rom_checksum, h.mid_version, h.sw_protect, h.ext_magic_num, h.shadow_partition_num,
            h.shadow_rom_size, h.shadow_rom_checksum};
        const std::vector<uint32_t> want = {ROM_MAGIC, 128, 0x11223344, 0, 2, 53, 7, 0x02010004,
            0x450, 0xdeadbeef, 1, 1, ROM_MAGIC, 2, 0x450, 0xdeadbeef};
        EXPECT_EQ(got, want);
        const uint8_t match[16] = {3, 4, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113};
        EXPECT_EQ(memcmp(h.match_id, match, 16), 0);
        for (int i = 0; i < 36; ++i) EXPECT_EQ(h.reserved1[i], 0xA0 + i) << i;
    }
}

// The older 124-byte header is left as stored, with a warning; a size above
// the largest or not a multiple of 4 is refused with the header untouched.
TEST(RomDescramble, OtherSizesAreLeftAlone) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (uint32_t size : {124u, 168u, 134u, 0xFFFFFFFCu}) {
            coord_testing::SyslogClear();
            Rom_Header h;
            rom_copy_header(&h, kStoredKey1);
            h.rom_header_size = size;
            const Rom_Header before = h;
            EXPECT_EQ(rom_descramble_header(&h), size == 124 ? 0 : UPD_MSG_ROM_HEADER_CHECKSUM_ERR) << size;
            EXPECT_EQ(memcmp(&h, &before, sizeof(h)), 0) << size;
            const std::vector<SyslogRecord> logged = SyslogRecords();
            ASSERT_EQ(logged.size(), 1u) << size;
            EXPECT_EQ(logged[0].priority & LOG_PRIMASK, size == 124 ? LOG_WARNING : LOG_ERR);
            if (size == 124) {
                EXPECT_NE(logged[0].message.find(": ignore aes decrypt, invalid rom header size 124.\n"),
                          std::string::npos);
            }
        }
    }));
}

// The copies assemble little-endian words whatever the source's alignment, and
// the stores give the bytes back.
TEST(RomCopy, AnyAlignmentSameRecordAndStoreRestoresTheBytes) {
    uint8_t raw[140 + 3], back[140];
    for (size_t shift = 0; shift < 4; ++shift) {
        memcpy(raw + shift, kStoredKey91, 140);
        Rom_Header h;
        rom_copy_header(&h, raw + shift);
        EXPECT_EQ(h.rom_header_checksum, 0x5dbf273eu) << shift;
        EXPECT_EQ(h.scramble_key[0], 91) << shift;
        rom_store_header(back, &h);
        EXPECT_EQ(memcmp(back, kStoredKey91, 140), 0) << shift;
    }
    for (int i = 0; i < 45; ++i) raw[i] = static_cast<uint8_t>(i + 1);
    Partition_Header p;
    rom_copy_part_header(&p, raw + 1);
    EXPECT_EQ(p.magic_num, 0x05040302u);
    EXPECT_EQ(p.partition_offset, 0x2d2c2b2au);
    rom_store_part_header(back, &p);
    EXPECT_EQ(memcmp(back, raw + 1, 44), 0);
}

// Every start alignment, even, odd and empty word counts, against a
// word-by-word sum: the faster sum must not drop the odd last word, read past
// the range or mix up the byte order.
TEST(RomXor32, MatchesWordByWordSumAtAnyAlignmentAndLength) {
    std::vector<uint8_t> buf(4 * 67 + 8);
    uint32_t x = 0x9E3779B9u;
    for (auto& b : buf) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    for (uint32_t start = 0; start < 8; ++start) {
        for (uint32_t words : {0u, 1u, 2u, 3u, 4u, 5u, 16u, 17u, 66u, 67u}) {
            uint32_t want = 0;
            for (const uint8_t* w = &buf[start]; w < &buf[start + 4 * words]; w += 4) {
                want ^= w[0] | w[1] << 8 | w[2] << 16 | static_cast<uint32_t>(w[3]) << 24;
            }
            EXPECT_EQ(rom_xor32(&buf[start], words), want) << "start " << start << " words " << words;
        }
    }
}

// Word i of the buffer is 1 << i: a sum is the mask of exactly the words it
// covered, so a range off by a word shows.
uint32_t mask(uint32_t first_word, uint32_t words) {
    return ((1u << words) - 1) << first_word;
}

TEST(RomChecksums, EachSumCoversExactlyItsWords) {
    uint32_t b[32];
    for (uint32_t i = 0; i < 32; ++i) b[i] = 1u << i;  // the host is little-endian, as the device
    const auto* bytes = reinterpret_cast<const uint8_t*>(b);
    const struct {
        uint32_t header_size, rom_size, want_header, want_data;
    } rom_cases[] = {
        {16, 12, mask(2, 5), mask(7, 3)},  // header words 2..6 (size/4 + 1), data from byte 28
        {16, 15, mask(2, 5), mask(7, 3)},  // a trailing partial word is not summed
        {18, 3, mask(2, 5), 0},
        {0, 0, mask(2, 1), 0},
    };
    for (const auto& c : rom_cases) {
        Rom_Header h{};
        h.rom_header_size = c.header_size;
        h.rom_size = c.rom_size;
        EXPECT_EQ(rom_header_sum(bytes, &h), c.want_header) << c.header_size;
        EXPECT_EQ(rom_data_sum(bytes, &h), c.want_data) << c.header_size << "/" << c.rom_size;
    }
    Partition_Header p{};
    p.partition_header_size = 32;
    EXPECT_EQ(rom_part_header_sum(bytes, 12, &p), mask(5, 9));  // from byte 20, 9 words
    p.partition_offset = 40;
    for (uint32_t size : {9u, 2u}) {
        p.partition_size = size;
        EXPECT_EQ(rom_part_data_sum(bytes, &p), mask(10, size / 4)) << size;
    }
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
            const bool right = checksum == 0x04030201u;
            EXPECT_EQ(rom_check_part(pkg, sizeof(pkg), 0, &p), right ? 0 : UPD_MSG_PART_CHECKSUM_ERR);
            const std::vector<std::string> logged = coord_testing::SyslogLines();
            ASSERT_EQ(logged.size(), right ? 0u : 1u);
            if (!right) {
                EXPECT_NE(logged[0].find(": partition_checksum_cal:4030201 checksum:4030203\n"),
                          std::string::npos) << logged[0];
            }
        }
    }));
}

TEST(RomPartId, FlashSpecialAndInvalid) {
    const struct {
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
