#include "upd_msg.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <climits>

#include "private_ns.h"
#include "rl_log.h"
#include "syslog_capture.h"

namespace {

// Codes -100..-79 and 1 log their own enumerator's name at error level (-83
// borrows the name of -84); every other code, far out of range included, logs
// nothing. The names themselves are checked against literals below.
TEST(UpdateMsgPrintf, LogsTheCodesOwnNameOrNothing) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (int code : {INT_MIN, INT_MAX, -101, 102}) update_msg_printf(code);
        EXPECT_TRUE(coord_testing::SyslogLines().empty());
        for (int code = -100; code <= 13; ++code) {
            coord_testing::SyslogClear();
            update_msg_printf(code);
            const std::vector<SyslogRecord> logged = SyslogRecords();
            if ((code > UPD_MSG_PART_NUM_ERR && code != UPD_MSG_PART_VERSION_SAME)) {
                EXPECT_TRUE(logged.empty()) << code;
                continue;
            }
            ASSERT_EQ(logged.size(), 1u) << code;
            EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_ERR) << code;
            const std::string& m = logged[0].message;
            const char* name = code == UPD_MSG_MTD_OPEN_ERR ? "UPD_MSG_MTD_ADDR_ERR" : upd_msg_name(code);
            ASSERT_NE(name, nullptr) << code;
            EXPECT_EQ(m.substr(m.find(": ") + 2), std::string(name) + "\n") << code;
        }
    }));
}

TEST(UpdMsgName, KnownAndUnknownCodes) {
    struct {
        int code;
        const char* name;
    } cases[] = {
        {-100, "UPD_MSG_ARG_ADDR_ERR"},       {-83, "UPD_MSG_MTD_OPEN_ERR"},
        {-79, "UPD_MSG_PART_NUM_ERR"},        {-75, "UPD_MSG_UNPROTECT_OEM_ERR"},
        {0, "UPD_MSG_SUCCESS"},               {1, "UPD_MSG_PART_VERSION_SAME"},
        {11, "UPD_MSG_UPGRADER_TOOL_SAVED"},  {13, "UPD_MSG_CONFIG_MODIFY_SAVED"},
        {-101, nullptr}, {-74, nullptr}, {-1, nullptr}, {3, nullptr}, {14, nullptr},
    };
    for (const auto& c : cases) {
        const char* got = upd_msg_name(c.code);
        EXPECT_STREQ(got, c.name) << c.code;
    }
}

}  // namespace
