// Bilinear rescaling: sizes, exact pixel values, thin images, depth, the
// unknown-mode report, and refusals that leave the image untouched.
#include "transform/Rescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"
#include "tests/WarningFlagGuard.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <new>
#endif

namespace quarvel {
namespace {

using test::ImageIs;
using test::SamePixels;
using test::WarningFlagGuard;

// Pseudo-random colours with every alpha set, so that any alpha that leaks
// into the output shows.
void FillNoise(BmpImage& image, std::uint32_t seed) {
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    for (std::int32_t y = 0; y < image.Height(); ++y) {
      seed = seed * 1103515245u + 12345u;
      image.WritePixel(
          x, y,
          Pixel{static_cast<std::uint8_t>(seed >> 24), static_cast<std::uint8_t>(seed >> 16),
                static_cast<std::uint8_t>(seed >> 8), static_cast<std::uint8_t>((seed >> 4) | 1)});
    }
  }
}

BmpImage Filled(std::int32_t width, std::int32_t height, std::int32_t depth = 24,
                std::uint32_t seed = 1) {
  BmpImage image;
  image.SetColorDepth(depth);
  image.SetDimensions(width, height);
  FillNoise(image, seed);
  return image;
}

// Size, depth, palette, pixels and resolution all as in `before`.
::testing::AssertionResult Untouched(const BmpImage& image, const BmpImage& before) {
  if (image.ColorDepth() != before.ColorDepth()) {
    return ::testing::AssertionFailure() << "depth became " << image.ColorDepth();
  }
  for (std::int32_t i = 0; i < 256; ++i) {
    if (image.PaletteEntry(i) != before.PaletteEntry(i)) {
      return ::testing::AssertionFailure() << "palette entry " << i << " changed";
    }
  }
  if (image.xPelsPerMeter != before.xPelsPerMeter || image.yPelsPerMeter != before.yPelsPerMeter) {
    return ::testing::AssertionFailure()
           << "resolution became " << image.xPelsPerMeter << " x " << image.yPelsPerMeter;
  }
  return SamePixels(image, before);
}

// The algorithm exactly as written, pixel by pixel through PixelAt and in
// row order; the library's own loop is organised differently for speed and
// must give the same bytes.
BmpImage ReferenceRescale(BmpImage original, char mode, std::int32_t n) {
  const std::int32_t oldWidth = original.Width();
  const std::int32_t oldHeight = original.Height();
  char upper = static_cast<char>(mode & ~0x20);
  if (upper == 'F') upper = oldWidth > oldHeight ? 'W' : 'H';
  double newWidth = n;
  double newHeight = n;
  if (upper == 'P') {
    newWidth = std::floor(static_cast<double>(oldWidth * n) * 0.01);
    newHeight = std::floor(static_cast<double>(oldHeight * n) * 0.01);
  } else if (upper == 'W') {
    newHeight = std::floor((static_cast<double>(n) / oldWidth) * oldHeight);
  } else {
    newWidth = std::floor((static_cast<double>(n) / oldHeight) * oldWidth);
  }
  const std::int32_t w = std::max(1, static_cast<std::int32_t>(newWidth));
  const std::int32_t h = std::max(1, static_cast<std::int32_t>(newHeight));
  BmpImage out;
  out.SetDimensions(w, h);
  auto at = [&original](std::int32_t x, std::int32_t y) {
    const Pixel p = original.PixelAt(x, y);
    return std::vector<double>{static_cast<double>(p.blue), static_cast<double>(p.green),
                               static_cast<double>(p.red)};
  };
  auto byte = [](double sum) { return static_cast<std::uint8_t>(static_cast<int>(sum)); };
  for (std::int32_t j = 0; j + 1 < h; ++j) {
    const double sy = static_cast<double>(j) * (static_cast<double>(oldHeight) - 1.0) /
                      (static_cast<double>(h) - 1.0);
    const auto y0 = static_cast<std::int32_t>(std::floor(sy));
    const double fy = sy - y0;
    for (std::int32_t k = 0; k + 1 < w; ++k) {
      const double sx = static_cast<double>(k) * (static_cast<double>(oldWidth) - 1.0) /
                        (static_cast<double>(w) - 1.0);
      const auto x0 = static_cast<std::int32_t>(std::floor(sx));
      const double fx = sx - x0;
      const auto a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
      const double wD = fx * fy;
      const double wA = ((1.0 - fx) - fy) + wD;
      const double wB = fx - wD;
      const double wC = fy - wD;
      Pixel& p = out.PixelAt(k, j);
      p.red = byte(((b[2] * wB + c[2] * wC) + d[2] * wD) + a[2] * wA);
      p.green = byte(((b[1] * wB + c[1] * wC) + d[1] * wD) + a[1] * wA);
      p.blue = byte(((d[0] * wD + a[0] * wA) + b[0] * wB) + c[0] * wC);
      p.alpha = 0;
    }
    const auto t = at(oldWidth - 1, y0), u = at(oldWidth - 1, y0 + 1);
    out.PixelAt(w - 1, j) =
        Pixel{byte(t[0] * (1.0 - fy) + u[0] * fy), byte(t[1] * (1.0 - fy) + u[1] * fy),
              byte(t[2] * (1.0 - fy) + u[2] * fy), 0};
  }
  for (std::int32_t k = 0; k + 1 < w; ++k) {
    const double sx = static_cast<double>(k) * (static_cast<double>(oldWidth) - 1.0) /
                      (static_cast<double>(w) - 1.0);
    const auto x0 = static_cast<std::int32_t>(std::floor(sx));
    const double fx = sx - x0;
    const auto l = at(x0, oldHeight - 1), r = at(x0 + 1, oldHeight - 1);
    out.PixelAt(k, h - 1) =
        Pixel{byte(l[0] * (1.0 - fx) + r[0] * fx), byte(l[1] * (1.0 - fx) + r[1] * fx),
              byte(l[2] * (1.0 - fx) + r[2] * fx), 0};
  }
  out.PixelAt(w - 1, h - 1) = original.PixelAt(oldWidth - 1, oldHeight - 1);
  return out;
}

struct SizeCase {
  std::int32_t width;
  std::int32_t height;
  char mode;
  std::int32_t n;
  std::int32_t newWidth;
  std::int32_t newHeight;
};

TEST(RescaleTest, NewSizeForEveryMode) {
  const SizeCase cases[] = {
      {3, 5, 'P', 100, 3, 5},
      {3, 5, 'p', 100, 3, 5},
      {3, 5, 'P', 50, 1, 2},
      {2, 2, 'P', 150, 3, 3},
      {7, 3, 'p', 1000, 70, 30},
      {3, 15, 'W', 49, 49, 244},  // (49 / 3) x 15 is 244.99999999999997
      {3, 15, 'w', 49, 49, 244},
      {15, 3, 'H', 49, 244, 49},
      {15, 3, 'h', 49, 244, 49},
      {5, 3, 'F', 10, 10, 6},
      {3, 5, 'F', 10, 6, 10},
      {3, 5, 'f', 10, 6, 10},
      {4, 4, 'F', 9, 9, 9},
      {4, 4, 'f', 2, 2, 2},
      // Zero and negative sizes give one pixel.
      {3, 5, 'P', 0, 1, 1},
      {3, 5, 'P', -50, 1, 1},
      {3, 5, 'W', 0, 1, 1},
      {3, 5, 'W', -4, 1, 1},
      {3, 5, 'H', 0, 1, 1},
      {3, 5, 'h', -4, 1, 1},
      {3, 5, 'F', 0, 1, 1},
      {30, 2, 'W', 10, 10, 1},
      {2, 30, 'H', 10, 1, 10},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.width << "x" << c.height << " '" << c.mode << "' " << c.n);
    BmpImage image = Filled(c.width, c.height);
    ASSERT_TRUE(RescaleImage(image, c.mode, c.n));
    EXPECT_TRUE(ImageIs(image, c.newWidth, c.newHeight, 24));
  }
}

