// Any bytes through LoadFile. Whatever loads must save and load again with the
// same depth, size, resolution and colours, as far as the depth can keep them.
#include <cstdint>

#include "image/BmpImage.h"
#include "tests/fuzz/FuzzSupport.h"

using quarvel::BmpImage;
using quarvel::Pixel;
using quarvel::fuzz::FieldAt;
using quarvel::fuzz::ScratchFile;

namespace {

// Larger images take the same paths, only slower; the reader's refusals of
// sizes past its bounds stay in reach.
constexpr std::int64_t kLargestFuzzedImage = std::int64_t{1} << 10;

// The colour a loaded pixel comes back with after a save and a second load.
Pixel AfterRoundTrip(const BmpImage& image, Pixel p) {
  if (image.HasPalette()) return image.PaletteEntry(image.NearestPaletteIndex(p));
  if (image.ColorDepth() == 16) {
    return Pixel{static_cast<std::uint8_t>(p.blue & 0xF8),
                 static_cast<std::uint8_t>(p.green & 0xF8), static_cast<std::uint8_t>(p.red & 0xF8),
                 0};
  }
  if (image.ColorDepth() == 24) p.alpha = 0;
  return p;
}

// What a loaded pixel can hold at all: white where the file had no data for
// it, else what the depth expresses. Catches pixels never written (the fuzz
// runs fill fresh memory with 0xBE).
bool Possible(const BmpImage& image, Pixel p) {
  if (p == quarvel::kWhite) return true;
  if (image.HasPalette()) {
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
      if (image.PaletteEntry(i) == p) return true;
    }
    return false;
  }
  if (image.ColorDepth() == 16) return p.alpha == 0 && ((p.blue | p.green | p.red) & 7) == 0;
  return image.ColorDepth() == 32 || p.alpha == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Sizes the reader would accept and allocate past the bound only cost time.
  const std::int64_t width = static_cast<std::int32_t>(FieldAt(data, size, 18, 4, 0));
  const std::int64_t height = static_cast<std::int32_t>(FieldAt(data, size, 22, 4, 0));
  const std::int64_t depth = FieldAt(data, size, 28, 2, 0);
  if (width * height > kLargestFuzzedImage && width * height <= quarvel::kMaxPixelCount &&
      depth * width <= INT32_MAX) {
    return 0;
  }
  const ScratchFile input(data, size, "reader-in");
  BmpImage first;
  if (!first.LoadFile(input.Path())) return 0;
  const ScratchFile output(nullptr, 0, "reader-out");
  FUZZ_CHECK(first.SaveFile(output.Path()));
  BmpImage second;
  FUZZ_CHECK(second.LoadFile(output.Path()));
  FUZZ_CHECK(second.ColorDepth() == first.ColorDepth());
  FUZZ_CHECK(second.Width() == first.Width() && second.Height() == first.Height());
  FUZZ_CHECK(second.xPelsPerMeter == (first.xPelsPerMeter != 0 ? first.xPelsPerMeter : 3780));
  FUZZ_CHECK(second.yPelsPerMeter == (first.yPelsPerMeter != 0 ? first.yPelsPerMeter : 3780));
  for (std::int32_t x = 0; x < first.Width(); ++x) {
    for (std::int32_t y = 0; y < first.Height(); ++y) {
      FUZZ_CHECK(Possible(first, first.ReadPixel(x, y)));
      FUZZ_CHECK(second.ReadPixel(x, y) == AfterRoundTrip(first, first.ReadPixel(x, y)));
    }
  }
  return 0;
}
