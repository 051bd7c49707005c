// The auto-provisioning files after a successful upgrade: the configuration
// files of /tmp saved for the retry and line key 8 retired, in shared-memory
// mode only and as the version installed before asks.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "driver_fixture.h"

namespace {

using drivertest::Broadcasts;
using drivertest::Build;
using drivertest::LastFrame;
using drivertest::PhoneIni;
using drivertest::ProgressScreen;
using drivertest::SamplePackage;

constexpr const char* kSaveFile = "config/autop_retry_save.cfg";
constexpr const char* kKeyFile = "config/Phone/Key/ProgramableKey.conf";
constexpr const char* kKeys = "[ LINEKEY1 ]\ntype = 1\n[ LINEKEY8 ]\ntype = 2\n";
constexpr const char* kReboot = "Config.Autoprovision.Reboot.Enable = 1 \n";

// The key file with only the LINEKEY8 line replaced (blanks before the
// marker are the shell tool's business).
bool KeyFileRetired(const std::string& text) {
    const std::string head = "[ LINEKEY1 ]\ntype = 1\n";
    if (text.compare(0, head.size(), head) != 0) return false;
    std::string tail = text.substr(head.size());
    tail.erase(0, tail.find_first_not_of(' '));
    return tail == "[ LINEKEY8_NOUSED ]\ntype = 2\n";
}

struct AutopCase {
    const char* name;
    bool shm;
    const char* installed;  // RomVersion before the upgrade
    bool saved;             // autop_retry_save.cfg written
    bool retired;           // LINEKEY8 replaced
};

void PrintTo(const AutopCase& c, std::ostream* os) { *os << c.name; }

class DriverAutop : public testing::TestWithParam<AutopCase> {};

TEST_P(DriverAutop, PreparesTheFilesOnlyWhenAsked) {
    const AutopCase& c = GetParam();
    devsim::Device dev(c.name);
    dev.Ini(PhoneIni());
    drivertest::AddVersionFiles(dev);
    dev.File("/app/version.conf", std::string("[Version]\nRomVersion = ") + c.installed + "\n");
    dev.File("/config/upgrader_autop", "1");
    dev.File("/config/Phone/Key/ProgramableKey.conf", kKeys);
    dev.File("/tmp/account.cfg", "account = 7\nserver_url = http://x\n");
    dev.File("/tmp/phone.conf", "volume = 3\n");
    dev.File("/tmp/notes.txt", "notes = 1\n");
    const RomPackageSpec desc = SamplePackage();
    const std::string rom = dev.HostFile("p.rom", Build(desc));
    // The file steps are shell commands with a time limit of 3 s each, which the
    // device clock divides like every wait: at a quarter of it (750 ms) a busy
    // host still starts its shell in time; at the fixture's pace (15 ms) not always.
    std::vector<std::string> options = drivertest::SourceOptions(c.shm, rom);
    options.insert(options.end(), {"--speed", "4"});
    ASSERT_EQ(dev.Run(options), 0) << dev.Stderr();

    EXPECT_EQ(dev.result().outcome, "rebooted");
    EXPECT_EQ(dev.result().reboot_command.value_or(""), "/tmp/reboot");
    EXPECT_EQ(Broadcasts(dev), (std::vector<std::pair<int, int>>{{4, 2}}));
    EXPECT_EQ(LastFrame(dev), ProgressScreen(100));
    EXPECT_FALSE(dev.DeviceFileExists("/config/upgrader_autop"));
    const std::string kernel = dev.Window(1);
    const auto& data = desc.partitions[0].data;
    ASSERT_GE(kernel.size(), data.size());
    EXPECT_EQ(kernel.substr(0, data.size()), drivertest::Bytes(data));

    EXPECT_FALSE(dev.LogContains("retry")) << "a file step ran out of time";
    EXPECT_EQ(dev.DeviceFileExists(kSaveFile), c.saved);
    EXPECT_EQ(dev.LogContains("config ok"), c.saved);
    if (c.saved) {
        const std::string saved = dev.DeviceFile(kSaveFile);
        EXPECT_NE(saved.find("account = 7\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find("volume = 3\n"), std::string::npos) << saved;
        EXPECT_EQ(saved.find("notes = 1"), std::string::npos) << saved;
        EXPECT_EQ(saved.find("http"), std::string::npos) << "URL line kept: " << saved;
        ASSERT_GE(saved.size(), std::string(kReboot).size());
        EXPECT_EQ(saved.substr(saved.size() - std::string(kReboot).size()), kReboot);
    }
    const std::string keys = dev.DeviceFile(kKeyFile);
    if (c.retired) {
        EXPECT_TRUE(KeyFileRetired(keys)) << keys;
    } else {
        EXPECT_EQ(keys, kKeys);
    }
    EXPECT_EQ(dev.LogContains("config_deleteLineKey8 excute"), c.retired);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverAutop,
    testing::Values(AutopCase{"shm", true, "1.0.0.1", true, false},
                    AutopCase{"shm59", true, "59.0.3.7", true, true},
                    AutopCase{"shmthird5", true, "59.0.5.1", false, false},
                    AutopCase{"file59", false, "59.0.3.7", false, false}),
    [](const testing::TestParamInfo<AutopCase>& p) { return std::string(p.param.name); });

}  // namespace
