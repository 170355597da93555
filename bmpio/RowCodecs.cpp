// One file row to or from one image row, per depth, and whole bands of rows
// for the reader and the writer. A single row goes through the same tile
// loops as a band: it is a band of one row.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bmpio/RowBands.h"
#include "image/BmpImage.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#define QUARVEL_SHUFFLE_WITH_SSSE3 1
#endif

namespace quarvel {
namespace {

// 24-bit rows widened to whole pixels and narrowed back, four pixels per
// byte shuffle, on CPUs that have SSSE3 (nearly every x86 CPU since 2006; the
// others take the plain loops). Each returns how many pixels it did, a
// multiple of four, never touching a byte past the given limits.
#ifdef QUARVEL_SHUFFLE_WITH_SSSE3
bool CanShuffle() {
  return __builtin_cpu_supports("ssse3");
}

__attribute__((target("ssse3"))) std::int32_t WidenRow(const std::uint8_t* source,
                                                       std::size_t readable, std::int32_t count,
                                                       Pixel* pixels) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  std::int32_t k = 0;
  for (; k + 4 <= count && 3 * static_cast<std::size_t>(k) + 16 <= readable; k += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 3 * k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + k), _mm_shuffle_epi8(bytes, spread));
  }
  return k;
}

// Each store writes 16 bytes of which 12 count; the 4 after them lie inside
// `writable` and are overwritten by the pixels that follow.
__attribute__((target("ssse3"))) std::int32_t NarrowRow(const Pixel* pixels, std::int32_t count,
                                                        std::size_t writable,
                                                        std::uint8_t* target) {
  const __m128i gather = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::int32_t k = 0;
  for (; k + 4 <= count && 3 * static_cast<std::size_t>(k) + 16 <= writable; k += 4) {
    const __m128i colours = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 3 * k), _mm_shuffle_epi8(colours, gather));
  }
  return k;
}
#else
bool CanShuffle() {
  return false;
}
std::int32_t WidenRow(const std::uint8_t*, std::size_t, std::int32_t, Pixel*) {
  return 0;
}
std::int32_t NarrowRow(const Pixel*, std::int32_t, std::size_t, std::uint8_t*) {
  return 0;
}
#endif

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
  // Tiles start at multiples of kTileColumns, so at whole bytes.
  DecodeTiles(
      image, band, rowSize, count, firstY,
      [&colours](const std::uint8_t* row, std::int32_t x0, std::int32_t columns, Pixel* pixels) {
        const std::uint8_t* source = row + x0 / kPerByte;
        const std::int32_t whole = columns / kPerByte * kPerByte;
        for (std::int32_t k = 0; k < whole; k += kPerByte, ++source) {
          for (int position = 0; position < kPerByte; ++position) {
            pixels[k + position] =
                colours[(*source >> ((kPerByte - 1 - position) * kBits)) & kMask];
          }
        }
        for (std::int32_t k = whole; k < columns; ++k) {
          pixels[k] = colours[(*source >> ((kPerByte - 1 - (k - whole)) * kBits)) & kMask];
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
  EncodeTiles(
      image, band, rowSize, count, firstY,
      [&indexOf](std::uint8_t* row, std::int32_t x0, const Pixel* pixels, std::int32_t columns) {
        std::uint8_t* target = row + x0 / kPerByte;
        const std::int32_t whole = columns / kPerByte * kPerByte;
        for (std::int32_t k = 0; k < whole; k += kPerByte) {
          unsigned byte = 0;
          for (int position = 0; position < kPerByte; ++position) {
            byte |= static_cast<unsigned>(indexOf(pixels[k + position]))
                    << ((kPerByte - 1 - position) * kBits);
          }
          *target++ = static_cast<std::uint8_t>(byte);
        }
        if (whole < columns) {
          unsigned byte = 0;
          for (std::int32_t k = whole; k < columns; ++k) {
            byte |= static_cast<unsigned>(indexOf(pixels[k]))
                    << ((kPerByte - 1 - (k - whole)) * kBits);
          }
          *target = static_cast<std::uint8_t>(byte);
        }
      });
}

// A pixel's bytes are blue, green, red, alpha in memory as in the file. Each
// 24-bit pixel the shuffle leaves is read as four bytes, one load instead of
// three, and its fourth byte cleared; the row's last pixel is read as three,
// since the row may end with it.
template <bool kKeepAlpha>
void DecodeBand24(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                  std::int32_t count, std::int32_t firstY) {
  const std::int32_t width = image.Width();
  const bool shuffle = CanShuffle();
  DecodeTiles<kKeepAlpha>(
      image, band, rowSize, count, firstY,
      [width, rowSize, shuffle](const std::uint8_t* row, std::int32_t x0, std::int32_t columns,
                                Pixel* pixels) {
        const std::size_t start = 3 * static_cast<std::size_t>(x0);
        std::int32_t k = shuffle ? WidenRow(row + start, rowSize - start, columns, pixels) : 0;
        const std::uint8_t* source = row + start + 3 * static_cast<std::size_t>(k);
        const std::int32_t whole = x0 + columns < width ? columns : columns - 1;
        for (; k < whole; ++k, source += 3) {
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

// A pixel's bytes are blue, green, red, alpha in memory as in the file, so a
// 32-bit row is the pixels as they are.
void EncodeBand32(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                  std::int32_t count, std::int32_t firstY) {
  EncodeTiles(image, band, rowSize, count, firstY,
              [](std::uint8_t* row, std::int32_t x0, const Pixel* pixels, std::int32_t columns) {
                std::memcpy(row + 4 * static_cast<std::size_t>(x0), pixels,
                            sizeof(Pixel) * static_cast<std::size_t>(columns));
              });
}

// A 24-bit row takes each pixel's first three bytes. Those the shuffle leaves
// are written as four, the next pixel overwriting the fourth; the last pixel
// of a tile row is written as three, since the byte after it belongs to the
// pad, or to a row already written.
void EncodeBand24(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                  std::int32_t count, std::int32_t firstY) {
  const std::size_t dataBytes = 3 * static_cast<std::size_t>(image.Width());
  const bool shuffle = CanShuffle();
  EncodeTiles(image, band, rowSize, count, firstY,
              [dataBytes, shuffle](std::uint8_t* row, std::int32_t x0, const Pixel* pixels,
                                   std::int32_t columns) {
                const std::size_t start = 3 * static_cast<std::size_t>(x0);
                std::uint8_t* target = row + start;
                std::int32_t k =
                    shuffle ? NarrowRow(pixels, columns, dataBytes - start, target) : 0;
                for (target += 3 * static_cast<std::size_t>(k); k + 1 < columns; ++k, target += 3) {
                  std::memcpy(target, pixels + k, sizeof(Pixel));
                }
                std::memcpy(target, pixels + columns - 1, 3);
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
bool DirectRowFits(const BmpImage& image, std::int32_t bytes, std::int32_t length, std::int32_t y) {
  return y >= 0 && y < image.Height() && static_cast<std::int64_t>(bytes) * image.Width() <= length;
}

}  // namespace

std::int32_t BandRows(std::int64_t rowSize) {
  constexpr std::int64_t kBandBytes = std::int64_t{512} << 10;
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

void DecodeBand(BmpImage& image, const std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                std::int32_t firstY) {
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

void EncodeBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                std::int32_t firstY, NearestIndexCache* cache) {
  auto indexOf = [cache](Pixel colour) { return cache->Index(colour); };
  switch (image.ColorDepth()) {
    case 1:
      return EncodeIndexedBand<1>(image, band, rowSize, count, firstY, indexOf);
    case 4:
      return EncodeIndexedBand<4>(image, band, rowSize, count, firstY, indexOf);
    case 8:
      return EncodeIndexedBand<8>(image, band, rowSize, count, firstY, indexOf);
    case 24:
      return EncodeBand24(image, band, rowSize, count, firstY);
    case 32:
      return EncodeBand32(image, band, rowSize, count, firstY);
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
  EncodeBand24(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

bool BmpImage::EncodeRow32(std::uint8_t* row, std::int32_t length, std::int32_t y) const {
  if (!DirectRowFits(*this, 4, length, y)) {
    return false;
  }
  EncodeBand32(*this, row, static_cast<std::size_t>(length), 1, y);
  return true;
}

}  // namespace quarvel
