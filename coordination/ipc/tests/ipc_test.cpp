// libipc against raw peers in a private /var and /dev/log: the bytes a send
// puts on the wire, what the reader hands to the handler, and the reader's life
// from ipc_run to ipc_unregister.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ipc.h"
#include "private_ns.h"

using namespace coord_testing;

namespace {
int g_send_limit = -1;  // when >= 0, the next send() through libipc writes at most this many bytes
}  // namespace

// Linked in place of send() (-Wl,--wrap=send) to cut a write short on demand.
extern "C" ssize_t __real_send(int fd, const void* buf, size_t len, int flags);
extern "C" ssize_t __wrap_send(int fd, const void* buf, size_t len, int flags) {
    if (g_send_limit >= 0 && len > static_cast<size_t>(g_send_limit)) {
        len = static_cast<size_t>(std::exchange(g_send_limit, -1));
    }
    return __real_send(fd, buf, len, flags);
}

namespace {

constexpr unsigned kIsolation = kPrivateVar | kCaptureSyslog;
constexpr int kOwnId = IPC_ID_TEST;
constexpr const char* kOwnPath = "/var/ipc/8";
constexpr int kQuitMsg = 777;  // the recording handler sets the quit flag on this code

// A message as the wire carries it: five little-endian words, then the data.
std::string Wire(int length, int msg, int sender, int wparam, int lparam, const std::string& data = "") {
    std::string out;
    for (const int value : {length, msg, sender, wparam, lparam}) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(static_cast<uint32_t>(value) >> (8 * i)));
    }
    return out + data;
}

std::string word(int value) { return Wire(value, 0, 0, 0, 0).substr(0, 4); }

// A socket connected to the listener of `id` or, with `listening`, a raw
// receiver listening on /var/ipc/<id>; -1 when that fails.
int open_socket(int id, bool listening = false) {
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "/var/ipc/%d", id);
    const auto* a = reinterpret_cast<const sockaddr*>(&addr);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listening) mkdir("/var/ipc", 0777);
    const bool ok = listening ? bind(fd, a, sizeof(addr)) == 0 && listen(fd, 16) == 0
                              : connect(fd, a, sizeof(addr)) == 0;
    if (ok) return fd;
    close(fd);
    return -1;
}

// The bytes of every connection already waiting on a raw receiver.
std::vector<std::string> accept_pending(int fd) {
    std::vector<std::string> connections;
    for (pollfd p = {fd, POLLIN, 0}; poll(&p, 1, 0) == 1;) {
        const int conn = accept(fd, nullptr, nullptr);
        std::string bytes;
        char buf[4096];
        for (ssize_t n; (n = read(conn, buf, sizeof(buf))) > 0;) bytes.append(buf, static_cast<size_t>(n));
        close(conn);
        connections.push_back(bytes);
    }
    return connections;
}

// Writes `bytes` to the listener of `id` in pieces of `piece` bytes (0: all at
// once), pausing between pieces so that the reader sees a partial message.
bool send_raw(int id, const std::string& bytes, size_t piece) {
    const int fd = open_socket(id);
    if (fd < 0) return false;
    const size_t step = piece == 0 ? bytes.size() : piece;
    for (size_t at = 0; at < bytes.size(); at += step) {
        if (at > 0) usleep(20 * 1000);
        if (write(fd, bytes.data() + at, std::min(step, bytes.size() - at)) < 0) break;
    }
    close(fd);
    return true;
}

