// Test helper: the off-screen picture as text art, one line per row, '#' for a
// set pixel and '.' for a clear one. It reads the bytes directly (bit
// y * 132 + x, least significant first), independently of the bit layer, so a
// comparison checks the layout too.
#pragma once

#include <cstdint>
#include <string>

namespace lcd_testing {

// Rows y..y+h-1, columns x..x+w-1 of a 132-pixel-wide picture, each row ended
// by '\n'.
std::string Art(const std::uint8_t* picture, int x, int y, int w, int h);
// The same region of g_lcdbuffer.
std::string ScreenArt(int x, int y, int w, int h);
// Clears g_lcdbuffer and resets the redraw rectangle to the whole screen.
void ClearScreen();
// Number of set pixels in g_lcdbuffer.
int CountSet();
// Drops a leading newline so expected art can start on its own line in a raw
// string literal.
std::string Expect(const char* art);

}  // namespace lcd_testing
