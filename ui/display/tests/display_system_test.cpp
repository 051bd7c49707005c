// The display layer on the simulated device: mapping, captured frames, misc
// requests and the LED notification, as the device recorded them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devsim_harness.h"
#include "display.h"
#include "lcd.h"
#include "probe_picture.h"
#include "screen_art.h"

namespace {

std::string Probe() {
    return devsim::BinDir() + "/display_probe";
}

int RunProbe(devsim::Device& d, const char* mode) {
    const int rc = d.Exec(Probe(), {mode});
    EXPECT_EQ(0, rc) << d.Stderr();
    EXPECT_EQ("exited", d.result().outcome);
    return d.result().exit_status.value_or(-1);
}

// The off-screen picture as the device writes its frames: 64 lines of 132.
std::string HostFrame() {
    return uitest::ScreenArt();
}

TEST(DisplayDevice, InitWithoutFrameBufferFails) {
    devsim::Device d("dispnofb");
    d.Ini("[faults]\nmissing = /dev/fb0\n");
    EXPECT_EQ(10, RunProbe(d, "init"));
    EXPECT_TRUE(d.LogContains("Error opening /dev/fb0"));
    EXPECT_TRUE(d.LogContains("Unable to mmap framebuffer"));
    EXPECT_EQ(0, d.FrameCount());
}

TEST(DisplayDevice, FramesEqualTheOffScreenPicture) {
    devsim::Device d("dispframes");
    d.Ini("");
    ASSERT_EQ(0, RunProbe(d, "frames"));
    ASSERT_EQ(2, d.FrameCount());
    uitest::ClearScreen();
    for (int n = 1; n <= 2; ++n) {
        DrawProbePicture(n);
        EXPECT_EQ(HostFrame(), d.FrameText(n)) << "frame " << n;
    }
}

struct MiscStep {
    std::uint32_t request;
    long value;
    int result;
};

TEST(DisplayDevice, MiscRequestsCarryTheirCodesAndValues) {
    devsim::Device d("displeds");
    d.Ini("[device]\nlisten = 4\n");
    ASSERT_EQ(0, RunProbe(d, "leds"));
    const std::vector<MiscStep> expected = {
        {MISC_IOCS_LED, 0x15, 0},    {MISC_IOCG_LED, 0x15, 0},    {MISC_IOCS_LED, 0x05, 0},
        {MISC_IOCG_LED, 0x05, 0},    {MISC_IOCS_BKLIGHT, 7, 0},   {MISC_IOCG_BKLIGHT, 7, 0},
        {MISC_IOCS_EXT_LED, 2, 0},
    };
    const std::vector<devsim::MiscRecord> got = d.Misc();
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].request, got[i].request) << "request " << i;
        EXPECT_EQ(expected[i].value, got[i].value) << "request " << i;
        EXPECT_EQ(expected[i].result, got[i].result) << "request " << i;
    }
}

// One notification, from devctrl_set_led only: id 4, the mask as data.
TEST(DisplayDevice, LedNotificationReachesIdFourWithTheMask) {
    devsim::Device d("dispnotify");
    d.Ini("[device]\nlisten = 4\n");
    ASSERT_EQ(0, RunProbe(d, "leds"));
    const std::vector<devsim::IpcRecord> got = d.Ipc();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(4, got[0].receiver);
    EXPECT_EQ(DEVCTRL_LED_NOTIFY_MSG, got[0].msg);
    EXPECT_EQ(6, got[0].sender);
    EXPECT_EQ(0, got[0].wparam);
    EXPECT_EQ(0, got[0].lparam);
    EXPECT_EQ(24, got[0].length);
    EXPECT_EQ(std::string("\x15\0\0\0", 4), got[0].data);
}

TEST(DisplayDevice, RefusedLedRequestSendsNoNotification) {
    devsim::Device d("displedfail");
    d.Ini("[device]\nlisten = 4\n[faults]\nmisc = fail\n");
    ASSERT_EQ(0, RunProbe(d, "leds-failing"));
    EXPECT_TRUE(d.Ipc().empty());
    EXPECT_TRUE(d.LogContains("IOCTL MISC_IOCS_LED failed."));
    EXPECT_TRUE(d.LogContains("IOCTL MISC_IOCG_LED failed."));
    EXPECT_TRUE(d.LogContains("IOCTL MISC_IOCS_BKLIGHT failed."));
    EXPECT_TRUE(d.LogContains("IOCTL MISC_IOCG_BKLIGHT failed."));
}

}  // namespace
