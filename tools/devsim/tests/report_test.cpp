// The web page of a real upgrade run, opened in headless Chromium: it loads
// without a console message, shows every frame, and draws the LCD pictures.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devsim_harness.h"
#include "driver_fixture.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Pixels of the screenshot with exactly this grey value.
size_t GreyPixels(const std::string& png_path, uint8_t grey) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, png_path.c_str())) return 0;
  img.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return 0;
  size_t n = 0;
  for (size_t i = 0; i + 2 < buf.size(); i += 3) n += buf[i] == grey && buf[i + 1] == grey && buf[i + 2] == grey;
  return n;
}

TEST(DevsimReport, UpgradeRunOpensInABrowser) {
  if (std::system("command -v chromium >/dev/null") != 0) {
    GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
  }
  devsim::Device dev("report");
  dev.Ini(drivertest::PhoneIni());
  drivertest::AddVersionFiles(dev);
  const std::string rom = dev.HostFile("p.rom", drivertest::Build(drivertest::SamplePackage()));
  const std::string page = dev.Dir() + "/run.html";
  ASSERT_EQ(dev.Run({"--rom", rom, "--report", page}), 0) << dev.Stderr();
  ASSERT_GT(dev.result().frames, 1);

  // Self-contained: every picture is inline and nothing names another place.
  const std::string html = devsim::ReadFile(page);
  EXPECT_EQ(Count(html, "src=\""), Count(html, "src=\"data:image/png;base64,"));
  EXPECT_EQ(Count(html, "http:") + Count(html, "https:") + Count(html, "href="), 0u);

  // The browser runs with no network use of its own and a fresh profile.
  const std::string dom = dev.Dir() + "/dom.html", log = dev.Dir() + "/chromium.log",
                    shot = dev.Dir() + "/shot.png", profile = dev.Dir() + "/profile";
  const std::string cmd = "timeout 120 chromium"
                          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                          " --disable-background-networking --disable-component-update --disable-sync"
                          " --user-data-dir=" + profile +
                          " --enable-logging=stderr --hide-scrollbars --window-size=1280,1200"
                          " --screenshot=" + shot + " --dump-dom file://" + page + " >" + dom + " 2>" + log;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << devsim::ReadFile(log);

  // Chromium logs every console message of the page as "CONSOLE".
  EXPECT_EQ(devsim::ReadFile(log).find(":CONSOLE"), std::string::npos) << devsim::ReadFile(log);
  EXPECT_EQ(Count(devsim::ReadFile(dom), "<img class=\"frame\""), static_cast<size_t>(dev.result().frames));
  // The LCD's set and clear greys appear only in decoded frame pictures.
  EXPECT_GT(GreyPixels(shot, 0x20), 5000u);
  EXPECT_GT(GreyPixels(shot, 0xD8), 5000u);
}

}  // namespace
