// 1-, 4- and 8-bit files: the palette section, the row codecs and the
// nearest palette colour.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::HeaderFields;
using test::Headers;
using test::ImageIs;
using test::LoadBytes;
using test::PaletteStartsWith;

// A colour that tells palette entries apart, alpha included.
Pixel EntryColour(int i) {
  return Pixel{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(100 + i),
               static_cast<std::uint8_t>(200 - i), static_cast<std::uint8_t>(i % 5)};
}

std::vector<Pixel> EntryColours(int count) {
  std::vector<Pixel> entries;
  for (int i = 0; i < count; ++i) entries.push_back(EntryColour(i));
  return entries;
}

// An indexed file of one row: the headers (an info header of `infoSize`
// bytes), `entries` palette entries, filler up to `offBits` when it lies
// further on, then `row`, which the caller pads.
struct IndexedFile {
  std::uint16_t depth = 8;
  std::int32_t width = 4;
  std::uint32_t offBits = 0;
  std::uint32_t infoSize = 40;
  int entries = 0;
  Bytes row;

  Bytes Build() const {
    HeaderFields fields;
    fields.bitCount = depth;
    fields.width = width;
    fields.offBits = offBits;
    fields.infoSize = infoSize;
    ByteWriter out = Headers(fields);
    if (infoSize > 40) out.Repeat(0xDD, infoSize - 40);
    for (int i = 0; i < entries; ++i) out.Entry(EntryColour(i));
    // Offsets far past the end describe files that end early: no filler.
    if (offBits > out.Size() && offBits < (1u << 20)) out.Repeat(0x00, offBits - out.Size());
    out.Append(row);
    return out.Get();
  }
};

TEST(IndexedColorTest, PaletteEntryCountComesFromTheOffset) {
  struct Case {
    const char* name;
    IndexedFile file;
    int entriesRead;
  };
  const Case cases[] = {
      // A 16-colour palette in an 8-bit file: indices 16 and up decode white.
      {"8 bits, offset 118", {8, 4, 118, 40, 16, {0, 15, 16, 255}}, 16},
      {"8 bits, full palette", {8, 4, 1078, 40, 256, {0, 15, 16, 255}}, 256},
      {"8 bits, 252 entries", {8, 4, 1062, 40, 252, {0, 15, 251, 252}}, 252},
      {"4 bits, 4 entries", {4, 4, 70, 40, 4, {0x03, 0x45, 0, 0}}, 4},
      {"4 bits, full palette", {4, 4, 118, 40, 16, {0x0F, 0x1E, 0, 0}}, 16},
      {"1 bit, full palette", {1, 4, 62, 40, 2, {0xA0, 0, 0, 0}}, 2},
      // No room for an entry: the whole palette is white.
      {"8 bits, offset 54", {8, 4, 54, 40, 0, {0, 1, 2, 3}}, 0},
      {"8 bits, offset 57", {8, 4, 57, 40, 0, {0, 1, 2, 3}}, 0},
      {"8 bits, offset 51", {8, 4, 51, 40, 0, {0, 1, 2, 3}}, 0},
      {"8 bits, offset 50", {8, 4, 50, 40, 0, {0, 1, 2, 3}}, 0},
      {"8 bits, offset 0", {8, 4, 0, 40, 0, {0, 1, 2, 3}}, 0},
      // bfOffBits - 54 is negative as a signed 32-bit number.
      {"1 bit, offset 2^31 + 54", {1, 4, 0x80000036u, 40, 0, {0xF0, 0, 0, 0}}, 0},
      {"4 bits, offset 2^32 - 1", {4, 4, 0xFFFFFFFFu, 40, 0, {0x12, 0x34, 0, 0}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, c.file.Build()));
    EXPECT_TRUE(ImageIs(image, 4, 1, c.file.depth));
    EXPECT_TRUE(PaletteStartsWith(image, EntryColours(c.entriesRead), kWhite));
  }
}

// Alpha included: the reserved byte of the entry (4 for entry 14).
TEST(IndexedColorTest, PixelsTakeTheWholePaletteEntry) {
  const IndexedFile file{8, 4, 118, 40, 16, {0, 14, 16, 255}};
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, file.Build()));
  EXPECT_TRUE(
      ImageIs(image, 4, 1, 8,
              {{0, 0, EntryColour(0)}, {1, 0, {14, 114, 186, 4}}, {2, 0, kWhite}, {3, 0, kWhite}}));
}

