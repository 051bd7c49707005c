// Mapping the frame buffer, with the two screen-info requests answered by this
// test (the binary's own ioctl takes the place of the C library's) and a plain
// file standing in for /dev/fb0 in a private /dev: success, keeping the first
// mapping, each failure text (a missing device too), and that failures leave
// nothing open.
#include <gtest/gtest.h>
#include <linux/fb.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <unistd.h>
#include <string>

#include "display.h"
#include "private_ns.h"
#include "stand_in.h"

namespace {

unsigned long g_failing_request = 0;    // this screen-info request fails
std::uint32_t g_smem_len = 1056;        // frame-buffer memory the driver reports
int g_fix_calls = 0;                    // FBIOGET_FSCREENINFO requests seen

}  // namespace

extern "C" int ioctl(int /*fd*/, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == g_failing_request || (request != FBIOGET_FSCREENINFO && request != FBIOGET_VSCREENINFO)) {
        errno = ENOTTY;
        return -1;
    }
    if (request == FBIOGET_FSCREENINFO) {
        ++g_fix_calls;
        fb_fix_screeninfo fix{};
        fix.smem_len = g_smem_len;
        std::memcpy(arg, &fix, sizeof fix);
    } else {
        fb_var_screeninfo var{};
        var.xres = 132;
        var.yres = 64;
        std::memcpy(arg, &var, sizeof var);
    }
    return 0;
}

namespace {

using namespace coord_testing;
using namespace display_testing;

void MakeFb(std::size_t bytes) { WriteAll("/dev/fb0", std::string(bytes, '\0')); }

TEST(FrameBufferMap, MapsSharedAndKeepsTheFirstMapping) {
    EXPECT_TRUE(RunIsolated(kCaptureSyslog, [] {
        MakeFb(1056);
        std::uint8_t* first = nullptr;
        ASSERT_EQ(0, devctrl_open_lcd(&first));
        ASSERT_NE(nullptr, first);
        first[0] = 0x5A;
        first[1055] = 0xC3;
        EXPECT_EQ('\x5A', ReadAll("/dev/fb0")[0]);  // a shared mapping reaches the device
        EXPECT_EQ('\xC3', ReadAll("/dev/fb0")[1055]);

        std::uint8_t marker = 0;
        std::uint8_t* second = &marker;
        EXPECT_GE(devctrl_open_lcd(&second), 0);
        EXPECT_EQ(&marker, second);  // left unwritten
        EXPECT_EQ(1, g_fix_calls);   // nothing asked again

        const int open_fd = LowestFreeFd();
        devctrl_close_lcd();
        EXPECT_LT(LowestFreeFd(), open_fd);  // the descriptor went
        devctrl_close_lcd();                 // second close: nothing
        std::uint8_t* again = nullptr;
        EXPECT_EQ(0, devctrl_open_lcd(&again));  // opens anew after a close
        EXPECT_EQ(2, g_fix_calls);
        EXPECT_EQ(0x5A, again[0]);
    }));
}

// device 0: a plain file, 1: the null device (cannot be mapped), 2: none.
struct FailCase {
    const char* name; unsigned long failing_request; std::uint32_t smem_len;
    int device; const char* text;
};

const FailCase kFailures[] = {
    {"no device", 0, 1056, 2, "Error opening /dev/fb0\n"},
    {"fix info", FBIOGET_FSCREENINFO, 1056, 0, "error: ioctl(FBIOGET_FSCREENINFO) failed\n"},
    {"var info", FBIOGET_VSCREENINFO, 1056, 0, "error: ioctl(FBIOGET_VSCREENINFO) failed\n"},
    {"memory shorter than a picture", 0, 1055, 0, "framebuffer memory of 1055 bytes is smaller than 1056"},
    {"mapping", 0, 1056, 1, "error: unable to mmap framebuffer\n"},
};

TEST(FrameBufferMap, EachFailureIsLoggedUndoneAndRetried) {
    for (const FailCase& c : kFailures) {
        EXPECT_TRUE(RunIsolated(kCaptureSyslog, [&c] {
            ASSERT_TRUE(c.device != 1 || CharDevice("/dev/fb0", 3));
            if (c.device == 0) MakeFb(1056);
            g_failing_request = c.failing_request;
            g_smem_len = c.smem_len;
            const int free_fd = LowestFreeFd();
            std::uint8_t marker = 0;
            std::uint8_t* addr = &marker;
            EXPECT_EQ(-1, devctrl_open_lcd(&addr)) << c.name;
            EXPECT_EQ(&marker, addr) << c.name;  // left unwritten
            EXPECT_TRUE(SyslogContains(c.text, 1000)) << c.name;
            EXPECT_EQ(free_fd, LowestFreeFd()) << c.name;
            devctrl_close_lcd();  // not mapped: nothing to do

            g_failing_request = 0;
            g_smem_len = 1056;
            unlink("/dev/fb0");
            MakeFb(1056);
            EXPECT_EQ(0, devctrl_open_lcd(nullptr)) << c.name;  // a later call starts over
        })) << c.name;
    }
}

}  // namespace
