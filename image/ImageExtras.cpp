// Copying, resolution in dots per inch, the grey palette and the warning flag.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "image/BmpImage.h"
#include "image/CheckedMath.h"

namespace quarvel {
namespace {

constexpr double kInchesPerMetre = 39.37007874015748;
constexpr double kMetresPerInch = 0.0254;

// The library's only process-wide state. Relaxed ordering: the flag guards
// nothing but a message, so it only has to be free of data races.
std::atomic<bool> warningsEnabled{true};

}  // namespace

void EnableWarnings() {
  warningsEnabled.store(true, std::memory_order_relaxed);
}
void DisableWarnings() {
  warningsEnabled.store(false, std::memory_order_relaxed);
}
bool WarningsEnabled() {
  return warningsEnabled.load(std::memory_order_relaxed);
}

BmpImage::BmpImage(const BmpImage& source) {
  AllocateStorage(1, 1, pixels, pixelBlock);
  SetColorDepth(source.bitDepth);
  // Resolution is copied field for field: a round trip through dots per inch
  // would lose about 1 % on every copy.
  xPelsPerMeter = source.xPelsPerMeter;
  yPelsPerMeter = source.yPelsPerMeter;
  std::copy(source.palette, source.palette + kMaxPaletteEntries, palette);
  // Every pixel is overwritten by the copy, so the white fill is skipped.
  if (!SetDimensionsUnfilled(source.width, source.height)) {
    return;
  }
  std::memcpy(pixelBlock, source.pixelBlock,
              static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(Pixel));
}

void BmpImage::SetResolutionDpi(std::int32_t horizontalDpi, std::int32_t verticalDpi) {
  xPelsPerMeter = SaturatingTruncate(horizontalDpi * kInchesPerMetre);
  yPelsPerMeter = SaturatingTruncate(verticalDpi * kInchesPerMetre);
}

std::int32_t BmpImage::HorizontalDpi() {
  if (xPelsPerMeter == 0) xPelsPerMeter = DefaultPelsPerMeter;
  return SaturatingTruncate(xPelsPerMeter * kMetresPerInch);
}

std::int32_t BmpImage::VerticalDpi() {
  if (yPelsPerMeter == 0) yPelsPerMeter = DefaultPelsPerMeter;
  return SaturatingTruncate(yPelsPerMeter * kMetresPerInch);
}

bool BmpImage::FillGrayPalette() {
  if (!HasPalette()) {
    return false;
  }
  const std::int32_t count = PaletteSize();
  const std::int32_t step = 255 / (count - 1);
  for (std::int32_t i = 0; i < count; ++i) {
    const auto level = static_cast<std::uint8_t>(i * step);
    SetPaletteEntry(i, Pixel{level, level, level, 0});
  }
  return true;
}

}  // namespace quarvel