// Packing: 4 bits high nibble first, 1 bit most significant bit first; bits
// past the width and the pad bytes are never looked at.
TEST(IndexedColorTest, PackedRowsDecodeLeftToRight) {
  {
    const IndexedFile file{4, 3, 118, 40, 16, {0x12, 0x3F, 0xFF, 0xFF}};
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, file.Build()));
    EXPECT_TRUE(ImageIs(image, 3, 1, 4,
                        {{0, 0, EntryColour(1)}, {1, 0, EntryColour(2)}, {2, 0, EntryColour(3)}}));
  }
  {
    const IndexedFile file{1, 10, 62, 40, 2, {0xB2, 0x7F, 0xFF, 0xFF}};
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, file.Build()));
    const Pixel zero = EntryColour(0);
    const Pixel one = EntryColour(1);
    EXPECT_TRUE(ImageIs(image, 10, 1, 1,
                        {{0, 0, one},
                         {1, 0, zero},
                         {2, 0, one},
                         {3, 0, one},
                         {4, 0, zero},
                         {5, 0, zero},
                         {6, 0, one},
                         {7, 0, zero},
                         {8, 0, zero},
                         {9, 0, one}}));
  }
}

// The rows start at bfOffBits once it lies at or past the palette entries
// that were read, even off an entry boundary.
TEST(IndexedColorTest, RowsStartAtAnOffsetBetweenEntries) {
  // One entry fits in offsets 54..57; 58 and 59 are filler (zero), the row
  // byte 0x80 (pixel 0 is index 1) sits at 60.
  const IndexedFile file{1, 8, 60, 40, 1, {0x80, 0, 0, 0}};
  const Bytes bytes = file.Build();
  ASSERT_EQ(bytes.size(), 64u);
  ASSERT_EQ(bytes[60], 0x80);
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(PaletteStartsWith(image, EntryColours(1), kWhite));
  EXPECT_TRUE(ImageIs(image, 8, 1, 1, {{0, 0, kWhite}, {1, 0, EntryColour(0)}}));
}

TEST(IndexedColorTest, GapAfterTheFullPaletteIsSkipped) {
  IndexedFile file{8, 4, 1078 + 10, 40, 256, {0, 1, 2, 3}};
  Bytes bytes = file.Build();
  // The gap holds bytes that would decode differently if read as the row.
  for (std::size_t i = 1078; i < 1088; ++i) bytes[i] = 0x77;
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(ImageIs(image, 4, 1, 8,
                      {{0, 0, EntryColour(0)}, {1, 0, EntryColour(1)}, {3, 0, EntryColour(3)}}));
}

// V4 and V5 info headers: the palette follows the whole header.
TEST(IndexedColorTest, LongInfoHeadersPutThePaletteAfterThem) {
  struct Case {
    const char* name;
    IndexedFile file;
    int entriesRead;
    Pixel firstPixel;
  };
  const Case cases[] = {
      {"V5, 8 bits, 252 entries",
       {8, 4, 14 + 124 + 4 * 252, 124, 252, {251, 0, 0, 0}},
       252,
       EntryColour(251)},
      {"V4, 8 bits, full palette",
       {8, 4, 14 + 108 + 1024, 108, 256, {255, 0, 0, 0}},
       256,
       EntryColour(255)},
      {"V5, 4 bits", {4, 4, 14 + 124 + 64, 124, 16, {0xF0, 0, 0, 0}}, 16, EntryColour(15)},
      {"V5, 4 bits, 3 entries", {4, 4, 14 + 124 + 12, 124, 3, {0x20, 0, 0, 0}}, 3, EntryColour(2)},
      {"V4, 1 bit", {1, 4, 14 + 108 + 8, 108, 2, {0x80, 0, 0, 0}}, 2, EntryColour(1)},
      {"V5, 1 bit, gap after the palette",
       {1, 4, 14 + 124 + 8 + 6, 124, 2, {0x80, 0, 0, 0}},
       2,
       EntryColour(1)},
      // More room than the depth has entries: only 2^depth are palette.
      {"V5, 1 bit, room for 4 entries",
       {1, 4, 14 + 124 + 16, 124, 4, {0x80, 0, 0, 0}},
       2,
       EntryColour(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, c.file.Build()));
    EXPECT_TRUE(ImageIs(image, 4, 1, c.file.depth, {{0, 0, c.firstPixel}}));
    EXPECT_TRUE(PaletteStartsWith(image, EntryColours(c.entriesRead), kWhite));
  }
}

