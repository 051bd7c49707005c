// Parsing of what the device sends: syslog datagrams and IPC messages.
#include <gtest/gtest.h>

#include "records.h"

namespace devsim {
namespace {

TEST(SyslogTest, HeaderIsStripped) {
  const struct {
    std::string datagram;
    bool ok;
    int priority, facility;
    const char* message;
  } cases[] = {
      {"<14>Dec  6 20:15:25 : upgrader pid7,tid7,l6: hello\n", true, 6, 1, "upgrader pid7,tid7,l6: hello"},
      {"<11>Dec 16 01:02:03 killapps.sh: ran", true, 3, 1, "ran"},
      {"<13>Dec  6 20:15:25 root[12]: with pid", true, 5, 1, "with pid"},
      {"<6>plain message: with colon", true, 6, 0, "plain message: with colon"},
      {"<191>Jan  1 00:00:00 t: x", true, 7, 23, "x"},
      {std::string("<3>Dec  6 20:15:25 : nul\0", 25), true, 3, 0, "nul"},
      {"no header", false, 0, 0, ""},
      {"<x>bad", false, 0, 0, ""},
      {"<12345>too long", false, 0, 0, ""},
  };
  for (const auto& c : cases) {
    SyslogLine l;
    ASSERT_EQ(ParseSyslog(c.datagram, &l), c.ok) << c.datagram;
    if (!c.ok) continue;
    EXPECT_EQ(l.priority, c.priority) << c.datagram;
    EXPECT_EQ(l.facility, c.facility) << c.datagram;
    EXPECT_EQ(l.message, c.message) << c.datagram;
  }
}

std::string Message(uint32_t length, int msg, int sender, int w, int l, const std::string& data) {
  std::string b;
  for (uint32_t v : {length, static_cast<uint32_t>(msg), static_cast<uint32_t>(sender), static_cast<uint32_t>(w),
                     static_cast<uint32_t>(l)}) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
  }
  return b + data;
}

TEST(IpcTest, WellFormedAndMalformed) {
  EXPECT_EQ(IpcJson(5, 4, Message(23, 4, 6, -1, 0x01020304, "ab\xff")),
            R"({"data":"6162ff","length":23,"lparam":16909060,"msg":4,"receiver":4,"sender":6,"t_ms":5,"wparam":-1})");
  // A length that does not match what came, or one outside 20..2068: only the bytes.
  for (const std::string& bad : {Message(24, 1, 6, 0, 0, "abc"), Message(20, 1, 6, 0, 0, "x"),
                                 std::string("\x0c\0\0\0abcdefgh", 12), std::string()}) {
    EXPECT_EQ(IpcJson(1, 2, bad), R"({"raw":")" + Hex(bad.data(), bad.size()) + R"(","receiver":2,"t_ms":1})");
  }
}

}  // namespace
}  // namespace devsim
