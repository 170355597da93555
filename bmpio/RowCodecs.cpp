// One file row to or from one image row, per depth. The row loops of the
// reader and writer pick one codec per file and call it once per row.
#include <cstdint>

#include "image/BmpImage.h"

namespace quarvel {
namespace {

// Pixels packed `perByte` to a byte fit a row of `length` bytes. 64-bit so
// that a large length cannot overflow the product.
bool RowHolds(std::int32_t width, std::int32_t length, std::int64_t perByte) {
  return width <= perByte * length;
}

// At 1 and 4 bits the leftmost pixel sits in the most significant bits.
template <int kBits>
bool DecodePacked(BmpImage& image, const Pixel* palette, const std::uint8_t* row,
                  std::int32_t length, std::int32_t y) {
  constexpr int kPerByte = 8 / kBits;
  constexpr unsigned kMask = (1u << kBits) - 1;
  const std::int32_t width = image.Width();
  if (y < 0 || y >= image.Height() || !RowHolds(width, length, kPerByte)) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    const unsigned shift = (kPerByte - 1 - x % kPerByte) * kBits;
    const unsigned index = (row[x / kPerByte] >> shift) & kMask;
    image.Column(x)[y] = palette[index];
  }
  return true;
}

template <int kBits>
bool EncodePacked(const BmpImage& image, std::uint8_t* row, std::int32_t length, std::int32_t y) {
  constexpr int kPerByte = 8 / kBits;
  const std::int32_t width = image.Width();
  if (y < 0 || y >= image.Height() || !RowHolds(width, length, kPerByte)) {
    return false;
  }
  for (std::int32_t first = 0; first < width; first += kPerByte) {
    // A group cut short by the end of the row leaves its low bits zero, and
    // every data byte is stored whole so nothing of an earlier row survives.
    unsigned byte = 0;
    for (int position = 0; position < kPerByte && first + position < width; ++position) {
      const unsigned index = image.NearestPaletteIndex(image.Column(first + position)[y]);
      byte |= index << ((kPerByte - 1 - position) * kBits);
    }
    row[first / kPerByte] = static_cast<std::uint8_t>(byte);
  }
  return true;
}

}  // namespace

bool BmpImage::DecodeRow1(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodePacked<1>(*this, palette, row, length, y);
}

bool BmpImage::DecodeRow4(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodePacked<4>(*this, palette, row, length, y);
}

bool BmpImage::DecodeRow8(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodePacked<8>(*this, palette, row, length, y);
}

bool BmpImage::EncodeRow1(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodePacked<1>(*this, row, length, y);
}

bool BmpImage::EncodeRow4(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodePacked<4>(*this, row, length, y);
}

bool BmpImage::EncodeRow8(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodePacked<8>(*this, row, length, y);
}

bool BmpImage::DecodeRow24(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  if (y < 0 || y >= height || static_cast<std::int64_t>(3) * width > length) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    Pixel& pixel = pixels[x][y];
    pixel.blue = row[3 * x];
    pixel.green = row[3 * x + 1];
    pixel.red = row[3 * x + 2];
  }
  return true;
}

bool BmpImage::DecodeRow32(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  if (y < 0 || y >= height || static_cast<std::int64_t>(4) * width > length) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    const std::uint8_t* source = row + 4 * static_cast<std::size_t>(x);
    pixels[x][y] = Pixel{source[0], source[1], source[2], source[3]};
  }
  return true;
}

bool BmpImage::EncodeRow24(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  if (y < 0 || y >= height || static_cast<std::int64_t>(3) * width > length) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    const Pixel& pixel = pixels[x][y];
    std::uint8_t* target = row + 3 * static_cast<std::size_t>(x);
    target[0] = pixel.blue;
    target[1] = pixel.green;
    target[2] = pixel.red;
  }
  return true;
}

bool BmpImage::EncodeRow32(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  if (y < 0 || y >= height || static_cast<std::int64_t>(4) * width > length) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    const Pixel& pixel = pixels[x][y];
    std::uint8_t* target = row + 4 * static_cast<std::size_t>(x);
    target[0] = pixel.blue;
    target[1] = pixel.green;
    target[2] = pixel.red;
    target[3] = pixel.alpha;
  }
  return true;
}

}  // namespace quarvel
