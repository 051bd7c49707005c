// romload inside the simulated device, read back by a probe that does what the
// installer does with the buffer; the device records the probe's broadcast.
#include <gtest/gtest.h>

#include <string>

#include "devsim_harness.h"

namespace {

std::string bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    return s;
}

struct DeviceCase {
    const char* name;
    size_t length;
    const char* state;
    const char* key;
};

void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

class RomloadOnDevice : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(RomloadOnDevice, InstallerSideReadsWhatRomloadWrote) {
    const DeviceCase c = GetParam();
    devsim::Device d("romload");
    d.Ini("[device]\nlisten = 2\n");
    const std::string package = bytes(c.length);
    d.File("/basic/bin/romload", devsim::ReadFile(devsim::BinDir() + "/romload"), 0755);
    d.File("/data/package.rom", package);
    ASSERT_EQ(0, d.Exec(devsim::BinDir() + "/romload_probe",
                        {"/basic/bin/romload", "/data/package.rom", c.state, c.key}))
        << d.Stderr();
    ASSERT_EQ("exited", d.result().outcome);
    EXPECT_EQ(0, d.result().exit_status.value_or(-1));

    const auto records = d.Ipc();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(2, records[0].receiver);
    EXPECT_EQ(6, records[0].sender);
    EXPECT_EQ(0x5AFE, records[0].msg);
    EXPECT_EQ(std::stoi(c.state), records[0].wparam);
    EXPECT_EQ(0x800000, records[0].lparam);
    EXPECT_EQ(36, records[0].length);
    EXPECT_EQ(package.substr(0, 16), records[0].data);
    // The release looks up 0xA130 only: a 0x1079B segment stays attached.
    EXPECT_EQ(std::string(c.key) == "0xA130", d.LogContains("detach the shared memory"));
}

INSTANTIATE_TEST_SUITE_P(
    Packages, RomloadOnDevice,
    ::testing::Values(DeviceCase{"rom_key_state_0", 4096, "0", "0xA130"},
                      DeviceCase{"alt_key_state_minus_3", 100000, "-3", "0x1079B"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
