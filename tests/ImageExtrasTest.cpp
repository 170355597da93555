// Copy construction, resolution in dots per inch, the grey palette and the
// warning flag.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"
#include "tests/WarningFlagGuard.h"

namespace quarvel {
namespace {

using test::FillDistinct;
using test::SamePixels;
using test::WarningFlagGuard;

// A palette whose every entry, alpha included, differs from the standard one.
void FillOddPalette(BmpImage& image) {
  if (!image.HasPalette()) return;
  for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    image.SetPaletteEntry(
        i, Pixel{static_cast<std::uint8_t>(255 - v), v, static_cast<std::uint8_t>(v ^ 0x5A),
                 static_cast<std::uint8_t>(v | 1)});
  }
}

::testing::AssertionResult SamePalette(const BmpImage& actual, const BmpImage& expected) {
  if (actual.PaletteSize() != expected.PaletteSize()) {
    return ::testing::AssertionFailure()
           << "palette size " << actual.PaletteSize() << ", expected " << expected.PaletteSize();
  }
  if (!expected.HasPalette()) return ::testing::AssertionSuccess();
  for (std::int32_t i = 0; i < expected.PaletteSize(); ++i) {
    if (actual.PaletteEntry(i) != expected.PaletteEntry(i)) {
      return ::testing::AssertionFailure()
             << "palette entry " << i << " is " << ::testing::PrintToString(actual.PaletteEntry(i))
             << ", expected " << ::testing::PrintToString(expected.PaletteEntry(i));
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(ImageExtrasTest, CopyEqualsItsSourceAtEveryDepth) {
  struct Resolution {
    std::int32_t x;
    std::int32_t y;
  };
  for (const std::int32_t depth : {1, 4, 8, 16, 24, 32}) {
    // Unset, the default value, and two unrelated values (x and y differ so
    // that swapped fields show).
    for (const Resolution resolution :
         {Resolution{0, 0}, Resolution{3780, 3780}, Resolution{2835, 11811}, Resolution{0, 39}}) {
      SCOPED_TRACE(::testing::Message()
                   << depth << " bits, resolution " << resolution.x << " x " << resolution.y);
      BmpImage source;
      ASSERT_TRUE(source.SetColorDepth(depth));
      ASSERT_TRUE(source.SetDimensions(5, 3));
      FillDistinct(source);
      FillOddPalette(source);
      source.xPelsPerMeter = resolution.x;
      source.yPelsPerMeter = resolution.y;

      const BmpImage copy(source);
      EXPECT_EQ(copy.ColorDepth(), depth);
      EXPECT_TRUE(SamePixels(copy, source));  // size and all four bytes of every pixel
      EXPECT_TRUE(SamePalette(copy, source));
      EXPECT_EQ(copy.xPelsPerMeter, resolution.x);
      EXPECT_EQ(copy.yPelsPerMeter, resolution.y);
      // Copying does not write into the source, not even an unset resolution.
      EXPECT_EQ(source.xPelsPerMeter, resolution.x);
      EXPECT_EQ(source.yPelsPerMeter, resolution.y);
    }
  }
}

TEST(ImageExtrasTest, RepeatedCopiesKeepTheResolution) {
  // Copying through dots per inch would drift 3780, 3779, 3740, 3700, ...
  BmpImage first;
  first.xPelsPerMeter = 3780;
  first.yPelsPerMeter = 2834;
  const BmpImage second(first);
  const BmpImage third(second);
  const BmpImage fourth(third);
  EXPECT_EQ(fourth.xPelsPerMeter, 3780);
  EXPECT_EQ(fourth.yPelsPerMeter, 2834);
}

TEST(ImageExtrasTest, CopyAndSourceAreIndependent) {
  BmpImage source;
  source.SetColorDepth(8);
  source.SetDimensions(4, 4);
  FillDistinct(source);
  BmpImage copy(source);

  const Pixel red{0, 0, 255, 7};
  copy.WritePixel(1, 2, red);
  copy.SetPaletteEntry(3, red);
  copy.xPelsPerMeter = 1;
  EXPECT_EQ(source.ReadPixel(1, 2), test::Distinct(1, 2));
  EXPECT_NE(source.PaletteEntry(3), red);
  EXPECT_EQ(source.xPelsPerMeter, 0);

  source.WritePixel(0, 0, red);
  source.SetDimensions(9, 9);
  EXPECT_EQ(copy.Width(), 4);
  EXPECT_EQ(copy.ReadPixel(0, 0), test::Distinct(0, 0));
}

TEST(ImageExtrasTest, CopyOfAOnePixelImage) {
  // The single pixel lives inside the object; the copy must not share it.
  BmpImage source;
  source.WritePixel(0, 0, Pixel{1, 2, 3, 4});
  BmpImage copy(source);
  EXPECT_EQ(copy.ReadPixel(0, 0), (Pixel{1, 2, 3, 4}));
  copy.WritePixel(0, 0, kWhite);
  EXPECT_EQ(source.ReadPixel(0, 0), (Pixel{1, 2, 3, 4}));
}

TEST(ImageExtrasTest, DotsPerInchConversionsTruncateBothWays) {
  struct Case {
    std::int32_t dpi;
    std::int32_t pelsPerMeter;
    std::int32_t readBack;
  };
  const Case cases[] = {
      {96, 3779, 95}, {72, 2834, 71}, {300, 11811, 299}, {1, 39, 0}, {2, 78, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    BmpImage image;
    // Each direction on its own, so a swapped or shared field shows.
    image.SetResolutionDpi(c.dpi, 1000);
    EXPECT_EQ(image.xPelsPerMeter, c.pelsPerMeter);
    EXPECT_EQ(image.yPelsPerMeter, 39370);
    EXPECT_EQ(image.HorizontalDpi(), c.readBack);
    image.SetResolutionDpi(1000, c.dpi);
    EXPECT_EQ(image.xPelsPerMeter, 39370);
    EXPECT_EQ(image.yPelsPerMeter, c.pelsPerMeter);
    EXPECT_EQ(image.VerticalDpi(), c.readBack);
  }
}

TEST(ImageExtrasTest, QueryingAnUnsetResolutionSetsTheDefault) {
  BmpImage image;
  image.SetResolutionDpi(0, 0);
  EXPECT_EQ(image.xPelsPerMeter, 0);
  EXPECT_EQ(image.yPelsPerMeter, 0);

  EXPECT_EQ(image.VerticalDpi(), 96);
  EXPECT_EQ(image.yPelsPerMeter, DefaultPelsPerMeter);
  EXPECT_EQ(image.xPelsPerMeter, 0);  // only the queried field

  EXPECT_EQ(image.HorizontalDpi(), 96);
  EXPECT_EQ(image.xPelsPerMeter, DefaultPelsPerMeter);
}

TEST(ImageExtrasTest, GrayPaletteRunsFromBlackToWhite) {
  struct Case {
    std::int32_t depth;
    std::int32_t step;
  };
  for (const Case c : {Case{1, 255}, Case{4, 17}, Case{8, 1}}) {
    SCOPED_TRACE(c.depth);
    BmpImage image;
    image.SetColorDepth(c.depth);
    image.SetDimensions(3, 2);
    FillDistinct(image);
    FillOddPalette(image);
    ASSERT_TRUE(image.FillGrayPalette());
    std::vector<Pixel> greys;
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
      const auto level = static_cast<std::uint8_t>(i * c.step);
      greys.push_back(Pixel{level, level, level, 0});
    }
    EXPECT_TRUE(test::PaletteStartsWith(image, greys, kWhite));
    EXPECT_EQ(image.PaletteEntry(image.PaletteSize() - 1), kWhite);
    BmpImage expectedPixels;
    expectedPixels.SetDimensions(3, 2);
    FillDistinct(expectedPixels);
    EXPECT_TRUE(SamePixels(image, expectedPixels));  // only the palette changes
  }
}

TEST(ImageExtrasTest, GrayPaletteIsRefusedWithoutAPalette) {
  for (const std::int32_t depth : {16, 24, 32}) {
    SCOPED_TRACE(depth);
    BmpImage image;
    image.SetColorDepth(depth);
    image.SetDimensions(2, 2);
    FillDistinct(image);
    EXPECT_FALSE(image.FillGrayPalette());
    EXPECT_EQ(image.ColorDepth(), depth);
    EXPECT_EQ(image.PaletteEntry(0), kWhite);
    EXPECT_EQ(image.ReadPixel(1, 1), test::Distinct(1, 1));
  }
}

TEST(ImageExtrasTest, WarningsStartOnAndFollowTheSetters) {
  // No test leaves the flag off (they restore it), so this sees the default.
  EXPECT_TRUE(WarningsEnabled());
  const WarningFlagGuard guard;
  DisableWarnings();
  EXPECT_FALSE(WarningsEnabled());
  DisableWarnings();
  EXPECT_FALSE(WarningsEnabled());
  EnableWarnings();
  EXPECT_TRUE(WarningsEnabled());
}

TEST(ImageExtrasTest, WarningFlagMayBeSwitchedFromSeveralThreads) {
  // Meant for the ThreadSanitizer build, which reports a data race on a
  // plain flag; elsewhere it shows that the setters still work afterwards.
  const WarningFlagGuard guard;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 2000; ++i) {
        ((i + t) % 2 == 0) ? EnableWarnings() : DisableWarnings();
        static_cast<void>(WarningsEnabled());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  DisableWarnings();
  EXPECT_FALSE(WarningsEnabled());
  EnableWarnings();
  EXPECT_TRUE(WarningsEnabled());
}

}  // namespace
}  // namespace quarvel
