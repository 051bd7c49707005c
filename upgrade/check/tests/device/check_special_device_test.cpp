// Special partitions on the simulated device: the upgrader tool, the flash
// layout file and the configuration-modify file.
#include <gtest/gtest.h>

#include <string>

#include "param_name.h"
#include "probe_report.h"

namespace {

using valid::Messages;
using valid::ProbeReport;
using valid::StandardIni;
using valid::StandardPackage;

RomPartitionSpec Special(uint32_t type, const std::string& data, uint32_t version = 0) {
    RomPartitionSpec p;
    p.partition_id = 255;
    p.partition_type = type;
    p.partition_version = version;
    p.data.assign(data.begin(), data.end());
    return p;
}

// The standard package with `special` first and the flash partition behind it.
std::vector<uint8_t> WithSpecial(const RomPartitionSpec& special) {
    RomPackageSpec desc = StandardPackage();
    desc.partitions.insert(desc.partitions.begin(), special);
    return rombuild_package(desc);
}

const std::string kTool = "#!/bin/sh\necho new tool\n";

TEST(CheckSpecial, ToolIsExtractedAndEndsTheCheck) {
    devsim::Device d("tool");
    d.Ini(StandardIni());
    RomPackageSpec desc = StandardPackage();
    desc.partitions[0].partition_id = 7;  // never reached
    desc.partitions.insert(desc.partitions.begin(),
                           Special(1, kTool, rombuild_version(1, 0, 0, 56)));
    ProbeReport r = valid::RunCheck(d, rombuild_package(desc), 6);
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 11);
    EXPECT_EQ(r.tool_version, rombuild_version(1, 0, 0, 56));
    EXPECT_EQ(r.flags[0], 0);
    EXPECT_EQ(r.flags[1], 6);
    EXPECT_EQ(d.DeviceFile("/tmp/upgrader_tool"), kTool);
    auto msgs = Messages(d);
    EXPECT_GE(valid::FindMessage(msgs, "shellcmd:/tmp/bin/touch /tmp/upgrader_tool"), 0);
    EXPECT_EQ(valid::FindMessage(msgs, "rom_upgrade_check start"), -1);
    EXPECT_FALSE(d.DeviceFileExists("/tmp/ver_hardware"));
}

TEST(CheckSpecial, ToolOfTheInstallersOwnVersionIsIgnored) {
    devsim::Device d("toolsame");
    d.Ini(StandardIni());
    ProbeReport r = valid::RunCheck(d, WithSpecial(Special(1, kTool, rombuild_version(1, 0, 0, 55))));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.tool_version, rombuild_version(1, 0, 0, 55));
    EXPECT_EQ(r.flags[0], 0);
    EXPECT_EQ(r.flags[1], 1);
    EXPECT_FALSE(d.DeviceFileExists("/tmp/upgrader_tool"));
    EXPECT_GE(valid::FindMessage(Messages(d), "upgrader version same! version:1.0.0.55"), 0);
}

TEST(CheckSpecial, PresentToolFileIsKept) {
    devsim::Device d("toolthere");
    d.Ini(StandardIni());
    d.File("/tmp/upgrader_tool", "old tool", 0755);
    ProbeReport r = valid::RunCheck(d, WithSpecial(Special(1, kTool, rombuild_version(1, 0, 1, 0))));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(d.DeviceFile("/tmp/upgrader_tool"), "old tool");
}

TEST(CheckSpecial, LayoutFileReplacesALongerOneAndSetsMtdConfig) {
    devsim::Device d("mtdconf");
    d.Ini(StandardIni());
    d.File("/tmp/mtd.conf", std::string(300, 'x'));
    const std::string conf = "[mtd]\nmtd2=0x90100000,0x90300000\n";
    ProbeReport r = valid::RunCheck(d, WithSpecial(Special(2, conf)));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.mtd_config, 1);
    EXPECT_EQ(d.DeviceFile("/tmp/mtd.conf"), conf);
    EXPECT_GE(valid::FindMessage(Messages(d), "MTD CONFIG ppartition_addr->partition_type:2"), 0);
}

TEST(CheckSpecial, ConfigModifyIsWrittenToConfig) {
    devsim::Device d("cfgmod");
    d.Ini(StandardIni());
    const std::string text = "modify=1\n";
    ProbeReport r = valid::RunCheck(d, WithSpecial(Special(3, text)));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.mtd_config, 0);
    EXPECT_EQ(d.DeviceFile("/config/config_modify"), text);
}

TEST(CheckSpecial, UnknownTypeIsIgnored) {
    devsim::Device d("unknown");
    d.Ini(StandardIni());
    ProbeReport r = valid::RunCheck(d, WithSpecial(Special(7, "data")));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.flags[0], 0);
    EXPECT_FALSE(d.DeviceFileExists("/tmp/upgrader_tool"));
    EXPECT_FALSE(d.DeviceFileExists("/tmp/mtd.conf"));
    EXPECT_FALSE(d.DeviceFileExists("/config/config_modify"));
    EXPECT_EQ(valid::FindMessage(Messages(d), "shellcmd:/tmp/bin/touch /tmp/mtd.conf"), -1);
}

struct FullCase {
    uint32_t type;
    const char* path;
    int result;
};

void PrintTo(const FullCase& c, std::ostream* os) { *os << "type " << c.type << " " << c.path; }

class CheckSpecialTmpFull : public ::testing::TestWithParam<FullCase> {};

TEST_P(CheckSpecialTmpFull, FailedWriteLeavesNoFile) {
    const FullCase& c = GetParam();
    devsim::Device d("tmpfull");
    d.Ini(StandardIni("", "[faults]\ntmp_full = yes\n"));
    // /tmp is full from the start: the tools the check runs from /tmp/bin are in
    // place, and the copies of the procfs files find room where their older
    // versions are truncated, so only the extraction meets the full /tmp.
    for (const char* tool : {"cat", "touch", "chmod"})
        d.File(std::string("/tmp/bin/") + tool,
               std::string("#!/bin/sh\nexec /bin/") + tool + " \"$@\"\n", 0755);
    for (const char* copy : {"/tmp/avalanche_env_file", "/tmp/ver_software", "/tmp/ver_hardware"})
        d.File(copy, std::string(8192, 'f'));
    ProbeReport r = valid::RunCheck(
        d, WithSpecial(Special(c.type, std::string(256 * 1024, 't'), rombuild_version(2, 0, 0, 0))));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.mtd_config, 0);
    EXPECT_FALSE(d.DeviceFileExists(c.path));
    EXPECT_GE(valid::FindMessage(Messages(d), std::string(c.path) + " write failed!"), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, CheckSpecialTmpFull,
                         ::testing::Values(FullCase{1, "/tmp/upgrader_tool", 0},
                                           FullCase{2, "/tmp/mtd.conf", 0}),
                         [](const auto& p) {
                             return coord_testing::ParamName(p.index, p.param.path);
                         });

}  // namespace
