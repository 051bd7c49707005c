// The structural check over whole packages: every corruption and truncation is
// refused with its own code, and nothing outside the package is read (the
// package sits in a heap block of exactly its length, so a sanitizer build
// catches any overread).
#include "rominfo_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "aes.h"
#include "rl_log.h"
#include "rombuild.h"

namespace {

const int g_quiet = (rl_log_reset_level(-1), 0);  // keep the host's syslog clean

RomInfoReport analyze(const std::vector<uint8_t>& pkg, size_t len) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[len]);
    memcpy(block.get(), pkg.data(), len);
    return rominfo_analyze(block.get(), static_cast<uint32_t>(len));
}

RomInfoReport analyze(const std::vector<uint8_t>& pkg) {
    return analyze(pkg, pkg.size());
}

RomPackageSpec two_partitions(uint32_t header_size = 128, uint8_t key = 91) {
    RomPackageSpec s;
    s.rom_header_size = header_size;
    s.scramble_key = key;
    s.device_id = 53;
    s.rom_version = rombuild_version(1, 2, 3, 4);
    s.partitions.push_back({0, 0, 0, 2, rombuild_version(1, 0, 0, 1), std::vector<uint8_t>(13, 0xAB)});
    s.partitions.push_back({1, 0, 0, 255, rombuild_version(1, 0, 0, 2), std::vector<uint8_t>(64, 0xCD)});
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

TEST(RominfoAnalyze, BuiltPackagesAreWellFormed) {
    for (uint32_t size : {128u, 124u}) {
        for (uint8_t key : {0, 1, 91, 92, 184}) {
            RomInfoReport r = analyze(rombuild_package(two_partitions(size, key)));
            EXPECT_EQ(r.code, 0) << size << "/" << int(key) << ": " << r.message;
            EXPECT_EQ(r.partitions.size(), 2u);
            EXPECT_EQ(r.header.rom_version, rombuild_version(1, 2, 3, 4));
        }
    }
}

TEST(RominfoAnalyze, PartitionCount) {
    struct {
        size_t count;
        int want;
    } cases[] = {{0, 0}, {16, 0}, {17, UPD_MSG_PART_NUM_ERR}};
    for (const auto& c : cases) {
        RomPackageSpec s = two_partitions();
        s.partitions.assign(c.count, RomPartitionSpec{0, 0, 0, 1, 0, {1, 2, 3, 4}});
        const std::vector<uint8_t> pkg = rombuild_package(s);
        RomInfoReport r = analyze(pkg);
        EXPECT_EQ(r.code, c.want) << c.count;
        EXPECT_EQ(r.header.partition_num, c.count);
        EXPECT_EQ(r.partitions.size(), c.want == 0 ? c.count : 0u);
        if (c.count == 0) {
            EXPECT_EQ(r.header.rom_size, 0u);  // nothing after the header
        }
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
            RomInfoReport r = analyze(pkg);
            int want = UPD_MSG_ROM_HEADER_CHECKSUM_ERR;
            if (at < 4) {
                want = UPD_MSG_ARG_ADDR_ERR;                   // first word
            } else if (size == 128 && at >= 0x68 && at < 0x6C) {
                want = UPD_MSG_ROM_HEADER_KROM_ERR;            // ext_magic_num
            } else if (at == 4 && size == 128) {
                want = UPD_MSG_ROM_HEADER_CHECKSUM_ERR;        // size 129: refused
            } else if (at == 4) {
                want = UPD_MSG_ROM_HEADER_CHECKSUM_ERR;        // size 125
            } else if (at > 0x14 && at < 0x18) {
                want = UPD_MSG_PART_NUM_ERR;                   // partition_num > 16
            }
            EXPECT_EQ(r.code, want) << size << " byte " << at << ": " << r.message;
            if (at >= 8) {
                Rom_Header h;
                rom_copy_header(&h, pkg.data());
                EXPECT_NE(rom_header_sum(pkg.data(), &h), 0u) << size << " byte " << at;
            }
        }
    }
}

