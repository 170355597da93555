#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::AllPixelsAre;
using test::FillDistinct;
using test::ImageIs;

constexpr Pixel kRed{0, 0, 255, 0};
constexpr Pixel kOdd{1, 2, 3, 4};

TEST(ImageTest, NewImageIsOnePixelAt24Bits) {
  BmpImage image;
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.ColorDepth(), 24);
  EXPECT_EQ(image.PaletteSize(), 16777216);
  EXPECT_EQ(image.ReadPixel(0, 0), kWhite);
}

TEST(ImageTest, NewImageHasNoPaletteAndNoResolution) {
  BmpImage image;
  EXPECT_EQ(image.PaletteEntry(0), kWhite);
  EXPECT_FALSE(image.SetPaletteEntry(0, kRed));
  EXPECT_EQ(image.PaletteEntry(0), kWhite);
  EXPECT_EQ(image.xPelsPerMeter, 0);
  EXPECT_EQ(image.yPelsPerMeter, 0);
}

// Refused sizes leave size, pixels, depth and palette as they were. The large
// ones are refused before any storage is asked for.
TEST(ImageTest, SetDimensionsRefusesSizesAndKeepsTheImage) {
  struct Case {
    std::int32_t width;
    std::int32_t height;
  };
  const Case cases[] = {
      {0, 10},        {10, 0},        {-1, 5},        {5, -1},        {INT32_MIN, 1},
      {16385, 16384}, {30000, 30000}, {1, 268435457}, {268435457, 1}, {INT32_MAX, INT32_MAX},
      {65536, 65536}, {INT32_MAX, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(4));
    ASSERT_TRUE(image.SetPaletteEntry(3, kOdd));
    ASSERT_TRUE(image.SetDimensions(3, 2));
    FillDistinct(image);
    EXPECT_FALSE(image.SetDimensions(c.width, c.height));
    EXPECT_TRUE(ImageIs(image, 3, 2, 4,
                        {{0, 0, test::Distinct(0, 0)},
                         {2, 1, test::Distinct(2, 1)},
                         {1, 1, test::Distinct(1, 1)}}));
    EXPECT_EQ(image.PaletteEntry(3), kOdd);
  }
}

TEST(ImageTest, SetDimensionsReplacesPixelsWithWhiteEvenAtTheSameSize) {
  BmpImage image;
  ASSERT_TRUE(image.SetDimensions(4, 3));
  FillDistinct(image);
  ASSERT_TRUE(image.SetDimensions(4, 3));
  EXPECT_TRUE(ImageIs(image, 4, 3, 24));
  EXPECT_TRUE(AllPixelsAre(image, kWhite));
  ASSERT_TRUE(image.SetDimensions(1, 1));
  EXPECT_TRUE(AllPixelsAre(image, kWhite));
}

TEST(ImageTest, SetDimensionsKeepsDepthPaletteAndResolution) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(8));
  ASSERT_TRUE(image.SetPaletteEntry(200, kOdd));
  image.xPelsPerMeter = 11;
  image.yPelsPerMeter = -22;
  ASSERT_TRUE(image.SetDimensions(7, 9));
  EXPECT_EQ(image.ColorDepth(), 8);
  EXPECT_EQ(image.PaletteEntry(200), kOdd);
  EXPECT_EQ(image.xPelsPerMeter, 11);
  EXPECT_EQ(image.yPelsPerMeter, -22);
}

TEST(ImageTest, SetColorDepthRefusesUnknownDepthsAndKeepsThePalette) {
  for (const std::int32_t depth : {0, 2, 3, 5, 15, 33, 64, -1, -8}) {
    SCOPED_TRACE(depth);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(4));
    ASSERT_TRUE(image.SetPaletteEntry(5, kOdd));
    EXPECT_FALSE(image.SetColorDepth(depth));
    EXPECT_EQ(image.ColorDepth(), 4);
    EXPECT_EQ(image.PaletteEntry(5), kOdd);
  }
}

