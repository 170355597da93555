// 16-bit files: masks and their shifts, pixel words, and files that end early.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bmpio/SixteenBit.h"
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

struct Masks {
  std::uint32_t red;
  std::uint32_t green;
  std::uint32_t blue;
};
constexpr Masks k565{0xF800, 0x07E0, 0x001F};

// Headers, and for compression 3 the mask block, of a 16-bit file.
ByteWriter SixteenBitHeaders(std::int32_t width, std::int32_t height, std::uint32_t compression,
                             Masks masks = k565, std::uint32_t offBits = 0) {
  HeaderFields fields;
  fields.bitCount = 16;
  fields.width = width;
  fields.height = height;
  fields.compression = compression;
  fields.offBits = offBits != 0 ? offBits : (compression == 3 ? 66 : 54);
  ByteWriter out = Headers(fields);
  if (compression == 3) out.U32(masks.red).U32(masks.green).U32(masks.blue);
  return out;
}

TEST(SixteenBitTest, MaskShiftBringsTheTopBitToBitFour) {
  const struct {
    std::uint16_t mask;
    int shift;
  } cases[] = {{0x7C00, 10}, {0x03E0, 5},  {0x001F, 0}, {0xF800, 11}, {0x07E0, 6},
               {0x0000, 0},  {0xFFFF, 11}, {0x000F, 0}, {0x0010, 0},  {0x0020, 1},
               {0x0F00, 7},  {0x8000, 11}, {0x03FF, 5}};
  for (const auto& c : cases) EXPECT_EQ(MaskShift(c.mask), c.shift) << std::hex << c.mask;
}

// One word, one pixel: (word AND mask) shifted by the mask's shift, times 8.
TEST(SixteenBitTest, WordsDecodeThroughTheMasks) {
  struct Case {
    const char* name;
    std::uint32_t compression;
    Masks masks;
    std::uint16_t word;
    Pixel expected;  // blue, green, red, alpha
  };
  const Case cases[] = {
      {"5-5-5 all ones", 0, {}, 0x7FFF, {248, 248, 248, 0}},
      {"5-5-5 bit 15 ignored", 0, {}, 0x8000, {0, 0, 0, 0}},
      {"5-5-5 red", 0, {}, 0x7C00, {0, 0, 248, 0}},
      {"5-5-5 lowest blue bit", 0, {}, 0x0001, {8, 0, 0, 0}},
      {"5-5-5 lowest green bit", 0, {}, 0x0020, {0, 8, 0, 0}},
      {"5-6-5 all ones", 3, k565, 0xFFFF, {248, 248, 248, 0}},
      {"5-6-5 lowest green bit dropped", 3, k565, 0x0020, {0, 0, 0, 0}},
      {"5-6-5 second green bit", 3, k565, 0x0040, {0, 8, 0, 0}},
      {"5-6-5 red", 3, k565, 0xF800, {0, 0, 248, 0}},
      {"5-6-5 mixed", 3, k565, 0x0821, {8, 0, 8, 0}},
      {"5-5-5 declared with bit fields", 3, {0x7C00, 0x03E0, 0x001F}, 0x7FFF, {248, 248, 248, 0}},
      // Four-bit fields: the top bit of a field lands on bit 4, a field that
      // already sits below it is not moved.
      {"4-4-4", 3, {0x0F00, 0x00F0, 0x000F}, 0x0FFF, {120, 240, 240, 0}},
      {"zero masks", 3, {0, 0, 0}, 0xFFFF, {0, 0, 0, 0}},
      // Only the low 16 bits of each mask count.
      {"upper mask halves", 3, {0xFFFF0000, 0x0001F800, 0x001F}, 0xFFFF, {248, 248, 0, 0}},
      {"ten-bit green field", 3, {0x0000, 0x03FF, 0x0000}, 0x03E0, {0, 248, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = SixteenBitHeaders(1, 1, c.compression, c.masks).U16(c.word).U16(0).Get();
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, bytes));
    EXPECT_TRUE(ImageIs(image, 1, 1, 16, {{0, 0, c.expected}}));
  }
}

TEST(SixteenBitTest, RowsAreBottomUpWithPadAtOddWidths) {
  const Bytes bytes = SixteenBitHeaders(3, 2, 3)
                          .U16(0xF800)
                          .U16(0x07E0)
                          .U16(0x001F)
                          .U16(0xEEEE)  // y = 1
                          .U16(0x0000)
                          .U16(0xFFFF)
                          .U16(0x0841)
                          .U16(0xEEEE)  // y = 0
                          .Get();
  ASSERT_EQ(bytes.size(), 82u);
  BmpImage image;
  ASSERT_TRUE(LoadBytes(image, bytes));
  EXPECT_TRUE(ImageIs(image, 3, 2, 16,
                      {{0, 1, {0, 0, 248, 0}},
                       {1, 1, {0, 248, 0, 0}},
                       {2, 1, {248, 0, 0, 0}},
                       {0, 0, {0, 0, 0, 0}},
                       {1, 0, {248, 248, 248, 0}},
                       {2, 0, {8, 8, 8, 0}}}));
}

