// The reader's headers, gaps and row loop at the direct-colour depths.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::AllPixelsAre;
using test::Bytes;
using test::ByteWriter;
using test::HeaderFields;
using test::Headers;
using test::ImageIs;
using test::LoadBytes;

// The image every rejection test loads into: anything the reader resets shows.
void Prepare(BmpImage& image) {
  ASSERT_TRUE(image.SetColorDepth(24));
  ASSERT_TRUE(image.SetDimensions(3, 2));
  test::FillDistinct(image);
  image.xPelsPerMeter = 11;
  image.yPelsPerMeter = 22;
}

// What a bad header leaves: a white 1 x 1 image at 1 bit with the standard
// palette.
::testing::AssertionResult IsBadHeaderImage(const BmpImage& image) {
  const auto shape = ImageIs(image, 1, 1, 1, {{0, 0, kWhite}});
  if (!shape) return shape;
  if (image.PaletteEntry(0) != Pixel{0, 0, 0, 0} || image.PaletteEntry(1) != kWhite) {
    return ::testing::AssertionFailure() << "palette is not the standard 1-bit one";
  }
  return ::testing::AssertionSuccess();
}

HeaderFields WithResolution(HeaderFields fields) {
  fields.xPelsPerMeter = 1234;
  fields.yPelsPerMeter = -77;
  return fields;
}

Bytes Truncated(const HeaderFields& fields, std::size_t length) {
  Bytes bytes = Headers(fields).Get();
  bytes.resize(length);
  return bytes;
}

TEST(BmpReaderTest, MissingFileGivesTheBadHeaderImage) {
  test::TempDir dir;
  BmpImage image;
  Prepare(image);
  EXPECT_FALSE(image.LoadFile(dir.File("absent.bmp").c_str()));
  EXPECT_TRUE(IsBadHeaderImage(image));
  EXPECT_EQ(image.xPelsPerMeter, 11);

  BmpImage fromNull;
  Prepare(fromNull);
  EXPECT_FALSE(fromNull.LoadFile(nullptr));
  EXPECT_TRUE(IsBadHeaderImage(fromNull));

  BmpImage fromDirectory;
  EXPECT_FALSE(fromDirectory.LoadFile(dir.Path().string().c_str()));
}

TEST(BmpReaderTest, WrongSignatureLeavesTheImageExactlyAsItWas) {
  for (const std::uint16_t type : {0x4142, 0x424D, 0x0000, 0x4D43}) {
    SCOPED_TRACE(type);
    HeaderFields fields;
    fields.type = type;
    BmpImage image;
    Prepare(image);
    ASSERT_TRUE(image.SetColorDepth(4));
    ASSERT_TRUE(image.SetPaletteEntry(2, Pixel{9, 9, 9, 9}));
    EXPECT_FALSE(LoadBytes(image, Headers(fields).Get()));
    EXPECT_TRUE(ImageIs(image, 3, 2, 4, {{2, 1, test::Distinct(2, 1)}}));
    EXPECT_EQ(image.PaletteEntry(2), (Pixel{9, 9, 9, 9}));
    EXPECT_EQ(image.xPelsPerMeter, 11);
    EXPECT_EQ(image.yPelsPerMeter, 22);
  }
}

// Headers that end early: the resolution fields were not (all) read, so the
// image keeps its own.
TEST(BmpReaderTest, ShortHeadersAreBadHeaders) {
  const HeaderFields fields = WithResolution({});
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty file", {}},
      {"one byte", {0x42}},
      {"signature only", {0x42, 0x4D}},
      {"file header only", Truncated(fields, 14)},
      {"cut inside biWidth", Truncated(fields, 20)},
      {"cut inside biClrImportant", Truncated(fields, 53)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage image;
    Prepare(image);
    EXPECT_FALSE(LoadBytes(image, c.bytes));
    EXPECT_TRUE(IsBadHeaderImage(image));
    EXPECT_EQ(image.xPelsPerMeter, 11);
    EXPECT_EQ(image.yPelsPerMeter, 22);
  }
}

