// Frame conversions: bit order of the picture format, text art, PNG.
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "picture.h"

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

std::vector<std::vector<uint8_t>> ReadPng(const std::string& path, int* w, int* h) {
  std::vector<std::vector<uint8_t>> rows;
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return rows;
  img.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return rows;
  *w = static_cast<int>(img.width);
  *h = static_cast<int>(img.height);
  for (int y = 0; y < *h; ++y) rows.emplace_back(buf.begin() + y * *w, buf.begin() + (y + 1) * *w);
  return rows;
}

TEST(PictureTest, PngShowsSetPixelsDark) {
  uint8_t frame[kFrameBytes] = {};
  frame[0] = 0x01;                                            // (0,0)
  frame[(63 * 132 + 131) / 8] = 1u << ((63 * 132 + 131) % 8);  // (131,63)
  char path[] = "/tmp/pictest-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (int scale : {1, 3}) {
    std::string err;
    ASSERT_TRUE(WritePng(path, frame, scale, &err)) << err;
    int w = 0, h = 0;
    auto rows = ReadPng(path, &w, &h);
    ASSERT_EQ(w, 132 * scale);
    ASSERT_EQ(h, 64 * scale);
    EXPECT_LT(rows[0][0], 0x80);
    EXPECT_LT(rows[static_cast<size_t>(h - 1)][static_cast<size_t>(w - 1)], 0x80);
    EXPECT_GT(rows[0][static_cast<size_t>(scale)], 0x80);
    EXPECT_GT(rows[static_cast<size_t>(scale)][0], 0x80);
    if (scale == 3) {
      EXPECT_LT(rows[2][2], 0x80);
    }
  }
  std::string err;
  EXPECT_FALSE(WritePng(path, frame, 0, &err));
  EXPECT_FALSE(WritePng("/nonexistent/dir/x.png", frame, 1, &err));
  EXPECT_NE(err.find("/nonexistent/dir/x.png"), std::string::npos);
  unlink(path);
}

}  // namespace
