// romload inside the simulated device, with the device's fixed keys: a probe
// takes the buffer as the installer does and broadcasts what it found; the
// device records the broadcast. The filling logic itself is romload_test's.
#include <gtest/gtest.h>

#include <string>

#include "devsim_harness.h"

TEST(RomloadOnDevice, InstallerSideReadsWhatRomloadWroteUnderTheAlternativeKey) {
    devsim::Device d("romload");
    d.Ini("[device]\nlisten = 2\n");
    std::string package(100000, '\0');
    for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    d.File("/basic/bin/romload", devsim::ReadFile(devsim::BinDir() + "/romload"), 0755);
    d.File("/data/package.rom", package);
    ASSERT_EQ(0, d.Exec(devsim::BinDir() + "/romload_probe",
                        {"/basic/bin/romload", "/data/package.rom", "-3", "0x1079B"}))
        << d.Stderr();
    ASSERT_EQ("exited", d.result().outcome);
    EXPECT_EQ(0, d.result().exit_status.value_or(-1));
    const auto records = d.Ipc();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(2, records[0].receiver);
    EXPECT_EQ(6, records[0].sender);
    EXPECT_EQ(0x5AFE, records[0].msg);
    EXPECT_EQ(-3, records[0].wparam);
    EXPECT_EQ(0x800000, records[0].lparam);
    EXPECT_EQ(package.substr(0, 16), records[0].data);
    // The release looks up 0xA130 only: a 0x1079B segment stays attached.
    EXPECT_FALSE(d.LogContains("detach the shared memory"));
}
