// Special partitions on the simulated device: the upgrader tool, the flash
// layout file and the configuration-modify file.
#include <gtest/gtest.h>

#include <string>

#include "probe_report.h"

namespace {

using valid::Messages;
using valid::ProbeReport;
using valid::StandardIni;
using valid::StandardPackage;

const std::string kTool = "#!/bin/sh\necho new tool\n";

struct SpecialCase {
    const char* what;
    uint32_t type;
    uint32_t version;
    const char* before;  // the file already in place, or nullptr
    int result;
    int flag_behind;     // burn flag of the flash partition behind (callers: 6)
    int mtd_config;
    const char* path;    // the file the partition goes to
    std::string after;   // its content afterwards; "" when absent
    const char* logged;  // one message of the run
    bool tmp_full = false;
};

void PrintTo(const SpecialCase& c, std::ostream* os) { *os << c.what; }

class CheckSpecial : public ::testing::TestWithParam<SpecialCase> {};

TEST_P(CheckSpecial, WritesTheFileAndGoesOnOrEnds) {
    const SpecialCase& c = GetParam();
    devsim::Device d("special");
    d.Ini(StandardIni(c.tmp_full ? "[faults]\ntmp_full = yes\n" : ""));
    if (c.tmp_full) {
        // /tmp is full from the start: the tools the check runs from /tmp/bin are
        // in place, and the copies of the procfs files find room where their older
        // versions are truncated, so only the extraction meets the full /tmp.
        for (const char* tool : {"cat", "touch", "chmod"})
            d.File(std::string("/tmp/bin/") + tool,
                   std::string("#!/bin/sh\nexec /bin/") + tool + " \"$@\"\n", 0755);
        for (const char* copy :
             {"/tmp/avalanche_env_file", "/tmp/ver_software", "/tmp/ver_hardware"})
            d.File(copy, std::string(8192, 'f'));
    }
    if (c.before != nullptr) d.File(c.path, c.before, 0755);
    RomPackageSpec desc = StandardPackage();
    const std::string data = c.tmp_full    ? std::string(256 * 1024, 't')
                             : c.type == 1 ? kTool
                             : c.type == 7 ? "data"
                                           : c.after;
    RomPartitionSpec special;
    special.partition_id = 255, special.partition_type = c.type;
    special.partition_version = c.version, special.data.assign(data.begin(), data.end());
    desc.partitions.insert(desc.partitions.begin(), special);
    if (c.result == 11) desc.partitions[1].partition_id = 7;  // never reached
    ProbeReport r = valid::RunCheck(d, rombuild_package(desc), 6);
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.flags[0], 0);
    EXPECT_EQ(r.flags[1], c.flag_behind);
    EXPECT_EQ(r.mtd_config, c.mtd_config);
    if (c.type == 1) {
        EXPECT_EQ(r.tool_version, c.version);
    }
    EXPECT_EQ(d.DeviceFileExists(c.path), !c.after.empty());
    if (!c.after.empty()) {
        EXPECT_EQ(d.DeviceFile(c.path), c.after);
    }
    auto msgs = Messages(d);
    EXPECT_GE(valid::FindMessage(msgs, c.logged), 0) << c.logged;
    // The saved tool ends the check before the device's variables are read.
    EXPECT_EQ(valid::FindMessage(msgs, "rom_upgrade_check start") >= 0, c.result != 11);
    EXPECT_EQ(d.DeviceFileExists("/tmp/ver_hardware"), c.result != 11);
}

const std::string kConf = "[mtd]\nmtd2=0x90100000,0x90300000\n";

INSTANTIATE_TEST_SUITE_P(
    Types, CheckSpecial,
    ::testing::Values(
        SpecialCase{"tool_saved_ends_the_check", 1, rombuild_version(1, 0, 0, 56), nullptr, 11, 6,
                    0, "/tmp/upgrader_tool", kTool, "shellcmd:/tmp/bin/touch /tmp/upgrader_tool"},
        SpecialCase{"tool_of_own_version_ignored", 1, rombuild_version(1, 0, 0, 55), nullptr, 0, 1,
                    0, "/tmp/upgrader_tool", "", "upgrader version same! version:1.0.0.55"},
        SpecialCase{"present_tool_kept", 1, rombuild_version(1, 0, 1, 0), "old tool", 0, 1, 0,
                    "/tmp/upgrader_tool", "old tool", "ppartition_addr->partition_type:1"},
        SpecialCase{"layout_replaces_longer_file", 2, 0,
                    "an older layout file, longer than the new one", 0, 1, 1, "/tmp/mtd.conf",
                    kConf, "MTD CONFIG ppartition_addr->partition_type:2"},
        SpecialCase{"config_modify", 3, 0, nullptr, 0, 1, 0, "/config/config_modify", "modify=1\n",
                    "CONFIG MODIFY ppartition_addr->partition_type:3"},
        SpecialCase{"unknown_type_ignored", 7, 0, nullptr, 0, 1, 0, "/tmp/mtd.conf", "",
                    "rom_upgrade_check start"},
        SpecialCase{"tool_on_full_tmp", 1, rombuild_version(2, 0, 0, 0), nullptr, 0, 1, 0,
                    "/tmp/upgrader_tool", "", "/tmp/upgrader_tool write failed!", true},
        SpecialCase{"layout_on_full_tmp", 2, 0, nullptr, 0, 1, 0, "/tmp/mtd.conf", "",
                    "/tmp/mtd.conf write failed!", true}),
    [](const auto& tp) { return std::string(tp.param.what); });

}  // namespace
