// Shell safety on the simulated device: text from a package, a file name, a
// bootloader variable or a path never reaches the installer's shell commands
// unquoted. Each hostile text carries a command that would create a canary file
// in /tmp (written without a '/', which no file name can hold); the canary
// must never exist, and the installer must still do its work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using drivertest::Build;
using drivertest::PhoneIni;
using drivertest::SamplePackage;

// "touch /tmp/canary" spelled without a slash.
const std::string kTouch = "touch $(printf '\\057tmp\\057canary')";

bool Canary(const devsim::Device& dev) { return dev.DeviceFileExists("/tmp/canary"); }

// Configuration files in /tmp whose names would break out of the quoted copy
// command of the auto-provisioning hand-off (shared-memory mode after a burn).
struct NameCase {
    const char* name;
    std::string file;  // name in /tmp
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class HostileConfigNames : public testing::TestWithParam<NameCase> {};

TEST_P(HostileConfigNames, AreSkippedAndTheSafeOneIsCopied) {
    const NameCase& c = GetParam();
    devsim::Device dev(c.name);
    // The copy commands have 3 seconds each: at the sample phone's speed that
    // is too short for a loaded test machine.
    dev.Ini(PhoneIni("speed = 10\n"));
    drivertest::AddVersionFiles(dev);
    dev.File("/tmp/" + c.file, "HOSTILE-CONTENT\n");
    dev.File("/tmp/plain.cfg", "PLAIN-CONTENT\n");
    const std::string rom = dev.HostFile("p.rom", Build(SamplePackage()));
    ASSERT_EQ(dev.Run({"--shm", rom, "--state", "0"}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_FALSE(Canary(dev));
    const std::string saved = dev.DeviceFile("/config/autop_retry_save.cfg");
    EXPECT_NE(saved.find("PLAIN-CONTENT"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("HOSTILE-CONTENT"), std::string::npos) << saved;
    EXPECT_TRUE(dev.LogContains("skipped: name holds shell characters"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileConfigNames,
    testing::Values(NameCase{"quote", "a';" + kTouch + ";'.cfg"},
                    NameCase{"dollar", "$(" + kTouch + ").cfg"},
                    NameCase{"backtick", "`" + kTouch + "`.conf"},
                    NameCase{"semicolon", "x;" + kTouch + ";y.cfg"},
                    NameCase{"newline", "n\n" + kTouch + "\n.cfg"},
                    NameCase{"blank", "two words.cfg"}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.name); });

// Bootloader variables with hostile texts: the check reads them as numbers and
// writes back only decimal texts, so nothing of them reaches the variable-
// setting command.
struct VariableCase {
    const char* name;
    std::string oem, mid, protect;
};

void PrintTo(const VariableCase& c, std::ostream* os) { *os << c.name; }

class HostileVariables : public testing::TestWithParam<VariableCase> {};

TEST_P(HostileVariables, NeverReachTheShell) {
    const VariableCase& c = GetParam();
    devsim::Device dev(c.name);
    std::string ini = PhoneIni();
    auto replace = [&ini](const std::string& line, const std::string& with) {
        const size_t at = ini.find(line);
        ASSERT_NE(at, std::string::npos);
        ini.replace(at, line.size(), with);
    };
    replace("MID_VERSION = 0\n", "MID_VERSION = " + c.mid + "\n");
    replace("SW_OEM = 0\n", "SW_OEM = " + c.oem + "\n");
    replace("SW_protect = 0\n", "SW_protect = " + c.protect + "\n");
    dev.Ini(ini);
    drivertest::AddVersionFiles(dev);
    ASSERT_EQ(dev.Run({"--rom", dev.HostFile("p.rom", Build(SamplePackage())), "--keys", "35@frame1"}), 0)
        << dev.Stderr();
    EXPECT_FALSE(Canary(dev));
    EXPECT_EQ(dev.result().outcome, "rebooted");
    // The package's OEM id 0 is written as its decimal text.
    EXPECT_EQ(dev.EnvValue("SW_OEM"), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Values, HostileVariables,
    testing::Values(VariableCase{"subst", "0$(" + kTouch + ")", "0", "0"},
                    VariableCase{"quotes", "0\";" + kTouch + ";\"", "0`" + kTouch + "`", "0"},
                    VariableCase{"protect", "0", "0", "0';" + kTouch + ";'"}),
    [](const testing::TestParamInfo<VariableCase>& p) { return std::string(p.param.name); });

// A package path full of shell characters: the installer opens it, installs
// it and hands it on without a shell.
TEST(HostilePath, RomPathIsNeverInterpreted) {
    devsim::Device dev("path");
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    const std::string path = "/tmp/a';" + kTouch + ";'$(" + kTouch + ").rom";
    dev.File(path, Build(SamplePackage()));
    ASSERT_EQ(dev.Run({}, {path}), 0) << dev.Stderr();
    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_FALSE(Canary(dev));
    EXPECT_EQ(dev.Window(1).substr(0, 16), drivertest::Bytes(SamplePackage().partitions[0].data).substr(0, 16));
}

// A package that brings an upgrader tool, started from a hostile path: the
// tool is handed the path as one argument, never through a shell.
TEST(HostilePath, ToolHandOffPassesThePathUnchanged) {
    devsim::Device dev("tool");
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    RomPackageSpec desc = SamplePackage();
    RomPartitionSpec tool;
    tool.partition_type = 1;
    tool.partition_id = 255;
    tool.partition_version = rombuild_version(1, 0, 0, 99);
    const std::string script = "#!/bin/sh\necho \"$1\" > /tmp/tool_arg\n";
    tool.data.assign(script.begin(), script.end());
    desc.partitions.insert(desc.partitions.begin(), tool);
    const std::string path = "/tmp/b;" + kTouch + ";.rom";
    dev.File(path, Build(desc));
    ASSERT_EQ(dev.Run({"--timeout", "20"}, {path}), 0) << dev.Stderr();
    EXPECT_FALSE(Canary(dev));
    EXPECT_EQ(dev.DeviceFile("/tmp/tool_arg"), path + "\n");
}

}  // namespace
