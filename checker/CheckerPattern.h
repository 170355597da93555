// The red checker pattern that BMPChecker paints.
#pragma once

#include "image/BmpImage.h"

namespace quarvel {

// Clears blue and green of every pixel inside the pattern's squares: 21 x 21
// pixels, two per block, blocks on a 40-pixel grid. Red, alpha, size, depth,
// palette and resolution are untouched.
void PaintCheckerPattern(BmpImage& image);

}  // namespace quarvel