// A partition header lies inside rom_size: a changed byte breaks the ROM data
// checksum first; with that resealed, the partition header's own checks refuse
// it (its checksum covers everything from byte 8).
TEST(RominfoAnalyze, ChangedPartitionHeaderByteIsRefused) {
    RomLayout lay;
    const std::vector<uint8_t> good = rombuild_package(two_partitions(), &lay);
    for (size_t k = 0; k < 2; ++k) {
        for (uint32_t i = 0; i < PART_HEADER_LEN; ++i) {
            if (i >= 4 && i < 8) {
                continue;  // partition_header_size: not covered by a checksum
            }
            std::vector<uint8_t> pkg = good;
            pkg[lay.part_header_offset[k] + i] ^= 0x01;
            EXPECT_EQ(analyze(pkg).code, UPD_MSG_ROM_CHECKSUM_ERR) << k << "/" << i;
            reseal_rom_checksum(&pkg);
            RomInfoReport r = analyze(pkg);
            int want = i < 4 ? UPD_MSG_PART_HEADER_KPAT_ERR : UPD_MSG_PART_HEADER_CHECKSUM_ERR;
            EXPECT_EQ(r.code, want) << k << "/" << i << ": " << r.message;
            EXPECT_EQ(r.partitions.size(), k + 1);
        }
    }
}

TEST(RominfoAnalyze, ChangedDataByteIsRefused) {
    RomLayout lay;
    const std::vector<uint8_t> good = rombuild_package(two_partitions(), &lay);
    struct {
        uint32_t at;
        int want_resealed;
    } cases[] = {
        {lay.data_offset[0], UPD_MSG_PART_CHECKSUM_ERR},
        {lay.data_offset[0] + 11, UPD_MSG_PART_CHECKSUM_ERR},
        {lay.data_offset[0] + 12, 0},  // 13th byte: beyond the last whole word
        {lay.data_offset[1] + 63, UPD_MSG_PART_CHECKSUM_ERR},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> pkg = good;
        pkg[c.at] ^= 0x80;
        EXPECT_EQ(analyze(pkg).code, UPD_MSG_ROM_CHECKSUM_ERR) << c.at;
        reseal_rom_checksum(&pkg);
        EXPECT_EQ(analyze(pkg).code, c.want_resealed) << c.at;
    }
}

// Expected code of a package cut to `len` bytes when rom_size covers nothing,
// so the partition ranges are the first to notice.
int first_cut_code(const RomLayout& lay, const std::vector<uint32_t>& sizes, size_t len) {
    if (len < ROM_HEADER_LEN) {
        return UPD_MSG_ARG_ADDR_ERR;
    }
    for (size_t k = 0; k < sizes.size(); ++k) {
        if (lay.part_header_offset[k] + PART_HEADER_LEN > len) {
            return UPD_MSG_PART_HEADER_CHECKSUM_ERR;
        }
        if (lay.data_offset[k] + sizes[k] > len) {
            return UPD_MSG_PART_CHECKSUM_ERR;
        }
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
        const std::vector<uint32_t> sizes = {13, 64};
        for (size_t len = 0; len < covered.size(); ++len) {
            int want = len < ROM_HEADER_LEN ? UPD_MSG_ARG_ADDR_ERR : UPD_MSG_ROM_CHECKSUM_ERR;
            EXPECT_EQ(analyze(covered, len).code, want) << size << " cut " << len;
            EXPECT_EQ(analyze(uncovered, len).code, first_cut_code(lay, sizes, len))
                << size << " cut " << len;
        }
        EXPECT_EQ(analyze(uncovered).code, 0);
    }
}

