// The misc requests and the LED notification on the simulated device, as the
// device recorded them (frames and the mapping: the installer's device
// scenarios, driver_scenarios_test).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "devsim_harness.h"
#include "display.h"

namespace {

int RunProbe(devsim::Device& d, const char* mode) {
    EXPECT_EQ(0, d.Exec(devsim::BinDir() + "/display_probe", {mode})) << d.Stderr();
    EXPECT_EQ("exited", d.result().outcome);
    return d.result().exit_status.value_or(-1);
}

// Each request with its code and value; one notification, from devctrl_set_led
// only: id 4, the mask as data.
TEST(DisplayDevice, MiscRequestsAndTheLedNotification) {
    devsim::Device d("displeds");
    d.Ini("[device]\nlisten = 4\n");
    ASSERT_EQ(0, RunProbe(d, "leds"));
    const std::vector<std::pair<std::uint32_t, long>> expected = {
        {MISC_IOCS_LED, 0x15}, {MISC_IOCG_LED, 0x15},  {MISC_IOCS_LED, 0x05},    {MISC_IOCG_LED, 0x05},
        {MISC_IOCS_BKLIGHT, 7}, {MISC_IOCG_BKLIGHT, 7}, {MISC_IOCS_EXT_LED, 2},
    };
    const std::vector<devsim::MiscRecord> got = d.Misc();
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, got[i].request) << "request " << i;
        EXPECT_EQ(expected[i].second, got[i].value) << "request " << i;
        EXPECT_EQ(0, got[i].result) << "request " << i;
    }
    const std::vector<devsim::IpcRecord> ipc = d.Ipc();
    ASSERT_EQ(1u, ipc.size());
    EXPECT_EQ(4, ipc[0].receiver);
    EXPECT_EQ(DEVCTRL_LED_NOTIFY_MSG, ipc[0].msg);
    EXPECT_EQ(6, ipc[0].sender);
    EXPECT_EQ(24, ipc[0].length);
    EXPECT_EQ(std::string("\x15\0\0\0", 4), ipc[0].data);
}

TEST(DisplayDevice, RefusedLedRequestSendsNoNotification) {
    devsim::Device d("displedfail");
    d.Ini("[device]\nlisten = 4\n[faults]\nmisc = fail\n");
    ASSERT_EQ(0, RunProbe(d, "leds-failing"));
    EXPECT_TRUE(d.Ipc().empty());  // the failure texts: display_test
}

}  // namespace