TEST(ImageTest, PaletteSizeFollowsTheDepth) {
  const std::int32_t expected[][2] = {{1, 2},      {4, 16},        {8, 256},
                                      {16, 65536}, {24, 16777216}, {32, 16777216}};
  BmpImage image;
  for (const auto& row : expected) {
    ASSERT_TRUE(image.SetColorDepth(row[0]));
    EXPECT_EQ(image.PaletteSize(), row[1]) << "depth " << row[0];
  }
}

TEST(ImageTest, SettingTheDepthAgainRestoresTheStandardPalette) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(8));
  const Pixel standard = image.PaletteEntry(42);
  ASSERT_TRUE(image.SetPaletteEntry(42, kOdd));
  ASSERT_TRUE(image.SetColorDepth(8));
  EXPECT_EQ(image.PaletteEntry(42), standard);
}

TEST(ImageTest, DepthWithoutPaletteKeepsPixelsAndReadsWhiteEntries) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(8));
  ASSERT_TRUE(image.SetDimensions(3, 3));
  FillDistinct(image);
  for (const std::int32_t depth : {16, 24, 32}) {
    ASSERT_TRUE(image.SetColorDepth(depth));
    EXPECT_EQ(image.ReadPixel(2, 1), test::Distinct(2, 1));
    for (const std::int32_t index : {0, 1, 255, 256, 65535}) {
      EXPECT_EQ(image.PaletteEntry(index), kWhite) << "depth " << depth << " index " << index;
    }
    EXPECT_FALSE(image.SetPaletteEntry(0, kOdd));
    EXPECT_FALSE(image.FillStandardPalette());
  }
}

TEST(ImageTest, PaletteIndicesOutsideThePaletteReadWhiteAndStoreNothing) {
  struct Case {
    std::int32_t depth;
    std::int32_t index;
    bool inside;
  };
  const Case cases[] = {{8, 255, true}, {8, 256, false},       {8, -1, false},
                        {4, 15, true},  {4, 16, false},        {1, 1, true},
                        {1, 2, false},  {1, INT32_MIN, false}, {8, INT32_MAX, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "depth " << c.depth << " index " << c.index);
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(c.depth));
    EXPECT_EQ(image.SetPaletteEntry(c.index, kOdd), c.inside);
    EXPECT_EQ(image.PaletteEntry(c.index), c.inside ? kOdd : kWhite);
    // Nothing spilled into the entries that exist.
    BmpImage standard;
    ASSERT_TRUE(standard.SetColorDepth(c.depth));
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
      if (i == c.index) continue;
      ASSERT_EQ(image.PaletteEntry(i), standard.PaletteEntry(i)) << i;
    }
  }
}

TEST(ImageTest, PixelAtClampsToTheNearestEdge) {
  struct Case {
    std::int32_t x;
    std::int32_t y;
    std::int32_t storedX;
    std::int32_t storedY;
  };
  const Case cases[] = {{-3, -3, 0, 0},  {5, 4, 4, 3},         {105, -1, 4, 0},
                        {2, 1, 2, 1},    {INT32_MIN, 2, 0, 2}, {INT32_MAX, INT32_MAX, 4, 3},
                        {4, -100, 4, 0}, {-1, 3, 0, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.x << "," << c.y << ")");
    BmpImage image;
    ASSERT_TRUE(image.SetDimensions(5, 4));
    FillDistinct(image);
    EXPECT_EQ(image.ReadPixel(c.x, c.y), test::Distinct(c.storedX, c.storedY));
    image.PixelAt(c.x, c.y) = kOdd;
    EXPECT_EQ(image.ReadPixel(c.storedX, c.storedY), kOdd);
  }
}

