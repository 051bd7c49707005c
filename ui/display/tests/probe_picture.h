// Pictures the display probe draws on the simulated device; the system test
// draws the same ones on the host and compares them with the captured frames.
#pragma once

// Draws probe picture n (1 or 2) into the off-screen picture, over whatever it
// holds.
void DrawProbePicture(int n);
