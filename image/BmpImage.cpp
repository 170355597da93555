#include "image/BmpImage.h"

#include <algorithm>
#include <memory>
#include <new>

#include "image/StandardPalettes.h"
#include "platform/LargeAllocation.h"

namespace quarvel {

std::int32_t IntegerPower(std::int32_t base, std::int32_t exponent) {
  // Unsigned arithmetic so that a caller's overflow wraps instead of being
  // undefined; for the library's own calls (2^24 at most) nothing wraps.
  std::uint32_t result = 1;
  for (std::int32_t i = 0; i < exponent; ++i) {
    result *= static_cast<std::uint32_t>(base);
  }
  return static_cast<std::int32_t>(result);
}

bool IsSupportedDepth(std::int32_t depth) {
  switch (depth) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      return true;
    default:
      return false;
  }
}

BmpImage::BmpImage() {
  AllocateStorage(1, 1, pixels, pixelBlock);
}

BmpImage::~BmpImage() {
  ReleaseStorage(pixels, pixelBlock);
}

bool BmpImage::AllocateStorage(std::int32_t w, std::int32_t h, Pixel**& columns, Pixel*& block) {
  if (w == 1 && h == 1) {
    singlePixel = kWhite;
    singleColumn[0] = &singlePixel;
    columns = singleColumn;
    block = &singlePixel;
    return true;
  }
  const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  columns = new (std::nothrow) Pixel*[static_cast<std::size_t>(w)];
  void* storage = AllocateLarge(count * sizeof(Pixel));
  if (columns == nullptr || storage == nullptr) {
    delete[] columns;
    ReleaseLarge(storage);
    columns = nullptr;
    block = nullptr;
    return false;
  }
  block = static_cast<Pixel*>(storage);
  // Pixel is trivial: this begins the pixels' lifetimes and writes nothing.
  std::uninitialized_default_construct_n(block, count);
  for (std::int32_t x = 0; x < w; ++x) {
    columns[x] = block + static_cast<std::size_t>(x) * static_cast<std::size_t>(h);
  }
  return true;
}

void BmpImage::ReleaseStorage(Pixel** columns, Pixel* block) {
  if (columns == singleColumn) {
    return;
  }
  delete[] columns;
  ReleaseLarge(block);
}

bool BmpImage::SetDimensions(std::int32_t newWidth, std::int32_t newHeight) {
  if (!SetDimensionsUnfilled(newWidth, newHeight)) {
    return false;
  }
  std::fill(pixelBlock,
            pixelBlock + static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
            kWhite);
  return true;
}

bool BmpImage::SetDimensionsUnfilled(std::int32_t newWidth, std::int32_t newHeight) {
  if (newWidth < 1 || newHeight < 1) {
    return false;
  }
  if (static_cast<std::int64_t>(newWidth) * newHeight > kMaxPixelCount) {
    return false;
  }
  // Obtain the new storage before releasing the old, so that a refusal
  // leaves the image as it was.
  Pixel** newColumns = nullptr;
  Pixel* newBlock = nullptr;
  if (!AllocateStorage(newWidth, newHeight, newColumns, newBlock)) {
    return false;
  }
  ReleaseStorage(pixels, pixelBlock);
  pixels = newColumns;
  pixelBlock = newBlock;
  width = newWidth;
  height = newHeight;
  return true;
}

bool BmpImage::SetColorDepth(std::int32_t newDepth) {
  if (!IsSupportedDepth(newDepth)) {
    return false;
  }
  bitDepth = newDepth;
  if (IsIndexedDepth(newDepth)) {
    FillStandardPalette();
  }
  return true;
}

std::int32_t BmpImage::PaletteSize() const {
  if (bitDepth == 32) {
    return IntegerPower(2, 24);
  }
  return IntegerPower(2, bitDepth);
}

Pixel& BmpImage::PixelAt(std::int32_t x, std::int32_t y) {
  if (x >= width) x = width - 1;
  if (x < 0) x = 0;
  if (y >= height) y = height - 1;
  if (y < 0) y = 0;
  return pixels[x][y];
}

const Pixel& BmpImage::PixelAt(std::int32_t x, std::int32_t y) const {
  return const_cast<BmpImage*>(this)->PixelAt(x, y);
}

bool BmpImage::WritePixel(std::int32_t x, std::int32_t y, Pixel colour) {
  if (x < 0 || x >= width || y < 0 || y >= height) {
    return false;
  }
  pixels[x][y] = colour;
  return true;
}

Pixel BmpImage::PaletteEntry(std::int32_t index) const {
  if (!HasPalette() || index < 0 || index >= PaletteSize()) {
    return kWhite;
  }
  return palette[index];
}

bool BmpImage::SetPaletteEntry(std::int32_t index, Pixel colour) {
  if (!HasPalette() || index < 0 || index >= PaletteSize()) {
    return false;
  }
  palette[index] = colour;
  return true;
}

bool BmpImage::FillStandardPalette() {
  if (!HasPalette()) {
    return false;
  }
  const Pixel* standard = StandardPalette(bitDepth);
  std::copy(standard, standard + PaletteSize(), palette);
  return true;
}

}  // namespace quarvel
