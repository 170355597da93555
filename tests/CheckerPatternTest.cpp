// The checker pattern's geometry, against hand-drawn expectations and a
// pixel-by-pixel walk through clamped access.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Distinct;

void Paint(Pixel& pixel) {
  pixel.blue = 0;
  pixel.green = 0;
}

// The pattern as first described: blocks on a 40-pixel grid up to and
// including the size, two 21 x 21 squares each, every pixel reached through
// the clamped accessor.
void ReferencePattern(BmpImage& image) {
  for (std::int32_t y0 = 0; y0 <= image.Height(); y0 += 40) {
    for (std::int32_t x0 = 0; x0 <= image.Width(); x0 += 40) {
      for (std::int32_t y = y0; y <= y0 + 20; ++y) {
        for (std::int32_t x = x0; x <= x0 + 20; ++x) Paint(image.PixelAt(x, y));
        for (std::int32_t x = x0 + 20; x <= x0 + 40; ++x) Paint(image.PixelAt(x, y + 20));
      }
    }
  }
}

Pixel Painted(Pixel pixel) {
  Paint(pixel);
  return pixel;
}

TEST(CheckerPatternTest, MatchesTheClampedWalkAtManySizes) {
  const std::int32_t sides[] = {1,  2,  3,  19, 20, 21, 22, 39,  40,  41,
                                42, 59, 60, 61, 79, 80, 81, 100, 119, 121};
  for (const std::int32_t width : sides) {
    for (const std::int32_t height : sides) {
      SCOPED_TRACE(::testing::Message() << width << " x " << height);
      BmpImage actual;
      ASSERT_TRUE(actual.SetDimensions(width, height));
      test::FillDistinct(actual);
      BmpImage expected;
      ASSERT_TRUE(expected.SetDimensions(width, height));
      test::FillDistinct(expected);
      PaintCheckerPattern(actual);
      ReferencePattern(expected);
      ASSERT_TRUE(test::SamePixels(actual, expected));
    }
  }
}

struct Rect {
  std::int32_t left;
  std::int32_t right;  // inclusive
  std::int32_t top;
  std::int32_t bottom;  // inclusive
};

// Painted pixels keep red and alpha; every other pixel is untouched.
TEST(CheckerPatternTest, PaintedRegionsAtTheEdgeSizes) {
  struct Case {
    std::int32_t width;
    std::int32_t height;
    std::vector<Rect> painted;
  };
  const Case cases[] = {
      {1, 1, {{0, 0, 0, 0}}},
      {21, 21, {{0, 20, 0, 20}}},
      // Rows 0-20 and 40-49 whole; in rows 21-39 only the last column.
      {10, 50, {{0, 9, 0, 20}, {9, 9, 20, 40}, {0, 9, 40, 49}}},
      // No block starts at 40: the last column and row are painted only by
      // the second square.
      {39, 39, {{0, 20, 0, 20}, {20, 38, 20, 38}}},
      // The blocks at 40 land on the last column and row.
      {40, 40, {{0, 20, 0, 20}, {20, 39, 20, 39}, {39, 39, 0, 39}, {0, 39, 39, 39}}},
      {41, 41, {{0, 20, 0, 20}, {20, 40, 20, 40}, {40, 40, 0, 40}, {0, 40, 40, 40}}},
      {80,
       41,
       {{0, 20, 0, 20},
        {20, 40, 20, 40},
        {40, 60, 0, 20},
        {60, 79, 20, 40},
        {79, 79, 0, 40},
        {0, 79, 40, 40}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    BmpImage image;
    ASSERT_TRUE(image.SetDimensions(c.width, c.height));
    test::FillDistinct(image);
    PaintCheckerPattern(image);
    for (std::int32_t x = 0; x < c.width; ++x) {
      for (std::int32_t y = 0; y < c.height; ++y) {
        bool inside = false;
        for (const Rect& r : c.painted) {
          inside = inside || (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom);
        }
        const Pixel expected = inside ? Painted(Distinct(x, y)) : Distinct(x, y);
        ASSERT_EQ(image.ReadPixel(x, y), expected) << "(" << x << "," << y << ")";
      }
    }
  }
}

TEST(CheckerPatternTest, OnlyBlueAndGreenOfPaintedPixelsChange) {
  BmpImage image;
  ASSERT_TRUE(image.SetColorDepth(8));
  ASSERT_TRUE(image.SetPaletteEntry(17, Pixel{1, 2, 3, 4}));
  ASSERT_TRUE(image.SetDimensions(60, 30));
  image.xPelsPerMeter = 123;
  image.yPelsPerMeter = -4;
  const Pixel colour{200, 100, 50, 7};
  for (std::int32_t x = 0; x < 60; ++x) {
    for (std::int32_t y = 0; y < 30; ++y) image.WritePixel(x, y, colour);
  }
  PaintCheckerPattern(image);
  EXPECT_TRUE(test::ImageIs(
      image, 60, 30, 8,
      {{0, 0, {0, 0, 50, 7}}, {30, 5, colour}, {5, 25, colour}, {30, 25, {0, 0, 50, 7}}}));
  EXPECT_EQ(image.PaletteEntry(17), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(image.xPelsPerMeter, 123);
  EXPECT_EQ(image.yPelsPerMeter, -4);
}

}  // namespace
}  // namespace quarvel
