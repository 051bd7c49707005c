// Manifests: good ones give the package they describe; bad ones are refused
// with a message naming file, section and key, and mkrom then writes nothing.
#include "manifest.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class ManifestDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/mkrom_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        write("kernel.bin", "0123456789abc");
        write("tool.bin", std::string(70, 'T'));
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string manifest(const std::string& text) {
        write("m.ini", text);
        return (dir_ / "m.ini").string();
    }
    int mkrom(const std::string& args) {
        std::string cmd = std::string(MKROM_PATH) + " " + args + " >/dev/null 2>" +
                          (dir_ / "stderr.txt").string();
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string stderr_text() {
        std::ifstream in(dir_ / "stderr.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

const char* const kGood =
    "[rom]\n"
    "device_id = 0x35\n"
    "rom_version = 2.1.0.255\n"
    "match_id = 3, 4,0x10\n"
    "oem_id = 4294967295\n"
    "process_type = 1\n"
    "rom_type = 9\n"
    "mid_version = 1\n"
    "sw_protect = 1\n"
    "scramble_key = 184\n"
    "\n"
    "[partition0]\n"
    "id = 2\n"
    "version = 1.0.0.7\n"
    "file = kernel.bin\n"
    "data_type = 3\n"
    "\n"
    "[partition1]\n"
    "id = 255\n"
    "type = 1\n"
    "process_type = 1\n"
    "version = 1.0.0.56\n"
    "file = tool.bin\n";

TEST_F(ManifestDir, GoodManifestGivesItsFields) {
    RomPackageSpec s;
    std::string error;
    ASSERT_TRUE(rombuild_load_manifest(manifest(kGood), &s, &error)) << error;
    EXPECT_EQ(s.device_id, 0x35u);
    EXPECT_EQ(s.rom_version, 0x020100FFu);
    EXPECT_EQ(s.match_id[0], 3);
    EXPECT_EQ(s.match_id[1], 4);
    EXPECT_EQ(s.match_id[2], 0x10);
    EXPECT_EQ(s.match_id[3], 0);
    EXPECT_EQ(s.oem_id, 0xFFFFFFFFu);
    EXPECT_EQ(s.process_type, 1u);
    EXPECT_EQ(s.rom_type, 9u);
    EXPECT_EQ(s.mid_version, 1u);
    EXPECT_EQ(s.sw_protect, 1u);
    EXPECT_EQ(s.scramble_key, 184);
    EXPECT_EQ(s.rom_header_size, 128u);
    ASSERT_EQ(s.partitions.size(), 2u);
    EXPECT_EQ(s.partitions[0].partition_id, 2u);
    EXPECT_EQ(s.partitions[0].partition_version, 0x01000007u);
    EXPECT_EQ(s.partitions[0].partition_data_type, 3u);
    EXPECT_EQ(std::string(s.partitions[0].data.begin(), s.partitions[0].data.end()), "0123456789abc");
    EXPECT_EQ(s.partitions[1].partition_type, 1u);
    EXPECT_EQ(s.partitions[1].process_type, 1u);
    EXPECT_EQ(s.partitions[1].data.size(), 70u);
}

TEST_F(ManifestDir, MkromWritesWhatTheReaderAccepts) {
    const std::string out = (dir_ / "out.rom").string();
    ASSERT_EQ(mkrom(manifest(kGood) + " -o " + out), 0) << stderr_text();
    std::ifstream in(out, std::ios::binary);
    std::vector<uint8_t> pkg((std::istreambuf_iterator<char>(in)), {});
    Rom_Header h;
    ASSERT_EQ(rom_check_header(pkg.data(), static_cast<uint32_t>(pkg.size()), &h), 0);
    EXPECT_EQ(h.device_id, 0x35u);
    EXPECT_EQ(h.partition_num, 2u);
}

struct BadCase {
    const char* what;
    std::string text;     // manifest
    const char* expect;   // part of the message: section and key
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
        {"negative", replace(g, "rom_type = 9", "rom_type = -9"), "[rom] rom_type:"},
        {"bad version", replace(g, "2.1.0.255", "2.1.0.256"), "[rom] rom_version:"},
        {"short version", replace(g, "1.0.0.7", "1.0.7"), "[partition0] version:"},
        {"17 match ids", replace(g, "3, 4,0x10", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"), "[rom] match_id:"},
        {"match id 256", replace(g, "3, 4,0x10", "3,256"), "[rom] match_id:"},
        {"empty match item", replace(g, "3, 4,0x10", "3,,4"), "[rom] match_id:"},
        {"key 256", replace(g, "scramble_key = 184", "scramble_key = 256"), "[rom] scramble_key:"},
        {"header 132", replace(g, "scramble_key = 184", "header_size = 132"), "[rom] header_size:"},
        {"unknown key", replace(g, "rom_type = 9", "rom_typ = 9"), "[rom] rom_typ: unknown key"},
        {"unknown partition key", replace(g, "data_type = 3", "datatype = 3"), "[partition0] datatype: unknown key"},
        {"twice", replace(g, "rom_type = 9", "rom_type = 9\nrom_type = 8"), "[rom] rom_type: key given twice"},
        {"missing file", replace(g, "file = kernel.bin", "file = nothere.bin"), "[partition0] file: cannot read"},
        {"17th partition", g + "[partition16]\nid = 1\nversion = 1.0.0.0\nfile = kernel.bin\n", "[partition16] id: more than 16"},
        {"gap", replace(g, "[partition1]", "[partition2]"), "[partition2]: [partition1] missing"},
        {"leading zero", replace(g, "[partition1]", "[partition01]"), "[partition01] id: unknown section"},
        {"unknown section", g + "[extra]\nx = 1\n", "[extra] x: unknown section"},
        {"no id", replace(g, "id = 2\n", ""), "[partition0] id: missing"},
        {"no rom version", replace(g, "rom_version = 2.1.0.255\n", ""), "[rom] rom_version: missing"},
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

// mkrom refuses with status 2, and neither the output nor a temporary remains;
// an existing output is left as it was.
TEST_F(ManifestDir, MkromRefusalLeavesNoFile) {
    const std::string out = (dir_ / "out.rom").string();
    write("old.rom", "old");
    for (const BadCase& c : bad_cases()) {
        EXPECT_EQ(mkrom(manifest(c.text) + " -o " + out), 2) << c.what;
        EXPECT_NE(stderr_text().find(c.expect), std::string::npos) << c.what << ": " << stderr_text();
        EXPECT_FALSE(fs::exists(out)) << c.what;
        EXPECT_EQ(mkrom(manifest(c.text) + " -o " + (dir_ / "old.rom").string()), 2) << c.what;
    }
    std::ifstream old(dir_ / "old.rom");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        files += entry.path().filename().string()[0] == '.' ? 100 : 1;  // temporaries start with '.'
    }
    EXPECT_EQ(files, 5u);  // kernel.bin tool.bin m.ini stderr.txt old.rom
}

TEST_F(ManifestDir, MkromCommandLine) {
    EXPECT_EQ(mkrom("--help"), 0);
    EXPECT_EQ(mkrom(manifest(kGood)), 2);                       // no -o
    EXPECT_EQ(mkrom("-o x.rom"), 2);                            // no manifest
    EXPECT_EQ(mkrom("--bogus " + manifest(kGood) + " -o x"), 2);
    EXPECT_EQ(mkrom(manifest(kGood) + " -o " + (dir_ / "no/such/dir/x.rom").string()), 1);
}

}  // namespace
