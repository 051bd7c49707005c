// Copies, descrambling, the word sum and range tests of ROM packages (a stored
// header from an independent generator), and the fixed log lines of the result
// codes. Which words each checksum covers is rominfo_test's (a changed byte at
// every offset of a package).
#include "rom_format.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "private_ns.h"
#include "rl_log.h"
#include "syslog_capture.h"
#include "upd_msg.h"

namespace {

// A stored header written by an independent generator: rom_type 0x11223344,
// process_type 0, partition_num 2, device_id 53, oem_id 7, rom_version 2.1.0.4,
// rom_size 0x450, rom_checksum 0xdeadbeef, match_id 3,4,100..113,
// mid_version 1, sw_protect 1, reserved bytes 0xa0.., ext magic, and the key
// byte 91 (rotation by 91 of 92 bytes: one to the right).
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

// A reversed rotation, a wrong table entry or a mixed-up shadow field shows in
// the fields.
TEST(RomDescramble, KnownHeaderGivesItsFields) {
    Rom_Header h;
    rom_copy_header(&h, kStoredKey91);
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

// The older 124-byte header is left as stored, with a warning; a size the
// range test refuses leaves it untouched too.
TEST(RomDescramble, OtherSizesAreLeftAlone) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (uint32_t size : {124u, 168u}) {
            Rom_Header h;
            rom_copy_header(&h, kStoredKey91);
            h.rom_header_size = size;
            const Rom_Header before = h;
            EXPECT_EQ(rom_descramble_header(&h), size == 124 ? 0 : UPD_MSG_ROM_HEADER_CHECKSUM_ERR) << size;
            EXPECT_EQ(memcmp(&h, &before, sizeof(h)), 0) << size;
        }
        const std::vector<SyslogRecord> logged = SyslogRecords();
        ASSERT_EQ(logged.size(), 2u);
        EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_WARNING);
        EXPECT_NE(logged[0].message.find(": ignore aes decrypt, invalid rom header size 124.\n"), std::string::npos);
    }));
}

// Every start alignment, even, odd and empty word counts, against a
// word-by-word sum: the faster sum must not drop the odd last word, read past
// the range or mix up the byte order.
TEST(RomXor32, MatchesWordByWordSumAtAnyAlignmentAndLength) {
    std::vector<uint8_t> buf(4 * 67 + 8);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 167 + i / 9 + 13);
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

// The range tests decide, before anything is read, whether a range lies in the
// package: exact fits pass, one byte more fails with the range's own code and
// one error line naming the range and the package length; sizes near 2^32 must
// not wrap around into the package. Exact fits, every length of whole packages
// and the wrapping size fields are rominfo_test's.
struct RangeCase {
    const char* what;
    std::function<int()> run;
    int want;              // 0 or the refusal code
    const char* in_text;   // expected in the error line (refusals only)
};

Rom_Header rom(uint32_t header_size, uint32_t rom_size) {
    Rom_Header h{};
    h.rom_header_size = header_size;
    h.rom_size = rom_size;
    return h;
}

Partition_Header part(uint32_t header_size, uint32_t offset, uint32_t size) {
    Partition_Header p{};
    p.partition_header_size = header_size;
    p.partition_offset = offset;
    p.partition_size = size;
    return p;
}

