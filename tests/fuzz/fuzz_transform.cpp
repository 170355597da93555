// Rescaling and region copies on small images the fuzzer paints, with modes,
// sizes, rectangles and positions it picks (coordinates anywhere in 32 bits).
// Rescaling is held to its size rules; each copy to a plain model of the
// clipping rules. Writes outside an image are AddressSanitizer's to report.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "image/BmpImage.h"
#include "tests/fuzz/FuzzSupport.h"
#include "transform/RegionCopy.h"
#include "transform/Rescale.h"

using namespace quarvel;

namespace {

void Paint(fuzz::InputTaker& take, BmpImage& image) {
  const std::int32_t depths[] = {1, 4, 8, 16, 24, 32};
  image.SetColorDepth(depths[take.Byte() % 6]);
  const std::int32_t width = take.Between(1, 24);
  image.SetDimensions(width, take.Between(1, 24));
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    for (std::int32_t y = 0; y < image.Height(); ++y) {
      image.WritePixel(x, y, Pixel{take.Byte(), take.Byte(), take.Byte(), take.Byte()});
    }
  }
}

bool Same(const BmpImage& a, const BmpImage& b) {
  if (a.ColorDepth() != b.ColorDepth() || a.Width() != b.Width() || a.Height() != b.Height()) {
    return false;
  }
  for (std::int32_t i = 0; i < kMaxPaletteEntries; ++i) {
    if (a.PaletteEntry(i) != b.PaletteEntry(i)) return false;
  }
  for (std::int32_t x = 0; x < a.Width(); ++x) {
    for (std::int32_t y = 0; y < a.Height(); ++y) {
      if (a.ReadPixel(x, y) != b.ReadPixel(x, y)) return false;
    }
  }
  return true;
}

std::int32_t Coordinate(fuzz::InputTaker& take) {
  return take.Byte() % 2 == 0 ? take.Between(-40, 40) : take.Between(INT32_MIN, INT32_MAX);
}

// The region copy as the rules state it, in 64-bit arithmetic throughout.
void ModelCopy(const BmpImage& source, std::int64_t left, std::int64_t right, std::int64_t top,
               std::int64_t bottom, BmpImage& target, std::int64_t targetX, std::int64_t targetY,
               const Pixel* transparent) {
  if (top > bottom) std::swap(top, bottom);
  right = std::min<std::int64_t>(right, source.Width() - 1);
  left = std::max<std::int64_t>(left, 0);
  bottom = std::min<std::int64_t>(bottom, source.Height() - 1);
  top = std::max<std::int64_t>(top, 0);
  if ((right - left) + targetX >= target.Width()) right = left + (target.Width() - 1 - targetX);
  if ((bottom - top) + targetY >= target.Height()) bottom = top + (target.Height() - 1 - targetY);
  for (std::int64_t y = top; y <= bottom; ++y) {
    for (std::int64_t x = left; x <= right; ++x) {
      const Pixel p = source.ReadPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
      if (transparent != nullptr && p.red == transparent->red && p.green == transparent->green &&
          p.blue == transparent->blue) {
        continue;
      }
      target.PixelAt(static_cast<std::int32_t>(targetX + (x - left)),
                     static_cast<std::int32_t>(targetY + (y - top))) = p;
    }
  }
}

std::int32_t ExpectedSide(double side) {
  return std::max(1, static_cast<std::int32_t>(side));
}

void FuzzRescale(fuzz::InputTaker& take, BmpImage& image) {
  const auto mode = static_cast<char>(take.Byte());
  const std::int32_t dimension = take.Between(-300, 300);
  const BmpImage before(image);
  const double w = image.Width(), h = image.Height(), n = dimension;
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(mode)));
  if (upper == 'F') upper = w > h ? 'W' : 'H';
  std::int32_t width = ExpectedSide(upper == 'W' ? n : std::floor((n / h) * w));
  std::int32_t height = ExpectedSide(upper == 'H' ? n : std::floor((n / w) * h));
  if (upper == 'P') {
    width = ExpectedSide(std::floor(w * n * 0.01));
    height = ExpectedSide(std::floor(h * n * 0.01));
  }
  if (!RescaleImage(image, mode, dimension)) {
    FUZZ_CHECK(upper != 'P' && upper != 'W' && upper != 'H');
    FUZZ_CHECK(Same(image, before));
    return;
  }
  FUZZ_CHECK(image.Width() == width && image.Height() == height && image.ColorDepth() == 24);
  FUZZ_CHECK(image.ReadPixel(width - 1, height - 1) ==
             before.ReadPixel(before.Width() - 1, before.Height() - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DisableWarnings();
  fuzz::InputTaker take(data, size);
  BmpImage source;
  BmpImage other;
  Paint(take, source);
  Paint(take, other);
  const std::uint8_t operation = take.Byte();
  if (operation % 3 == 0) {
    FuzzRescale(take, source);
    return 0;
  }
  // Copies within one image read pixels the same call wrote earlier.
  BmpImage& target = operation & 4 ? source : other;
  const Pixel transparent{take.Byte(), take.Byte(), take.Byte(), take.Byte()};
  const bool unlessColor = operation & 8;
  const std::int32_t left = Coordinate(take), right = Coordinate(take), top = Coordinate(take);
  const std::int32_t bottom = Coordinate(take), x = Coordinate(take), y = Coordinate(take);
  BmpImage model(target);
  const BmpImage sourceBefore(source);
  if (operation % 3 == 1) {
    const Pixel p = (&target == &source ? model : source).ReadPixel(left, top);
    if (!unlessColor || p.red != transparent.red || p.green != transparent.green ||
        p.blue != transparent.blue) {
      model.PixelAt(x, y) = p;
    }
    if (unlessColor) {
      CopyPixelUnlessColor(source, left, top, target, x, y, transparent);
    } else {
      CopyPixel(source, left, top, target, x, y);
    }
  } else {
    const BmpImage& modelSource = &target == &source ? model : source;
    ModelCopy(modelSource, left, right, top, bottom, model, x, y,
              unlessColor ? &transparent : nullptr);
    if (unlessColor) {
      CopyRegionUnlessColor(source, left, right, top, bottom, target, x, y, transparent);
    } else {
      CopyRegion(source, left, right, top, bottom, target, x, y);
    }
  }
  FUZZ_CHECK(Same(target, model));
  if (&target != &source) FUZZ_CHECK(Same(source, sourceBefore));
  return 0;
}
