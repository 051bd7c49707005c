// The structural check over whole packages: every corruption and truncation is
// refused with its own code, and nothing outside the package is read (the
// package sits in a heap block of exactly its length, so a sanitizer build
// catches any overread).
#include "rominfo_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "rl_log.h"
#include "rombuild.h"
#include "temp_dir.h"

namespace {

const int g_quiet = (rl_log_reset_level(-1), 0);  // keep the host's syslog clean

// The first `len` bytes of the package (all by default), in a block of their own.
RomInfoReport analyze(const std::vector<uint8_t>& pkg, size_t len = SIZE_MAX) {
    len = std::min(len, pkg.size());
    std::unique_ptr<uint8_t[]> block(new uint8_t[len]);
    memcpy(block.get(), pkg.data(), len);
    return rominfo_analyze(block.get(), static_cast<uint32_t>(len));
}

RomPackageSpec two_partitions(uint32_t header_size = 128) {
    RomPackageSpec s;
    s.rom_header_size = header_size;
    s.scramble_key = 91;
    s.device_id = 53;
    s.rom_version = rombuild_version(1, 2, 3, 4);
    s.partitions.push_back({0, 0, 0, 2, rombuild_version(1, 0, 0, 1), std::vector<uint8_t>(13, 0xAB)});
    s.partitions.push_back({1, 0, 0, 255, rombuild_version(1, 0, 0, 2), std::vector<uint8_t>(4, 0xCD)});
    return s;
}

// Writes the ROM header again with rom_checksum recomputed and nothing else
// changed, so a change inside the partitions shows at the partition checks.
void reseal_rom_checksum(std::vector<uint8_t>* pkg) {
    Rom_Header h;
    rom_copy_header(&h, pkg->data());
    rom_descramble_header(&h);
    h.rom_checksum = rom_data_sum(pkg->data(), &h);
    ASSERT_TRUE(rombuild_encode_header(h, pkg->data(), nullptr));
}

// 0 and 16 partitions are well-formed; 17 are refused before any is read.
TEST(RominfoAnalyze, PartitionCount) {
    for (size_t count : {0u, 16u, 17u}) {
        RomPackageSpec s = two_partitions();
        s.partitions.assign(count, RomPartitionSpec{0, 0, 0, 1, 0, {1, 2, 3, 4}});
        const RomInfoReport r = analyze(rombuild_package(s));
        EXPECT_EQ(r.code, count > 16 ? UPD_MSG_PART_NUM_ERR : 0) << count;
        EXPECT_EQ(r.header.partition_num, count);
        EXPECT_EQ(r.partitions.size(), count > 16 ? 0u : count);
        EXPECT_EQ(r.header.rom_size == 0, count == 0);  // nothing after the header
    }
}

// Any byte of the ROM header after the first eight is covered by the header
// checksum: a change there is refused (by the checksum, or earlier by the
// test of the field it hit).
TEST(RominfoAnalyze, ChangedRomHeaderByteIsRefused) {
    for (uint32_t size : {128u, 124u}) {
        RomLayout lay;
        const std::vector<uint8_t> good = rombuild_package(two_partitions(size), &lay);
        for (uint32_t at = 0; at < lay.header_len; ++at) {
            std::vector<uint8_t> pkg = good;
            pkg[at] ^= 0x01;
            int want = UPD_MSG_ROM_HEADER_CHECKSUM_ERR;  // also at byte 4: size 129 or 125
            if (at < 4) {
                want = UPD_MSG_ARG_ADDR_ERR;  // first word
            } else if (size == 128 && at >= 0x68 && at < 0x6C) {
                want = UPD_MSG_ROM_HEADER_KROM_ERR;  // ext_magic_num
            } else if (at > 0x14 && at < 0x18) {
                want = UPD_MSG_PART_NUM_ERR;  // partition_num > 16
            }
            const RomInfoReport r = analyze(pkg);
            EXPECT_EQ(r.code, want) << size << " byte " << at << ": " << r.message;
        }
    }
}

// A partition lies inside rom_size: a changed byte breaks the ROM data checksum
// first; with that resealed, the partition's own checks refuse it (its header
// checksum covers everything from byte 8, its data checksum the whole words).
TEST(RominfoAnalyze, ChangedPartitionByteIsRefused) {
    RomLayout lay;
    const std::vector<uint8_t> good = rombuild_package(two_partitions(), &lay);
    std::vector<std::pair<uint32_t, int>> cases = {
        {lay.data_offset[0], UPD_MSG_PART_CHECKSUM_ERR},
        {lay.data_offset[0] + 11, UPD_MSG_PART_CHECKSUM_ERR},
        {lay.data_offset[0] + 12, 0},  // 13th byte: beyond the last whole word
        {lay.data_offset[1] + 3, UPD_MSG_PART_CHECKSUM_ERR},  // a one-word partition too
    };
    for (uint32_t k = 0; k < 2; ++k) {
        for (uint32_t i = 0; i < PART_HEADER_LEN; ++i) {
            if (i < 4 || i >= 8) {  // not partition_header_size, which no checksum covers
                cases.push_back({lay.part_header_offset[k] + i,
                                 i < 4 ? UPD_MSG_PART_HEADER_KPAT_ERR : UPD_MSG_PART_HEADER_CHECKSUM_ERR});
            }
        }
    }
    for (const auto& [at, want] : cases) {
        std::vector<uint8_t> pkg = good;
        pkg[at] ^= 0x80;
        EXPECT_EQ(analyze(pkg).code, UPD_MSG_ROM_CHECKSUM_ERR) << at;
        reseal_rom_checksum(&pkg);
        const RomInfoReport r = analyze(pkg);
        EXPECT_EQ(r.code, want) << "byte " << at << ": " << r.message;
    }
}

// Expected code of a package cut to `len` bytes when rom_size covers nothing,
// so the partition ranges are the first to notice.
int first_cut_code(const RomLayout& lay, const std::vector<uint32_t>& sizes, size_t len) {
    if (len < ROM_HEADER_LEN) return UPD_MSG_ARG_ADDR_ERR;
    for (size_t k = 0; k < sizes.size(); ++k) {
        if (lay.part_header_offset[k] + PART_HEADER_LEN > len) return UPD_MSG_PART_HEADER_CHECKSUM_ERR;
        if (lay.data_offset[k] + sizes[k] > len) return UPD_MSG_PART_CHECKSUM_ERR;
    }
    return 0;
}

TEST(RominfoAnalyze, TruncationAtEveryLengthIsRefused) {
    for (uint32_t size : {128u, 124u}) {
        RomPackageSpec s = two_partitions(size);
        RomLayout lay;
        const std::vector<uint8_t> covered = rombuild_package(s, &lay);
        s.tweak = [](Rom_Header& h, std::vector<Partition_Header>&) { h.rom_size = 0; };
        const std::vector<uint8_t> uncovered = rombuild_package(s);
        const std::vector<uint32_t> sizes = {13, 4};
        for (size_t len = 0; len < covered.size(); ++len) {
            int want = len < ROM_HEADER_LEN ? UPD_MSG_ARG_ADDR_ERR : UPD_MSG_ROM_CHECKSUM_ERR;
            EXPECT_EQ(analyze(covered, len).code, want) << size << " cut " << len;
            EXPECT_EQ(analyze(uncovered, len).code, first_cut_code(lay, sizes, len))
                << size << " cut " << len;
        }
        EXPECT_EQ(analyze(uncovered).code, 0);
    }
}

// Size fields that point outside the package are refused, not followed; a
// partition id is checked once its partition passed (which ids are refused is
// rom_test's).
TEST(RominfoAnalyze, RangesBeyondThePackage) {
    struct {
        const char* what;
        decltype(RomPackageSpec::tweak) tweak;
        int want;
    } cases[] = {
        {"rom_size", [](Rom_Header& h, auto&) { h.rom_size = 0xFFFFFFFC; }, UPD_MSG_ROM_CHECKSUM_ERR},
        {"header size", [](Rom_Header&, auto& p) { p[1].partition_header_size = 0xFFFFFFF0; },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR},
        {"data size", [](Rom_Header&, auto& p) { p[0].partition_size = 0xFFFFFFF8; }, UPD_MSG_PART_CHECKSUM_ERR},
        {"data offset", [](Rom_Header&, auto& p) { p[1].partition_offset = 0xFFFFFFF0; }, UPD_MSG_PART_CHECKSUM_ERR},
        {"partition id 7", [](Rom_Header&, auto& p) { p[0].partition_id = 7; }, UPD_MSG_PARTITION_ID_ERROR},
        {"partition_num 3 of 2", [](Rom_Header& h, auto&) { h.partition_num = 3; },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR},  // a third header would run past the end
    };
    for (const auto& c : cases) {
        RomPackageSpec s = two_partitions();
        s.tweak = c.tweak;
        RomInfoReport r = analyze(rombuild_package(s));
        EXPECT_EQ(r.code, c.want) << c.what << ": " << r.message;
    }
}

// A header size of 164 on a package too short for it is refused before the
// header checksum would read past the end. The stored header carries the
// extended magic in scrambled form (key byte 0: substitution only), so the
// check gets as far as the header range.
TEST(RominfoAnalyze, LongHeaderSizeOnShortPackage) {
    std::vector<uint8_t> pkg(160, 0);
    const uint8_t magic[4] = {0x4D, 0x4F, 0x52, 0x4B};
    memcpy(pkg.data(), magic, 4);
    pkg[4] = 164;
    rombuild_scramble(0, &pkg[0x68], 4, magic);
    RomInfoReport r = analyze(pkg);
    EXPECT_EQ(r.header.ext_magic_num, ROM_MAGIC);
    EXPECT_EQ(r.code, UPD_MSG_ARG_ADDR_ERR) << r.message;
    EXPECT_NE(r.message.find("0x0+0xb0 beyond package length 0xa0"), std::string::npos) << r.message;
}

TEST(RominfoReport, TextAndJsonNameTheFailure) {
    RomLayout lay;
    std::vector<uint8_t> pkg = rombuild_package(two_partitions(), &lay);
    const RomInfoReport ok = analyze(pkg);
    EXPECT_NE(rominfo_text(ok, "p.rom").find("rom_version: 1.2.3.4"), std::string::npos) << rominfo_text(ok, "p.rom");
    nlohmann::json j = nlohmann::json::parse(rominfo_json(ok, "p.rom"));
    EXPECT_EQ(j["valid"], true);
    EXPECT_TRUE(j["error"].is_null());
    EXPECT_EQ(j["rom_header"]["device_id"], 53);
    EXPECT_EQ(j["partitions"][1]["partition_version"], "1.0.0.2");
    EXPECT_EQ(j["partitions"][0]["partition_offset"], lay.data_offset[0]);

    pkg[lay.data_offset[1]] ^= 1;
    const RomInfoReport bad = analyze(pkg);
    const std::string text = rominfo_text(bad, "p.rom");
    EXPECT_NE(text.find("valid: no, UPD_MSG_ROM_CHECKSUM_ERR (-97)"), std::string::npos) << text;
    j = nlohmann::json::parse(rominfo_json(bad, "p.rom"));
    EXPECT_EQ(j["error"], "UPD_MSG_ROM_CHECKSUM_ERR");
    EXPECT_EQ(j["message"], bad.message);
    j = nlohmann::json::parse(rominfo_json(analyze(pkg, 3), "p.rom"));
    EXPECT_TRUE(j["rom_header"].is_null());
    EXPECT_EQ(j["error"], "UPD_MSG_ARG_ADDR_ERR");
}

int run_rominfo(const std::string& args) {
    int status = std::system((std::string(ROMINFO_PATH) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RominfoCommand, ExitStatus) {
    TempDir dir("rominfo_test");
    const std::string good = dir.file("good.rom"), bad = dir.file("bad.rom");
    RomLayout lay;
    std::vector<uint8_t> pkg = rombuild_package(two_partitions(), &lay);
    ASSERT_TRUE(TempDir::write(good, std::string(pkg.begin(), pkg.end())));
    pkg[lay.data_offset[0]] ^= 1;
    ASSERT_TRUE(TempDir::write(bad, std::string(pkg.begin(), pkg.end())));
    const std::pair<std::string, int> runs[] = {{good, 0}, {"--json " + good, 0}, {bad, 1},
        {"/nonexistent/p.rom", 1}, {"--help", 0}, {"", 2}, {"--frob x", 2}};
    for (const auto& [args, status] : runs) EXPECT_EQ(run_rominfo(args), status) << args;
}

}  // namespace