// A long header that does not fit before bfOffBits is not a V4/V5 layout:
// the palette is counted from offset 54 as for a 40-byte header.
TEST(IndexedColorTest, LongInfoHeaderThatOverrunsTheOffsetIsIgnored) {
  HeaderFields fields;
  fields.bitCount = 1;
  fields.width = 8;
  fields.infoSize = 124;
  fields.offBits = 62;
  const Bytes bytes =
      Headers(fields).Entry(EntryColour(7)).Entry(EntryColour(8)).Append({0x40, 0, 0, 0}).Get();
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(PaletteStartsWith(image, {EntryColour(7), EntryColour(8)}, kWhite));
  EXPECT_TRUE(ImageIs(image, 8, 1, 1, {{0, 0, EntryColour(7)}, {1, 0, EntryColour(8)}}));
}

// A file that ends inside its palette: the entries read come from the file,
// the ones never reached keep the standard colours, and the load succeeds.
TEST(IndexedColorTest, PaletteCutShortByTheEndOfTheFile) {
  IndexedFile file{8, 4, 1078, 40, 256, {}};
  Bytes bytes = file.Build();
  bytes.resize(54 + 10 * 4 + 2);  // ten entries and half of the eleventh
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  BmpImage standard;
  ASSERT_TRUE(standard.SetColorDepth(8));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(image.PaletteEntry(i), EntryColour(i)) << i;
  for (int i = 11; i < 256; ++i) EXPECT_EQ(image.PaletteEntry(i), standard.PaletteEntry(i)) << i;
  EXPECT_TRUE(test::AllPixelsAre(image, kWhite));
}

// Length tests: a row holds width pixels when width <= pixels-per-byte x
// length; a short row changes nothing.
TEST(IndexedColorTest, CodecsRefuseShortRows) {
  struct Case {
    std::int32_t depth;
    std::int32_t width;
    std::int32_t length;
    bool fits;
  };
  const Case cases[] = {{4, 9, 4, false},  {4, 9, 5, true},   {4, 8, 4, true},   {1, 9, 1, false},
                        {1, 9, 2, true},   {1, 8, 1, true},   {8, 5, 4, false},  {8, 5, 5, true},
                        {8, 1, 0, false},  {8, 1, -4, false}, {24, 2, 5, false}, {24, 2, 6, true},
                        {32, 2, 7, false}, {32, 2, 8, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.depth << " bits, width " << c.width << ", length " << c.length);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(c.depth));
    ASSERT_TRUE(image.SetDimensions(c.width, 1));
    std::vector<std::uint8_t> row(16, 0x11);
    const std::vector<std::uint8_t> before = row;
    bool decoded = false;
    bool encoded = false;
    switch (c.depth) {
      case 1:
        decoded = image.DecodeRow1(row.data(), c.length, 0);
        encoded = image.EncodeRow1(row.data(), c.length, 0);
        break;
      case 4:
        decoded = image.DecodeRow4(row.data(), c.length, 0);
        encoded = image.EncodeRow4(row.data(), c.length, 0);
        break;
      case 8:
        decoded = image.DecodeRow8(row.data(), c.length, 0);
        encoded = image.EncodeRow8(row.data(), c.length, 0);
        break;
      case 24:
        decoded = image.DecodeRow24(row.data(), c.length, 0);
        encoded = image.EncodeRow24(row.data(), c.length, 0);
        break;
      default:
        decoded = image.DecodeRow32(row.data(), c.length, 0);
        encoded = image.EncodeRow32(row.data(), c.length, 0);
        break;
    }
    EXPECT_EQ(decoded, c.fits);
    EXPECT_EQ(encoded, c.fits);
    if (!c.fits) {
      EXPECT_TRUE(test::AllPixelsAre(image, kWhite));
      EXPECT_EQ(row, before);
    }
  }
}

