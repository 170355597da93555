// Bilinear resampling of an image in place.
#pragma once

#include <cstdint>

#include "image/BmpImage.h"

namespace quarvel {

// Resamples `image` to a new size chosen by `mode` (either case):
//   'P'  newDimension is a percentage of both sides;
//   'W'  newDimension is the new width, the height follows the aspect ratio;
//   'H'  newDimension is the new height, the width follows the aspect ratio;
//   'F'  newDimension is the new length of the longer side ('H' when square).
// Sides below 1 become 1. The result has 24 bits and no palette; alpha is 0
// except at the bottom-right pixel, which keeps the old bottom-right pixel
// whole. The resolution fields are left as they are.
//
// False, with size, depth, palette and pixels untouched, for an unknown mode
// (reported on standard error while warnings are on), for a new side beyond
// the signed 32-bit range, for a size SetDimensions refuses, and when memory
// for the work cannot be obtained.
bool RescaleImage(BmpImage& image, char mode, std::int32_t newDimension);

}  // namespace quarvel