// Outside the image nothing is stored anywhere; inside, the pixel changes.
TEST(ImageTest, WritePixelStoresOnlyInsideTheImage) {
  struct Case {
    std::int32_t x;
    std::int32_t y;
    bool inside;
  };
  const Case cases[] = {{0, 0, true},  {4, 3, true},          {5, 0, false},
                        {0, 4, false}, {-1, 0, false},        {0, -1, false},
                        {5, 4, false}, {INT32_MIN, 0, false}, {0, INT32_MAX, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.x << "," << c.y << ")");
    BmpImage image;
    ASSERT_TRUE(image.SetDimensions(5, 4));
    FillDistinct(image);
    EXPECT_EQ(image.WritePixel(c.x, c.y, kOdd), c.inside);
    for (std::int32_t x = 0; x < 5; ++x) {
      for (std::int32_t y = 0; y < 4; ++y) {
        const bool written = c.inside && x == c.x && y == c.y;
        ASSERT_EQ(image.ReadPixel(x, y), written ? kOdd : test::Distinct(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(ImageTest, IntegerPower) {
  const std::int32_t cases[][3] = {{2, 0, 1},   {5, -2, 1},        {-3, 3, -27},       {2, 1, 2},
                                   {2, 8, 256}, {2, 24, 16777216}, {7, 1, 7},          {0, 0, 1},
                                   {0, 3, 0},   {-1, 4, 1},        {2, 30, 1073741824}};
  for (const auto& c : cases) {
    EXPECT_EQ(IntegerPower(c[0], c[1]), c[2]) << c[0] << "^" << c[1];
  }
}

std::vector<Pixel> PaletteOf(std::int32_t depth) {
  BmpImage image;
  EXPECT_TRUE(image.SetColorDepth(depth));
  std::vector<Pixel> entries;
  for (std::int32_t i = 0; i < image.PaletteSize(); ++i) entries.push_back(image.PaletteEntry(i));
  return entries;
}

TEST(ImageTest, StandardPalettesAtOneAndFourBits) {
  const std::vector<Pixel> one = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  EXPECT_EQ(PaletteOf(1), one);
  // Blue, green, red.
  const std::vector<Pixel> four = {
      {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
      {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {128, 128, 128, 0},
      {192, 192, 192, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
      {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};
  EXPECT_EQ(PaletteOf(4), four);
}

TEST(ImageTest, StandardPaletteAtEightBits) {
  std::vector<Pixel> expected(256);
  for (int i = 0; i < 256; ++i) {
    expected[static_cast<std::size_t>(i)] = Pixel{static_cast<std::uint8_t>(64 * (i / 64)),
                                                  static_cast<std::uint8_t>(32 * ((i / 8) % 8)),
                                                  static_cast<std::uint8_t>(32 * (i % 8)), 0};
  }
  const struct {
    int index;
    Pixel colour;
  } fixed[] = {{0, {0, 0, 0, 0}},         {1, {0, 0, 128, 0}},       {2, {0, 128, 0, 0}},
               {3, {0, 128, 128, 0}},     {4, {128, 0, 0, 0}},       {5, {128, 0, 128, 0}},
               {6, {128, 128, 0, 0}},     {7, {192, 192, 192, 0}},   {8, {192, 220, 192, 0}},
               {9, {240, 202, 166, 0}},   {246, {240, 251, 255, 0}}, {247, {164, 160, 160, 0}},
               {248, {128, 128, 128, 0}}, {249, {0, 0, 255, 0}},     {250, {0, 255, 0, 0}},
               {251, {0, 255, 255, 0}},   {252, {255, 0, 0, 0}},     {253, {255, 0, 255, 0}},
               {254, {255, 255, 0, 0}},   {255, {255, 255, 255, 0}}};
  for (const auto& entry : fixed) expected[static_cast<std::size_t>(entry.index)] = entry.colour;
  const std::vector<Pixel> actual = PaletteOf(8);
  ASSERT_EQ(actual.size(), 256u);
  for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(actual[i], expected[i]) << "entry " << i;
  EXPECT_EQ(actual[10], (Pixel{0, 32, 64, 0}));
  EXPECT_EQ(actual[245], (Pixel{192, 192, 160, 0}));
}

TEST(ImageTest, FillStandardPaletteRewritesChangedEntries) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(4));
  ASSERT_TRUE(image.SetPaletteEntry(8, kOdd));
  EXPECT_TRUE(image.FillStandardPalette());
  EXPECT_EQ(image.PaletteEntry(8), (Pixel{192, 192, 192, 0}));
}

}  // namespace
}  // namespace quarvel
