// The device's busybox: the applets that could restart a real machine are
// made unreachable, everything else stays as it was.
#include <gtest/gtest.h>

#include "rootfs.h"

namespace devsim {
namespace {

std::string Table(const std::vector<std::string>& names) {
  std::string t;
  for (const auto& n : names) t += n + '\0';
  return t;
}

TEST(DisableAppletsTest, RenamesOnlyTheRestartingApplets) {
  const std::vector<std::string> applets = {"[", "cat", "halt", "init", "linuxrc", "ls", "poweroff", "reboot", "rebootx", "sh"};
  std::string binary = std::string("\x7f" "ELF\0code\0", 10) + Table(applets) + std::string("tail\0reboot\0", 12);
  std::string error;
  ASSERT_TRUE(DisableApplets(&binary, applets, &error)) << error;
  std::string expected = std::string("\x7f" "ELF\0code\0", 10) +
                         Table({"[", "cat", "hal~", "ini~", "linuxr~", "ls", "powerof~", "reboo~", "rebootx", "sh"}) +
                         std::string("tail\0reboot\0", 12);
  EXPECT_EQ(binary, expected) << "only the name table changes, and only the five names";
}

TEST(DisableAppletsTest, RefusesWhenTheTableIsNotThere) {
  const std::vector<std::string> applets = {"cat", "reboot", "sh"};
  const std::string cases[] = {
      std::string("xx\0cat\0sh\0reboot\0", 17),  // another order
      std::string("xxcat\0reboot\0sh\0", 16),    // not preceded by a NUL
      std::string("cat\0reboot\0sh\0", 14),      // at the very start
      std::string("nothing here"),
  };
  for (const std::string& c : cases) {
    std::string binary = c;
    std::string error;
    EXPECT_FALSE(DisableApplets(&binary, applets, &error));
    EXPECT_EQ(binary, c) << "a refused binary is left alone";
    EXPECT_NE(error.find("reboot"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace devsim
