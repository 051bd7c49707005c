// The environment reader and the variable setter on the simulated device: the
// real shell commands, /proc files and /tmp copies.
#include <gtest/gtest.h>

#include <string>

#include "probe_report.h"

namespace {

using valid::Messages;
using valid::RunProbe;
using valid::StandardIni;

using Entries = std::vector<std::pair<std::string, std::string>>;

// The standard device's listing, in its order.
const Entries kStandardVars = {
    {"MID_VERSION", "0"}, {"SW_OEM", "0"}, {"SW_protect", "0"},
    {"mtd0", "0x90000000,0x90020000"}, {"mtd1", "0x90020000,0x90100000"},
    {"mtd2", "0x90100000,0x90300000"}, {"mtd3", "0x90300000,0x90310000"},
    {"mtd4", "0x90310000,0x90320000"}, {"mtd5", "0x90320000,0x90600000"},
    {"mtd6", "0x90600000,0x90800000"}};

TEST(ReadEnvDevice, ListingOrderThenVersionsInTheirOrder) {
    devsim::Device d("envall");
    d.Ini(StandardIni("mtd7 = 10,0x20\nHW_EXTRA = 5\nmtd8 =\nMtd2Version = 1.0.0.3\n"));
    d.File("/app/version.conf", "[Version]\nMtd6Version = 3.0.0.6\nRomVersion=2.0.0.1\n");
    d.File("/basic/version.conf", "[Other]\nMtd5Version=9.9.9.9\n[Version]\nMtd5Version=5.0.0.5\n");
    d.File("/version.conf", "[Version]\r\nMtd0Version=0.0.0.7\r\n");
    valid::ProbeReport r = RunProbe(d, {"env"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    Entries expected = kStandardVars;
    expected.insert(expected.end(), {{"mtd7", "0x10,0x20"}, {"Mtd2Version", "1.0.0.3"},
                                     {"RomVersion", "2.0.0.1"}, {"Mtd6Version", "3.0.0.6"},
                                     {"Mtd5Version", "5.0.0.5"}, {"Mtd0Version", "0.0.0.7"},
                                     {"Mtd1Version", "1.2.3.4"}});
    EXPECT_EQ(r.env, expected) << r.text;
    EXPECT_NE(d.DeviceFile("/tmp/avalanche_env_file").find("SW_protect 0\n"), std::string::npos);
    EXPECT_EQ(d.DeviceFile("/tmp/ver_software").rfind("1.2.3.4,20261206", 0), 0u);
    for (const char* m : {"shellcmd:/tmp/bin/cat /proc/avalanche/env > /tmp/avalanche_env_file",
                          "RomVersion:2.0.0.1", "Mtd1Version:1.2.3.4"})
        EXPECT_GE(valid::FindMessage(Messages(d), m), 0) << m;
}

// The version text's cases are decided on the host (env_listing_test); here the
// device's software file without a comma fails the read after the listing.
TEST(ReadEnvDevice, SoftwareVersionWithoutCommaFailsAfterTheListing) {
    devsim::Device d("envsw");
    std::string ini = StandardIni();
    ini.replace(ini.find("1.2.3.4,20261206"), 16, "7.1.0.2");
    d.Ini(ini);
    valid::ProbeReport r = RunProbe(d, {"env"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, -88);
    EXPECT_EQ(r.env, kStandardVars) << "the listing was read before the failure";
}

// do_set_env: the command's length limit, the two command forms, and a
// refused text that reaches no shell (the refused characters are decided on
// the host, env_lookup_test).
struct SetCase {
    const char* what;
    std::string name, value;
    int result;
    const char* after;  // the variable afterwards; nullptr: absent
    std::string logged;
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.what; }

class SetEnvDevice : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetEnvDevice, RunsTheCommandOrRefuses) {
    const SetCase& c = GetParam();
    devsim::Device d("setenv");
    d.Ini(StandardIni());
    valid::ProbeReport r = RunProbe(d, {"set", c.name, c.value});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(d.EnvHas(c.name), c.after != nullptr);
    if (c.after != nullptr) {
        EXPECT_EQ(d.EnvValue(c.name), c.after);
    }
    EXPECT_TRUE(d.EnvHas("SW_protect"));
    EXPECT_FALSE(d.DeviceFileExists("/config/pwned"));
    auto msgs = Messages(d);
    EXPECT_GE(valid::FindMessage(msgs, c.logged), 0) << c.logged;
    for (const std::string& m : msgs)  // a refused text reaches no shell
        EXPECT_TRUE(c.result == 0 || m.find("shellcmd:echo") == std::string::npos) << m;
}

const std::string kLongName(200, 'N');
const std::string k28(28, '1');

INSTANTIATE_TEST_SUITE_P(
    Cases, SetEnvDevice,
    ::testing::Values(
        SetCase{"longest_command_runs", kLongName, k28, 0, k28.c_str(), "\nshellcmd:echo*"},
        SetCase{"one_more_refused", kLongName, k28 + "1", -1, nullptr, "env str too long!"},
        SetCase{"value_form", "SW_OEM", "42", 0, "42",
                "\nshellcmd:echo \"SW_OEM 42\" >/proc/avalanche/env "},
        SetCase{"empty_value_deletes", "SW_OEM", "", 0, nullptr,
                "\nshellcmd:echo \"SW_OEM\" >/proc/avalanche/env "},
        SetCase{"quote_refused", "SW_OEM", "1\"; touch /config/pwned; echo \"", -1, "0",
                "env str invalid!"}),
    [](const auto& tp) { return std::string(tp.param.what); });

}  // namespace
