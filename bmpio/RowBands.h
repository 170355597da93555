// Whole bands of file rows to and from the column store. The reader and the
// writer move rows this way instead of one row per codec call: a single row
// touches one pixel in each of `width` columns, each a whole column apart in
// memory, while a band of rows moves a run of whole cache lines per column.
//
// Inside a band the pixels pass through a tile of kTileColumns columns that
// stays in the first-level cache: file rows are converted into the tile's
// rows (or out of them) one contiguous run at a time, and the tile is turned
// to or from the column slices in 4 x 4 blocks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "image/BmpImage.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QUARVEL_TURN_WITH_SSE2 1
#endif

namespace quarvel {

constexpr std::int32_t kTileColumns = 64;
constexpr std::int32_t kMostBandRows = 32;

// Rows per band for rows of `rowSize` bytes: at most kMostBandRows, and few
// enough for the band to stay in the second-level cache; at least 1.
std::int32_t BandRows(std::int64_t rowSize);

// Asks for the lines of the slice of column x, rows top .. top + count - 1,
// while the tile before it is worked on: columns lie a whole column apart, a
// stride the hardware prefetchers do not follow. A macro, not a function: a
// function whose only effect is a prefetch counts as having none, and the
// compiler drops calls to it.
#if defined(__GNUC__) || defined(__clang__)
#define QUARVEL_PREFETCH_SLICE(image, x, top, count)               \
  do {                                                             \
    if ((x) < (image).Width()) {                                   \
      const Pixel* slice_ = (image).Column(x) + (top);             \
      for (std::int32_t line_ = 0; line_ < (count); line_ += 16) { \
        __builtin_prefetch(slice_ + line_);                        \
      }                                                            \
      __builtin_prefetch(slice_ + (count)-1);                      \
    }                                                              \
  } while (false)
#else
#define QUARVEL_PREFETCH_SLICE(image, x, top, count) \
  ((void)(image), (void)(x), (void)(top), (void)(count))
#endif

// Turns a 4 x 4 block of pixels: to[c][r] = from[r][c], where from[r] and
// to[c] each point at 4 adjacent pixels. With SSE2 that is four loads, eight
// shuffles and four stores instead of sixteen of each. kStream: the
// destination is a freshly read image, far larger than the caches, so its
// 16-byte-aligned runs are stored without first fetching the lines they go
// to.
template <bool kStream = false, typename From, typename To>
void Turn4x4(From* const from[4], To* const to[4]) {
#ifdef QUARVEL_TURN_WITH_SSE2
  const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[0]));
  const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[1]));
  const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[2]));
  const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from[3]));
  const __m128i low01 = _mm_unpacklo_epi32(r0, r1);
  const __m128i low23 = _mm_unpacklo_epi32(r2, r3);
  const __m128i high01 = _mm_unpackhi_epi32(r0, r1);
  const __m128i high23 = _mm_unpackhi_epi32(r2, r3);
  const __m128i columns[4] = {_mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
                              _mm_unpacklo_epi64(high01, high23),
                              _mm_unpackhi_epi64(high01, high23)};
  for (int c = 0; c < 4; ++c) {
    __m128i* target = reinterpret_cast<__m128i*>(to[c]);
    if (kStream && reinterpret_cast<std::uintptr_t>(target) % 16 == 0) {
      _mm_stream_si128(target, columns[c]);
    } else {
      _mm_storeu_si128(target, columns[c]);
    }
  }
#else
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) to[c][r] = from[r][c];
  }
#endif
}

// Moves a rows x columns block between a tile, whose pixel (i, k) is
// tile[i * kTileColumns + k], and column slices, whose pixel (i, k) is
// slices[k][i]: into the slices when kToSlices, else into the tile.
template <bool kToSlices, typename SlicePixel>
void TurnTile(typename std::conditional<kToSlices, const Pixel, Pixel>::type* tile,
              SlicePixel* const* slices, std::int32_t rows, std::int32_t columns) {
  std::int32_t k = 0;
  for (; k + 4 <= columns; k += 4) {
    std::int32_t i = 0;
    for (; i + 4 <= rows; i += 4) {
      decltype(tile) const tileRows[4] = {
          tile + i * kTileColumns + k, tile + (i + 1) * kTileColumns + k,
          tile + (i + 2) * kTileColumns + k, tile + (i + 3) * kTileColumns + k};
      SlicePixel* const sliceRows[4] = {slices[k] + i, slices[k + 1] + i, slices[k + 2] + i,
                                        slices[k + 3] + i};
      if constexpr (kToSlices) {
        Turn4x4<true>(tileRows, sliceRows);
      } else {
        Turn4x4(sliceRows, tileRows);
      }
    }
    for (; i < rows; ++i) {
      for (std::int32_t c = k; c < k + 4; ++c) {
        if constexpr (kToSlices) {
          slices[c][i] = tile[i * kTileColumns + c];
        } else {
          tile[i * kTileColumns + c] = slices[c][i];
        }
      }
    }
  }
  for (; k < columns; ++k) {
    for (std::int32_t i = 0; i < rows; ++i) {
      if constexpr (kToSlices) {
        slices[k][i] = tile[i * kTileColumns + k];
      } else {
        tile[i * kTileColumns + k] = slices[k][i];
      }
    }
  }
}

