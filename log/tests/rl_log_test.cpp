#include "rl_log.h"

#include <gtest/gtest.h>

// A second init while open keeps the first name and level.
TEST(RlLogInit, SecondInitKeepsFirstNameAndLevel) {
    rl_log_init("first", 5);
    rl_log_init("second", 2);
    EXPECT_STREQ(g_module_name, "first");
    EXPECT_EQ(g_log_level, 5);
    rl_log_deinit();
    EXPECT_EQ(g_nFlag, 0);
}