// Threads of this process, not counting the one qemu-user adds.
int thread_count() {
    DIR* dir = opendir("/proc/self/task");
    int count = getenv("UPG_UNDER_QEMU_USER") != nullptr ? -1 : 0;
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

// Waits up to 2 s for the process to be down to `count` threads.
bool threads_down_to(int count) {
    for (int i = 0; i < 200 && thread_count() > count; ++i) usleep(10 * 1000);
    return thread_count() <= count;
}

// The handler: keeps a copy of each message's bytes.
struct Recorder {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::string> messages;

    static int Record(const ipc_msg* msg, void* context) {
        auto* self = static_cast<Recorder*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        self->messages.emplace_back(reinterpret_cast<const char*>(msg), static_cast<size_t>(msg->length));
        if (msg->msg == kQuitMsg) set_quitflag(1);
        self->arrived.notify_all();
        return 0;
    }
    // What arrived once there are `count` messages, or after 5 s.
    std::vector<std::string> Wait(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait_for(guard, std::chrono::seconds(5), [&] { return messages.size() >= count; });
        return messages;
    }
};

// One ipc_send against a raw receiver of IPC_ID_PHONE: result, bytes on the
// wire and the log line.
struct SendCase {
    const char* name;
    int own_id;        // 0: not registered
    int receiver;
    bool with_pointer;
    int data_len;
    int send_limit;    // the send() is cut to this many bytes (-1: whole)
    int result;
    int wire_data;     // data bytes in the message on the wire (-1: nothing arrives)
    const char* log;   // the one log line, or null for none
};

constexpr int U = IPC_ID_UPGRADER;
constexpr int P = IPC_ID_PHONE;

const SendCase kSendCases[] = {
    {"no_data", U, P, false, 0, -1, 0, 0, nullptr},
    {"pointer_with_length_0", U, P, true, 0, -1, 0, 0, nullptr},
    {"null_pointer_with_length_5", U, P, false, 5, -1, 0, 0, nullptr},
    {"pointer_with_negative_length", U, P, true, -3, -1, 0, 0, nullptr},
    {"one_byte", U, P, true, 1, -1, 0, 1, nullptr},
    {"some_bytes", U, P, true, 37, -1, 0, 37, nullptr},
    {"largest", U, P, true, 2048, -1, 0, 2048, nullptr},
    {"oversized_data", U, P, true, 2049, -1, 1, -1, "data len 2049 is larger than 2048\n"},
    {"oversized_before_register", 0, P, true, 5000, -1, 1, -1, "data len 5000 is larger than 2048\n"},
    {"before_register", 0, P, true, 4, -1, -1, -1, nullptr},
    {"negative_own_id", -2, P, true, 4, -1, -1, -1, nullptr},
    {"missing_receiver", U, IPC_ID_TEST, true, 4, -1, -1, -1, nullptr},
    {"short_write", U, P, true, 6, 10, -1, 6, "write failed: 10 of 26 bytes written\n"},
};

void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class Send : public ::testing::TestWithParam<SendCase> {};

TEST_P(Send, BytesOnTheWire) {
    const SendCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        const int listener = open_socket(P, true);
        ASSERT_GE(listener, 0);
        ipc_register(c.own_id);
        std::string data;
        for (int i = 0; i < 5000; ++i) data += static_cast<char>(i * 7 + 3);
        g_send_limit = c.send_limit;
        EXPECT_EQ(ipc_send(c.receiver, 0x1234, -5, 0x7FFFFFFF, c.with_pointer ? data.data() : nullptr,
                           c.data_len), c.result);
        std::vector<std::string> want;
        if (c.wire_data >= 0) {
            want.push_back(Wire(20 + c.wire_data, 0x1234, c.own_id, -5, 0x7FFFFFFF, data.substr(0, c.wire_data)));
            if (c.send_limit >= 0) want[0].resize(c.send_limit);
        }
        EXPECT_EQ(accept_pending(listener), want);
        EXPECT_EQ(SyslogLines().size(), c.log != nullptr ? 1u : 0u);
        if (c.log != nullptr) {
            EXPECT_TRUE(SyslogContains(c.log)) << c.log;
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Cases, Send, ::testing::ValuesIn(kSendCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A broadcast reaches every listening id from 1 to 11 (its own included) and
// nobody else; absent receivers fail quietly.
TEST(Broadcast, ReachesIdsOneToEleven) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        const int ids[] = {0, 1, U, 11, 12};
        int fds[5];
        for (int i = 0; i < 5; ++i) ASSERT_GE(fds[i] = open_socket(ids[i], true), 0);
        ipc_register(U);
        EXPECT_EQ(ipc_broadcast(77, 1, 2, "xy", 2), 0);
        for (int i = 0; i < 5; ++i) {
            const bool reached = ids[i] >= 1 && ids[i] <= 11;
            EXPECT_EQ(accept_pending(fds[i]),
                      std::vector<std::string>(reached ? 1 : 0, Wire(22, 77, U, 1, 2, "xy"))) << "id " << ids[i];
        }
        EXPECT_TRUE(SyslogLines().empty());
    }));
}

// What the reader does with one connection's bytes.
struct ReceiveCase {
    const char* name;
    std::string bytes;
    size_t piece;      // write size (0: all at once)
    size_t delivered;  // bytes the handler must see (0: dropped)
    const char* log;   // log text of a dropped message
};

void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

const ReceiveCase kReceiveCases[] = {
    {"whole_message", Wire(25, 1, 2, 3, 4, "hello"), 0, 25, nullptr},
    {"byte_by_byte", Wire(25, 1, 2, 3, 4, "hello"), 1, 25, nullptr},
    {"shortest_8", word(8) + word(99), 0, 8, nullptr},
    {"header_only_19", Wire(19, 1, 2, 3, 4).substr(0, 19), 0, 19, nullptr},
    {"largest_2068", Wire(2068, 5, 6, 7, 8, std::string(2048, 'z')), 0, 2068, nullptr},
    {"trailing_bytes_ignored", Wire(20, 1, 2, 3, 4) + "junk", 0, 20, nullptr},
    {"length_7", word(7) + "abc", 0, 0, "msg len failed: msg_len = 7"},
    {"length_2069", word(2069) + std::string(2065, 'q'), 0, 0, "msg len failed: msg_len = 2069"},
    {"negative_length", word(-1) + "abcdefgh", 0, 0, "msg len failed: msg_len = -1"},
    {"cut_in_pieces", word(40) + "0123456789", 2, 0, "msg_len != read_len: msg_len = 36, read_len = 10"},
    {"two_bytes", std::string("\x08\x00", 2), 0, 0, "read len failed: read_len = 2"},
    {"nothing", "", 0, 0, "read len failed: read_len = 0"},
};