TEST(RescaleTest, WorkedExampleTwoByTwoToThreeByThree) {
  // Red, green and blue all carry a, b, c, d; every weight here is a power of
  // two, so both orders of summation give the same bytes.
  BmpImage image;
  image.SetDimensions(2, 2);
  image.WritePixel(0, 0, Pixel{0, 0, 0, 10});        // a
  image.WritePixel(1, 0, Pixel{255, 255, 255, 20});  // b
  image.WritePixel(0, 1, Pixel{100, 100, 100, 30});  // c
  image.WritePixel(1, 1, Pixel{51, 51, 51, 40});     // d
  ASSERT_TRUE(RescaleImage(image, 'P', 150));
  auto grey = [](std::uint8_t v) { return Pixel{v, v, v, 0}; };
  EXPECT_TRUE(ImageIs(image, 3, 3, 24,
                      {{0, 0, grey(0)},
                       {1, 0, grey(127)},
                       {2, 0, grey(255)},
                       {0, 1, grey(50)},
                       {1, 1, grey(101)},
                       {2, 1, grey(153)},
                       {0, 2, grey(100)},
                       {1, 2, grey(75)},
                       {2, 2, Pixel{51, 51, 51, 40}}}));
}

TEST(RescaleTest, WhiteImageLosesALevelExactlyWhereTruncationBites) {
  // Weights that do not add up to exactly 1.0 leave 254.99999999999997 here
  // and there; red and green sum in one order, blue in another, so they lose
  // the level at different pixels. Every pixel is pinned: a CPU or compiler
  // that fuses or widens the arithmetic changes this set.
  BmpImage image;
  image.SetDimensions(3, 3);
  ASSERT_TRUE(RescaleImage(image, 'W', 10));
  ASSERT_TRUE(ImageIs(image, 10, 10, 24));
  const Pixel redGreenLow{255, 254, 254, 0};
  const Pixel blueLow{254, 255, 255, 0};
  const test::PixelCheck low[] = {
      {4, 1, redGreenLow}, {8, 2, blueLow},     {1, 4, redGreenLow}, {1, 5, blueLow},
      {8, 5, redGreenLow}, {8, 7, redGreenLow}, {4, 8, blueLow},     {5, 8, redGreenLow},
      {7, 8, redGreenLow}, {8, 8, redGreenLow},
  };
  for (std::int32_t y = 0; y < 10; ++y) {
    for (std::int32_t x = 0; x < 10; ++x) {
      Pixel expected = kWhite;
      for (const test::PixelCheck& check : low) {
        if (check.x == x && check.y == y) expected = check.colour;
      }
      EXPECT_EQ(image.ReadPixel(x, y), expected) << "pixel (" << x << "," << y << ")";
    }
  }
}

