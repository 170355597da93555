#include "bmpio/SixteenBit.h"

#include <algorithm>
#include <memory>
#include <new>

#include "bmpio/BmpHeaders.h"

namespace quarvel {
namespace {

// Per-file decoding state: each mask and shift computed once.
class WordDecoder {
 public:
  explicit WordDecoder(const SixteenBitMasks& fileMasks)
      : masks(fileMasks),
        redShift(MaskShift(fileMasks.red)),
        greenShift(MaskShift(fileMasks.green)),
        blueShift(MaskShift(fileMasks.blue)) {}

  // Alpha is the pixel's own: 0 for a freshly sized image.
  void Apply(std::uint16_t word, Pixel& pixel) const {
    pixel.red = static_cast<std::uint8_t>(((word & masks.red) >> redShift) * 8);
    pixel.green = static_cast<std::uint8_t>(((word & masks.green) >> greenShift) * 8);
    pixel.blue = static_cast<std::uint8_t>(((word & masks.blue) >> blueShift) * 8);
  }

 private:
  SixteenBitMasks masks;
  int redShift;
  int greenShift;
  int blueShift;
};

// Words are 2 bytes, so a row of odd width needs 2 pad bytes.
std::int32_t RowPadBytes(std::int32_t width) {
  return width % 2 == 0 ? 0 : 2;
}

}  // namespace

int MaskShift(std::uint16_t mask) {
  int shift = 0;
  while (mask > 31) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

SixteenBitMasks ReadMaskBlock(std::FILE* stream) {
  SixteenBitMasks masks;
  std::uint16_t discarded = 0;
  ReadField(masks.red, stream);
  GuardedRead(&discarded, 2, 1, stream);
  ReadField(masks.green, stream);
  GuardedRead(&discarded, 2, 1, stream);
  ReadField(masks.blue, stream);
  GuardedRead(&discarded, 2, 1, stream);
  return masks;
}

void ReadSixteenBitRows(BmpImage& image, const SixteenBitMasks& masks, std::FILE* stream) {
  const WordDecoder decoder(masks);
  const std::int32_t width = image.Width();
  const std::size_t dataBytes = 2 * static_cast<std::size_t>(width);
  const std::size_t rowBytes = dataBytes + static_cast<std::size_t>(RowPadBytes(width));
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[rowBytes]);
  if (!row) {
    return;
  }
  bool haveWord = false;
  std::uint16_t lastWord = 0;
  for (std::int32_t y = image.Height() - 1; y >= 0; --y) {
    const std::size_t arrived = std::fread(row.get(), 1, rowBytes, stream);
    const std::int32_t words = static_cast<std::int32_t>(std::min(arrived, dataBytes) / 2);
    for (std::int32_t x = 0; x < words; ++x) {
      lastWord = static_cast<std::uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
      decoder.Apply(lastWord, image.Column(x)[y]);
    }
    haveWord = haveWord || words > 0;
    if (words == width) {
      continue;
    }
    // The file ended inside this row: every pixel still to come repeats the
    // last complete word, or stays white if there never was one.
    if (haveWord) {
      for (std::int32_t x = words; x < width; ++x) decoder.Apply(lastWord, image.Column(x)[y]);
      for (std::int32_t rest = y - 1; rest >= 0; --rest) {
        for (std::int32_t x = 0; x < width; ++x) decoder.Apply(lastWord, image.Column(x)[rest]);
      }
    }
    return;
  }
}

std::uint16_t EncodeSixteenBitWord(Pixel pixel) {
  return static_cast<std::uint16_t>(((pixel.red >> 3) << 11) | ((pixel.green >> 2) << 5) |
                                    (pixel.blue >> 3));
}

bool WriteSixteenBitBlock(const BmpImage& image, std::FILE* stream) {
  bool ok = true;
  for (std::uint16_t mask : {kWriterMasks.red, kWriterMasks.green, kWriterMasks.blue}) {
    ok = WriteField(mask, stream) && ok;
    ok = WriteField(std::uint16_t{0}, stream) && ok;
  }
  const std::int32_t width = image.Width();
  const std::size_t rowBytes = 2 * static_cast<std::size_t>(width) + RowPadBytes(width);
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[rowBytes]());
  if (!row) {
    return false;
  }
  for (std::int32_t y = image.Height() - 1; y >= 0 && ok; --y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint16_t word = EncodeSixteenBitWord(image.Column(x)[y]);
      row[2 * x] = static_cast<std::uint8_t>(word & 0xFF);
      row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    ok = std::fwrite(row.get(), 1, rowBytes, stream) == rowBytes;
  }
  return ok;
}

}  // namespace quarvel
