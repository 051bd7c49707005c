// The keypad thread and the polled last-key word.
#include "key.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "rl_log.h"

std::atomic<int> g_last_key{0};
int g_key_thread_opened = 0;

namespace {

constexpr const char* kKeypadDevice = "/dev/input/event0";
const char* g_keypad_path = kKeypadDevice;

// Pause after a failed read: a keypad that reports end of file or an error
// would otherwise spin the thread and flood the log; events wait in the driver.
constexpr useconds_t kReadRetryPauseUs = 100 * 1000;
constexpr useconds_t kThreadStartWaitUs = 500 * 1000;

uint32_t le_word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void key_set_device_path(const char* path) { g_keypad_path = path != nullptr ? path : kKeypadDevice; }

int dev_open_keypad() {
    int fd = open(g_keypad_path, O_RDWR);
    if (fd < 0) rl_log_crit("can't open /dev/input/event0.\n");
    return fd;
}

int dev_read_key(int fd, key_event* event) {
    if (event == nullptr || fd < 0) return -1;
    uint8_t raw[KEY_EVENT_SIZE];
    ssize_t n = read(fd, raw, sizeof(raw));
    if (n != KEY_EVENT_SIZE) return -1;
    // Offsets 8 type, 10 code, 12 value.
    event->code = static_cast<unsigned int>(raw[10]) | static_cast<unsigned int>(raw[11]) << 8;
    event->value = static_cast<int>(le_word(raw + 12));
    return 0;
}

int dev_close_keypad(int fd) {
    if (fd <= 0) return fd;
    return close(fd);
}

int key_handle_event(int fd) {
    key_event event = {};
    if (dev_read_key(fd, &event) != 0) return -1;
    if (event.value == KEY_VALUE_PRESS) g_last_key.store(static_cast<int>(event.code));
    return 0;
}

void* kpad_thread(void*) {
    int fd = dev_open_keypad();
    if (fd < 0) {
        perror("failed to open ");
        return nullptr;  // created detached: nothing to clean up
    }
    for (;;) {
        if (key_handle_event(fd) != 0) {
            rl_log_info("%s no key read", "kpad_thread");
            usleep(kReadRetryPauseUs);
        }
    }
    return nullptr;
}

int key_get_keypressed() {
    if (g_key_thread_opened == 0) {
        g_key_thread_opened = 1;
        // Nobody joins the reader: it runs until the process ends, so it is
        // created detached (also when it ends early for want of a keypad).
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (pthread_create(&thread, &attr, kpad_thread, nullptr) != 0) {
            rl_log_err("%s: cannot start the keypad thread", "key_get_keypressed");
        }
        pthread_attr_destroy(&attr);
        usleep(kThreadStartWaitUs);
    }
    return g_last_key.exchange(0);
}