TEST(RescaleTest, MatchesTheAlgorithmAsWrittenByteForByte) {
  const SizeCase cases[] = {
      {5, 7, 'W', 13, 0, 0},   {7, 5, 'H', 3, 0, 0},     {4, 4, 'P', 37, 0, 0},
      {9, 4, 'F', 20, 0, 0},   {17, 11, 'P', 333, 0, 0}, {40, 30, 'W', 17, 0, 0},
      {13, 29, 'F', 64, 0, 0}, {64, 48, 'P', 71, 0, 0},  {3, 3, 'W', 10, 0, 0},
      {1, 6, 'W', 4, 0, 0},    {6, 1, 'H', 3, 0, 0},     {1, 1, 'P', 500, 0, 0},
      {2, 9, 'W', 2, 0, 0},    {3, 8, 'W', 1, 0, 0},     {8, 3, 'H', 1, 0, 0},
  };
  std::uint32_t seed = 11;
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.width << "x" << c.height << " '" << c.mode << "' " << c.n);
    BmpImage image = Filled(c.width, c.height, 24, seed++);
    const BmpImage expected = ReferenceRescale(BmpImage(image), c.mode, c.n);
    ASSERT_TRUE(RescaleImage(image, c.mode, c.n));
    EXPECT_TRUE(SamePixels(image, expected));
  }
}

