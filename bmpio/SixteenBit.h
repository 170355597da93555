// 16-bit files: bit-field masks on reading (5-5-5 by default), 5-6-5 on writing.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/BmpImage.h"

namespace quarvel {

struct SixteenBitMasks {
  std::uint16_t red = 0x7C00;
  std::uint16_t green = 0x03E0;
  std::uint16_t blue = 0x001F;
};

// The masks the writer always uses, declared with compression 3.
constexpr SixteenBitMasks kWriterMasks{0xF800, 0x07E0, 0x001F};

// Halvings that bring `mask` to 31 or less, so that the top bit of its field
// lands on bit 4: five-bit fields keep every bit, wider ones their top five.
int MaskShift(std::uint16_t mask);

// The 12-byte mask block: red, green, blue, each a 32-bit little-endian value
// of which the low 16 bits count. A mask the file does not hold stays at its
// default.
SixteenBitMasks ReadMaskBlock(std::FILE* stream);

// Reads the rows bottom-up into `image` (already sized) and stores every
// pixel. A file that ends before its first word leaves every pixel white;
// after that, every later pixel repeats the last complete word.
void ReadSixteenBitRows(BmpImage& image, const SixteenBitMasks& masks, std::FILE* stream);

// Writes the mask block and the rows; false when a write failed.
bool WriteSixteenBitBlock(const BmpImage& image, std::FILE* stream);

// The 5-6-5 word of a pixel, and the pixel a word decodes to under `masks`.
std::uint16_t EncodeSixteenBitWord(Pixel pixel);

}  // namespace quarvel