// A row outside the image is refused by every codec, touching nothing.
TEST(IndexedColorTest, CodecsRefuseRowsOutsideTheImage) {
  for (const std::int32_t y : {-1, 2, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(y);
    BmpImage image;
    ASSERT_TRUE(image.SetDimensions(3, 2));
    test::FillDistinct(image);
    std::vector<std::uint8_t> row(16, 0x11);
    const std::vector<std::uint8_t> before = row;
    const std::int32_t length = 16;
    EXPECT_FALSE(image.DecodeRow1(row.data(), length, y));
    EXPECT_FALSE(image.DecodeRow4(row.data(), length, y));
    EXPECT_FALSE(image.DecodeRow8(row.data(), length, y));
    EXPECT_FALSE(image.DecodeRow24(row.data(), length, y));
    EXPECT_FALSE(image.DecodeRow32(row.data(), length, y));
    EXPECT_FALSE(image.EncodeRow1(row.data(), length, y));
    EXPECT_FALSE(image.EncodeRow4(row.data(), length, y));
    EXPECT_FALSE(image.EncodeRow8(row.data(), length, y));
    EXPECT_FALSE(image.EncodeRow24(row.data(), length, y));
    EXPECT_FALSE(image.EncodeRow32(row.data(), length, y));
    EXPECT_EQ(row, before);
    for (std::int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(image.ReadPixel(x, 0), test::Distinct(x, 0));
      EXPECT_EQ(image.ReadPixel(x, 1), test::Distinct(x, 1));
    }
  }
}

// A decoder called at a depth other than its own takes colours as
// PaletteEntry gives them: indices outside the image's palette are white,
// never the leftovers of an earlier palette.
TEST(IndexedColorTest, DecodersReadWhiteOutsideTheImagesPalette) {
  const std::uint8_t row[4] = {0, 3, 9, 200};
  // Decodes `row` at 8 bits into a 4 x 1 image taken through `depths` first.
  auto decodeAfter = [&row](BmpImage& image, std::initializer_list<std::int32_t> depths) {
    for (const std::int32_t depth : depths) ASSERT_TRUE(image.SetColorDepth(depth));
    ASSERT_TRUE(image.SetDimensions(4, 1));
    ASSERT_TRUE(image.DecodeRow8(row, 4, 0));
  };
  BmpImage fresh;
  decodeAfter(fresh, {});
  EXPECT_TRUE(test::AllPixelsAre(fresh, kWhite));
  BmpImage paletteRemoved;
  decodeAfter(paletteRemoved, {8, 24});
  EXPECT_TRUE(test::AllPixelsAre(paletteRemoved, kWhite));
  BmpImage smallerPalette;
  decodeAfter(smallerPalette, {8, 4});
  EXPECT_TRUE(ImageIs(
      smallerPalette, 4, 1, 4,
      {{0, 0, {0, 0, 0, 0}}, {1, 0, {0, 128, 128, 0}}, {2, 0, {0, 0, 255, 0}}, {3, 0, kWhite}}));
}

// Encoders store whole data bytes (low bits that no pixel fills are zero,
// nothing of an earlier row survives) and leave the rest of the buffer.
TEST(IndexedColorTest, EncodersWriteOnlyTheDataBytes) {
  const Pixel white = kWhite;
  const Pixel black{0, 0, 0, 0};
  {
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(1));
    ASSERT_TRUE(image.SetDimensions(1, 1));
    std::vector<std::uint8_t> row(4, 0xAA);
    ASSERT_TRUE(image.EncodeRow1(row.data(), 4, 0));
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0x80, 0xAA, 0xAA, 0xAA}));
    image.WritePixel(0, 0, black);
    ASSERT_TRUE(image.EncodeRow1(row.data(), 4, 0));
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0x00, 0xAA, 0xAA, 0xAA}));
  }
  {
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(1));
    ASSERT_TRUE(image.SetDimensions(10, 1));
    for (const std::int32_t x : {1, 4, 5, 7, 8}) image.WritePixel(x, 0, black);
    std::vector<std::uint8_t> row(4, 0xAA);
    ASSERT_TRUE(image.EncodeRow1(row.data(), 4, 0));
    // 1 0 1 1 0 0 1 0 | 0 1 (000000)
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0xB2, 0x40, 0xAA, 0xAA}));
  }
  {
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(4));
    ASSERT_TRUE(image.SetDimensions(3, 1));
    image.WritePixel(0, 0, Pixel{0, 0, 255, 0});      // 9
    image.WritePixel(1, 0, Pixel{192, 192, 192, 0});  // 8
    image.WritePixel(2, 0, white);                    // 15
    std::vector<std::uint8_t> row(4, 0xAA);
    ASSERT_TRUE(image.EncodeRow4(row.data(), 4, 0));
    EXPECT_EQ(row, (std::vector<std::uint8_t>{0x98, 0xF0, 0xAA, 0xAA}));
  }
  {
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(8));
    ASSERT_TRUE(image.SetDimensions(2, 1));
    image.WritePixel(0, 0, Pixel{0, 32, 64, 0});  // entry 10
    std::vector<std::uint8_t> row(4, 0xAA);
    ASSERT_TRUE(image.EncodeRow8(row.data(), 4, 0));
    EXPECT_EQ(row, (std::vector<std::uint8_t>{10, 255, 0xAA, 0xAA}));
  }
}