// Where the words start: after the mask block or at bfOffBits, whichever is
// further.
TEST(SixteenBitTest, WordsStartAtTheOffset) {
  const struct {
    const char* name;
    std::uint32_t compression;
    std::uint32_t offBits;
    std::uint32_t infoSize;
    std::size_t filler;
  } cases[] = {
      {"masks, 4 bytes skipped", 3, 70, 40, 4},
      {"no masks, rows at 66", 0, 66, 40, 12},
      {"masks, offset inside them", 3, 54, 40, 0},
      {"masks, offset 0", 3, 0, 40, 0},
      {"no masks, offset 10", 0, 10, 40, 0},
      // A V5 header holds the masks at offset 54 too.
      {"V5 header", 3, 138, 124, 72},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HeaderFields fields;
    fields.bitCount = 16;
    fields.width = 2;
    fields.compression = c.compression;
    fields.offBits = c.offBits;
    fields.infoSize = c.infoSize;
    ByteWriter out = Headers(fields);
    if (c.compression == 3) out.U32(0xF800).U32(0x07E0).U32(0x001F);
    out.Repeat(0xAB, c.filler).U16(0x0000).U16(0x001F);
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, out.Get()));
    EXPECT_TRUE(ImageIs(image, 2, 1, 16, {{0, 0, {0, 0, 0, 0}}, {1, 0, {248, 0, 0, 0}}}));
  }
}

// A file that ends before its first word leaves the image white; once a
// word has been read, every later pixel repeats the last complete one.
TEST(SixteenBitTest, FilesEndingInsideThePixelWords) {
  const Bytes whole = SixteenBitHeaders(3, 2, 3)
                          .U16(0xF800)
                          .U16(0x07E0)
                          .U16(0x001F)
                          .U16(0)
                          .U16(0x0000)
                          .U16(0xFFFF)
                          .U16(0x0841)
                          .U16(0)
                          .Get();
  const Pixel red{0, 0, 248, 0};
  const Pixel green{0, 248, 0, 0};
  const Pixel blue{248, 0, 0, 0};
  const Pixel black{0, 0, 0, 0};
  const struct {
    const char* name;
    std::size_t length;
    Pixel row1[3];
    Pixel row0[3];
  } cases[] = {
      {"inside the mask block", 60, {kWhite, kWhite, kWhite}, {kWhite, kWhite, kWhite}},
      {"no word", 66, {kWhite, kWhite, kWhite}, {kWhite, kWhite, kWhite}},
      {"half a word", 67, {kWhite, kWhite, kWhite}, {kWhite, kWhite, kWhite}},
      {"one word", 68, {red, red, red}, {red, red, red}},
      {"two words and a half", 71, {red, green, green}, {green, green, green}},
      {"first row without its pad", 72, {red, green, blue}, {blue, blue, blue}},
      {"first row and a pad byte", 73, {red, green, blue}, {blue, blue, blue}},
      {"one word of the second row", 76, {red, green, blue}, {black, black, black}},
      {"all but the last pad", 81, {red, green, blue}, {black, {248, 248, 248, 0}, {8, 8, 8, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = whole;
    bytes.resize(c.length);
    BmpImage image;
    ASSERT_TRUE(LoadBytes(image, bytes));
    EXPECT_TRUE(ImageIs(image, 3, 2, 16,
                        {{0, 1, c.row1[0]},
                         {1, 1, c.row1[1]},
                         {2, 1, c.row1[2]},
                         {0, 0, c.row0[0]},
                         {1, 0, c.row0[1]},
                         {2, 0, c.row0[2]}}));
  }
}

TEST(SixteenBitTest, WordsAreBuiltAsFiveSixFive) {
  const struct {
    Pixel colour;
    std::uint16_t word;
  } cases[] = {{{255, 255, 255, 0}, 0xFFFF}, {{0, 0, 255, 0}, 0xF800}, {{0, 255, 0, 0}, 0x07E0},
               {{255, 0, 0, 0}, 0x001F},     {{8, 4, 8, 0}, 0x0821},   {{7, 3, 7, 99}, 0x0000},
               {{0, 0, 0, 255}, 0x0000}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeSixteenBitWord(c.colour), c.word) << ::testing::PrintToString(c.colour);
    // And on disk, low byte first.
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(16));
    image.WritePixel(0, 0, c.colour);
    const Bytes saved = test::SaveBytes(image);
    ASSERT_EQ(saved.size(), 70u);
    EXPECT_EQ(saved[66], c.word & 0xFF);
    EXPECT_EQ(saved[67], c.word >> 8);
    EXPECT_EQ(saved[68], 0);
    EXPECT_EQ(saved[69], 0);
  }
}

TEST(SixteenBitTest, MaskBlockAndPadOnDisk) {
  for (const std::int32_t width : {1, 2, 3, 4}) {
    SCOPED_TRACE(width);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(16));
    ASSERT_TRUE(image.SetDimensions(width, 2));
    test::FillDistinct(image);
    const Bytes saved = test::SaveBytes(image);
    const std::size_t row = static_cast<std::size_t>(2 * width + (width % 2 == 0 ? 0 : 2));
    ASSERT_EQ(saved.size(), 66 + 2 * row);
    EXPECT_EQ(Bytes(saved.begin() + 54, saved.begin() + 66),
              (Bytes{0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}));
    if (width % 2 != 0) {
      EXPECT_EQ(saved[66 + row - 2], 0);
      EXPECT_EQ(saved[66 + row - 1], 0);
      EXPECT_EQ(saved[66 + 2 * row - 1], 0);
    }
  }
}

}  // namespace
}  // namespace quarvel
