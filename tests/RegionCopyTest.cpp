// Pixel and rectangle copies: clipping, clamped landing positions, the
// transparent colour, and copies within one image.
#include "transform/RegionCopy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Distinct;
using test::SamePixels;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// The target's untouched pixels.
constexpr Pixel kMarker{1, 2, 3, 4};
// The source pixel (3, 1) has the transparent colour's red, green and blue
// but another alpha; (1, 1) misses it in red only.
constexpr Pixel kTransparent{30, 20, 10, 0};
constexpr Pixel kKeyPixel{30, 20, 10, 99};
constexpr Pixel kNearMiss{30, 20, 11, 5};

// 4 x 3, every pixel different.
BmpImage Source() {
  BmpImage source;
  source.SetDimensions(4, 3);
  test::FillDistinct(source);
  source.WritePixel(3, 1, kKeyPixel);
  source.WritePixel(1, 1, kNearMiss);
  return source;
}

// 5 x 4, all marker.
BmpImage Target() {
  BmpImage target;
  target.SetDimensions(5, 4);
  for (std::int32_t x = 0; x < 5; ++x) {
    for (std::int32_t y = 0; y < 4; ++y) target.WritePixel(x, y, kMarker);
  }
  return target;
}

bool IsTransparent(const Pixel& p) {
  return p.red == kTransparent.red && p.green == kTransparent.green && p.blue == kTransparent.blue;
}

// Source pixels (x .. x + width - 1, y .. y + height - 1) expected at
// (targetX, targetY) onwards.
struct Block {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
  std::int32_t targetX;
  std::int32_t targetY;
};

struct RegionCase {
  const char* name;
  std::int32_t left;
  std::int32_t right;
  std::int32_t top;
  std::int32_t bottom;
  std::int32_t targetX;
  std::int32_t targetY;
  bool unlessColor;
  std::vector<Block> expected;
};

TEST(RegionCopyTest, ClipsAndPlacesRectangles) {
  const RegionCase cases[] = {
      {"whole source", 0, 3, 0, 2, 0, 0, false, {{0, 0, 4, 3, 0, 0}}},
      {"inner rectangle", 1, 2, 1, 1, 2, 3, false, {{1, 1, 2, 1, 2, 3}}},
      {"top above bottom", 0, 1, 1, 2, 0, 0, false, {{0, 1, 2, 2, 0, 0}}},
      {"bottom above top", 0, 1, 2, 1, 0, 0, false, {{0, 1, 2, 2, 0, 0}}},
      {"left right of right", 2, 1, 0, 2, 0, 0, false, {}},
      {"past the source's right", 2, 10, 0, 0, 0, 0, false, {{2, 0, 2, 1, 0, 0}}},
      {"past the source's bottom", 0, 0, 1, 10, 0, 0, false, {{0, 1, 1, 2, 0, 0}}},
      // A cut at the source's left or top does not move the landing place.
      {"left of the source", -2, 1, 0, 0, 1, 1, false, {{0, 0, 2, 1, 1, 1}}},
      {"above the source", 0, 0, -5, 1, 2, 0, false, {{0, 0, 1, 2, 2, 0}}},
      // Shortened so that the last column or row lands on the target's last.
      {"past the target's right", 0, 3, 0, 0, 3, 0, false, {{0, 0, 2, 1, 3, 0}}},
      {"past the target's bottom", 0, 0, 0, 2, 0, 2, false, {{0, 0, 1, 2, 0, 2}}},
      {"landing at the target's width", 0, 3, 0, 2, 5, 0, false, {}},
      {"landing at the target's height", 0, 3, 0, 2, 0, 4, false, {}},
      {"landing far beyond", 0, 3, 0, 2, 9, 9, false, {}},
      // Negative landing positions clamp onto column or row 0; the last
      // write there remains.
      {"left of the target", 0, 3, 0, 0, -2, 1, false, {{2, 0, 2, 1, 0, 1}}},
      {"far left of the target", 0, 3, 1, 1, -10, 0, false, {{3, 1, 1, 1, 0, 0}}},
      {"above the target", 0, 0, 0, 2, 1, -1, false, {{0, 1, 1, 2, 1, 0}}},
      {"extreme bounds", kMin, kMax, kMax, kMin, kMin, kMin, false, {{3, 2, 1, 1, 0, 0}}},
      {"extreme landing place", 0, 3, 0, 2, kMax, kMax, false, {}},
      // The transparent colour is compared in red, green and blue only.
      {"transparent colour", 0, 3, 0, 2, 0, 0, true, {{0, 0, 4, 3, 0, 0}}},
      {"transparent, far left", 0, 3, 1, 1, -10, 0, true, {{2, 1, 1, 1, 0, 0}}},
      {"only transparent pixels", 3, 3, 1, 1, -4, 2, true, {}},
  };
  const BmpImage source = Source();
  for (const RegionCase& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage target = Target();
    if (c.unlessColor) {
      CopyRegionUnlessColor(source, c.left, c.right, c.top, c.bottom, target, c.targetX, c.targetY,
                            kTransparent);
    } else {
      CopyRegion(source, c.left, c.right, c.top, c.bottom, target, c.targetX, c.targetY);
    }
    BmpImage expected = Target();
    for (const Block& block : c.expected) {
      for (std::int32_t i = 0; i < block.width; ++i) {
        for (std::int32_t j = 0; j < block.height; ++j) {
          const Pixel p = source.ReadPixel(block.x + i, block.y + j);
          if (c.unlessColor && IsTransparent(p)) continue;
          expected.WritePixel(block.targetX + i, block.targetY + j, p);
        }
      }
    }
    EXPECT_TRUE(SamePixels(target, expected));
    EXPECT_TRUE(SamePixels(source, Source()));
  }
}