// Complete headers the reader refuses: the resolution is taken from the file
// before the checks, so it stays, even negative.
TEST(BmpReaderTest, RefusedHeadersKeepTheFileResolution) {
  struct Case {
    const char* name;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::int32_t width;
    std::int32_t height;
  };
  const Case cases[] = {
      {"RLE8", 8, 1, 4, 4},
      {"RLE4", 4, 2, 4, 4},
      {"JPEG", 24, 4, 4, 4},
      {"PNG", 24, 5, 4, 4},
      {"alpha bit fields", 32, 6, 4, 4},
      {"compression far out of range", 24, 0xFFFFFFFF, 4, 4},
      {"bit fields at 24 bits", 24, 3, 4, 4},
      {"bit fields at 32 bits", 32, 3, 4, 4},
      {"bit fields at 8 bits", 8, 3, 4, 4},
      {"bit fields at 1 bit", 1, 3, 4, 4},
      {"0 bits", 0, 0, 4, 4},
      {"2 bits", 2, 0, 4, 4},
      {"3 bits", 3, 0, 4, 4},
      {"15 bits", 15, 0, 4, 4},
      {"64 bits", 64, 0, 4, 4},
      {"30000 bits", 30000, 0, 4, 4},
      {"width 0", 24, 0, 0, 4},
      {"negative width", 1, 0, -127, 64},
      {"height 0", 24, 0, 4, 0},
      {"top-down rows", 8, 0, 127, -64},
      {"most negative height", 24, 0, 4, INT32_MIN},
      // Storage bounds: more than 2^28 pixels, or depth x width past int32.
      {"30000 x 30000", 24, 0, 30000, 30000},
      {"2^28 + 1 pixels", 1, 0, 268435457, 1},
      {"16385 x 16384", 8, 0, 16385, 16384},
      {"largest sides", 32, 0, INT32_MAX, INT32_MAX},
      {"depth x width past int32 at 32 bits", 32, 0, 67108864, 1},
      {"depth x width past int32 at 24 bits", 24, 0, 268435456, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeaderFields fields = WithResolution({});
    fields.bitCount = c.bitCount;
    fields.compression = c.compression;
    fields.width = c.width;
    fields.height = c.height;
    BmpImage image;
    Prepare(image);
    // Rows that would satisfy a 4 x 4 image, so only the header decides.
    const Bytes bytes = Headers(fields).Repeat(0x55, 64).Get();
    EXPECT_FALSE(LoadBytes(image, bytes));
    EXPECT_TRUE(IsBadHeaderImage(image));
    EXPECT_EQ(image.xPelsPerMeter, 1234);
    EXPECT_EQ(image.yPelsPerMeter, -77);
  }
}

// Fields the reader reads but does not use.
TEST(BmpReaderTest, UnusedHeaderFieldsDoNotMatter) {
  HeaderFields fields;
  fields.fileSize = 0xFFFFFFFF;
  fields.infoSize = 7;
  fields.planes = 30000;
  fields.sizeImage = 99999;
  fields.clrUsed = 0x12345678;
  fields.clrImportant = 3;
  BmpImage image;
  EXPECT_TRUE(LoadBytes(image, Headers(fields).Append({1, 2, 3, 0}).Get()));
  EXPECT_TRUE(ImageIs(image, 1, 1, 24, {{0, 0, {1, 2, 3, 0}}}));
}

// A 2 x 2 24-bit file: rows bottom-up, 6 data bytes and 2 pad bytes each.
TEST(BmpReaderTest, TwentyFourBitRowsAreBottomUpAndPadded) {
  HeaderFields fields;
  fields.width = 2;
  fields.height = 2;
  const Bytes bytes = Headers(fields)
                          .Append({1, 2, 3, 4, 5, 6, 0xEE, 0xEE})     // bottom row, y = 1
                          .Append({7, 8, 9, 10, 11, 12, 0xEE, 0xEE})  // top row, y = 0
                          .Get();
  ASSERT_EQ(bytes.size(), 70u);
  BmpImage image;
  ASSERT_TRUE(image.SetDimensions(2, 2));
  for (int i = 0; i < 4; ++i) image.WritePixel(i % 2, i / 2, Pixel{0, 0, 0, 200});
  EXPECT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(ImageIs(
      image, 2, 2, 24,
      {{0, 1, {1, 2, 3, 0}}, {1, 1, {4, 5, 6, 0}}, {0, 0, {7, 8, 9, 0}}, {1, 0, {10, 11, 12, 0}}}));
}

TEST(BmpReaderTest, ThirtyTwoBitFourthByteIsAlpha) {
  HeaderFields fields;
  fields.bitCount = 32;
  fields.height = 2;
  const Bytes bytes = Headers(fields).Append({1, 2, 3, 4}).Append({5, 6, 7, 255}).Get();
  ASSERT_EQ(bytes.size(), 62u);
  BmpImage image;
  EXPECT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(ImageIs(image, 1, 2, 32, {{0, 1, {1, 2, 3, 4}}, {0, 0, {5, 6, 7, 255}}}));
}

TEST(BmpReaderTest, LoadingReplacesDepthPaletteAndResolution) {
  HeaderFields fields;
  fields.xPelsPerMeter = 0;
  fields.yPelsPerMeter = -5;
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(8));
  image.xPelsPerMeter = 100;
  EXPECT_TRUE(LoadBytes(image, Headers(fields).Append({9, 8, 7, 0}).Get()));
  EXPECT_TRUE(ImageIs(image, 1, 1, 24, {{0, 0, {9, 8, 7, 0}}}));
  EXPECT_EQ(image.PaletteEntry(0), kWhite);
  EXPECT_EQ(image.xPelsPerMeter, 0);
  EXPECT_EQ(image.yPelsPerMeter, -5);
}

