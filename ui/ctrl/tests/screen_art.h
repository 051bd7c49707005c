// Test helpers: the off-screen picture as text art ('#' set, '.' clear), one
// line per row joined with '\n', so tests compare whole screens or regions
// with expected pictures written in their sources.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace uitest {

// Rows y0..y0+h-1, columns x0..x0+w-1 of g_lcdbuffer.
std::string LcdArt(int x0, int y0, int w, int h);
// The whole 132x64 picture.
std::string ScreenArt();
// Rows of expected art joined with '\n'.
std::string Art(std::initializer_list<const char*> rows);
// Path of the panel-refresh file inside the tests' private /proc (see
// screen_art.cpp); empty before the first refresh.
extern const char* const kRefreshFile;
// The refresh file's content ("1" after a refresh), and emptying it.
std::string RefreshFileContent();
void ClearRefreshFile();

// Sets every pixel of the off-screen picture to `colour`.
void FillScreen(int colour);

}  // namespace uitest
