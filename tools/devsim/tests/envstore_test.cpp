// The bootloader variable store's write rules.
#include <gtest/gtest.h>

#include "envstore.h"

namespace devsim {
namespace {

TEST(EnvStoreTest, WritesChangeTheListing) {
  const struct {
    const char* written;
    const char* listing;
  } cases[] = {
      {"B 9\n", "A 1\nB 9\nC 3\n"},
      {"D new value\n", "A 1\nB 2\nC 3\nD new value\n"},
      {"B\n", "A 1\nC 3\n"},
      {"  A   spaced  \n", "A spaced\nB 2\nC 3\n"},
      {"X\n", "A 1\nB 2\nC 3\n"},
      {"\n\n", "A 1\nB 2\nC 3\n"},
      {"A 5\nC\nE 6", "A 5\nB 2\nE 6\n"},
      {"b 7\n", "A 1\nB 2\nC 3\nb 7\n"},
  };
  for (const auto& c : cases) {
    EnvStore s({{"A", "1"}, {"B", "2"}, {"C", "3"}});
    s.Apply(c.written);
    EXPECT_EQ(s.Listing(), c.listing) << c.written;
  }
}

}  // namespace
}  // namespace devsim
