#include "upd_msg.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include "rl_log.h"
#include "syslog_capture.h"

namespace {

// Text after the "<module> pid..,tid..,l<L>: " prefix.
std::string message_of(const CapturedLine& line) {
    size_t colon = line.text.find(": ");
    return colon == std::string::npos ? line.text : line.text.substr(colon + 2);
}

struct LineCase {
    int code;
    const char* line;  // nullptr: nothing logged
};

class UpdateMsgPrintf : public ::testing::TestWithParam<LineCase> {
protected:
    void SetUp() override {
        rl_log_reset_level(7);
        clear_captured_lines();
    }
};

TEST_P(UpdateMsgPrintf, LogsTheFixedLineAtErrorLevelOrNothing) {
    const LineCase c = GetParam();
    update_msg_printf(c.code);
    if (c.line == nullptr) {
        EXPECT_TRUE(captured_lines().empty()) << c.code;
        return;
    }
    ASSERT_EQ(captured_lines().size(), 1u) << c.code;
    EXPECT_EQ(captured_lines()[0].priority, LOG_ERR);
    EXPECT_EQ(message_of(captured_lines()[0]), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UpdateMsgPrintf,
    ::testing::Values(LineCase{-100, "UPD_MSG_ARG_ADDR_ERR\n"},
                      LineCase{-99, "UPD_MSG_ROM_HEADER_KROM_ERR\n"},
                      LineCase{-97, "UPD_MSG_ROM_CHECKSUM_ERR\n"},
                      LineCase{-92, "UPD_MSG_PART_HEADER_CHECKSUM_ERR\n"},
                      LineCase{-91, "UPD_MSG_PART_CHECKSUM_ERR\n"},
                      LineCase{-88, "UPD_MSG_READ_ENV_FAILED\n"},
                      LineCase{-86, "UPD_MSG_ROM_VERSION_SAME\n"},
                      LineCase{-85, "UPD_MSG_MTD_ENV_LOSED\n"},
                      LineCase{-84, "UPD_MSG_MTD_ADDR_ERR\n"},
                      LineCase{-83, "UPD_MSG_MTD_ADDR_ERR\n"},
                      LineCase{-81, "UPD_MSG_FLASH_WRITE_ERR\n"},
                      LineCase{-79, "UPD_MSG_PART_NUM_ERR\n"},
                      LineCase{1, "UPD_MSG_PART_VERSION_SAME\n"},
                      // silent codes: -78..-75, success, positive outcomes, out of range
                      LineCase{-78, nullptr}, LineCase{-75, nullptr}, LineCase{-1, nullptr},
                      LineCase{0, nullptr}, LineCase{2, nullptr}, LineCase{11, nullptr},
                      LineCase{13, nullptr}, LineCase{-101, nullptr}, LineCase{102, nullptr},
                      LineCase{INT32_MIN, nullptr}, LineCase{INT32_MAX, nullptr}));

// Every code with a line logs its own enumerator's name, so the two tables
// cannot drift apart (-83 is the one code that borrows a name).
TEST(UpdateMsgPrintfTable, LineIsTheNameOfTheCode) {
    rl_log_reset_level(7);
    for (int code = -100; code <= 1; ++code) {
        clear_captured_lines();
        update_msg_printf(code);
        if (captured_lines().empty()) {
            continue;
        }
        const char* name = code == UPD_MSG_MTD_OPEN_ERR ? "UPD_MSG_MTD_ADDR_ERR" : upd_msg_name(code);
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(message_of(captured_lines()[0]), std::string(name) + "\n") << code;
    }
}

TEST(UpdMsgName, KnownAndUnknownCodes) {
    struct {
        int code;
        const char* name;
    } cases[] = {
        {-100, "UPD_MSG_ARG_ADDR_ERR"},       {-83, "UPD_MSG_MTD_OPEN_ERR"},
        {-75, "UPD_MSG_UNPROTECT_OEM_ERR"},   {0, "UPD_MSG_SUCCESS"},
        {11, "UPD_MSG_UPGRADER_TOOL_SAVED"},  {13, "UPD_MSG_CONFIG_MODIFY_SAVED"},
        {-101, nullptr}, {-74, nullptr}, {-1, nullptr}, {3, nullptr}, {14, nullptr},
    };
    for (const auto& c : cases) {
        const char* got = upd_msg_name(c.code);
        if (c.name == nullptr) {
            EXPECT_EQ(got, nullptr) << c.code;
        } else {
            ASSERT_NE(got, nullptr) << c.code;
            EXPECT_STREQ(got, c.name);
        }
    }
}

}  // namespace