// Fills image rows `firstY`, `firstY` - 1, ... from `count` file rows held one
// after the other in `band`, `rowSize` bytes apart (the file's bottom-up
// order). `loadRow(row, x0, columns, pixels)` decodes the `columns` pixels of
// file row `row` that start at column x0 into `pixels`. With kKeepAlpha only
// blue, green and red are stored and each pixel keeps its alpha.
//
// A tile is filled row by row and then turned into the column slices in 4 x 4
// blocks, so that each column slice is written a whole run at a time.
template <bool kKeepAlpha = false, typename LoadRow>
void DecodeTiles(BmpImage& image, const std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                 std::int32_t firstY, LoadRow loadRow) {
  Pixel tile[kTileColumns * kMostBandRows];
  Pixel* slices[kTileColumns];
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
      for (std::int32_t k = 0; k < columns; ++k) slices[k] = image.Column(x0 + k) + top;
      if constexpr (kKeepAlpha) {
        for (std::int32_t k = 0; k < columns; ++k) {
          for (std::int32_t i = 0; i < rows; ++i) {
            const Pixel& from = tile[i * kTileColumns + k];
            slices[k][i] = Pixel{from.blue, from.green, from.red, slices[k][i].alpha};
          }
        }
      } else {
        TurnTile<true>(tile, slices, rows, columns);
      }
    }
    band += static_cast<std::size_t>(rows) * rowSize;
    firstY -= rows;
    count -= rows;
  }
#ifdef QUARVEL_TURN_WITH_SSE2
  _mm_sfence();  // the streamed stores are ordered before whatever follows
#endif
}

// Builds `count` file rows of `band` from image rows `firstY`, `firstY` - 1,
// ... `storeRow(row, x0, pixels, columns)` writes the `columns` pixels of one
// row that start at column x0 (a multiple of kTileColumns) into file row
// `row`; the pad bytes of the rows are never touched. The column slices of a
// tile are asked for while the tile before it is worked on.
template <typename StoreRow>
void EncodeTiles(const BmpImage& image, std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                 std::int32_t firstY, StoreRow storeRow) {
  Pixel tile[kTileColumns * kMostBandRows];
  const Pixel* slices[kTileColumns];
  const std::int32_t width = image.Width();
  while (count > 0) {
    const std::int32_t rows = std::min(count, kMostBandRows);
    const std::int32_t top = firstY - rows + 1;
    for (std::int32_t x0 = 0; x0 < width; x0 += kTileColumns) {
      const std::int32_t columns = std::min(kTileColumns, width - x0);
      for (std::int32_t k = 0; k < columns; ++k) {
        QUARVEL_PREFETCH_SLICE(image, x0 + kTileColumns + k, top, rows);
        slices[k] = image.Column(x0 + k) + top;
      }
      // Tile row i holds image row top + i, from column x0 on.
      TurnTile<false>(tile, slices, rows, columns);
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
// and red decide the answer, so they alone are the key. An open-addressed
// table kept at most half full answers a colour seen before in about one
// probe; a colour not in it is searched with NearestPaletteIndex itself, so
// every answer is exactly the search's. The image's palette must not change
// while the cache is in use.
class NearestIndexCache {
 public:
  explicit NearestIndexCache(const BmpImage& source);
  NearestIndexCache(const NearestIndexCache&) = delete;
  NearestIndexCache& operator=(const NearestIndexCache&) = delete;

  std::uint8_t Index(Pixel colour) {
    const std::uint32_t key = static_cast<std::uint32_t>(colour.blue) |
                              (static_cast<std::uint32_t>(colour.green) << 8) |
                              (static_cast<std::uint32_t>(colour.red) << 16);
    const std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kSlotBits);
    return keys[slot] == key ? indices[slot] : Probe(slot, key, colour);
  }

 private:
  static constexpr int kSlotBits = 13;
  static constexpr std::uint32_t kSlots = 1u << kSlotBits;
  // No colour has this key: colours use the low 24 bits only.
  static constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

  // The rest of a lookup whose first slot held another colour or none: the
  // following slots, then a palette search remembered in the empty slot.
  std::uint8_t Probe(std::uint32_t slot, std::uint32_t key, Pixel colour);

  const BmpImage& image;
  std::uint32_t keys[kSlots];
  std::uint8_t indices[kSlots];
  std::uint32_t used = 0;
};

// Sets rows 0 .. rows - 1 white: the rows a short file never reaches, in an
// image sized without the white fill.
void FillRowsWhite(BmpImage& image, std::int32_t rows);

// The reader's and writer's bands at 1, 4, 8, 24 and 32 bits. Decoding stores
// every pixel whole, alpha 0 at 24 bits: the reader decodes into a freshly
// sized image, whose alpha is 0. Encoding writes only the data bytes of each
// row; indexed depths look their colours up through `cache`, which only
// they need.
void DecodeBand(BmpImage& image, const std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                std::int32_t firstY);
void EncodeBand(const BmpImage& image, std::uint8_t* band, std::size_t rowSize, std::int32_t count,
                std::int32_t firstY, NearestIndexCache* cache);

}  // namespace quarvel