// A file that ends inside the rows: the rows that arrived whole (the bottom
// of the picture) hold the file's pixels, a partial row and the rest stay
// white, and the load still succeeds.
TEST(BmpReaderTest, TruncatedRowsKeepWhatArrived) {
  HeaderFields fields;
  fields.width = 1;
  fields.height = 3;
  const Bytes whole = Headers(fields).Append({1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0}).Get();
  const struct {
    std::size_t length;
    Pixel bottom;
    Pixel middle;
    Pixel top;
  } cases[] = {
      {54, kWhite, kWhite, kWhite},
      {57, kWhite, kWhite, kWhite},
      {58, {1, 1, 1, 0}, kWhite, kWhite},
      // The row's data arrived but not its pad byte: the row is incomplete.
      {61, {1, 1, 1, 0}, kWhite, kWhite},
      {62, {1, 1, 1, 0}, {2, 2, 2, 0}, kWhite},
      {65, {1, 1, 1, 0}, {2, 2, 2, 0}, kWhite},
      {66, {1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    Bytes bytes = whole;
    bytes.resize(c.length);
    BmpImage image;
    EXPECT_TRUE(LoadBytes(image, bytes));
    EXPECT_TRUE(ImageIs(image, 1, 3, 24, {{0, 2, c.bottom}, {0, 1, c.middle}, {0, 0, c.top}}));
  }
}

// Where the rows start: at bfOffBits when it lies at or past the headers,
// right after the headers when it points back into them.
TEST(BmpReaderTest, RowsStartAtTheOffsetOrAfterTheHeaders) {
  const struct {
    const char* name;
    std::uint32_t infoSize;
    std::uint32_t offBits;
    std::size_t filler;
    bool rowsFound;
  } cases[] = {
      {"consistent", 40, 54, 0, true},
      {"gap of 10 bytes", 40, 64, 10, true},
      {"gap of 1 byte", 40, 55, 1, true},
      {"offset 0 points into the headers", 40, 0, 0, true},
      {"offset 53 points into the headers", 40, 53, 0, true},
      {"V5 header", 124, 138, 84, true},
      {"V4 header", 108, 122, 68, true},
      // Taken as an offset, not as a negative gap: it lies beyond the file.
      {"offset past 2^31", 40, 0x80000036u, 0, false},
      {"offset beyond the file", 40, 5000, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HeaderFields fields;
    fields.infoSize = c.infoSize;
    fields.offBits = c.offBits;
    fields.width = 2;
    const Bytes bytes =
        Headers(fields).Repeat(0xCC, c.filler).Append({1, 2, 3, 4, 5, 6, 0, 0}).Get();
    BmpImage image;
    EXPECT_TRUE(LoadBytes(image, bytes));
    if (c.rowsFound) {
      EXPECT_TRUE(ImageIs(image, 2, 1, 24, {{0, 0, {1, 2, 3, 0}}, {1, 0, {4, 5, 6, 0}}}));
    } else {
      EXPECT_TRUE(ImageIs(image, 2, 1, 24));
      EXPECT_TRUE(AllPixelsAre(image, kWhite));
    }
  }
}

}  // namespace
}  // namespace quarvel
