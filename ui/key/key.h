// key: key input from the phone's keypad.
//
// The keypad driver reports presses as input events on "/dev/input/event0". A
// background thread, started by the first poll, reads them and keeps the code
// of the last press in g_last_key; the screens poll and consume it with
// key_get_keypressed. A press replaces an unconsumed earlier one; the poll takes
// and clears the word in one atomic exchange, so a press arriving meanwhile is
// never lost. Releases and auto-repeats are ignored.
#pragma once

#include <atomic>

// Key codes as the dialogs read them.
constexpr int KEY_CODE_0 = 10;  // digits '1'..'9' are codes 1..9
constexpr int KEY_CODE_STAR = 11;
constexpr int KEY_CODE_HASH = 12;
constexpr int KEY_CODE_UP = 13;
constexpr int KEY_CODE_DOWN = 14;
constexpr int KEY_CODE_LEFT = 15;
constexpr int KEY_CODE_RIGHT = 16;
constexpr int KEY_CODE_OK = 17;
constexpr int KEY_CODE_DELETE = 18;
constexpr int KEY_CODE_CANCEL = 32;
constexpr int KEY_CODE_INPUT_METHOD = 33;
constexpr int KEY_CODE_DELETE2 = 34;
constexpr int KEY_CODE_OK2 = 35;  // also the key the failure screens wait for

// One input event as the device delivers it: 16 bytes, little-endian words
// (seconds, microseconds, type:16, code:16, value:32), the layout of the
// device's 32-bit kernel on any host.
constexpr int KEY_EVENT_SIZE = 16;
constexpr int KEY_VALUE_PRESS = 1;

struct key_event {
    int value;          // 1 press, 0 release, 2 auto-repeat
    unsigned int code;  // key code
};

// Code of the last unconsumed press, 0 for none. Written by the reading thread,
// taken by key_get_keypressed.
extern std::atomic<int> g_last_key;
// Set by the first poll when it starts the reading thread.
extern int g_key_thread_opened;

// Opens the keypad device read-write: the descriptor, or the negative result
// after the critical line "can't open /dev/input/event0.\n".
int dev_open_keypad();
// Blocks until one whole event is read and stores its value and code: 0; -1
// for a null event, a negative fd, or a read that gives no whole event.
int dev_read_key(int fd, key_event* event);
// Closes fd when it is above 0 and returns close's result; returns fd unchanged
// otherwise.
int dev_close_keypad(int fd);
// Reads one event from fd and records it when it is a press: 0, or -1 when the
// read failed.
int key_handle_event(int fd);
// The reading thread: opens the keypad and records presses for ever. When the
// keypad cannot be opened it prints the system error and ends (no key
// will ever be reported).
void* kpad_thread(void* arg);
// The code of the last unconsumed press, or 0. The first call starts the
// reading thread and waits 500 ms for it.
int key_get_keypressed();

// Test seam: the device the reading thread opens ("/dev/input/event0" unless
// changed before the first poll). A null path restores the default.
void key_set_device_path(const char* path);
