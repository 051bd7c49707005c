#include "ipc_test_peer.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <mutex>

extern "C" ssize_t __real_send(int fd, const void* buf, size_t len, int flags);

// Linked in place of send() (-Wl,--wrap=send) to cut a write short on demand.
extern "C" ssize_t __wrap_send(int fd, const void* buf, size_t len, int flags) {
    if (ipc_test::g_send_limit >= 0 && len > static_cast<size_t>(ipc_test::g_send_limit)) {
        len = static_cast<size_t>(ipc_test::g_send_limit);
        ipc_test::g_send_limit = -1;
    }
    return __real_send(fd, buf, len, flags);
}

namespace ipc_test {

int g_send_limit = -1;

namespace {

sockaddr_un address(int id) {
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "/var/ipc/%d", id);
    return addr;
}

void put_word(std::string* out, int value) {
    const auto word = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
}

}  // namespace

int ListenRaw(int id) {
    mkdir("/var/ipc", 0777);
    const sockaddr_un addr = address(id);
    unlink(addr.sun_path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::string> AcceptPending(int fd) {
    std::vector<std::string> connections;
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 0) != 1) return connections;
        const int conn = accept(fd, nullptr, nullptr);
        if (conn < 0) return connections;
        std::string bytes;
        char buf[4096];
        ssize_t n;
        while ((n = read(conn, buf, sizeof(buf))) > 0) bytes.append(buf, static_cast<size_t>(n));
        close(conn);
        connections.push_back(bytes);
    }
}

bool SendRaw(int id, const std::string& bytes, size_t piece) {
    const sockaddr_un addr = address(id);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return false;
    }
    if (piece == 0) piece = bytes.size();
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t n = std::min(piece, bytes.size() - at);
        if (write(fd, bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
        if (at + n < bytes.size()) usleep(20 * 1000);  // let the reader see a partial message
    }
    close(fd);
    return true;
}

std::string Wire(int length, int msg, int sender, int wparam, int lparam, const std::string& data) {
    std::string out;
    put_word(&out, length);
    put_word(&out, msg);
    put_word(&out, sender);
    put_word(&out, wparam);
    put_word(&out, lparam);
    return out + data;
}

struct Recorder {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::string> messages;
};

Recorder* NewRecorder() { return new Recorder(); }

int Record(const ipc_msg* msg, void* context) {
    auto* recorder = static_cast<Recorder*>(context);
    std::lock_guard<std::mutex> guard(recorder->lock);
    recorder->messages.emplace_back(reinterpret_cast<const char*>(msg),
                                    static_cast<size_t>(msg->length));
    recorder->arrived.notify_all();
    return 0;
}

std::vector<std::string> WaitMessages(Recorder* recorder, size_t count) {
    std::unique_lock<std::mutex> guard(recorder->lock);
    recorder->arrived.wait_for(guard, std::chrono::seconds(5),
                               [&] { return recorder->messages.size() >= count; });
    return recorder->messages;
}

int ThreadCount() {
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    // qemu-user runs a thread of its own in every emulated process.
    if (getenv("UPG_UNDER_QEMU_USER") != nullptr) --count;
    return count;
}

}  // namespace ipc_test