std::vector<RangeCase> cases() {
    return {
        {"package 139", [] { return rom_check_package_len(139); }, UPD_MSG_ARG_ADDR_ERR,
         "beyond package length 0x8b"},
        {"size 164", [] { return rom_check_header_size(164); }, 0, nullptr},
        {"size 168", [] { return rom_check_header_size(168); }, UPD_MSG_ROM_HEADER_CHECKSUM_ERR, "0xa8"},
        {"size 130", [] { return rom_check_header_size(130); }, UPD_MSG_ROM_HEADER_CHECKSUM_ERR, "0x82"},
        {"header 1 over", [] { auto h = rom(164, 0); return rom_check_header_range(&h, 175); },
         UPD_MSG_ARG_ADDR_ERR, "rom header range 0x0+0xb0 beyond package length 0xaf"},
        {"data 1 over", [] { auto h = rom(128, 61); return rom_check_data_range(&h, 200); },
         UPD_MSG_ROM_CHECKSUM_ERR, "rom data range 0x8c+0x3d beyond package length 0xc8"},
        {"part header 1 over", [] { return rom_check_part_header_range(157, 200); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "partition header range 0x9d+0x2c beyond package length 0xc8"},
        {"part size 4 over", [] { auto p = part(52, 140, 0); return rom_check_part_header_size_range(&p, 140, 200); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "partition header range 0x8c+0x40"},
        {"data part 1 over", [] { auto p = part(32, 184, 17); return rom_check_part_data_range(&p, 200); },
         UPD_MSG_PART_CHECKSUM_ERR, "partition data range 0xb8+0x11 beyond package length 0xc8"},
        {"data part unaligned", [] { auto p = part(32, 186, 2); return rom_check_part_data_range(&p, 200); },
         UPD_MSG_PART_CHECKSUM_ERR, "offset 0xba not a multiple of 4"},
        {"data part wraps", [] { auto p = part(32, 0x100, 0xFFFFFFFC); return rom_check_part_data_range(&p, 0xFFFFFFFF); },
         UPD_MSG_PART_CHECKSUM_ERR, "0x100+0xfffffffc"},
    };
}

TEST(RomRanges, BoundariesCodesAndTheOneErrorLine) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (const RangeCase& c : cases()) {
            coord_testing::SyslogClear();
            g_rom_error[0] = '\0';
            EXPECT_EQ(c.run(), c.want) << c.what;
            const std::vector<SyslogRecord> logged = SyslogRecords();
            if (c.want == 0) {
                EXPECT_TRUE(logged.empty()) << c.what;
                continue;
            }
            ASSERT_EQ(logged.size(), 1u) << c.what;
            EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_ERR) << c.what;
            const std::string& line = logged[0].message;
            EXPECT_NE(line.find(c.in_text), std::string::npos) << c.what << ": " << line;
            EXPECT_EQ(line.back(), '\n') << c.what;
            EXPECT_TRUE(g_rom_error[0] != '\0' && line.find(g_rom_error) != std::string::npos) << c.what;
        }
    }));
}

TEST(RomPartId, FlashSpecialAndInvalid) {
    const struct {
        uint32_t id, type;
        int want;
    } cases[] = {{0, 0, 0}, {6, 0, 0}, {7, 0, UPD_MSG_PARTITION_ID_ERROR}, {254, 0, UPD_MSG_PARTITION_ID_ERROR},
                 {255, 7, 0}, {0xFFFFFFFF, 1, 0}, {3, 1, UPD_MSG_PARTITION_TYPE_ERROR}, {7, 1, UPD_MSG_PARTITION_ID_ERROR}};
    for (const auto& c : cases) {
        Partition_Header p{};
        p.partition_id = c.id;
        p.partition_type = c.type;
        EXPECT_EQ(rom_check_part_id(&p), c.want) << c.id << "/" << c.type;
    }
}

// The fixed log line of a result code is the code's own name: codes -100..-79
// and 1 log it at error level (-83 borrows the line of -84), every other code,
// far out of range included, logs nothing and has no name.
TEST(UpdateMsgPrintf, LogsTheCodesOwnNameOrNothing) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (int code : {INT_MIN, INT_MAX, -101, 102}) {
            update_msg_printf(code);
            EXPECT_EQ(upd_msg_name(code), nullptr) << code;
        }
        EXPECT_TRUE(coord_testing::SyslogLines().empty());
        for (int code = -100; code <= 13; ++code) {
            coord_testing::SyslogClear();
            update_msg_printf(code);
            const std::vector<SyslogRecord> logged = SyslogRecords();
            if (code > UPD_MSG_PART_NUM_ERR && code != UPD_MSG_PART_VERSION_SAME) {
                EXPECT_TRUE(logged.empty()) << code;
                continue;
            }
            ASSERT_EQ(logged.size(), 1u) << code;
            EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_ERR) << code;
            const std::string& m = logged[0].message;
            const char* name = upd_msg_name(code == UPD_MSG_MTD_OPEN_ERR ? UPD_MSG_MTD_ADDR_ERR : code);
            ASSERT_NE(name, nullptr) << code;
            EXPECT_EQ(m.substr(m.find(": ") + 2), std::string(name) + "\n") << code;
        }
    }));
}

}  // namespace