TEST(RegionCopyTest, CopiesWithinOneImageReadWhatTheyWrote) {
  // Each pixel is read just before its target is written, row by row and
  // left to right. `after` lists, for each pixel, the index of the old pixel
  // it ends up holding.
  struct Case {
    const char* name;
    std::int32_t width;
    std::int32_t height;
    std::int32_t left, right, top, bottom, targetX, targetY;
    bool unlessColor;
    std::vector<int> after;
  };
  const Case cases[] = {
      {"rightwards smears the first column", 5, 1, 0, 3, 0, 0, 1, 0, false, {0, 0, 0, 0, 0}},
      {"leftwards shifts", 5, 1, 1, 4, 0, 0, 0, 0, false, {1, 2, 3, 4, 4}},
      {"downwards smears the first row", 1, 3, 0, 0, 0, 1, 0, 1, false, {0, 0, 0}},
      {"onto itself", 3, 2, 0, 2, 0, 1, 0, 0, false, {0, 1, 2, 3, 4, 5}},
      // Old pixel 0 is transparent: pixel 1 keeps its value and then spreads.
      {"rightwards with a transparent start", 5, 1, 0, 3, 0, 0, 1, 0, true, {0, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BmpImage image;
    image.SetDimensions(c.width, c.height);
    std::vector<Pixel> old;
    for (std::int32_t y = 0; y < c.height; ++y) {
      for (std::int32_t x = 0; x < c.width; ++x) {
        const Pixel p = old.empty() ? kKeyPixel : Distinct(x, y);
        old.push_back(p);
        image.WritePixel(x, y, p);
      }
    }
    if (c.unlessColor) {
      CopyRegionUnlessColor(image, c.left, c.right, c.top, c.bottom, image, c.targetX, c.targetY,
                            kTransparent);
    } else {
      CopyRegion(image, c.left, c.right, c.top, c.bottom, image, c.targetX, c.targetY);
    }
    for (std::int32_t y = 0; y < c.height; ++y) {
      for (std::int32_t x = 0; x < c.width; ++x) {
        const std::size_t index = static_cast<std::size_t>(y * c.width + x);
        EXPECT_EQ(image.ReadPixel(x, y), old[static_cast<std::size_t>(c.after[index])])
            << "pixel (" << x << "," << y << ")";
      }
    }
  }
}

TEST(RegionCopyTest, SinglePixelsClampToTheNearestEdge) {
  struct Case {
    std::int32_t sourceX, sourceY, targetX, targetY;
    std::int32_t readX, readY, writtenX, writtenY;
  };
  const Case cases[] = {
      {1, 2, 3, 3, 1, 2, 3, 3},  {-5, 1, 0, 0, 0, 1, 0, 0},   {10, 10, 1, 1, 3, 2, 1, 1},
      {0, 0, -1, 7, 0, 0, 0, 3}, {2, 0, 99, -99, 2, 0, 4, 0}, {kMin, kMax, kMax, kMin, 0, 2, 4, 0},
  };
  const BmpImage source = Source();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.sourceX << "," << c.sourceY << ") to ("
                                      << c.targetX << "," << c.targetY << ")");
    BmpImage target = Target();
    CopyPixel(source, c.sourceX, c.sourceY, target, c.targetX, c.targetY);
    BmpImage expected = Target();
    expected.WritePixel(c.writtenX, c.writtenY, source.ReadPixel(c.readX, c.readY));
    EXPECT_TRUE(SamePixels(target, expected));
  }
}

TEST(RegionCopyTest, TransparentColourComparesRedGreenAndBlueOnly) {
  struct Case {
    Pixel transparent;
    bool copied;
  };
  const Case cases[] = {
      {Pixel{30, 20, 10, 99}, false},                                  // equal in all four bytes
      {Pixel{30, 20, 10, 0}, false},                                   // alpha differs
      {Pixel{30, 20, 10, 255}, false}, {Pixel{31, 20, 10, 99}, true},  // blue differs
      {Pixel{30, 21, 10, 99}, true},                                   // green differs
      {Pixel{30, 20, 11, 99}, true},                                   // red differs
  };
  const BmpImage source = Source();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.transparent));
    BmpImage target = Target();
    CopyPixelUnlessColor(source, 3, 1, target, 2, 2, c.transparent);
    EXPECT_EQ(target.ReadPixel(2, 2), c.copied ? kKeyPixel : kMarker);  // alpha comes along
  }
}

TEST(RegionCopyTest, OnlyPixelsChange) {
  BmpImage target = Target();
  target.SetColorDepth(8);
  target.SetPaletteEntry(5, kNearMiss);
  target.xPelsPerMeter = 2834;
  const BmpImage source = Source();
  CopyRegion(source, 0, 3, 0, 2, target, 1, 1);
  CopyRegionUnlessColor(source, 0, 3, 0, 2, target, 0, 0, kTransparent);
  EXPECT_EQ(target.ColorDepth(), 8);
  EXPECT_EQ(target.PaletteEntry(5), kNearMiss);
  BmpImage standard;
  standard.SetColorDepth(8);
  EXPECT_EQ(target.PaletteEntry(6), standard.PaletteEntry(6));
  EXPECT_EQ(target.xPelsPerMeter, 2834);
  EXPECT_EQ(target.yPelsPerMeter, 0);
  EXPECT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Height(), 4);
}

}  // namespace
}  // namespace quarvel
