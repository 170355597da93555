// Copies of single pixels and rectangles between images, or within one.
//
// Every read and write goes through PixelAt, so a position outside an image
// acts as its nearest edge pixel. Only pixels change: depth, size, palette and
// resolution of both images stay as they are.
#pragma once

#include <cstdint>

#include "image/BmpImage.h"

namespace quarvel {

// Copies the source pixel, all four bytes, onto the target pixel.
void CopyPixel(const BmpImage& source, std::int32_t sourceX, std::int32_t sourceY, BmpImage& target,
               std::int32_t targetX, std::int32_t targetY);

// As CopyPixel, unless the source pixel's red, green and blue equal those of
// `transparentColor` (alpha is not compared).
void CopyPixelUnlessColor(const BmpImage& source, std::int32_t sourceX, std::int32_t sourceY,
                          BmpImage& target, std::int32_t targetX, std::int32_t targetY,
                          const Pixel& transparentColor);

// Copies the source rectangle of columns left..right and rows top..bottom
// (inclusive; top and bottom in either order, left > right copies nothing)
// so that its top-left pixel lands at (targetX, targetY). The rectangle is
// clipped to the source and then shortened to end on the target's last column
// and row; the landing position itself is never moved. Pixels are read and
// written one at a time, row by row, so copies within one image may read
// pixels written earlier in the same call.
void CopyRegion(const BmpImage& source, std::int32_t left, std::int32_t right, std::int32_t top,
                std::int32_t bottom, BmpImage& target, std::int32_t targetX, std::int32_t targetY);

// As CopyRegion, skipping source pixels of the transparent colour.
void CopyRegionUnlessColor(const BmpImage& source, std::int32_t left, std::int32_t right,
                           std::int32_t top, std::int32_t bottom, BmpImage& target,
                           std::int32_t targetX, std::int32_t targetY,
                           const Pixel& transparentColor);

}  // namespace quarvel
