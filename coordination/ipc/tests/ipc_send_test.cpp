// The sending side against raw listeners in a private /var and /dev/log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "ipc.h"
#include "ipc_test_peer.h"
#include "private_ns.h"

using coord_testing::kCaptureSyslog;
using coord_testing::kPrivateVar;
using coord_testing::RunIsolated;
using coord_testing::SyslogContains;
using coord_testing::SyslogLines;
using ipc_test::AcceptPending;
using ipc_test::ListenRaw;
using ipc_test::Wire;

namespace {

constexpr unsigned kIsolation = kPrivateVar | kCaptureSyslog;

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

// What one ipc_send puts on the wire for a given data pointer and length.
struct WireCase {
    const char* name;
    bool with_pointer;
    int data_len;
    int wire_data;  // data bytes expected on the wire
};

const WireCase kWireCases[] = {
    {"no_data", false, 0, 0},
    {"pointer_with_length_0", true, 0, 0},
    {"null_pointer_with_length_5", false, 5, 0},
    {"pointer_with_negative_length", true, -3, 0},
    {"one_byte", true, 1, 1},
    {"some_bytes", true, 37, 37},
    {"largest", true, 2048, 2048},
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class SendWire : public ::testing::TestWithParam<WireCase> {};

TEST_P(SendWire, BytesOnTheWire) {
    const WireCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        const int listener = ListenRaw(IPC_ID_PHONE);
        ASSERT_GE(listener, 0);
        ipc_register(IPC_ID_UPGRADER);
        const std::string data = pattern(2048);
        const void* pointer = c.with_pointer ? data.data() : nullptr;
        EXPECT_EQ(ipc_send(IPC_ID_PHONE, 0x1234, -5, 0x7FFFFFFF, pointer, c.data_len), 0);
        const auto received = AcceptPending(listener);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0], Wire(20 + c.wire_data, 0x1234, IPC_ID_UPGRADER, -5, 0x7FFFFFFF,
                                    data.substr(0, static_cast<size_t>(c.wire_data))));
        EXPECT_TRUE(SyslogLines().empty());
    }));
}

INSTANTIATE_TEST_SUITE_P(Data, SendWire, ::testing::ValuesIn(kWireCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Sends that fail: result, whether anything arrived, and the log line.
struct FailCase {
    const char* name;
    int own_id;        // 0: not registered
    int receiver;
    int data_len;
    int result;
    const char* log;   // expected log text, or null for no log line at all
};

const FailCase kFailCases[] = {
    {"oversized_data", IPC_ID_UPGRADER, IPC_ID_PHONE, 2049, 1, "data len 2049 is larger than 2048\n"},
    {"before_register", 0, IPC_ID_PHONE, 4, -1, nullptr},
    {"negative_own_id", -2, IPC_ID_PHONE, 4, -1, nullptr},
    {"missing_receiver", IPC_ID_UPGRADER, IPC_ID_TEST, 4, -1, nullptr},
    {"oversized_before_register", 0, IPC_ID_PHONE, 5000, 1, "data len 5000 is larger than 2048\n"},
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class SendFails : public ::testing::TestWithParam<FailCase> {};

TEST_P(SendFails, NothingArrives) {
    const FailCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        const int listener = ListenRaw(IPC_ID_PHONE);
        ASSERT_GE(listener, 0);
        ipc_register(c.own_id);
        const std::string data = pattern(5000);
        EXPECT_EQ(ipc_send(c.receiver, 1, 2, 3, data.data(), c.data_len), c.result);
        EXPECT_TRUE(AcceptPending(listener).empty());
        if (c.log == nullptr) {
            EXPECT_TRUE(SyslogLines().empty());
        } else {
            EXPECT_TRUE(SyslogContains(c.log));
            EXPECT_EQ(SyslogLines().size(), 1u);
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Cases, SendFails, ::testing::ValuesIn(kFailCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(SendShortWrite, ReportedAsFailure) {
    EXPECT_TRUE(RunIsolated(kIsolation, [] {
        const int listener = ListenRaw(IPC_ID_PHONE);
        ASSERT_GE(listener, 0);
        ipc_register(IPC_ID_UPGRADER);
        ipc_test::g_send_limit = 10;
        EXPECT_EQ(ipc_send(IPC_ID_PHONE, 1, 2, 3, "abcdef", 6), -1);
        const auto received = AcceptPending(listener);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].size(), 10u);
        EXPECT_TRUE(SyslogContains("write failed: 10 of 26 bytes written\n"));
    }));
}

// A broadcast reaches every listening id from 1 to 11 and nobody else.
struct BroadcastCase {
    const char* name;
    std::vector<int> listening;
    std::vector<int> reached;
};

void PrintTo(const BroadcastCase& c, std::ostream* os) { *os << c.name; }

class Broadcast : public ::testing::TestWithParam<BroadcastCase> {};

TEST_P(Broadcast, ReachesIdsOneToEleven) {
    const BroadcastCase c = GetParam();
    EXPECT_TRUE(RunIsolated(kIsolation, [&] {
        std::vector<int> fds;
        for (const int id : c.listening) {
            fds.push_back(ListenRaw(id));
            ASSERT_GE(fds.back(), 0);
        }
        ipc_register(IPC_ID_UPGRADER);
        EXPECT_EQ(ipc_broadcast(77, 1, 2, "xy", 2), 0);
        std::vector<int> reached;
        for (size_t i = 0; i < fds.size(); ++i) {
            const auto received = AcceptPending(fds[i]);
            if (received.empty()) continue;
            EXPECT_EQ(received.size(), 1u) << "id " << c.listening[i];
            EXPECT_EQ(received[0], Wire(22, 77, IPC_ID_UPGRADER, 1, 2, "xy"));
            reached.push_back(c.listening[i]);
        }
        EXPECT_EQ(reached, c.reached);
        EXPECT_TRUE(SyslogLines().empty()) << "absent receivers fail quietly";
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Listeners, Broadcast,
    ::testing::Values(BroadcastCase{"only_phone", {IPC_ID_PHONE}, {IPC_ID_PHONE}},
                      BroadcastCase{"edges_and_self", {1, IPC_ID_UPGRADER, 11, 12, 0}, {1, IPC_ID_UPGRADER, 11}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
