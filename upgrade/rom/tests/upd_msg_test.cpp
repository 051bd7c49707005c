// The fixed log line of a result code is the code's own name: codes -100..-79
// and 1 log it at error level (-83 borrows the line of -84), every other code,
// far out of range included, logs nothing and has no name.
#include "upd_msg.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <climits>

#include "private_ns.h"
#include "rl_log.h"
#include "syslog_capture.h"

TEST(UpdateMsgPrintf, LogsTheCodesOwnNameOrNothing) {
    EXPECT_TRUE(coord_testing::RunIsolated(coord_testing::kCaptureSyslog, [] {
        rl_log_reset_level(7);
        for (int code : {INT_MIN, INT_MAX, -101, 102}) {
            update_msg_printf(code);
            EXPECT_EQ(upd_msg_name(code), nullptr) << code;
        }
        EXPECT_TRUE(coord_testing::SyslogLines().empty());
        for (int code = -100; code <= 13; ++code) {
            coord_testing::SyslogClear();
            update_msg_printf(code);
            const std::vector<SyslogRecord> logged = SyslogRecords();
            if (code > UPD_MSG_PART_NUM_ERR && code != UPD_MSG_PART_VERSION_SAME) {
                EXPECT_TRUE(logged.empty()) << code;
                continue;
            }
            ASSERT_EQ(logged.size(), 1u) << code;
            EXPECT_EQ(logged[0].priority & LOG_PRIMASK, LOG_ERR) << code;
            const std::string& m = logged[0].message;
            const char* name = upd_msg_name(code == UPD_MSG_MTD_OPEN_ERR ? UPD_MSG_MTD_ADDR_ERR : code);
            ASSERT_NE(name, nullptr) << code;
            EXPECT_EQ(m.substr(m.find(": ") + 2), std::string(name) + "\n") << code;
        }
    }));
}
