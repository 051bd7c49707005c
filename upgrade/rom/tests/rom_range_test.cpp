// The range tests decide, before anything is read, whether a range lies in the
// package: exact fits pass, one byte more fails with the range's own code and
// one error line naming the range and the package length; sizes near 2^32 must
// not wrap around into the package.
#include <gtest/gtest.h>
#include <syslog.h>

#include <functional>
#include <string>

#include "rl_log.h"
#include "rom_format.h"
#include "private_ns.h"
#include "syslog_capture.h"

namespace {

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
        {"package 140", [] { return rom_check_package_len(140); }, 0, nullptr},
        {"package 139", [] { return rom_check_package_len(139); }, UPD_MSG_ARG_ADDR_ERR,
         "beyond package length 0x8b"},
        {"package 0", [] { return rom_check_package_len(0); }, UPD_MSG_ARG_ADDR_ERR,
         "package length 0x0"},
        {"size 164", [] { return rom_check_header_size(164); }, 0, nullptr},
        {"size 124", [] { return rom_check_header_size(124); }, 0, nullptr},
        {"size 168", [] { return rom_check_header_size(168); }, UPD_MSG_ROM_HEADER_CHECKSUM_ERR, "0xa8"},
        {"size 130", [] { return rom_check_header_size(130); }, UPD_MSG_ROM_HEADER_CHECKSUM_ERR, "0x82"},
        {"header fits", [] { auto h = rom(164, 0); return rom_check_header_range(&h, 176); }, 0, nullptr},
        {"header 1 over", [] { auto h = rom(164, 0); return rom_check_header_range(&h, 175); },
         UPD_MSG_ARG_ADDR_ERR, "rom header range 0x0+0xb0 beyond package length 0xaf"},
        {"header wraps", [] { auto h = rom(0xFFFFFFF8, 0); return rom_check_header_range(&h, 0xFFFFFFFF); },
         UPD_MSG_ARG_ADDR_ERR, "0x100000004"},
        {"data fits", [] { auto h = rom(128, 60); return rom_check_data_range(&h, 200); }, 0, nullptr},
        {"data 1 over", [] { auto h = rom(128, 61); return rom_check_data_range(&h, 200); },
         UPD_MSG_ROM_CHECKSUM_ERR, "rom data range 0x8c+0x3d beyond package length 0xc8"},
        {"data wraps", [] { auto h = rom(128, 0xFFFFFFF0); return rom_check_data_range(&h, 0xFFFFFFFF); },
         UPD_MSG_ROM_CHECKSUM_ERR, "package length 0xffffffff"},
        {"part header fits", [] { return rom_check_part_header_range(156, 200); }, 0, nullptr},
        {"part header 1 over", [] { return rom_check_part_header_range(157, 200); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "partition header range 0x9d+0x2c beyond package length 0xc8"},
        {"part header wraps", [] { return rom_check_part_header_range(0xFFFFFFF0, 0xFFFFFFFF); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "0xfffffff0"},
        {"part size fits", [] { auto p = part(48, 140, 0); return rom_check_part_header_size_range(&p, 140, 200); }, 0, nullptr},
        {"part size 4 over", [] { auto p = part(52, 140, 0); return rom_check_part_header_size_range(&p, 140, 200); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "partition header range 0x8c+0x40"},
        {"part size wraps", [] { auto p = part(0xFFFFFFFC, 0, 0); return rom_check_part_header_size_range(&p, 140, 0xFFFFFFFF); },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR, "package length 0xffffffff"},
        {"data part fits", [] { auto p = part(32, 184, 16); return rom_check_part_data_range(&p, 200); }, 0, nullptr},
        {"data part empty at end", [] { auto p = part(32, 200, 0); return rom_check_part_data_range(&p, 200); }, 0, nullptr},
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
            EXPECT_NE(g_rom_error[0], '\0') << c.what;
            EXPECT_NE(line.find(g_rom_error), std::string::npos) << c.what;
        }
    }));
}

}  // namespace