class Receive : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(Receive, HandlerSeesWholeMessagesOnly) {
    const ReceiveCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        Recorder recorder;
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(Recorder::Record, &recorder), 0);
        ASSERT_TRUE(send_raw(kOwnId, c.bytes, c.piece));
        // A message after it shows the reader went on.
        ASSERT_EQ(ipc_send(kOwnId, 42, 0, 0, nullptr, 0), 0);
        std::vector<std::string> want;
        if (c.delivered > 0) want.push_back(c.bytes.substr(0, c.delivered));
        want.push_back(Wire(20, 42, kOwnId, 0, 0));
        EXPECT_EQ(recorder.Wait(want.size()), want);
        if (c.log != nullptr) {
            EXPECT_TRUE(SyslogContains(c.log, 2000)) << c.log;
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Connections, Receive, ::testing::ValuesIn(kReceiveCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// ipc_run makes /var/ipc and a socket open to everyone; ipc_unregister stops
// the waiting reader, closes the socket (its file stays) and forgets the
// registration; the same id can listen again at once over the file left. The
// quit flag is looked at once per connection: a handler that sets it ends the
// reader after that message, and later connections wait unhandled.
TEST(Lifecycle, RunUnregisterRunAgainAndQuit) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        struct stat st;
        Recorder recorder;
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(Recorder::Record, &recorder), 0);
        ASSERT_EQ(stat(kOwnPath, &st), 0);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0777u);
        EXPECT_EQ(thread_count(), 2);
        EXPECT_EQ(ipc_send(kOwnId, 5, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(recorder.Wait(1).size(), 1u);

        EXPECT_EQ(ipc_unregister(), 0);
        EXPECT_TRUE(threads_down_to(1)) << "reader thread still running";
        EXPECT_EQ(g_ipc_data.listen_fd, 0);
        EXPECT_EQ(open_socket(kOwnId), -1) << "listening socket still open";
        EXPECT_EQ(stat(kOwnPath, &st), 0) << "the socket file stays";
        EXPECT_EQ(ipc_send(kOwnId, 1, 0, 0, nullptr, 0), -1) << "sending needs a registration";

        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(Recorder::Record, &recorder), 0);
        EXPECT_EQ(ipc_send(kOwnId, 6, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(recorder.Wait(2).back(), Wire(20, 6, kOwnId, 0, 0));
        EXPECT_EQ(thread_count(), 2) << "a message without the flag keeps the reader";
        EXPECT_EQ(ipc_send(kOwnId, kQuitMsg, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(recorder.Wait(3).size(), 3u);
        EXPECT_TRUE(threads_down_to(1));
        EXPECT_EQ(ipc_send(kOwnId, 2, 0, 0, nullptr, 0), 0) << "the socket still listens";
        usleep(50 * 1000);
        EXPECT_EQ(recorder.Wait(3).size(), 3u) << "nobody reads any more";
    }));
}

// ipc_run's refusals (no registration; for kOwnId /var/ipc is a plain file, so
// no socket can be made below it) start no thread and keep no socket.
TEST(Run, RefusalsLeaveNoThreadAndNoSocket) {
    for (const int own_id : {0, -4, kOwnId}) {
        EXPECT_TRUE(RunIsolated(kIsolation, [&] {
            if (own_id == kOwnId) close(open("/var/ipc", O_CREAT | O_WRONLY, 0644));
            ipc_register(own_id);
            EXPECT_EQ(ipc_run(Recorder::Record, nullptr), -1);
            EXPECT_TRUE(SyslogContains(own_id == kOwnId ? "bind failed: Not a directory" : "registe ipc failed"));
            EXPECT_EQ(thread_count(), 1);
            EXPECT_EQ(g_ipc_data.listen_fd, 0);
        })) << own_id;
    }
}

int open_fds() {
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) count += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    return count;
}

// A reader unregistered in the middle of a connection from a silent peer gives
// the connection up after its receive timeout and then ends.
TEST(Unregister, WhileReadingClosesTheConnection) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        Recorder recorder;
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(Recorder::Record, &recorder), 0);
        const int before = open_fds();
        const int peer = open_socket(kOwnId);
        ASSERT_GE(peer, 0);
        const timeval limit = {10, 0};
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        ASSERT_EQ(write(peer, "\x30\x00", 2), 2);  // half a length: the reader keeps reading
        // The peer's socket and the reader's accepted connection.
        for (int i = 0; i < 200 && open_fds() != before + 2; ++i) usleep(10 * 1000);
        ASSERT_EQ(open_fds(), before + 2) << "the reader never accepted";

        EXPECT_EQ(ipc_unregister(), 0);
        char byte;
        EXPECT_EQ(read(peer, &byte, 1), 0) << "connection left open by the reader";
        EXPECT_TRUE(threads_down_to(1));
        EXPECT_EQ(open_fds(), before) << "listening socket and connection both closed";
        close(peer);
    }));
}

}  // namespace
