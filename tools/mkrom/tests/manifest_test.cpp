// Manifests: good ones give the package they describe; bad ones are refused
// with a message naming file, section and key, and mkrom then writes nothing.
#include "manifest.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "rominfo_report.h"
#include "temp_dir.h"

namespace {

class ManifestDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        TempDir::write(dir_.file("kernel.bin"), "0123456789abc");
        TempDir::write(dir_.file("tool.bin"), std::string(70, 'T'));
    }
    std::string manifest(const std::string& text) {
        TempDir::write(dir_.file("m.ini"), text);
        return dir_.file("m.ini");
    }
    int mkrom(const std::string& args) {
        const std::string cmd = std::string(MKROM_PATH) + " " + args + " >/dev/null 2>" + dir_.file("stderr.txt");
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const std::string& name) {
        std::vector<uint8_t> bytes;
        std::string why;
        rombuild_read_file(dir_.file(name), &bytes, &why);
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir dir_{"mkrom_test"};
};

const char* const kGood =
    "[rom]\ndevice_id = 0x35\nrom_version = 2.1.0.255\nmatch_id = 3, 4,0x10\noem_id = 4294967295\n"
    "process_type = 1\nrom_type = 9\nmid_version = 1\nsw_protect = 1\nscramble_key = 184\n\n"
    "[partition0]\nid = 2\nversion = 1.0.0.7\nfile = kernel.bin\ndata_type = 3\n\n"
    "[partition1]\nid = 255\ntype = 1\nprocess_type = 1\nversion = 1.0.0.56\nfile = tool.bin\n";

// mkrom writes a package the installer's checks accept, with every field the
// manifest gives.
TEST_F(ManifestDir, MkromWritesWhatTheManifestSays) {
    ASSERT_EQ(mkrom(manifest(kGood) + " -o " + dir_.file("good.rom")), 0) << read("stderr.txt");
    const std::string pkg = read("good.rom");
    const RomInfoReport r = rominfo_analyze(reinterpret_cast<const uint8_t*>(pkg.data()),
                                            static_cast<uint32_t>(pkg.size()));
    ASSERT_EQ(r.code, 0) << r.message;
    const Rom_Header& h = r.header;
    const std::vector<uint32_t> got = {h.device_id, h.rom_version, h.oem_id, h.process_type, h.rom_type,
                                       h.mid_version, h.sw_protect, h.scramble_key[0], h.rom_header_size};
    EXPECT_EQ(got, std::vector<uint32_t>({0x35, 0x020100FF, 0xFFFFFFFF, 1, 9, 1, 1, 184, 128}));
    const uint8_t match[16] = {3, 4, 0x10};
    EXPECT_EQ(memcmp(h.match_id, match, 16), 0);
    ASSERT_EQ(r.partitions.size(), 2u);
    const Partition_Header& p0 = r.partitions[0].header;
    const Partition_Header& p1 = r.partitions[1].header;
    EXPECT_EQ(std::vector<uint32_t>({p0.partition_id, p0.partition_version, p0.partition_data_type,
                                     p1.partition_id, p1.partition_type, p1.process_type}),
              std::vector<uint32_t>({2, 0x01000007, 3, 255, 1, 1}));
    EXPECT_EQ(pkg.substr(p0.partition_offset, p0.partition_size), "0123456789abc");
    EXPECT_EQ(p1.partition_size, 70u);
}

struct BadCase {
    const char* what;
    std::string text;    // manifest
    const char* expect;  // part of the message: section and key
};

std::string replace(std::string s, const std::string& from, const std::string& to) {
    size_t at = s.find(from);
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

std::vector<BadCase> bad_cases() {
    const std::string g = kGood;
    return {
        {"bad number", replace(g, "device_id = 0x35", "device_id = 0x3g"), "[rom] device_id: '0x3g'"},
        {"too big", replace(g, "4294967295", "4294967296"), "[rom] oem_id:"},
        {"bad version", replace(g, "2.1.0.255", "2.1.0.256"), "[rom] rom_version:"},
        {"short version", replace(g, "1.0.0.7", "1.0.7"), "[partition0] version:"},
        {"17 match ids", replace(g, "3, 4,0x10", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"), "[rom] match_id:"},
        {"match id 256", replace(g, "3, 4,0x10", "3,256"), "[rom] match_id:"},
        {"key 256", replace(g, "scramble_key = 184", "scramble_key = 256"), "[rom] scramble_key:"},
        {"header 132", replace(g, "scramble_key = 184", "header_size = 132"), "[rom] header_size:"},
        {"unknown key", replace(g, "rom_type = 9", "rom_typ = 9"), "[rom] rom_typ: unknown key"},
        {"unknown partition key", replace(g, "data_type = 3", "datatype = 3"), "[partition0] datatype: unknown key"},
        {"twice", replace(g, "rom_type = 9", "rom_type = 9\nrom_type = 8"), "[rom] rom_type: key given twice"},
        {"missing file", replace(g, "file = kernel.bin", "file = nothere.bin"), "[partition0] file: cannot read"},
        {"17th partition", g + "[partition16]\nid = 1\nversion = 1.0.0.0\nfile = kernel.bin\n", "[partition16] id: more than 16"},
        {"gap", replace(g, "[partition1]", "[partition2]"), "[partition2]: [partition1] missing"},
        {"unknown section", g + "[extra]\nx = 1\n", "[extra] x: unknown section"},
        {"no id", replace(g, "id = 2\n", ""), "[partition0] id: missing"},
        {"no rom", "[partition0]\nid = 2\nversion = 1.0.0.7\nfile = kernel.bin\n", "[rom]: section missing"},
        {"malformed", replace(g, "device_id = 0x35", "device_id 0x35"), ":2: "},
    };
}

TEST_F(ManifestDir, BadManifestsNameSectionAndKey) {
    for (const BadCase& c : bad_cases()) {
        RomPackageSpec s;
        std::string error;
        const std::string path = manifest(c.text);
        EXPECT_FALSE(rombuild_load_manifest(path, &s, &error)) << c.what;
        EXPECT_EQ(error.rfind(path, 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find(c.expect), std::string::npos) << c.what << ": " << error;
    }
}

// mkrom refuses a bad manifest with status 2 and says why; neither the output
// nor a temporary remains, and an existing output is left as it was. Bad
// command lines give 2, an unwritable output 1.
TEST_F(ManifestDir, MkromRefusesLeavingNoFile) {
    const BadCase bad = bad_cases().front();
    const std::string out = dir_.file("out.rom");
    EXPECT_EQ(mkrom(manifest(bad.text) + " -o " + out), 2);
    EXPECT_NE(read("stderr.txt").find(bad.expect), std::string::npos) << read("stderr.txt");
    EXPECT_FALSE(dir_.exists("out.rom"));
    TempDir::write(dir_.file("old.rom"), "old");
    EXPECT_EQ(mkrom(manifest(bad.text) + " -o " + dir_.file("old.rom")), 2);
    EXPECT_EQ(read("old.rom"), "old");
    // kernel.bin tool.bin m.ini stderr.txt old.rom, and no temporary
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 5);
    EXPECT_EQ(mkrom("--help"), 0);
    EXPECT_EQ(mkrom(manifest(kGood)), 2);  // no -o
    EXPECT_EQ(mkrom("-o x.rom"), 2);       // no manifest
    EXPECT_EQ(mkrom("--bogus " + manifest(kGood) + " -o x"), 2);
    EXPECT_EQ(mkrom(manifest(kGood) + " -o " + dir_.file("no/such/dir/x.rom")), 1);
}

}  // namespace
