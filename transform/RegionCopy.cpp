#include "transform/RegionCopy.h"

#include <algorithm>

namespace quarvel {
namespace {

// The rectangle after clipping, in 64 bits: the caller's bounds and target
// position may be anywhere in the 32-bit range, and their differences and
// sums must not overflow.
struct ClippedRegion {
  std::int64_t left;
  std::int64_t right;
  std::int64_t top;
  std::int64_t bottom;
};

ClippedRegion Clip(const BmpImage& source, std::int32_t left, std::int32_t right, std::int32_t top,
                   std::int32_t bottom, const BmpImage& target, std::int32_t targetX,
                   std::int32_t targetY) {
  ClippedRegion r{left, right, std::min(top, bottom), std::max(top, bottom)};
  if (r.right >= source.Width()) r.right = source.Width() - 1;
  if (r.left < 0) r.left = 0;
  if (r.bottom >= source.Height()) r.bottom = source.Height() - 1;
  if (r.top < 0) r.top = 0;
  // Shorten so that the last copied column and row land on the target's
  // last; a negative target position is left alone and clamps on writing.
  if ((r.right - r.left) + targetX >= target.Width()) {
    r.right = r.left + (target.Width() - 1 - std::int64_t{targetX});
  }
  if ((r.bottom - r.top) + targetY >= target.Height()) {
    r.bottom = r.top + (target.Height() - 1 - std::int64_t{targetY});
  }
  return r;
}

// Row by row, left to right, one read and one write per pixel: with source
// and target the same image, that order decides what overlapping copies give.
template <typename CopyOne>
void ForEachPixel(const ClippedRegion& r, std::int32_t targetX, std::int32_t targetY,
                  CopyOne copyOne) {
  for (std::int64_t y = r.top; y <= r.bottom; ++y) {
    for (std::int64_t x = r.left; x <= r.right; ++x) {
      // All four fit 32 bits: x and y lie inside the source, and the target
      // position runs from the caller's value up to the target's last index.
      copyOne(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
              static_cast<std::int32_t>(targetX + (x - r.left)),
              static_cast<std::int32_t>(targetY + (y - r.top)));
    }
  }
}

bool SameColour(const Pixel& a, const Pixel& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

}  // namespace

void CopyPixel(const BmpImage& source, std::int32_t sourceX, std::int32_t sourceY, BmpImage& target,
               std::int32_t targetX, std::int32_t targetY) {
  const Pixel& from = source.PixelAt(sourceX, sourceY);
  target.PixelAt(targetX, targetY) = from;
}

void CopyPixelUnlessColor(const BmpImage& source, std::int32_t sourceX, std::int32_t sourceY,
                          BmpImage& target, std::int32_t targetX, std::int32_t targetY,
                          const Pixel& transparentColor) {
  const Pixel& from = source.PixelAt(sourceX, sourceY);
  if (SameColour(from, transparentColor)) return;
  target.PixelAt(targetX, targetY) = from;
}

void CopyRegion(const BmpImage& source, std::int32_t left, std::int32_t right, std::int32_t top,
                std::int32_t bottom, BmpImage& target, std::int32_t targetX, std::int32_t targetY) {
  const ClippedRegion r = Clip(source, left, right, top, bottom, target, targetX, targetY);
  ForEachPixel(r, targetX, targetY,
               [&](std::int32_t x, std::int32_t y, std::int32_t tx, std::int32_t ty) {
                 CopyPixel(source, x, y, target, tx, ty);
               });
}

void CopyRegionUnlessColor(const BmpImage& source, std::int32_t left, std::int32_t right,
                           std::int32_t top, std::int32_t bottom, BmpImage& target,
                           std::int32_t targetX, std::int32_t targetY,
                           const Pixel& transparentColor) {
  const ClippedRegion r = Clip(source, left, right, top, bottom, target, targetX, targetY);
  ForEachPixel(r, targetX, targetY,
               [&](std::int32_t x, std::int32_t y, std::int32_t tx, std::int32_t ty) {
                 CopyPixelUnlessColor(source, x, y, target, tx, ty, transparentColor);
               });
}

}  // namespace quarvel
