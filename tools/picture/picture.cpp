#include "picture.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace picture {

bool Pixel(const uint8_t* frame, int x, int y) {
  if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) return false;
  int bit = y * kWidth + x;
  return (frame[bit / 8] >> (bit % 8)) & 1;
}

std::string ToText(const uint8_t* frame) {
  std::string out;
  out.reserve((kWidth + 1) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) out.push_back(Pixel(frame, x, y) ? '#' : '.');
    out.push_back('\n');
  }
  return out;
}

void FromText(const std::string& text, uint8_t* frame) {
  std::memset(frame, 0, kFrameBytes);
  int x = 0, y = 0;
  for (char c : text) {
    if (c == '\n') {
      ++y;
      x = 0;
      continue;
    }
    if (c == '#' && x < kWidth && y < kHeight) {
      int bit = y * kWidth + x;
      frame[bit / 8] = static_cast<uint8_t>(frame[bit / 8] | (1u << (bit % 8)));
    }
    ++x;
  }
}

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t len) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), len);
}

void NoFlush(png_structp) {}

}  // namespace

bool EncodePng(const uint8_t* frame, int scale, std::string* out, std::string* error) {
  if (scale < 1 || scale > 16) {
    *error = "scale must be 1..16";
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    *error = "libpng: out of memory";
    return false;
  }
  // libpng reports errors by longjmp; nothing here owns C++ objects across it
  // except `row` and `bytes`, which are created before setjmp and freed on
  // both paths.
  std::vector<png_byte> row(static_cast<size_t>(kWidth * scale));
  std::string bytes;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "PNG encoding failed";
    return false;
  }
  png_set_write_fn(png, &bytes, AppendBytes, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(kWidth * scale), static_cast<png_uint_32>(kHeight * scale),
               8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      png_byte v = Pixel(frame, x, y) ? 0x20 : 0xD8;
      for (int s = 0; s < scale; ++s) row[static_cast<size_t>(x * scale + s)] = v;
    }
    for (int s = 0; s < scale; ++s) png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  *out = std::move(bytes);
  return true;
}

bool WritePng(const std::string& path, const uint8_t* frame, int scale, std::string* error) {
  std::string bytes;
  if (!EncodePng(frame, scale, &bytes, error)) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    *error = path + ": cannot create";
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

bool ReadPng(const std::string& path, uint8_t* frame, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    *error = path + ": " + image.message;
    return false;
  }
  const int scale = static_cast<int>(image.width) / kWidth;
  if (scale < 1 || image.width != static_cast<png_uint_32>(kWidth * scale) ||
      image.height != static_cast<png_uint_32>(kHeight * scale)) {
    png_image_free(&image);
    *error = path + ": not a 132 x 64 picture";
    return false;
  }
  image.format = PNG_FORMAT_GRAY;
  std::vector<png_byte> grey(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) {
    *error = path + ": " + image.message;
    return false;
  }
  std::memset(frame, 0, kFrameBytes);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (grey[static_cast<size_t>(y * scale) * image.width + static_cast<size_t>(x * scale)] >= 0x80) continue;
      const int bit = y * kWidth + x;
      frame[bit / 8] = static_cast<uint8_t>(frame[bit / 8] | (1u << (bit % 8)));
    }
  }
  return true;
}

}  // namespace picture
