// display: the LCD frame buffer and the board's LEDs, backlight and extension LED.
//
// The lowest layer of the local user interface. It maps the frame buffer
// "/dev/fb0" once (the mapping stays for the life of the process), asks the LCD
// driver to show that memory through "/proc/glcd/refresh", and switches LEDs and
// backlight with ioctls on "/dev/misc0". Only the frame buffer is kept open; the
// misc device and the refresh file are opened and closed per call.
//
// Every failure is logged at error level through rl_log and reported by the
// result: setters and the frame-buffer calls give -1, getters give 0.
// Calls are not locked: the screens above never overlap.
#pragma once

#include <cstdint>

// Requests on "/dev/misc0" (MIPS ioctl encoding, type 'M', 4-byte argument).
// Write requests take the 32-bit value as the ioctl argument; read requests take
// a pointer to a 32-bit int that the driver fills.
constexpr std::uint32_t MISC_IOCS_LED = 0x80044D07u;
constexpr std::uint32_t MISC_IOCG_LED = 0x40044D08u;
constexpr std::uint32_t MISC_IOCS_BKLIGHT = 0x80044D09u;
constexpr std::uint32_t MISC_IOCG_BKLIGHT = 0x40044D0Au;
constexpr std::uint32_t MISC_IOCS_EXT_LED = 0x80044D11u;

// The LED notification sent after devctrl_set_led: to IPC receiver id 4, this
// msg, wparam 0, lparam 0, and the mask as 4 little-endian data bytes.
constexpr int DEVCTRL_LED_NOTIFY_ID = 4;
constexpr int DEVCTRL_LED_NOTIFY_MSG = 0x000F0002;

// Maps the frame buffer (open read-write with O_SYNC, FBIOGET_FSCREENINFO,
// FBIOGET_VSCREENINFO, shared mapping of smem_len bytes). On success stores the
// mapping's address through `addr` when it is not null and returns 0; on any
// failure logs its text, leaves nothing open and returns -1 (a later call tries
// again). When already mapped it opens nothing, leaves *addr unwritten and
// returns a non-negative value, so a second UI initialisation keeps the first
// mapping.
int devctrl_open_lcd(std::uint8_t** addr);
// Unmaps and closes the frame buffer when mapped; otherwise does nothing.
void devctrl_close_lcd();
// Makes the panel show the frame-buffer memory: writes "1" to
// "/proc/glcd/refresh" (opened and closed each time). 0 or -1.
int devctrl_refresh_lcd();
// The same request through the shell (K60 board): system()'s result unchanged.
int devctrl_refresh_lcd_K60();
// Writes len bytes of buf to the start of "/dev/fb0" with open-write-close
// (an alternative to the mapped copy). 0 when all bytes were written, -1
// otherwise (a null buf with a non-zero len included).
int devctrl_flush_fbdata(const std::uint8_t* buf, std::uint32_t len);

// The LED bit mask (bit i = LED i) read with MISC_IOCG_LED; 0 on any failure.
int devctrl_get_led();
// Sets the LEDs with MISC_IOCS_LED, then notifies the other processes (see
// DEVCTRL_LED_NOTIFY_*; the send's result is not examined). 0 or -1.
int devctrl_set_led(std::uint32_t mask);
// Sets LEDs 0 to 4 from packed 2-bit states (LED i: bits 2*(i%4) and
// 2*(i%4)+1 of byte i/4); a LED is on when its state is exactly 1. Sends no
// notification. 0 or -1 (-1 for a null array).
int devctrl_set_led_ex(const std::uint8_t* states);
// The backlight value read with MISC_IOCG_BKLIGHT; 0 on any failure.
int devctrl_get_bklight();
// MISC_IOCS_BKLIGHT with the value. 0 or -1.
int devctrl_set_bklight(std::uint32_t value);
// MISC_IOCS_EXT_LED with the value. 0 or -1.
int devctrl_set_ext_led(std::uint32_t value);
