// One file row to or from one image row, per depth, and whole bands of rows
// for the reader and the writer. A single row goes through the same tile
// loops as a band: it is a band of one row.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bmpio/RowBands.h"
#include "image/BmpImage.h"

namespace quarvel {
namespace {

// Pixels packed `perByte` to a byte fit a row of `length` bytes. 64-bit so
// that a large length cannot overflow the product.
bool RowHolds(std::int32_t width, std::int32_t length, std::int64_t perByte) {
  return width <= perByte * length;
}

// At 1 and 4 bits the leftmost pixel sits in the most significant bits.
// Indices at or past the image's own palette size (all of them at depths
// without a palette) read as white, as PaletteEntry gives them.
template <int kBits>
void DecodeIndexedBand(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                       std::int32_t count, std::int32_t firstY) {
  constexpr int kPerByte = 8 / kBits;
  constexpr unsigned kMask = (1u << kBits) - 1;
  Pixel colours[1 << kBits];
  for (std::int32_t index = 0; index < (1 << kBits); ++index) {
    colours[index] = image.PaletteEntry(index);
  }
  DecodeTiles(image, band, rowSize, count, firstY,
              [&colours](const std::uint8_t* row, std::int32_t x0, std::int32_t columns,
                         Pixel* pixels) {
                for (std::int32_t x = x0; x < x0 + columns; ++x) {
                  const unsigned shift = (kPerByte - 1 - x % kPerByte) * kBits;
                  *pixels++ = colours[(row[x / kPerByte] >> shift) & kMask];
                }
              });
}

// Every data byte is stored whole, so nothing of an earlier row survives in
// it; a group cut short by the end of the row leaves its low bits zero.
// Tiles start at multiples of kTileColumns, so their groups start whole.
template <int kBits, typename IndexOf>
void EncodeIndexedBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                       std::int32_t count, std::int32_t firstY, IndexOf& indexOf) {
  constexpr int kPerByte = 8 / kBits;
  EncodeTiles(image, band, rowSize, count, firstY,
              [&indexOf](std::uint8_t* row, std::int32_t x0, const Pixel* pixels,
                         std::int32_t columns) {
                for (std::int32_t first = 0; first < columns; first += kPerByte) {
                  const std::int32_t members = columns - first < kPerByte ? columns - first : kPerByte;
                  unsigned byte = 0;
                  for (std::int32_t position = 0; position < members; ++position) {
                    byte |= static_cast<unsigned>(indexOf(pixels[first + position]))
                            << ((kPerByte - 1 - position) * kBits);
                  }
                  row[(x0 + first) / kPerByte] = static_cast<std::uint8_t>(byte);
                }
              });
}

// A pixel's bytes are blue, green, red, alpha in memory as in the file. Each
// 24-bit pixel is read as four bytes, one load instead of three, and its
// fourth byte cleared; the row's last pixel is read as three, since the row
// may end with it.
template <bool kKeepAlpha>
void DecodeBand24(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                  std::int32_t count, std::int32_t firstY) {
  const std::int32_t width = image.Width();
  DecodeTiles<kKeepAlpha>(
      image, band, rowSize, count, firstY,
      [width](const std::uint8_t* row, std::int32_t x0, std::int32_t columns, Pixel* pixels) {
        const std::uint8_t* source = row + 3 * static_cast<std::size_t>(x0);
        const std::int32_t whole = x0 + columns < width ? columns : columns - 1;
        for (std::int32_t k = 0; k < whole; ++k, source += 3) {
          std::memcpy(pixels + k, source, sizeof(Pixel));
          pixels[k].alpha = 0;
        }
        if (whole < columns) {
          pixels[whole] = Pixel{source[0], source[1], source[2], 0};
        }
      });
}

void DecodeBand32(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                  std::int32_t count, std::int32_t firstY) {
  DecodeTiles(image, band, rowSize, count, firstY,
              [](const std::uint8_t* row, std::int32_t x0, std::int32_t columns, Pixel* pixels) {
                std::memcpy(pixels, row + 4 * static_cast<std::size_t>(x0),
                            sizeof(Pixel) * static_cast<std::size_t>(columns));
              });
}

// A pixel's bytes are blue, green, red, alpha in memory as in the file: 32-bit
// rows are the pixels as they are, and 24-bit rows take each pixel's first
// three bytes, written as four so that the next pixel overwrites the fourth.
// The last pixel of a tile row is written as three: the byte after it belongs
// to the pad, or to a row already written.
template <int kBytes>
void EncodeDirectBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                      std::int32_t count, std::int32_t firstY) {
  EncodeTiles(image, band, rowSize, count, firstY,
              [](std::uint8_t* row, std::int32_t x0, const Pixel* pixels, std::int32_t columns) {
                std::uint8_t* target = row + kBytes * static_cast<std::size_t>(x0);
                if (kBytes == 4) {
                  std::memcpy(target, pixels, sizeof(Pixel) * static_cast<std::size_t>(columns));
                  return;
                }
                for (std::int32_t k = 0; k + 1 < columns; ++k, target += kBytes) {
                  std::memcpy(target, pixels + k, sizeof(Pixel));
                }
                std::memcpy(target, pixels + columns - 1, kBytes);
              });
}

