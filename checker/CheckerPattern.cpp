#include "checker/CheckerPattern.h"

#include <algorithm>
#include <cstdint>

namespace quarvel {
namespace {

constexpr std::int32_t kGrid = 40;
constexpr std::int32_t kSquareReach = 20;  // a square spans its origin + 20, 21 pixels

// Paints the square whose top-left pixel would be (left, top). Coordinates
// past the image land on its last column or row, as clamped access would put
// them, so a square starting past an edge paints a stretch of that edge.
void PaintSquare(BmpImage& image, std::int32_t left, std::int32_t top) {
  const std::int32_t lastColumn = image.Width() - 1;
  const std::int32_t lastRow = image.Height() - 1;
  const std::int32_t x0 = std::min(left, lastColumn);
  const std::int32_t x1 = std::min(left + kSquareReach, lastColumn);
  const std::int32_t y0 = std::min(top, lastRow);
  const std::int32_t y1 = std::min(top + kSquareReach, lastRow);
  for (std::int32_t x = x0; x <= x1; ++x) {
    Pixel* column = image.Column(x);
    for (std::int32_t y = y0; y <= y1; ++y) {
      column[y].blue = 0;
      column[y].green = 0;
    }
  }
}

}  // namespace

void PaintCheckerPattern(BmpImage& image) {
  // `<=`, not `<`: a block whose origin equals the width or height still
  // paints, clamped onto the last column or row.
  for (std::int32_t y0 = 0; y0 <= image.Height(); y0 += kGrid) {
    for (std::int32_t x0 = 0; x0 <= image.Width(); x0 += kGrid) {
      PaintSquare(image, x0, y0);
      PaintSquare(image, x0 + kSquareReach, y0 + kSquareReach);
    }
  }
}

}  // namespace quarvel
