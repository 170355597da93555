#include "checker/CheckerPattern.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quarvel {
namespace {

constexpr std::int32_t kGrid = 40;
constexpr std::int32_t kSquareReach = 20;  // a square spans its origin + 20, 21 pixels

// Square `square` (0 or 1) of the block at `origin` spans these positions
// along one side of `size`. Positions past the image land on its last one,
// as clamped access would put them, so a square starting past an edge covers
// a stretch of that edge.
struct Span {
  std::int32_t first;
  std::int32_t last;
};
Span SquareSpan(std::int32_t origin, std::int32_t square, std::int32_t size) {
  const std::int32_t start = origin + square * kSquareReach;
  return Span{std::min(start, size - 1), std::min(start + kSquareReach, size - 1)};
}

// Clears blue and green of column pixels first .. last, whole pixels at a
// time, so that the loop moves four bytes per pixel instead of two single
// bytes.
void PaintRun(Pixel* column, Span rows) {
  Pixel keepRedAndAlpha{0, 0, 0xFF, 0xFF};
  std::uint32_t mask;
  std::memcpy(&mask, &keepRedAndAlpha, sizeof mask);
  for (std::int32_t y = rows.first; y <= rows.last; ++y) {
    std::uint32_t bits;
    std::memcpy(&bits, column + y, sizeof bits);
    bits &= mask;
    std::memcpy(column + y, &bits, sizeof bits);
  }
}

}  // namespace

void PaintCheckerPattern(BmpImage& image) {
  // The squares numbered `square` (0 for the first of each block, 1 for the
  // second) are every column span of that square crossed with every row span
  // of it, so each column is painted once per span that covers it, top to
  // bottom: the pixels are visited in storage order. Origins run up to and
  // including the size (`<=`, not `<`): a block whose origin equals the width
  // or height still paints, clamped onto the last column or row.
  const std::int32_t width = image.Width();
  const std::int32_t height = image.Height();
  for (std::int32_t x0 = 0; x0 <= width; x0 += kGrid) {
    for (std::int32_t square = 0; square < 2; ++square) {
      const Span columns = SquareSpan(x0, square, width);
      for (std::int32_t x = columns.first; x <= columns.last; ++x) {
        Pixel* column = image.Column(x);
        for (std::int32_t y0 = 0; y0 <= height; y0 += kGrid) {
          PaintRun(column, SquareSpan(y0, square, height));
        }
      }
    }
  }
}

}  // namespace quarvel
