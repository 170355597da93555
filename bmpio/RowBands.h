// Whole bands of file rows to and from the column store. The reader and the
// writer move rows this way instead of one row per codec call: a single row
// touches one pixel in each of `width` columns, each column a whole column
// apart in memory, while a band moves a run of pixels per column.
//
// Inside a band the pixels pass through a small tile of kTileColumns columns
// that stays in the first-level cache: the band rows are then read or written
// a few whole cache lines at a time, and so are the column slices. Rows of
// 4 KiB multiples would otherwise evict each other from the cache on every
// pixel, since they share cache sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "image/BmpImage.h"

namespace quarvel {

constexpr std::int32_t kTileColumns = 64;
constexpr std::int32_t kMostBandRows = 64;

// Rows per band for rows of `rowSize` bytes: at most kMostBandRows, and few
// enough for the band to stay in the second-level cache; at least 1.
std::int32_t BandRows(std::int64_t rowSize);

// Asks for a cache line ahead of use. A macro, not a function: a function
// whose only effect is a prefetch counts as having none, and the compiler
// drops calls to it.
// `forWrite` is 1 when the line is about to be written, 0 when only read.
#if defined(__GNUC__) || defined(__clang__)
#define QUARVEL_PREFETCH(address, forWrite) __builtin_prefetch(address, forWrite)
#else
#define QUARVEL_PREFETCH(address, forWrite) ((void)(address), (void)(forWrite))
#endif

// The slice of column x for rows top .. top + count - 1, asked for while the
// tile before it is worked on: columns lie a whole column apart, a stride the
// hardware prefetchers do not follow.
#define QUARVEL_PREFETCH_SLICE(image, x, top, count, forWrite)              \
  do {                                                                      \
    if ((x) < (image).Width()) {                                            \
      QUARVEL_PREFETCH((image).Column(x) + (top), forWrite);                \
      QUARVEL_PREFETCH((image).Column(x) + (top) + (count) - 1, forWrite); \
    }                                                                       \
  } while (false)

// Fills image rows `firstY`, `firstY` - 1, ... from `count` file rows held one
// after the other in `band`, `rowSize` bytes apart (the file's bottom-up
// order). `loadRow(row, x0, columns, pixels)` decodes the `columns` pixels of
// file row `row` that start at column x0 into `pixels`. With kKeepAlpha only
// blue, green and red are stored and each pixel keeps its alpha.
template <bool kKeepAlpha = false, typename LoadRow>
void DecodeTiles(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                 std::int32_t count, std::int32_t firstY, LoadRow loadRow) {
  Pixel tile[kTileColumns * kMostBandRows];
  const std::int32_t width = image.Width();
  while (count > 0) {
    // A taller band goes through the tile in pieces, bottom rows first.
    const std::int32_t rows = std::min(count, kMostBandRows);
    const std::int32_t top = firstY - rows + 1;
    for (std::int32_t x0 = 0; x0 < width; x0 += kTileColumns) {
      const std::int32_t columns = std::min(kTileColumns, width - x0);
      // Tile row i holds image row top + i, from column x0 on; it comes from
      // band row rows - 1 - i.
      for (std::int32_t i = 0; i < rows; ++i) {
        loadRow(band + static_cast<std::size_t>(rows - 1 - i) * rowSize, x0, columns,
                tile + i * kTileColumns);
      }
      for (std::int32_t k = 0; k < columns; ++k) {
        const Pixel* from = tile + k;
        Pixel* to = image.Column(x0 + k) + top;
        for (std::int32_t i = 0; i < rows; ++i, from += kTileColumns) {
          to[i] = kKeepAlpha ? Pixel{from->blue, from->green, from->red, to[i].alpha} : *from;
        }
      }
    }
    band += static_cast<std::size_t>(rows) * rowSize;
    firstY -= rows;
    count -= rows;
  }
}

// Builds `count` file rows of `band` from image rows `firstY`, `firstY` - 1,
// ... `storeRow(row, x0, pixels, columns)` writes the `columns` pixels of one
// row that start at column x0 (a multiple of kTileColumns) into file row
// `row`; the pad bytes of the rows are never touched.
template <typename StoreRow>
void EncodeTiles(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                 std::int32_t count, std::int32_t firstY, StoreRow storeRow) {
  Pixel tile[kTileColumns * kMostBandRows];
  const std::int32_t width = image.Width();
  while (count > 0) {
    const std::int32_t rows = std::min(count, kMostBandRows);
    const std::int32_t top = firstY - rows + 1;
    for (std::int32_t x0 = 0; x0 < width; x0 += kTileColumns) {
      const std::int32_t columns = std::min(kTileColumns, width - x0);
      // Tile row i holds image row top + i, from column x0 on.
      for (std::int32_t k = 0; k < columns; ++k) {
        QUARVEL_PREFETCH_SLICE(image, x0 + kTileColumns + k, top, rows, 0);
        const Pixel* slice = image.Column(x0 + k) + top;
        for (std::int32_t i = 0; i < rows; ++i) {
          tile[i * kTileColumns + k] = slice[i];
        }
      }
      for (std::int32_t i = 0; i < rows; ++i) {
        std::uint8_t* row = band + static_cast<std::size_t>(rows - 1 - i) * rowSize;
        storeRow(row, x0, tile + i * kTileColumns, columns);
      }
    }
    band += static_cast<std::size_t>(rows) * rowSize;
    firstY -= rows;
    count -= rows;
  }
}

// NearestPaletteIndex remembered per colour, for one save. Only blue, green
// and red decide the answer, so they alone are the key. A direct-mapped table
// answers most colours with one probe; colours that collide there fall back
// to a larger open-addressed table, and a miss in both asks
// NearestPaletteIndex itself, so every answer is exactly its answer. The
// image's palette must not change while the cache is in use.
class NearestIndexCache {
 public:
  explicit NearestIndexCache(const BmpImage& source);
  NearestIndexCache(const NearestIndexCache&) = delete;
  NearestIndexCache& operator=(const NearestIndexCache&) = delete;