// Size fields that point outside the package are refused, not followed.
TEST(RominfoAnalyze, RangesBeyondThePackage) {
    using Tweak = std::function<void(Rom_Header&, std::vector<Partition_Header>&)>;
    struct {
        const char* what;
        Tweak tweak;
        int want;
    } cases[] = {
        {"rom_size", [](Rom_Header& h, auto&) { h.rom_size = 0xFFFFFFFC; }, UPD_MSG_ROM_CHECKSUM_ERR},
        {"header size", [](Rom_Header&, auto& p) { p[1].partition_header_size = 0xFFFFFFF0; },
         UPD_MSG_PART_HEADER_CHECKSUM_ERR},
        {"data size", [](Rom_Header&, auto& p) { p[0].partition_size = 0xFFFFFFF8; }, UPD_MSG_PART_CHECKSUM_ERR},
        {"data offset", [](Rom_Header&, auto& p) { p[1].partition_offset = 0xFFFFFFF0; }, UPD_MSG_PART_CHECKSUM_ERR},
        {"odd offset", [](Rom_Header&, auto& p) { p[0].partition_offset += 2; }, UPD_MSG_PART_CHECKSUM_ERR},
        {"partition magic", [](Rom_Header&, auto& p) { p[1].magic_num = 0x4B504155; }, UPD_MSG_PART_HEADER_KPAT_ERR},
        {"rom magic", [](Rom_Header& h, auto&) { h.ext_magic_num = 0; }, UPD_MSG_ROM_HEADER_KROM_ERR},
        {"partition id 7", [](Rom_Header&, auto& p) { p[0].partition_id = 7; }, UPD_MSG_PARTITION_ID_ERROR},
        {"flash type", [](Rom_Header&, auto& p) { p[0].partition_type = 2; }, UPD_MSG_PARTITION_TYPE_ERROR},
        {"special type 7", [](Rom_Header&, auto& p) { p[1].partition_type = 7; }, 0},
        {"partition_num 3 of 2", [](Rom_Header& h, auto&) { h.partition_num = 3; }, UPD_MSG_PART_HEADER_KPAT_ERR},
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
    uint8_t inverse[256];
    for (int x = 0; x < 256; ++x) {
        inverse[g_aes_decrypt[x]] = static_cast<uint8_t>(x);
    }
    std::vector<uint8_t> pkg(160, 0);
    const uint8_t magic[4] = {0x4D, 0x4F, 0x52, 0x4B};
    memcpy(pkg.data(), magic, 4);
    pkg[4] = 164;
    for (int i = 0; i < 4; ++i) {
        pkg[0x68 + i] = inverse[magic[i]];
    }
    RomInfoReport r = analyze(pkg);
    EXPECT_EQ(r.header.ext_magic_num, ROM_MAGIC);
    EXPECT_EQ(r.code, UPD_MSG_ARG_ADDR_ERR) << r.message;
    EXPECT_NE(r.message.find("0x0+0xb0 beyond package length 0xa0"), std::string::npos) << r.message;
    pkg.resize(176);
    EXPECT_EQ(analyze(pkg).code, UPD_MSG_ROM_HEADER_CHECKSUM_ERR);  // in range now, sum wrong
    pkg[4] = 168;
    EXPECT_EQ(analyze(pkg).code, UPD_MSG_ROM_HEADER_CHECKSUM_ERR);  // size refused
}

TEST(RominfoReport, TextAndJsonNameTheFailure) {
    RomLayout lay;
    std::vector<uint8_t> pkg = rombuild_package(two_partitions(), &lay);
    RomInfoReport ok = analyze(pkg);
    std::string text = rominfo_text(ok, "p.rom");
    EXPECT_NE(text.find("rom_version: 1.2.3.4"), std::string::npos) << text;
    EXPECT_NE(text.find("valid: yes"), std::string::npos);
    nlohmann::json j = nlohmann::json::parse(rominfo_json(ok, "p.rom"));
    EXPECT_EQ(j["valid"], true);
    EXPECT_TRUE(j["error"].is_null());
    EXPECT_EQ(j["rom_header"]["device_id"], 53);
    EXPECT_EQ(j["partitions"][1]["partition_version"], "1.0.0.2");
    EXPECT_EQ(j["partitions"][0]["partition_offset"], lay.data_offset[0]);

    pkg[lay.data_offset[1]] ^= 1;
    RomInfoReport bad = analyze(pkg);
    text = rominfo_text(bad, "p.rom");
    EXPECT_NE(text.find("valid: no, UPD_MSG_ROM_CHECKSUM_ERR (-97)"), std::string::npos) << text;
    j = nlohmann::json::parse(rominfo_json(bad, "p.rom"));
    EXPECT_EQ(j["valid"], false);
    EXPECT_EQ(j["error"], "UPD_MSG_ROM_CHECKSUM_ERR");
    EXPECT_EQ(j["message"], bad.message);

    RomInfoReport tiny = analyze(pkg, 3);
    j = nlohmann::json::parse(rominfo_json(tiny, "p.rom"));
    EXPECT_TRUE(j["rom_header"].is_null());
    EXPECT_EQ(j["error"], "UPD_MSG_ARG_ADDR_ERR");
}

int run_rominfo(const std::string& args) {
    int status = std::system((std::string(ROMINFO_PATH) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RominfoCommand, ExitStatus) {
    char path[] = "/tmp/rominfo_test.XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    RomLayout lay;
    std::vector<uint8_t> pkg = rombuild_package(two_partitions(), &lay);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(pkg.data()), pkg.size());
    EXPECT_EQ(run_rominfo(path), 0);
    EXPECT_EQ(run_rominfo(std::string("--json ") + path), 0);
    pkg[lay.data_offset[0]] ^= 1;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(pkg.data()), pkg.size());
    EXPECT_EQ(run_rominfo(path), 1);
    EXPECT_EQ(run_rominfo("/nonexistent/p.rom"), 1);
    EXPECT_EQ(run_rominfo("--help"), 0);
    EXPECT_EQ(run_rominfo(""), 2);
    EXPECT_EQ(run_rominfo("--frob x"), 2);
    unlink(path);
}

}  // namespace
