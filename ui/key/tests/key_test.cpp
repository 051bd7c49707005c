// The keypad: event decoding from a pipe standing in for the input device and
// press/release/repeat handling. The reading thread and the consuming poll on
// a real input device: the installer's device scenarios (driver_scenarios_test).
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "key.h"

namespace {

// One device event: 16 bytes, little-endian (seconds, microseconds, type 1,
// code, value), as this host lays the fields out.
std::string Event(uint16_t code, int32_t value) {
    const struct { uint32_t sec, usec; uint16_t type, code; int32_t value; } e = {
        0x78, 0x56, 1, code, value};
    static_assert(sizeof e == KEY_EVENT_SIZE);
    return std::string(reinterpret_cast<const char*>(&e), sizeof e);
}

// The reading end of a pipe holding `bytes`, its writer closed (end of file
// after them); closed when the test ends.
struct Fed {
    explicit Fed(const std::string& bytes) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fds[1]);
        fd = fds[0];
    }
    ~Fed() { close(fd); }
    int fd;
};

// A failed read leaves the last key as it was.
TEST(DevReadKey, RefusesWhatIsNotAWholeEvent) {
    key_event event = {};
    const Fed half(Event(5, 1).substr(0, 8));
    EXPECT_EQ(dev_read_key(half.fd, nullptr), -1);
    EXPECT_EQ(dev_read_key(-1, &event), -1);
    EXPECT_EQ(dev_read_key(half.fd, &event), -1);  // 8 bytes then end of file
    g_last_key.store(12);
    EXPECT_EQ(key_handle_event(half.fd), -1);  // end of file
    EXPECT_EQ(g_last_key.exchange(0), 12);
}

// Sequences of events read one by one between two polls: only presses count,
// and the last press wins. `events`: code and value of each.
struct SequenceCase {
    const char* name; std::vector<std::pair<uint16_t, int32_t>> events; int polled;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class KeySequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(KeySequence, PollGivesLastPress) {
    const SequenceCase& c = GetParam();
    g_last_key.store(0);
    std::string bytes;
    for (const auto& [code, value] : c.events) bytes += Event(code, value);
    const Fed events(bytes);
    for (size_t i = 0; i < c.events.size(); ++i) EXPECT_EQ(key_handle_event(events.fd), 0);
    EXPECT_EQ(g_last_key.exchange(0), c.polled);
}

INSTANTIATE_TEST_SUITE_P(
    Events, KeySequence,
    ::testing::Values(SequenceCase{"Press", {{35, 1}}, 35},
                      SequenceCase{"PressThenRelease", {{35, 1}, {35, 0}}, 35},
                      SequenceCase{"ReleaseOnly", {{17, 0}}, 0},
                      SequenceCase{"RepeatOnly", {{17, 2}}, 0},
                      SequenceCase{"TwoPressesSecondWins", {{2, 1}, {2, 0}, {9, 1}, {9, 0}}, 9},
                      SequenceCase{"RepeatDoesNotReplacePress", {{4, 1}, {7, 2}}, 4},
                      SequenceCase{"OtherValuesIgnored", {{4, 1}, {8, -1}, {8, 3}}, 4},
                      SequenceCase{"CodeOfTwoBytes", {{0x1234, 1}}, 0x1234}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DevCloseKeypad, ClosesOnlyRealDescriptors) {
    EXPECT_EQ(dev_close_keypad(0), 0);
    EXPECT_EQ(dev_close_keypad(-5), -5);
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(dev_close_keypad(fd), 0);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // really closed
}

}  // namespace
