// Frame conversions: bit order of the picture format, text art, PNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture.h"
#include "temp_dir.h"

namespace {

using namespace picture;

TEST(PictureTest, BitOrder) {
  const struct {
    int x, y, byte, bit;
  } cases[] = {{0, 0, 0, 0}, {7, 0, 0, 7}, {8, 0, 1, 0}, {131, 0, 16, 3}, {0, 1, 16, 4}, {131, 63, 1055, 7}};
  for (const auto& c : cases) {
    uint8_t frame[kFrameBytes] = {};
    frame[c.byte] = static_cast<uint8_t>(1u << c.bit);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        ASSERT_EQ(Pixel(frame, x, y), x == c.x && y == c.y) << c.x << "," << c.y << " at " << x << "," << y;
      }
    }
    std::string text = ToText(frame);
    ASSERT_EQ(text.size(), static_cast<size_t>((kWidth + 1) * kHeight));
    EXPECT_EQ(text[static_cast<size_t>(c.y * (kWidth + 1) + c.x)], '#');
    EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 1);
    uint8_t back[kFrameBytes];
    FromText(text, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + kFrameBytes), std::vector<uint8_t>(frame, frame + kFrameBytes));
  }
  uint8_t f[kFrameBytes] = {};
  EXPECT_FALSE(Pixel(f, -1, 0));
  EXPECT_FALSE(Pixel(f, 132, 0));
  EXPECT_FALSE(Pixel(f, 0, 64));
}

// A PNG read back gives the frame written, at any scale; bad scales and paths
// are refused with the path named.
TEST(PictureTest, PngRoundTrip) {
  uint8_t frame[kFrameBytes] = {};
  frame[0] = 0x01;                                            // (0,0)
  frame[17] = 0x30;                                           // (4,1), (5,1)
  frame[(63 * 132 + 131) / 8] = 1u << ((63 * 132 + 131) % 8);  // (131,63)
  TempDir dir("pictest");
  const std::string path = dir.file("f.png");
  for (int scale : {1, 3}) {
    std::string err;
    ASSERT_TRUE(WritePng(path, frame, scale, &err)) << err;
    uint8_t back[kFrameBytes];
    ASSERT_TRUE(ReadPng(path, back, &err)) << err;
    EXPECT_EQ(ToText(back), ToText(frame)) << scale;
  }
  std::string err;
  EXPECT_FALSE(WritePng(path, frame, 0, &err));
  EXPECT_FALSE(WritePng("/nonexistent/dir/x.png", frame, 1, &err));
  EXPECT_NE(err.find("/nonexistent/dir/x.png"), std::string::npos);
  uint8_t back[kFrameBytes];
  EXPECT_FALSE(ReadPng("/nonexistent/dir/x.png", back, &err));
}

}  // namespace
