#include "bmpio/SixteenBit.h"

#include <algorithm>
#include <memory>
#include <new>

#include "bmpio/BmpHeaders.h"
#include "bmpio/RowBands.h"

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

  // Alpha 0, what a freshly sized image holds: words are only ever decoded
  // into one.
  Pixel Decode(std::uint16_t word) const {
    return Pixel{static_cast<std::uint8_t>(((word & masks.blue) >> blueShift) * 8),
                 static_cast<std::uint8_t>(((word & masks.green) >> greenShift) * 8),
                 static_cast<std::uint8_t>(((word & masks.red) >> redShift) * 8), 0};
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

// The writer's word. Kept internal so that the row loop inlines it: a
// library built position-independent cannot inline its exported functions.
std::uint16_t FiveSixFive(Pixel pixel) {
  return static_cast<std::uint16_t>(((pixel.red >> 3) << 11) | ((pixel.green >> 2) << 5) |
                                    (pixel.blue >> 3));
}

constexpr std::uint32_t kWordCount = 1u << 16;
constexpr std::int64_t kWordTableMinimumPixels = std::int64_t{1} << 20;

// Word x of a row, stored little-endian.
std::uint16_t WordAt(const std::uint8_t* row, std::int32_t x) {
  return static_cast<std::uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
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
  const std::int32_t bandRows = BandRows(static_cast<std::int64_t>(rowBytes));
  std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[bandRows * rowBytes]);
  if (!band) {
    FillRowsWhite(image, image.Height());
    return;
  }
  // Every word's pixel, looked up instead of masked and shifted three times
  // per pixel; worth its 256 KiB only for images of many more pixels.
  std::unique_ptr<Pixel[]> decoded;
  if (static_cast<std::int64_t>(width) * image.Height() >= kWordTableMinimumPixels) {
    decoded.reset(new (std::nothrow) Pixel[kWordCount]);
  }
  if (decoded) {
    for (std::uint32_t word = 0; word < kWordCount; ++word) {
      decoded[word] = decoder.Decode(static_cast<std::uint16_t>(word));
    }
  }
  const Pixel* table = decoded.get();
  const auto loadRow = [&decoder, table](const std::uint8_t* row, std::int32_t x0,
                                         std::int32_t columns, Pixel* pixels) {
    for (std::int32_t x = x0; x < x0 + columns; ++x) {
      const std::uint16_t word = WordAt(row, x);
      *pixels++ = table != nullptr ? table[word] : decoder.Decode(word);
    }
  };
  bool haveWord = false;
  std::uint16_t lastWord = 0;
  for (std::int32_t y = image.Height() - 1; y >= 0;) {
    const std::int32_t rows = std::min(bandRows, y + 1);
    const std::size_t arrived = std::fread(band.get(), 1, rows * rowBytes, stream);
    const auto complete = static_cast<std::int32_t>(arrived / rowBytes);
    if (complete > 0) {
      DecodeTiles(image, band.get(), rowBytes, complete, y, loadRow);
      lastWord = WordAt(band.get() + (complete - 1) * rowBytes, width - 1);
      haveWord = true;
    }
    if (complete == rows) {
      y -= rows;
      continue;
    }
    // The file ended inside row y - complete: its whole words count, and
    // every pixel still to come repeats the last complete word, or is white
    // if there never was one.
    const std::int32_t endY = y - complete;
    const std::uint8_t* partial = band.get() + complete * rowBytes;
    const auto words = static_cast<std::int32_t>(std::min(arrived % rowBytes, dataBytes) / 2);
    for (std::int32_t x = 0; x < words; ++x) {
      image.Column(x)[endY] = decoder.Decode(WordAt(partial, x));
    }
    if (words > 0) {
      lastWord = WordAt(partial, words - 1);
      haveWord = true;
    }
    const Pixel rest = haveWord ? decoder.Decode(lastWord) : kWhite;
    for (std::int32_t x = 0; x < width; ++x) {
      Pixel* column = image.Column(x);
      std::fill(column, column + endY, rest);
      if (x >= words) column[endY] = rest;
    }
    return;
  }
}

std::uint16_t EncodeSixteenBitWord(Pixel pixel) {
  return FiveSixFive(pixel);
}

bool WriteSixteenBitBlock(const BmpImage& image, std::FILE* stream) {
  bool ok = true;
  for (std::uint16_t mask : {kWriterMasks.red, kWriterMasks.green, kWriterMasks.blue}) {
    ok = WriteField(mask, stream) && ok;
    ok = WriteField(std::uint16_t{0}, stream) && ok;
  }
  const std::int32_t width = image.Width();
  const std::size_t rowBytes = 2 * static_cast<std::size_t>(width) + RowPadBytes(width);
  const std::int32_t bandRows = BandRows(static_cast<std::int64_t>(rowBytes));
  // Zeroed once: only the words are written, so the pad stays zero.
  std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[bandRows * rowBytes]());
  if (!band) {
    return false;
  }
  const auto storeRow = [](std::uint8_t* row, std::int32_t x0, const Pixel* pixels,
                           std::int32_t columns) {
    std::uint8_t* target = row + 2 * static_cast<std::size_t>(x0);
    for (std::int32_t k = 0; k < columns; ++k, target += 2) {
      const std::uint16_t word = FiveSixFive(pixels[k]);
      target[0] = static_cast<std::uint8_t>(word & 0xFF);
      target[1] = static_cast<std::uint8_t>(word >> 8);
    }
  };
  for (std::int32_t y = image.Height() - 1; y >= 0 && ok;) {
    const std::int32_t rows = std::min(bandRows, y + 1);
    EncodeTiles(image, band.get(), rowBytes, rows, y, storeRow);
    ok = std::fwrite(band.get(), 1, rows * rowBytes, stream) == rows * rowBytes;
    y -= rows;
  }
  return ok;
}

}  // namespace quarvel
