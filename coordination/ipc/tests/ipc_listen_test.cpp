// The listening side: ipc_run, the reader thread and ipc_unregister, fed by
// raw peers in a private /var and /dev/log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "ipc.h"
#include "ipc_test_peer.h"
#include "private_ns.h"

using coord_testing::kCaptureSyslog;
using coord_testing::kPrivateVar;
using coord_testing::RunIsolated;
using coord_testing::SyslogContains;
using ipc_test::SendRaw;
using ipc_test::ThreadCount;
using ipc_test::WaitMessages;
using ipc_test::Wire;

namespace {

constexpr unsigned kIsolation = kPrivateVar | kCaptureSyslog;
constexpr int kOwnId = IPC_ID_TEST;
constexpr const char* kOwnPath = "/var/ipc/8";

std::string word(int value) { return Wire(value, 0, 0, 0, 0).substr(0, 4); }

// Waits up to 2 s for the process to be down to `count` threads.
bool threads_down_to(int count) {
    for (int i = 0; i < 200; ++i) {
        if (ThreadCount() <= count) return true;
        usleep(10 * 1000);
    }
    return false;
}

bool can_connect(const char* path) {
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return ok;
}

// What the reader does with one connection's bytes.
struct ReceiveCase {
    const char* name;
    std::string bytes;
    size_t piece;         // write size (0: all at once)
    size_t delivered;     // bytes the handler must see (0: dropped)
    const char* log;      // log text of a dropped message
};

void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

const std::string kData = "0123456789abcdefghij";

const ReceiveCase kReceiveCases[] = {
    {"whole_message", Wire(25, 1, 2, 3, 4, "hello"), 0, 25, nullptr},
    {"in_pieces_of_3", Wire(40, 1, 2, 3, 4, kData), 3, 40, nullptr},
    {"byte_by_byte", Wire(25, 1, 2, 3, 4, "hello"), 1, 25, nullptr},
    {"shortest_8", word(8) + word(99), 0, 8, nullptr},
    {"header_only_19", Wire(19, 1, 2, 3, 4).substr(0, 19), 0, 19, nullptr},
    {"largest_2068", Wire(2068, 5, 6, 7, 8, std::string(2048, 'z')), 0, 2068, nullptr},
    {"trailing_bytes_ignored", Wire(20, 1, 2, 3, 4) + "junk", 0, 20, nullptr},
    {"length_7", word(7) + "abc", 0, 0, "msg len failed: msg_len = 7"},
    {"length_2069", word(2069) + std::string(2065, 'q'), 0, 0, "msg len failed: msg_len = 2069"},
    {"negative_length", word(-1) + "abcdefgh", 0, 0, "msg len failed: msg_len = -1"},
    {"length_40_then_10", word(40) + "0123456789", 0, 0,
     "msg_len != read_len: msg_len = 36, read_len = 10"},
    {"cut_in_pieces", word(40) + "0123456789", 2, 0,
     "msg_len != read_len: msg_len = 36, read_len = 10"},
    {"two_bytes", std::string("\x08\x00", 2), 0, 0, "read len failed: read_len = 2"},
    {"nothing", "", 0, 0, "read len failed: read_len = 0"},
};

class Receive : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(Receive, HandlerSeesWholeMessagesOnly) {
    const ReceiveCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        ipc_test::Recorder* recorder = ipc_test::NewRecorder();
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, recorder), 0);
        ASSERT_TRUE(SendRaw(kOwnId, c.bytes, c.piece));
        // A message after it shows the reader went on.
        ASSERT_EQ(ipc_send(kOwnId, 42, 0, 0, nullptr, 0), 0);
        const std::string sentinel = Wire(20, 42, kOwnId, 0, 0);

        std::vector<std::string> expected;
        if (c.delivered > 0) expected.push_back(c.bytes.substr(0, c.delivered));
        expected.push_back(sentinel);
        EXPECT_EQ(WaitMessages(recorder, expected.size()), expected);
        if (c.log != nullptr) {
            EXPECT_TRUE(SyslogContains(c.log, 2000)) << c.log;
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Connections, Receive, ::testing::ValuesIn(kReceiveCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Run, CreatesMissingDirectoryAndListensForEveryone) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        struct stat st;
        ASSERT_NE(stat("/var/ipc", &st), 0) << "private /var starts empty";
        ipc_test::Recorder* recorder = ipc_test::NewRecorder();
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, recorder), 0);
        ASSERT_EQ(stat(kOwnPath, &st), 0);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0777u);
        EXPECT_GT(g_ipc_data.listen_fd, 0);
        EXPECT_EQ(ipc_send(kOwnId, 1, 2, 3, "d", 1), 0);
        EXPECT_EQ(WaitMessages(recorder, 1).size(), 1u);
        EXPECT_TRUE(SyslogContains("create thread sucess\n"));
    }));
}

TEST(Run, ReplacesAFileLeftAtItsPath) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        mkdir("/var/ipc", 0755);
        FILE* left = fopen(kOwnPath, "w");
        ASSERT_NE(left, nullptr);
        fclose(left);
        ipc_test::Recorder* recorder = ipc_test::NewRecorder();
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, recorder), 0);
        EXPECT_EQ(ipc_send(kOwnId, 9, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(WaitMessages(recorder, 1).size(), 1u);
    }));
}

