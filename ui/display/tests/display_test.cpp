// The device calls against stand-ins in a private /dev and /proc: failure
// results and texts, the refresh byte, the raw frame-buffer write, and that no
// descriptor is left open. The mapping itself: display_fb_test; the refresh
// that works: lcd_refresh_test; real ioctls: the simulated device
// (display_system_test).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <functional>
#include <string>

#include "display.h"
#include "private_ns.h"
#include "private_proc.h"
#include "stand_in.h"

namespace {

using namespace coord_testing;
using namespace display_testing;
using uitest::EnterPrivateProc;

// Failures are logged and reported; the shell variant returns the shell's result.
TEST(Refresh, FailuresAreLoggedAndReported) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        ASSERT_TRUE(EnterPrivateProc(false));
        EXPECT_EQ(-1, devctrl_refresh_lcd());
        EXPECT_TRUE(SyslogContains("open glcd refresh procfs device failed.", 1000));
        EXPECT_EQ(0, devctrl_refresh_lcd_K60());
        EXPECT_EQ("1\n", ReadAll("/proc/glcd/refresh"));
        ASSERT_EQ(0, unlink("/proc/glcd/refresh"));
        ASSERT_TRUE(CharDevice("/proc/glcd/refresh", 7));
        const int free_fd = LowestFreeFd();
        EXPECT_EQ(-1, devctrl_refresh_lcd());
        EXPECT_TRUE(SyslogContains("WRITE GLCD_REFRESH_DEV failed.", 1000));
        EXPECT_EQ(free_fd, LowestFreeFd());
        ASSERT_EQ(0, unlink("/proc/glcd/refresh"));
        ASSERT_EQ(0, rmdir("/proc/glcd"));
        EXPECT_NE(0, devctrl_refresh_lcd_K60());
    }));
}

// The bytes go to the start of the device; failures give -1. A device taking
// only part of the picture: the rest is written again, and that write's failure
// is the result (files end at 3 bytes here).
TEST(FlushFbData, WritesTheBytesToTheStartOfTheDeviceOrFails) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        const std::uint8_t data[5] = {1, 2, 3, 0, 5};
        EXPECT_EQ(-1, devctrl_flush_fbdata(data, sizeof data));  // no /dev/fb0
        ASSERT_TRUE(CharDevice("/dev/fb0", 7));
        const int free_fd = LowestFreeFd();
        EXPECT_EQ(-1, devctrl_flush_fbdata(data, sizeof data));
        EXPECT_EQ(free_fd, LowestFreeFd());
        EXPECT_EQ(-1, devctrl_flush_fbdata(nullptr, 4));
        ASSERT_EQ(0, unlink("/dev/fb0"));
        WriteAll("/dev/fb0", std::string(8, 'x'));
        EXPECT_EQ(0, devctrl_flush_fbdata(data, sizeof data));
        EXPECT_EQ(std::string("\x01\x02\x03\x00\x05xxx", 8), ReadAll("/dev/fb0"));
        ASSERT_EQ(0, unlink("/dev/fb0"));
        WriteAll("/dev/fb0", "");
        signal(SIGXFSZ, SIG_IGN);
        const rlimit three = {3, 3};
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &three));
        EXPECT_EQ(-1, devctrl_flush_fbdata(data, sizeof data));
    }));
}

// failure_result: setters give -1, getters 0
struct MiscCall {
    const char* name; std::function<int()> call; int failure_result; const char* ioctl_text;
};

const MiscCall kMiscCalls[] = {
    {"get_led", [] { return devctrl_get_led(); }, 0, "IOCTL MISC_IOCG_LED failed."},
    {"set_led", [] { return devctrl_set_led(0x5); }, -1, "IOCTL MISC_IOCS_LED failed."},
    {"set_led_ex", [] { const std::uint8_t s[2] = {0x11, 0x01}; return devctrl_set_led_ex(s); }, -1,
     "IOCTL MISC_IOCS_LED failed."},
    {"get_bklight", [] { return devctrl_get_bklight(); }, 0, "IOCTL MISC_IOCG_BKLIGHT failed."},
    {"set_bklight", [] { return devctrl_set_bklight(3); }, -1, "IOCTL MISC_IOCS_BKLIGHT failed."},
    {"set_ext_led", [] { return devctrl_set_ext_led(1); }, -1, "IOCTL MISC_IOCS_EXT_LED failed."},
};

// Without the misc device every call fails with the open text; with a device
// that refuses the request, with the request's own text, and closes it again.
// Getters give 0.
TEST(Misc, FailuresGiveTheCallsResultAndText) {
    for (const MiscCall& c : kMiscCalls) {
        EXPECT_TRUE(RunIsolated(kCaptureSyslog, [&c] {
            EXPECT_EQ(c.failure_result, c.call()) << c.name;
            EXPECT_TRUE(SyslogContains("open misc ioctl device failed.", 1000)) << c.name;
            SyslogClear();
            ASSERT_TRUE(CharDevice("/dev/misc0", 3));  // the null device takes no ioctls
            const int free_fd = LowestFreeFd();
            EXPECT_EQ(c.failure_result, c.call()) << c.name;
            EXPECT_TRUE(SyslogContains(c.ioctl_text, 1000)) << c.name;
            EXPECT_FALSE(SyslogContains("open misc ioctl device failed.")) << c.name;
            EXPECT_EQ(free_fd, LowestFreeFd()) << c.name;
            EXPECT_EQ(-1, devctrl_set_led_ex(nullptr));
        })) << c.name;
    }
}

}  // namespace
