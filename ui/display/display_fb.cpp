// The frame buffer and the panel refresh.
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "display.h"
#include "rl_log.h"

namespace {

// The panel's picture: 132 x 64 pixels, one bit each.
constexpr std::uint32_t kPictureBytes = 132 * 64 / 8;

int fb_fd = -1;
std::uint8_t* fb_buf = nullptr;
fb_fix_screeninfo fix_info{};
fb_var_screeninfo var_info{};

// Gives up a half-opened frame buffer.
int fail_open() {
    close(fb_fd);
    fb_fd = -1;
    fb_buf = nullptr;
    return -1;
}

}  // namespace

int devctrl_open_lcd(std::uint8_t** addr) {
    if (fb_buf != nullptr) {
        return 0;
    }
    fb_fd = open("/dev/fb0", O_RDWR | O_SYNC);
    if (fb_fd < 0) {
        fb_fd = -1;
        rl_log_err("Error opening /dev/fb0\n");
        return -1;
    }
    if (ioctl(fb_fd, FBIOGET_FSCREENINFO, &fix_info) < 0) {
        rl_log_err("error: ioctl(FBIOGET_FSCREENINFO) failed\n");
        return fail_open();
    }
    if (ioctl(fb_fd, FBIOGET_VSCREENINFO, &var_info) < 0) {
        rl_log_err("error: ioctl(FBIOGET_VSCREENINFO) failed\n");
        return fail_open();
    }
    // The drawing layer copies a whole picture into the mapping: a shorter
    // memory would fault on the first refresh.
    if (fix_info.smem_len < kPictureBytes) {
        rl_log_err("error: framebuffer memory of %u bytes is smaller than %u\n",
                   static_cast<unsigned>(fix_info.smem_len), static_cast<unsigned>(kPictureBytes));
        return fail_open();
    }
    void* mapped = mmap(nullptr, fix_info.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, fb_fd, 0);
    if (mapped == MAP_FAILED) {
        rl_log_err("error: unable to mmap framebuffer\n");
        return fail_open();
    }
    fb_buf = static_cast<std::uint8_t*>(mapped);
    if (addr != nullptr) {
        *addr = fb_buf;
    }
    return 0;
}

void devctrl_close_lcd() {
    if (fb_buf == nullptr) {
        return;
    }
    munmap(fb_buf, fix_info.smem_len);
    close(fb_fd);
    fb_buf = nullptr;
    fb_fd = -1;
}

int devctrl_refresh_lcd() {
    const int fd = open("/proc/glcd/refresh", O_RDWR);
    if (fd < 0) {
        rl_log_err("open glcd refresh procfs device failed.");
        return -1;
    }
    if (write(fd, "1", 1) != 1) {
        rl_log_err("WRITE GLCD_REFRESH_DEV failed.");
        close(fd);
        return -1;
    }
    close(fd);
    return 0;
}

int devctrl_refresh_lcd_K60() {
    return system("echo \"1\" >/proc/glcd/refresh");
}

int devctrl_flush_fbdata(const std::uint8_t* buf, std::uint32_t len) {
    if (buf == nullptr && len != 0) {
        rl_log_err("flush framebuffer: no data\n");
        return -1;
    }
    const int fd = open("/dev/fb0", O_RDWR);
    if (fd < 0) {
        rl_log_err("flush framebuffer: Error opening /dev/fb0\n");
        return -1;
    }
    // Writes until all bytes are out: a frame buffer may take them in parts.
    std::uint32_t done = 0;
    while (done < len) {
        const ssize_t n = write(fd, buf + done, len - done);
        if (n <= 0) {
            rl_log_err("flush framebuffer: write of %u bytes failed at %u\n", static_cast<unsigned>(len),
                       static_cast<unsigned>(done));
            close(fd);
            return -1;
        }
        done += static_cast<std::uint32_t>(n);
    }
    close(fd);
    return 0;
}