// The row codecs search the palette per pixel: a single row gains little from
// remembering colours.
struct DirectIndex {
  const BmpImage& image;
  std::uint8_t operator()(Pixel colour) const { return image.NearestPaletteIndex(colour); }
};

template <int kBits>
bool DecodeIndexedRow(BmpImage& image, const std::uint8_t* row, std::int32_t length,
                      std::int32_t y) {
  if (y < 0 || y >= image.Height() || !RowHolds(image.Width(), length, 8 / kBits)) {
    return false;
  }
  DecodeIndexedBand<kBits>(image, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

template <int kBits>
bool EncodeIndexedRow(const BmpImage& image, std::uint8_t* row, std::int32_t length,
                      std::int32_t y) {
  if (y < 0 || y >= image.Height() || !RowHolds(image.Width(), length, 8 / kBits)) {
    return false;
  }
  DirectIndex indexOf{image};
  EncodeIndexedBand<kBits>(image, row, static_cast<std::size_t>(length), 1, y, indexOf);
  return true;
}

// The 24- and 32-bit codecs' test: `bytes` per pixel fit the row.
bool DirectRowFits(const BmpImage& image, std::int32_t bytes, std::int32_t length,
                   std::int32_t y) {
  return y >= 0 && y < image.Height() && static_cast<std::int64_t>(bytes) * image.Width() <= length;
}

}  // namespace

std::int32_t BandRows(std::int64_t rowSize) {
  constexpr std::int64_t kBandBytes = std::int64_t{256} << 10;
  if (rowSize <= 0 || rowSize >= kBandBytes) {
    return 1;
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(kMostBandRows, kBandBytes / rowSize));
}

void FillRowsWhite(BmpImage& image, std::int32_t rows) {
  if (rows <= 0) {
    return;
  }
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    std::fill(image.Column(x), image.Column(x) + rows, kWhite);
  }
}

void DecodeBand(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                std::int32_t count, std::int32_t firstY) {
  switch (image.ColorDepth()) {
    case 1:
      return DecodeIndexedBand<1>(image, band, rowSize, count, firstY);
    case 4:
      return DecodeIndexedBand<4>(image, band, rowSize, count, firstY);
    case 8:
      return DecodeIndexedBand<8>(image, band, rowSize, count, firstY);
    case 24:
      return DecodeBand24<false>(image, band, rowSize, count, firstY);
    case 32:
      return DecodeBand32(image, band, rowSize, count, firstY);
    default:
      return;
  }
}

void EncodeBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                std::int32_t count, std::int32_t firstY, NearestIndexCache& cache) {
  auto indexOf = [&cache](Pixel colour) { return cache.Index(colour); };
  switch (image.ColorDepth()) {
    case 1:
      return EncodeIndexedBand<1>(image, band, rowSize, count, firstY, indexOf);
    case 4:
      return EncodeIndexedBand<4>(image, band, rowSize, count, firstY, indexOf);
    case 8:
      return EncodeIndexedBand<8>(image, band, rowSize, count, firstY, indexOf);
    case 24:
      return EncodeDirectBand<3>(image, band, rowSize, count, firstY);
    case 32:
      return EncodeDirectBand<4>(image, band, rowSize, count, firstY);
    default:
      return;
  }
}

bool BmpImage::DecodeRow1(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodeIndexedRow<1>(*this, row, length, y);
}

bool BmpImage::DecodeRow4(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodeIndexedRow<4>(*this, row, length, y);
}

bool BmpImage::DecodeRow8(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  return DecodeIndexedRow<8>(*this, row, length, y);
}

bool BmpImage::EncodeRow1(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodeIndexedRow<1>(*this, row, length, y);
}

bool BmpImage::EncodeRow4(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodeIndexedRow<4>(*this, row, length, y);
}

bool BmpImage::EncodeRow8(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  return EncodeIndexedRow<8>(*this, row, length, y);
}

// The row codec leaves alpha as it was.
bool BmpImage::DecodeRow24(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  if (!DirectRowFits(*this, 3, length, y)) {
    return false;
  }
  DecodeBand24<true>(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

bool BmpImage::DecodeRow32(const std::uint8_t* row, std::int32_t length, std::int32_t y) {
  if (!DirectRowFits(*this, 4, length, y)) {
    return false;
  }
  DecodeBand32(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

bool BmpImage::EncodeRow24(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  if (!DirectRowFits(*this, 3, length, y)) {
    return false;
  }
  EncodeDirectBand<3>(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

bool BmpImage::EncodeRow32(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  if (!DirectRowFits(*this, 4, length, y)) {
    return false;
  }
  EncodeDirectBand<4>(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

}  // namespace quarvel