TEST(RescaleTest, KeepingTheSizeKeepsColoursAndDropsAlphaButAtTheCorner) {
  for (const char mode : {'P', 'W', 'H'}) {
    SCOPED_TRACE(mode);
    BmpImage image = Filled(6, 4, 32);
    const BmpImage before(image);
    ASSERT_TRUE(RescaleImage(image, mode, mode == 'P' ? 100 : mode == 'W' ? 6 : 4));
    ASSERT_TRUE(ImageIs(image, 6, 4, 24));
    for (std::int32_t x = 0; x < 6; ++x) {
      for (std::int32_t y = 0; y < 4; ++y) {
        Pixel expected = before.ReadPixel(x, y);
        if (x != 5 || y != 3) expected.alpha = 0;
        EXPECT_EQ(image.ReadPixel(x, y), expected) << "pixel (" << x << "," << y << ")";
      }
    }
  }
}

TEST(RescaleTest, OnePixelWideOrHighSources) {
  // A side of length 1 has nothing to interpolate across: every output row
  // (or column) is one colour, and only the corner keeps an alpha.
  const SizeCase cases[] = {
      {1, 4, 'W', 3, 3, 12},
      {4, 1, 'H', 3, 12, 3},
      {1, 1, 'P', 500, 5, 5},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    BmpImage image = Filled(c.width, c.height);
    const BmpImage before(image);
    ASSERT_TRUE(RescaleImage(image, c.mode, c.n));
    ASSERT_TRUE(ImageIs(image, c.newWidth, c.newHeight, 24));
    for (std::int32_t x = 0; x < c.newWidth; ++x) {
      for (std::int32_t y = 0; y < c.newHeight; ++y) {
        Pixel expected = c.width == 1 ? image.ReadPixel(0, y) : image.ReadPixel(x, 0);
        expected.alpha = 0;
        if (x == c.newWidth - 1 && y == c.newHeight - 1) {
          expected = before.ReadPixel(c.width - 1, c.height - 1);
        }
        EXPECT_EQ(image.ReadPixel(x, y), expected) << "pixel (" << x << "," << y << ")";
      }
    }
  }
}

TEST(RescaleTest, OnePixelWideOrHighTargets) {
  BmpImage source = Filled(4, 3);
  auto colourOf = [&source](std::int32_t x, std::int32_t y) {
    Pixel p = source.ReadPixel(x, y);
    p.alpha = 0;
    return p;
  };

  BmpImage narrow = Filled(3, 4);  // 'H' 2 gives 1 x 2
  const BmpImage narrowBefore(narrow);
  ASSERT_TRUE(RescaleImage(narrow, 'H', 2));
  Pixel top = narrowBefore.ReadPixel(2, 0);
  top.alpha = 0;
  EXPECT_TRUE(ImageIs(narrow, 1, 2, 24, {{0, 0, top}, {0, 1, narrowBefore.ReadPixel(2, 3)}}));

  BmpImage flat(source);  // 'W' 2 gives 2 x 1: the old last row
  ASSERT_TRUE(RescaleImage(flat, 'W', 2));
  EXPECT_TRUE(ImageIs(flat, 2, 1, 24, {{0, 0, colourOf(0, 2)}, {1, 0, source.ReadPixel(3, 2)}}));

  BmpImage dot = Filled(4, 2);  // 'P' 25 gives the old bottom-right pixel whole
  const BmpImage dotBefore(dot);
  ASSERT_TRUE(RescaleImage(dot, 'P', 25));
  EXPECT_TRUE(ImageIs(dot, 1, 1, 24, {{0, 0, dotBefore.ReadPixel(3, 1)}}));

  // A taller single column: the old last column, interpolated downwards.
  BmpImage tall = Filled(2, 8, 24, 5);
  const BmpImage expectedTall = ReferenceRescale(BmpImage(tall), 'W', 1);
  ASSERT_TRUE(RescaleImage(tall, 'W', 1));  // 1 x 4
  ASSERT_TRUE(ImageIs(tall, 1, 4, 24));
  EXPECT_TRUE(SamePixels(tall, expectedTall));
}