// ipc_run's refusals: result, log text, and no thread started.
struct RunFailCase {
    const char* name;
    int own_id;
    bool ipc_is_file;  // /var/ipc is a plain file: no socket can be made below it
    const char* log;
};

void PrintTo(const RunFailCase& c, std::ostream* os) { *os << c.name; }

class RunFails : public ::testing::TestWithParam<RunFailCase> {};

TEST_P(RunFails, NoThreadNoSocket) {
    const RunFailCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        if (c.ipc_is_file) {
            FILE* f = fopen("/var/ipc", "w");
            ASSERT_NE(f, nullptr);
            fclose(f);
        }
        ipc_register(c.own_id);
        EXPECT_EQ(ipc_run(ipc_test::Record, nullptr), -1);
        EXPECT_TRUE(SyslogContains(c.log)) << c.log;
        EXPECT_EQ(ThreadCount(), 1);
        EXPECT_EQ(g_ipc_data.listen_fd, 0);
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunFails,
    ::testing::Values(RunFailCase{"not_registered", 0, false, "registe ipc failed"},
                      RunFailCase{"negative_id", -4, false, "registe ipc failed"},
                      RunFailCase{"bind_impossible", kOwnId, true, "bind failed: Not a directory"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Unregister, WhileTheReaderWaits) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        ipc_test::Recorder* recorder = ipc_test::NewRecorder();
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, recorder), 0);
        ASSERT_EQ(ThreadCount(), 2);
        ASSERT_TRUE(can_connect(kOwnPath));

        EXPECT_EQ(ipc_unregister(), 0);
        EXPECT_TRUE(threads_down_to(1)) << "reader thread still running";
        EXPECT_EQ(g_ipc_data.own_id, 0);
        EXPECT_EQ(g_ipc_data.listen_fd, 0);
        EXPECT_EQ(g_ipc_data.handler, nullptr);
        EXPECT_EQ(g_ipc_data.context, nullptr);
        EXPECT_FALSE(can_connect(kOwnPath)) << "listening socket still open";
        struct stat st;
        EXPECT_EQ(stat(kOwnPath, &st), 0) << "the socket file stays";
        EXPECT_EQ(ipc_send(kOwnId, 1, 0, 0, nullptr, 0), -1) << "sending needs a registration";
        EXPECT_TRUE(SyslogContains("leave thread\n"));

        // The same id can listen again at once.
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, recorder), 0);
        EXPECT_EQ(ipc_send(kOwnId, 5, 0, 0, nullptr, 0), 0);
        const auto got = WaitMessages(recorder, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], Wire(20, 5, kOwnId, 0, 0));
        EXPECT_EQ(ipc_unregister(), 0);
    }));
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
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(ipc_test::Record, ipc_test::NewRecorder()), 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", kOwnPath);
        const int before = open_fds();
        const int peer = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(connect(peer, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
        const timeval limit = {10, 0};
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        ASSERT_EQ(write(peer, "\x30\x00", 2), 2);  // half a length: the reader keeps reading
        // The peer's socket and the reader's accepted connection.
        int accepted = open_fds();
        for (int i = 0; i < 200 && accepted != before + 2; ++i) {
            usleep(10 * 1000);
            accepted = open_fds();
        }
        ASSERT_EQ(accepted, before + 2) << "the reader never accepted";

        EXPECT_EQ(ipc_unregister(), 0);
        char byte;
        EXPECT_EQ(read(peer, &byte, 1), 0) << "connection left open by the reader";
        EXPECT_TRUE(threads_down_to(1));
        EXPECT_EQ(open_fds(), before) << "listening socket and connection both closed";
        close(peer);
    }));
}

// The quit flag is looked at once per connection: a handler that sets it ends
// the reader after that message, and later connections wait unhandled.
int record_and_quit(const ipc_msg* msg, void* context) {
    ipc_test::Record(msg, context);
    if (msg->msg == 99) set_quitflag(1);
    return 0;
}

TEST(QuitFlag, ReaderEndsAfterTheConnectionThatSawIt) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        ipc_test::Recorder* recorder = ipc_test::NewRecorder();
        ipc_register(kOwnId);
        ASSERT_EQ(ipc_run(record_and_quit, recorder), 0);
        EXPECT_EQ(ipc_send(kOwnId, 1, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(WaitMessages(recorder, 1).size(), 1u);
        EXPECT_EQ(ThreadCount(), 2) << "a message without the flag keeps the reader";
        EXPECT_EQ(ipc_send(kOwnId, 99, 0, 0, nullptr, 0), 0);
        EXPECT_EQ(WaitMessages(recorder, 2).size(), 2u);
        EXPECT_TRUE(threads_down_to(1));
        EXPECT_EQ(get_quitflag(), 1);
        EXPECT_EQ(ipc_send(kOwnId, 2, 0, 0, nullptr, 0), 0) << "the socket still listens";
        usleep(50 * 1000);
        EXPECT_EQ(WaitMessages(recorder, 2).size(), 2u) << "nobody reads any more";
    }));
}

}  // namespace