TEST(IndexedColorTest, NearestPaletteIndex) {
  struct Case {
    const char* name;
    std::int32_t depth;
    Pixel colour;
    int expected;
  };
  const Case cases[] = {
      // Red is nearer black (65025) than white (130050) with two colours...
      {"red, 1 bit", 1, {0, 0, 255, 0}, 0},
      // ...and an exact match with sixteen.
      {"red, 4 bits", 4, {0, 0, 255, 0}, 9},
      {"grey 127, 1 bit", 1, {127, 127, 127, 0}, 0},
      {"grey 128, 1 bit", 1, {128, 128, 128, 0}, 1},
      // Equally near entries 3 and 7 (4096 each): the lower index wins.
      {"tie between 3 and 7", 4, {64, 128, 128, 0}, 3},
      {"alpha plays no part", 4, {255, 0, 0, 77}, 12},
      {"grey 192, 4 bits", 4, {192, 192, 192, 0}, 8},
      // Entries 164 and 248 are both grey 128: the first exact match wins.
      {"duplicate grey, 8 bits", 8, {128, 128, 128, 0}, 164},
      {"white, 8 bits", 8, {255, 255, 255, 0}, 255},
      {"entry 10, 8 bits", 8, {0, 32, 64, 9}, 10},
      {"near entry 10, 8 bits", 8, {1, 33, 66, 0}, 10},
      {"no palette at 16 bits", 16, {0, 0, 0, 0}, 0},
      {"no palette at 24 bits", 24, {1, 2, 3, 0}, 0},
      {"no palette at 32 bits", 32, {255, 255, 255, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(c.depth));
    EXPECT_EQ(image.NearestPaletteIndex(c.colour), c.expected);
  }
}

TEST(IndexedColorTest, NearestPaletteIndexOnAChangedPalette) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(4));
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(image.SetPaletteEntry(i, Pixel{200, 200, 200, 0}));
  ASSERT_TRUE(image.SetPaletteEntry(6, Pixel{10, 10, 10, 0}));
  ASSERT_TRUE(image.SetPaletteEntry(2, Pixel{30, 30, 30, 1}));
  ASSERT_TRUE(image.SetPaletteEntry(11, Pixel{30, 30, 30, 0}));
  EXPECT_EQ(image.NearestPaletteIndex(Pixel{20, 20, 20, 0}), 2);
  EXPECT_EQ(image.NearestPaletteIndex(Pixel{30, 30, 30, 0}), 2);
  EXPECT_EQ(image.NearestPaletteIndex(Pixel{12, 10, 10, 0}), 6);
  EXPECT_EQ(image.NearestPaletteIndex(Pixel{255, 255, 255, 0}), 0);
}

// Loading and saving keeps every index while the palette has no repeated
// colour, and the saved palette is the full one, white additions included.
TEST(IndexedColorTest, LoadedFileSavesWithTheSameIndicesAndTheFullPalette) {
  const IndexedFile file{8, 4, 118, 40, 16, {0, 15, 7, 3}};
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, file.Build()));
  const Bytes saved = test::SaveBytes(image);
  ASSERT_EQ(saved.size(), 1078u + 4u);
  EXPECT_EQ(saved[10], 0x36);  // bfOffBits 1078 = 0x436
  EXPECT_EQ(saved[11], 0x04);
  for (int i = 0; i < 256; ++i) {
    const Pixel expected = i < 16 ? EntryColour(i) : kWhite;
    const std::size_t at = 54 + 4 * static_cast<std::size_t>(i);
    EXPECT_EQ((Pixel{saved[at], saved[at + 1], saved[at + 2], saved[at + 3]}), expected) << i;
  }
  EXPECT_EQ(Bytes(saved.begin() + 1078, saved.end()), (Bytes{0, 15, 7, 3}));
}

// Where two entries share a colour, every pixel of it is written with the
// lower index.
TEST(IndexedColorTest, RepeatedPaletteColoursSaveAsTheLowerIndex) {
  IndexedFile file{4, 4, 118, 40, 16, {0x15, 0x51, 0, 0}};
  Bytes bytes = file.Build();
  // Entry 5 becomes a copy of entry 1 (offsets 54 + 4 x index).
  for (int k = 0; k < 4; ++k) bytes[54 + 20 + k] = bytes[54 + 4 + k];
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  const Bytes saved = test::SaveBytes(image);
  ASSERT_EQ(saved.size(), 118u + 4u);
  EXPECT_EQ(Bytes(saved.begin() + 118, saved.end()), (Bytes{0x11, 0x11, 0, 0}));
}

}  // namespace
}  // namespace quarvel
