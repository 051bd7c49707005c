// Test helpers: the off-screen picture as text art ('#' set, '.' clear), one
// line per row joined with '\n', so tests compare whole screens or regions
// with expected pictures written in their sources.
#pragma once

#include <cstdint>
#include <string>

namespace uitest {

// Rows y0..y0+h-1, columns x0..x0+w-1 of a 132-pixel-wide picture, read
// from the bytes directly (bit y * 132 + x, least significant first),
// independently of the bit layer, so a comparison checks the layout too.
std::string PictureArt(const std::uint8_t* picture, int x0, int y0, int w, int h);
// The same region of g_lcdbuffer.
std::string LcdArt(int x0, int y0, int w, int h);
// The whole 132x64 picture.
std::string ScreenArt();
// Expected art from a raw string literal: a leading and a trailing newline
// are dropped, so the art can stand on lines of its own.
std::string Expect(const char* art);
// The content of the panel-refresh file inside the tests' private /proc ("1"
// after a refresh, empty before the first), and emptying it.
std::string RefreshFileContent();
void ClearRefreshFile();

// Sets every pixel of the off-screen picture to `colour`.
void FillScreen(int colour);
// Clears the picture and resets the redraw rectangle to the whole screen.
void ClearScreen();
// Number of set pixels of the picture.
int CountSet();

}  // namespace uitest