  std::uint8_t Index(Pixel colour) {
    const std::uint32_t key = static_cast<std::uint32_t>(colour.blue) |
                              (static_cast<std::uint32_t>(colour.green) << 8) |
                              (static_cast<std::uint32_t>(colour.red) << 16);
    const std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kDirectBits);
    if (directKeys[slot] == key) {
      return directIndices[slot];
    }
    const std::uint8_t index = Lookup(key, colour);
    directKeys[slot] = key;
    directIndices[slot] = index;
    return index;
  }

 private:
  static constexpr int kDirectBits = 12;
  static constexpr int kSpareBits = 14;
  // No colour has this key: colours use the low 24 bits only.
  static constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

  std::uint8_t Lookup(std::uint32_t key, Pixel colour);

  const BmpImage& image;
  std::uint32_t directKeys[1u << kDirectBits];
  std::uint8_t directIndices[1u << kDirectBits];
  std::uint32_t spareKeys[1u << kSpareBits];
  std::uint8_t spareIndices[1u << kSpareBits];
  std::uint32_t spareUsed = 0;
};

// Sets rows 0 .. rows - 1 white: the rows a short file never reaches, in an
// image sized without the white fill.
void FillRowsWhite(BmpImage& image, std::int32_t rows);

// The reader's and writer's bands at 1, 4, 8, 24 and 32 bits. Decoding stores
// every pixel whole, alpha 0 at 24 bits: the reader decodes into a freshly
// sized image, whose alpha is 0. Encoding writes only the data bytes of each
// row; indexed depths look their colours up through `cache`.
void DecodeBand(BmpImage& image, const std::uint8_t* band, std::size_t rowSize,
                std::int32_t count, std::int32_t firstY);
void EncodeBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize,
                std::int32_t count, std::int32_t firstY, NearestIndexCache& cache);

}  // namespace quarvel
