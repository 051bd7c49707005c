// The environment reader and the variable setter on the simulated device: the
// real shell commands, /proc files and /tmp copies.
#include <gtest/gtest.h>

#include <string>

#include "param_name.h"
#include "probe_report.h"

namespace {

using valid::Messages;
using valid::RunProbe;
using valid::StandardIni;

using Entries = std::vector<std::pair<std::string, std::string>>;

const Entries kStandardVars = {
    {"MID_VERSION", "0"},
    {"SW_OEM", "0"},
    {"SW_protect", "0"},
    {"mtd0", "0x90000000,0x90020000"},
    {"mtd1", "0x90020000,0x90100000"},
    {"mtd2", "0x90100000,0x90300000"},
    {"mtd3", "0x90300000,0x90310000"},
    {"mtd4", "0x90310000,0x90320000"},
    {"mtd5", "0x90320000,0x90600000"},
    {"mtd6", "0x90600000,0x90800000"},
};

Entries With(Entries base, const Entries& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

TEST(ReadEnvDevice, ListingOrderThenVersionsInTheirOrder) {
    devsim::Device d("envall");
    d.Ini(StandardIni("mtd7 = 10,0x20\nHW_EXTRA = 5\nmtd8 =\nMtd2Version = 1.0.0.3\n"));
    d.File("/app/version.conf", "[Version]\nMtd6Version = 3.0.0.6\nRomVersion=2.0.0.1\n");
    d.File("/basic/version.conf", "[Other]\nMtd5Version=9.9.9.9\n[Version]\nMtd5Version=5.0.0.5\n");
    d.File("/version.conf", "[Version]\r\nMtd0Version=0.0.0.7\r\n");
    valid::ProbeReport r = RunProbe(d, {"env"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.env, With(kStandardVars, {{"mtd7", "0x10,0x20"},
                                          {"Mtd2Version", "1.0.0.3"},
                                          {"RomVersion", "2.0.0.1"},
                                          {"Mtd6Version", "3.0.0.6"},
                                          {"Mtd5Version", "5.0.0.5"},
                                          {"Mtd0Version", "0.0.0.7"},
                                          {"Mtd1Version", "1.2.3.4"}}))
        << r.text;
    EXPECT_NE(d.DeviceFile("/tmp/avalanche_env_file").find("SW_protect 0\n"), std::string::npos);
    EXPECT_EQ(d.DeviceFile("/tmp/ver_software").rfind("1.2.3.4,20261206", 0), 0u);
    auto msgs = Messages(d);
    EXPECT_GE(valid::FindMessage(msgs, "shellcmd:/tmp/bin/cat /proc/avalanche/env > "
                                       "/tmp/avalanche_env_file"),
              0);
    EXPECT_GE(valid::FindMessage(msgs, "RomVersion:2.0.0.1"), 0);
    EXPECT_GE(valid::FindMessage(msgs, "Mtd1Version:1.2.3.4"), 0);
}

TEST(ReadEnvDevice, MissingVersionFilesOnlyLoseTheirEntries) {
    devsim::Device d("envnover");
    d.Ini(StandardIni());
    valid::ProbeReport r = RunProbe(d, {"env"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.env, With(kStandardVars, {{"Mtd1Version", "1.2.3.4"}})) << r.text;
}

TEST(ReadEnvDevice, ValuesAtTheirLengthLimit) {
    devsim::Device d("envlimit");
    std::string v99(99, '8'), v100(100, '8');
    std::string a49(49, 'A'), b49(49, 'B'), c50(50, 'C');
    // 49 + 1 + 99 = 149 characters pass every test; 49 + 1 + 100 = 150 is refused
    // as a line before its value is looked at.
    d.Ini(StandardIni("Mtd2Version = " + v100 + "\n" + a49 + " = " + v99 + "\n" + b49 + " = " +
                          v100 + "\n" + c50 + " = 1\n",
                      "", "53.2.0.0.5.0.0.0",
                      "MID_VERSION = 0\nSW_OEM = " + v99 + "\nSW_protect = 0\n"));
    valid::ProbeReport r = RunProbe(d, {"env"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    ASSERT_GE(r.env.size(), 2u);
    EXPECT_EQ(r.env[1], (std::pair<std::string, std::string>{"SW_OEM", v99}));
    for (const auto& e : r.env) EXPECT_NE(e.first, "Mtd2Version");
    auto msgs = Messages(d);
    int value_long = valid::FindMessage(msgs, "env value too long");
    EXPECT_GE(value_long, 0);
    EXPECT_EQ(valid::FindMessage(msgs, "env value too long", value_long + 1), -1);
    EXPECT_GE(valid::FindMessage(msgs, "pvar:" + a49 + " pval:" + v99), 0);
    EXPECT_GE(valid::FindMessage(msgs, "env data too long"), 0);
    EXPECT_GE(valid::FindMessage(msgs, "env name too long"), 0);
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

// ---- do_set_env ----

TEST(SetEnvDevice, LongestCommandRunsOneMoreIsRefused) {
    std::string name(200, 'N');
    devsim::Device ok("setok");
    ok.Ini(StandardIni());
    valid::ProbeReport r = RunProbe(ok, {"set", name, std::string(28, '1')});
    ASSERT_TRUE(r.ok) << ok.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(ok.EnvValue(name), std::string(28, '1'));

    devsim::Device refused("setlong");
    refused.Ini(StandardIni());
    r = RunProbe(refused, {"set", name, std::string(29, '1')});
    ASSERT_TRUE(r.ok) << refused.Stderr();
    EXPECT_EQ(r.result, -1);
    EXPECT_FALSE(refused.EnvHas(name));
    EXPECT_GE(valid::FindMessage(Messages(refused), "env str too long!"), 0);
}

TEST(SetEnvDevice, ValueAndEmptyValueForms) {
    devsim::Device d("setform");
    d.Ini(StandardIni());
    valid::ProbeReport r = RunProbe(d, {"set", "SW_OEM", "42"});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(d.EnvValue("SW_OEM"), "42");
    EXPECT_GE(valid::FindMessage(Messages(d),
                                 "\nshellcmd:echo \"SW_OEM 42\" >/proc/avalanche/env "),
              0);

    devsim::Device e("setempty");
    e.Ini(StandardIni());
    r = RunProbe(e, {"set", "SW_OEM", ""});
    ASSERT_TRUE(r.ok) << e.Stderr();
    EXPECT_EQ(r.result, 0);
    EXPECT_FALSE(e.EnvHas("SW_OEM"));  // the one-argument form deletes it
    EXPECT_TRUE(e.EnvHas("SW_protect"));
    EXPECT_GE(valid::FindMessage(Messages(e), "\nshellcmd:echo \"SW_OEM\" >/proc/avalanche/env "),
              0);
}

class SetEnvHostile : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(SetEnvHostile, RefusedAndNothingReachesTheShell) {
    devsim::Device d("sethostile");
    d.Ini(StandardIni());
    valid::ProbeReport r = RunProbe(d, {"set", GetParam().first, GetParam().second});
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, -1);
    EXPECT_FALSE(d.DeviceFileExists("/config/pwned"));
    EXPECT_EQ(d.EnvValue("SW_OEM"), "0");
    EXPECT_EQ(d.EnvValue("SW_protect"), "0");
    auto msgs = Messages(d);
    EXPECT_GE(valid::FindMessage(msgs, "env str invalid!"), 0);
    for (const std::string& m : msgs) EXPECT_EQ(m.find("shellcmd:echo"), std::string::npos) << m;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SetEnvHostile,
    ::testing::Values(std::make_pair("SW_OEM", "1\"; touch /config/pwned; echo \""),
                      std::make_pair("SW_OEM", "$(touch /config/pwned)"),
                      std::make_pair("SW_OEM", "`touch /config/pwned`"),
                      std::make_pair("SW_OEM", "1\nSW_protect 1"),
                      std::make_pair("SW_OEM", "1\\"),
                      std::make_pair("SW_OEM\"; touch /config/pwned; \"", "1"),
                      std::make_pair("SW_protect\rX", "1")),
    [](const auto& p) {
        return coord_testing::ParamName(p.index, p.param.first + "_" + p.param.second);
    });

}  // namespace