TEST(RescaleTest, EveryDepthComesOutAtTwentyFourBitsWithoutPalette) {
  for (const std::int32_t depth : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    BmpImage image = Filled(5, 5, depth);
    const BmpImage before(image);
    ASSERT_TRUE(RescaleImage(image, 'P', 100));
    EXPECT_EQ(image.ColorDepth(), 24);
    EXPECT_FALSE(image.HasPalette());
    EXPECT_EQ(image.PaletteEntry(0), kWhite);
    // The colours the pixels held, not their palette matches.
    Pixel colour = before.ReadPixel(2, 1);
    colour.alpha = 0;
    EXPECT_EQ(image.ReadPixel(2, 1), colour);
  }
}

TEST(RescaleTest, UnknownModeIsReportedOnlyWhileWarningsAreOn) {
  const WarningFlagGuard guard;
  struct Case {
    char mode;
    bool warnings;
    const char* message;
  };
  const Case cases[] = {
      {'q', true, "Quarvel Error: Unknown rescale mode q requested\n"},
      {'Q', true, "Quarvel Error: Unknown rescale mode Q requested\n"},
      {'%', true, "Quarvel Error: Unknown rescale mode % requested\n"},
      {'q', false, ""},
      {'X', false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "'" << c.mode << "', warnings " << c.warnings);
    c.warnings ? EnableWarnings() : DisableWarnings();
    BmpImage image = Filled(4, 3, 8);
    image.SetPaletteEntry(7, Pixel{1, 2, 3, 4});
    const BmpImage before(image);
    ::testing::internal::CaptureStderr();
    const bool rescaled = RescaleImage(image, c.mode, 50);
    const std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(rescaled);
    EXPECT_EQ(reported, c.message);
    EXPECT_TRUE(Untouched(image, before));
  }
}

TEST(RescaleTest, ResolutionIsLeftAsItWas) {
  const WarningFlagGuard guard;
  DisableWarnings();
  // An unset resolution stays unset (files still get 3780 for it).
  BmpImage unset = Filled(4, 4);
  ASSERT_TRUE(RescaleImage(unset, 'P', 50));
  EXPECT_EQ(unset.xPelsPerMeter, 0);
  EXPECT_EQ(unset.yPelsPerMeter, 0);
  EXPECT_FALSE(RescaleImage(unset, 'z', 50));
  EXPECT_EQ(unset.xPelsPerMeter, 0);

  BmpImage set = Filled(4, 4);
  set.xPelsPerMeter = 2834;
  set.yPelsPerMeter = 11811;
  ASSERT_TRUE(RescaleImage(set, 'W', 9));
  EXPECT_EQ(set.xPelsPerMeter, 2834);
  EXPECT_EQ(set.yPelsPerMeter, 11811);
}

