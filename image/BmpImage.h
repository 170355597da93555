// The in-memory image: colour depth, size, pixels, palette and resolution.
//
// Pixels are full colours at every depth; the depth only decides the palette and
// the form the image takes in a file. Storage is column-major, `pixels[x][y]`,
// with every column pointing into one contiguous block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarvel {

// Four bytes in file order: also the layout of a BMP palette entry, whose
// reserved byte is `alpha`.
struct Pixel {
  std::uint8_t blue;
  std::uint8_t green;
  std::uint8_t red;
  std::uint8_t alpha;
};
static_assert(sizeof(Pixel) == 4, "Pixel must match the 4-byte palette entry");

inline bool operator==(const Pixel& a, const Pixel& b) {
  return a.blue == b.blue && a.green == b.green && a.red == b.red && a.alpha == b.alpha;
}
inline bool operator!=(const Pixel& a, const Pixel& b) {
  return !(a == b);
}

// The fill of new pixel storage and the value of a missing palette entry.
constexpr Pixel kWhite{255, 255, 255, 0};

// Written for an unset resolution and assumed by the dots-per-inch queries.
constexpr std::int32_t DefaultPelsPerMeter = 3780;

// Largest image we agree to hold: 2^28 pixels, 1 GiB of pixel storage.
constexpr std::int64_t kMaxPixelCount = std::int64_t{1} << 28;

// The largest palette, at 8 bits.
constexpr std::int32_t kMaxPaletteEntries = 256;

// base^exponent by repeated multiplication; an exponent of 0 or less gives 1.
std::int32_t IntegerPower(std::int32_t base, std::int32_t exponent);

// True for the depths an image can have: 1, 4, 8, 16, 24 and 32.
bool IsSupportedDepth(std::int32_t depth);

// True for the depths that carry a palette: 1, 4 and 8.
inline bool IsIndexedDepth(std::int32_t depth) {
  return depth == 1 || depth == 4 || depth == 8;
}

// The library-wide warning flag; it starts on. Only rescaling reads it.
void EnableWarnings();
void DisableWarnings();
bool WarningsEnabled();

class BmpImage {
 public:
  // A 1 x 1 image at 24 bits, its pixel white, no palette, resolution unset.
  BmpImage();
  // An independent copy: depth, size, palette, pixels and resolution equal the
  // source's. If storage for the copy cannot be obtained the copy stays 1 x 1
  // (callers detect that by comparing sizes).
  BmpImage(const BmpImage& source);
  BmpImage& operator=(const BmpImage&) = delete;
  ~BmpImage();

  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t ColorDepth() const { return bitDepth; }

  // Replaces the pixels by a white image of the new size. Refuses (false,
  // image unchanged) a side below 1, more than kMaxPixelCount pixels, or a
  // size whose storage cannot be obtained.
  bool SetDimensions(std::int32_t newWidth, std::int32_t newHeight);

  // Sets the depth and rebuilds the palette (the standard palette at 1, 4 and
  // 8 bits, none otherwise); the pixels keep their colours.
  bool SetColorDepth(std::int32_t newDepth);

  // 2^depth colours, 2^24 at 32 bits.
  std::int32_t PaletteSize() const;

  // Clamped access: a coordinate at or past the size becomes size - 1, then a
  // negative one becomes 0.
  Pixel& PixelAt(std::int32_t x, std::int32_t y);
  const Pixel& PixelAt(std::int32_t x, std::int32_t y) const;
  Pixel ReadPixel(std::int32_t x, std::int32_t y) const { return PixelAt(x, y); }

  // Unclamped store; a position outside the image stores nothing (false).
  bool WritePixel(std::int32_t x, std::int32_t y, Pixel colour);

  // Palette colour at `index`, or white when the depth has no palette or the
  // index is outside it.
  Pixel PaletteEntry(std::int32_t index) const;
  bool SetPaletteEntry(std::int32_t index, Pixel colour);
  bool FillStandardPalette();
  // Greys from black to white across the palette; false at depths without one.
  bool FillGrayPalette();
  bool HasPalette() const { return IsIndexedDepth(bitDepth); }

  // Resolution in dots per inch. The queries store DefaultPelsPerMeter into an
  // unset field before converting it.
  void SetResolutionDpi(std::int32_t horizontalDpi, std::int32_t verticalDpi);
  std::int32_t HorizontalDpi();
  std::int32_t VerticalDpi();

  // BMP files (bmpio/). LoadFile is true when the file's headers were
  // accepted; SaveFile is true when every byte was written and the file closed.
  bool LoadFile(const char* path);
  bool SaveFile(const char* path) const;

  // Row codecs: one file row of `length` bytes to or from image row `y`.
  // False, with nothing changed, when the row is too short or `y` is outside
  // the image.
  bool DecodeRow1(const std::uint8_t* row, std::int32_t length, std::int32_t y);
  bool DecodeRow4(const std::uint8_t* row, std::int32_t length, std::int32_t y);
  bool DecodeRow8(const std::uint8_t* row, std::int32_t length, std::int32_t y);
  bool DecodeRow24(const std::uint8_t* row, std::int32_t length, std::int32_t y);
  bool DecodeRow32(const std::uint8_t* row, std::int32_t length, std::int32_t y);
  bool EncodeRow1(std::uint8_t* row, std::int32_t length, std::int32_t y) const;
  bool EncodeRow4(std::uint8_t* row, std::int32_t length, std::int32_t y) const;
  bool EncodeRow8(std::uint8_t* row, std::int32_t length, std::int32_t y) const;
  bool EncodeRow24(std::uint8_t* row, std::int32_t length, std::int32_t y) const;
  bool EncodeRow32(std::uint8_t* row, std::int32_t length, std::int32_t y) const;

  // Index of the palette colour nearest to `colour` in blue, green and red:
  // the first exact match, else the lowest index among the nearest.
  std::uint8_t NearestPaletteIndex(Pixel colour) const;

  // Column x of the pixel storage, `height` pixels from top to bottom. For
  // code that walks whole columns without per-pixel clamping.
  Pixel* Column(std::int32_t x) { return pixels[x]; }
  const Pixel* Column(std::int32_t x) const { return pixels[x]; }

  // Resolution in pixels per metre; 0 means unset.
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;

 private:
  // Obtains column pointers and one pixel block for an already validated
  // size; the pixels are left unset, except that a 1 x 1 image is white. A
  // 1 x 1 image uses storage inside the object, so construction and the
  // reader's fallback to 1 x 1 never allocate.
  bool AllocateStorage(std::int32_t w, std::int32_t h, Pixel**& columns, Pixel*& block);
  void ReleaseStorage(Pixel** columns, Pixel* block);

  // SetDimensions without the white fill, for the reader, which stores every
  // pixel itself: filling 4 bytes per pixel that are then overwritten costs
  // as much as a fifth of a whole load.
  bool SetDimensionsUnfilled(std::int32_t newWidth, std::int32_t newHeight);

  std::int32_t bitDepth = 24;
  std::int32_t width = 1;
  std::int32_t height = 1;
  Pixel** pixels = nullptr;
  Pixel* pixelBlock = nullptr;
  Pixel singlePixel = kWhite;
  Pixel* singleColumn[1] = {nullptr};
  // Indexed depths use the first PaletteSize() entries; other depths have no
  // palette and every entry reads as white.
  Pixel palette[kMaxPaletteEntries] = {};
};

}  // namespace quarvel