TEST(RescaleTest, SizesBeyondTheLimitsAreRefusedBeforeAnythingChanges) {
  struct Case {
    std::int32_t width;
    std::int32_t height;
    char mode;
    std::int32_t n;
    const char* why;
  };
  const Case cases[] = {
      {300, 1, 'P', 2147483647, "width 6442450940 does not fit 32 bits"},
      {1, 300, 'p', 2147483647, "height does not fit 32 bits"},
      {300, 1, 'P', -2147483647 - 1, "width -6442450944 does not fit 32 bits"},
      {1, 2, 'W', 2147483647, "height 4294967294 does not fit 32 bits"},
      {2, 1, 'H', 2147483647, "width 4294967294 does not fit 32 bits"},
      {3, 1, 'H', -2147483647 - 1, "width -6442450944 does not fit 32 bits"},
      {2, 2, 'W', 20000, "20000 x 20000 is more than 2^28 pixels"},
      {3, 5, 'P', 2147483647, "64424509 x 107374182 is more than 2^28 pixels"},
      {1, 1, 'W', 16385, "16385 x 16385 is just over 2^28 pixels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    BmpImage image = Filled(c.width, c.height, 4);
    image.SetPaletteEntry(2, Pixel{9, 8, 7, 6});
    image.xPelsPerMeter = 1234;
    const BmpImage before(image);
    EXPECT_FALSE(RescaleImage(image, c.mode, c.n));
    EXPECT_TRUE(Untouched(image, before));
  }
}

TEST(RescaleTest, PercentageProductIsFormedWithoutOverflow) {
  // 30000 x -100000 overflows 32 bits; formed wider it is -3e9, a side below
  // 1, so one pixel.
  BmpImage wide = Filled(30000, 1);
  ASSERT_TRUE(RescaleImage(wide, 'P', -100000));
  EXPECT_TRUE(ImageIs(wide, 1, 1, 24));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARVEL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define QUARVEL_TEST_SANITIZED 1
#endif
#endif

#if defined(__linux__) && !defined(QUARVEL_TEST_SANITIZED)
constexpr int kChildSkipped = 77;

// Address space in use now, in bytes.
std::int64_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t pages = 0;
  statm >> pages;
  return pages * sysconf(_SC_PAGESIZE);
}

// In a child process, caps the address space a little above what is in use
// and rescales `image`: RescaleImage must refuse and leave it untouched. The
// child reports 0 for that, 1 otherwise, and kChildSkipped when the cap does
// not hold (an emulator may ignore it).
int RescaleUnderMemoryCap(BmpImage& image, char mode, std::int32_t n, std::size_t needed) {
  const BmpImage before(image);
  const pid_t child = fork();
  if (child == 0) {
    const rlimit cap{static_cast<rlim_t>(AddressSpaceInUse() + (4 << 20)),
                     static_cast<rlim_t>(AddressSpaceInUse() + (4 << 20))};
    if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(kChildSkipped);
    // Memory the allocator already holds is not capped: take every block of
    // that size it can still hand out, so that the next request must fail.
    for (int probes = 0; new (std::nothrow) Pixel[needed] != nullptr; ++probes) {
      if (probes == 64) _exit(kChildSkipped);
    }
    const bool rescaled = RescaleImage(image, mode, n);
    _exit(!rescaled && Untouched(image, before) ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(RescaleTest, RunningOutOfMemoryLeavesTheImageUntouched) {
  // The working copy cannot be made: 1024 x 2048 pixels need 8 MiB.
  BmpImage large = Filled(1024, 2048, 8);
  const int copyFailed = RescaleUnderMemoryCap(large, 'P', 100, std::size_t{1024} * 2048);
  // The new pixels cannot be had: 4096 x 4096 need 64 MiB.
  BmpImage small = Filled(64, 64, 8);
  const int resizeFailed = RescaleUnderMemoryCap(small, 'W', 4096, std::size_t{4096} * 4096);
  if (copyFailed == kChildSkipped || resizeFailed == kChildSkipped) {
    GTEST_SKIP() << "the address-space cap is not enforced here";
  }
  EXPECT_EQ(copyFailed, 0);
  EXPECT_EQ(resizeFailed, 0);
}
#endif

}  // namespace
}  // namespace quarvel
