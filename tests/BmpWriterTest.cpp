// The writer's bytes at every depth, its failures, and round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::ImageIs;
using test::SaveBytes;

constexpr std::int32_t kDepths[] = {1, 4, 8, 16, 24, 32};

// The headers the writer produces for a file without a gap.
ByteWriter WrittenHeaders(std::int32_t width, std::int32_t height, std::uint16_t depth,
                          std::uint32_t paletteBytes, std::uint32_t rowBytes) {
  const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(height);
  ByteWriter out;
  out.U8('B').U8('M').U32(54 + paletteBytes + pixelBytes).U16(0).U16(0).U32(54 + paletteBytes);
  out.U32(40).I32(width).I32(height).U16(1).U16(depth).U32(depth == 16 ? 3 : 0).U32(pixelBytes);
  out.I32(3780).I32(3780).U32(0).U32(0);
  return out;
}

void Paint(BmpImage& image, std::initializer_list<test::PixelCheck> pixels) {
  for (const test::PixelCheck& p : pixels) ASSERT_TRUE(image.WritePixel(p.x, p.y, p.colour));
}

BmpImage& Made(BmpImage& image, std::int32_t depth, std::int32_t width, std::int32_t height) {
  EXPECT_TRUE(image.SetColorDepth(depth));
  EXPECT_TRUE(image.SetDimensions(width, height));
  return image;
}

constexpr Pixel kBlack{0, 0, 0, 0};

// Every byte of a 2 x 3 24-bit file, written out by hand.
TEST(BmpWriterTest, TwentyFourBitFileByteForByte) {
  BmpImage image;
  Made(image, 24, 2, 3);
  Paint(image, {{0, 0, {1, 2, 3, 40}},
                {1, 0, {4, 5, 6, 0}},
                {0, 1, {7, 8, 9, 0}},
                {1, 1, {10, 11, 12, 0}},
                {0, 2, {13, 14, 15, 0}},
                {1, 2, {16, 17, 18, 0}}});
  const Bytes expected = {
      0x42, 0x4D, 78, 0,  0,    0,    0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40,   0,    0,  0,  2,    0,    0, 0, 3, 0, 0,  0, 1, 0,
      24,   0,                               // size, width, height, planes, bits
      0,    0,    0,  0,  24,   0,    0, 0,  // compression, image size
      0xC4, 0x0E, 0,  0,  0xC4, 0x0E, 0, 0,  // 3780 pixels per metre
      0,    0,    0,  0,  0,    0,    0, 0,  // colours used, important
      13,   14,   15, 16, 17,   18,   0, 0,  // bottom row, y = 2
      7,    8,    9,  10, 11,   12,   0, 0,  // y = 1
      1,    2,    3,  4,  5,    6,    0, 0,  // top row, y = 0
  };
  ASSERT_EQ(expected.size(), 78u);
  bool saved = false;
  EXPECT_EQ(SaveBytes(image, &saved), expected);
  EXPECT_TRUE(saved);
}

TEST(BmpWriterTest, ThirtyTwoBitFileKeepsAlpha) {
  BmpImage image;
  Made(image, 32, 2, 1);
  Paint(image, {{0, 0, {1, 2, 3, 4}}, {1, 0, {5, 6, 7, 255}}});
  const Bytes expected = WrittenHeaders(2, 1, 32, 0, 8).Append({1, 2, 3, 4, 5, 6, 7, 255}).Get();
  EXPECT_EQ(SaveBytes(image), expected);
}

TEST(BmpWriterTest, SixteenBitFile) {
  BmpImage image;
  Made(image, 16, 3, 2);
  Paint(image, {{0, 0, {255, 255, 255, 7}},
                {1, 0, {0, 0, 255, 0}},
                {2, 0, {0, 255, 0, 0}},
                {0, 1, {255, 0, 0, 0}},
                {1, 1, {8, 4, 8, 0}},
                {2, 1, {7, 3, 7, 0}}});
  const Bytes expected = WrittenHeaders(3, 2, 16, 12, 8)
                             .Append({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0})
                             .Append({0x1F, 0x00, 0x21, 0x08, 0x00, 0x00, 0, 0})  // y = 1
                             .Append({0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0, 0})  // y = 0
                             .Get();
  ASSERT_EQ(expected.size(), 82u);
  EXPECT_EQ(SaveBytes(image), expected);
}

TEST(BmpWriterTest, OneBitFile) {
  BmpImage image;
  Made(image, 1, 3, 2);
  // Colours other than the two of the palette go to the nearer one.
  Paint(image, {{0, 0, kWhite},
                {1, 0, kBlack},
                {2, 0, {200, 200, 200, 0}},
                {0, 1, {0, 0, 255, 0}},
                {1, 1, kBlack},
                {2, 1, kWhite}});
  const Bytes expected = WrittenHeaders(3, 2, 1, 8, 4)
                             .Append({0, 0, 0, 0, 255, 255, 255, 0})
                             .Append({0x20, 0, 0, 0})  // y = 1: 0 0 1
                             .Append({0xA0, 0, 0, 0})  // y = 0: 1 0 1
                             .Get();
  ASSERT_EQ(expected.size(), 70u);
  EXPECT_EQ(SaveBytes(image), expected);
}

TEST(BmpWriterTest, FourBitFile) {
  BmpImage image;
  Made(image, 4, 3, 2);
  Paint(image, {{0, 0, {0, 0, 255, 0}},
                {1, 0, {192, 192, 192, 0}},
                {2, 0, kWhite},
                {0, 1, kBlack},
                {1, 1, {0, 128, 0, 0}},
                {2, 1, {250, 5, 5, 0}}});
  ByteWriter out = WrittenHeaders(3, 2, 4, 64, 4);
  const std::uint8_t standard[16][3] = {
      {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
      {128, 128, 0}, {128, 128, 128}, {192, 192, 192}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
      {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
  for (const auto& entry : standard) out.Append({entry[0], entry[1], entry[2], 0});
  out.Append({0x02, 0xC0, 0, 0});  // y = 1: 0 2 12
  out.Append({0x98, 0xF0, 0, 0});  // y = 0: 9 8 15
  ASSERT_EQ(out.Size(), 126u);
  EXPECT_EQ(SaveBytes(image), out.Get());
}

TEST(BmpWriterTest, EightBitFileWithAChangedPalette) {
  BmpImage image;
  Made(image, 8, 2, 2);
  ASSERT_TRUE(image.SetPaletteEntry(3, Pixel{1, 2, 3, 4}));
  Paint(image,
        {{0, 0, {0, 32, 64, 0}}, {1, 0, kWhite}, {0, 1, {192, 192, 192, 0}}, {1, 1, {1, 2, 3, 0}}});
  ByteWriter out = WrittenHeaders(2, 2, 8, 1024, 4);
  for (std::int32_t i = 0; i < 256; ++i) out.Entry(image.PaletteEntry(i));
  out.Append({7, 3, 0, 0});     // y = 1
  out.Append({10, 255, 0, 0});  // y = 0
  const Bytes saved = SaveBytes(image);
  ASSERT_EQ(saved.size(), 1086u);
  EXPECT_EQ(saved, out.Get());
  EXPECT_EQ(Bytes(saved.begin() + 54 + 12, saved.begin() + 54 + 16), (Bytes{1, 2, 3, 4}));
}

// The row size at widths around every multiple of four bytes.
TEST(BmpWriterTest, FileSizesFollowThePaddedRows) {
  const struct {
    std::int32_t depth;
    std::int32_t width;
    std::uint32_t row;
  } cases[] = {{1, 1, 4},  {1, 32, 4},  {1, 33, 8},  {4, 3, 4},   {4, 8, 4},  {4, 9, 8},
               {8, 1, 4},  {8, 4, 4},   {8, 5, 8},   {16, 1, 4},  {16, 2, 4}, {16, 3, 8},
               {24, 1, 4}, {24, 3, 12}, {24, 4, 12}, {24, 5, 16}, {32, 1, 4}, {32, 3, 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.depth << " bits, width " << c.width);
    BmpImage image;
    Made(image, c.depth, c.width, 3);
    const std::uint32_t palette = c.depth == 16 ? 12 : (c.depth <= 8 ? 4u << c.depth : 0);
    const Bytes saved = SaveBytes(image);
    const Bytes headers =
        WrittenHeaders(c.width, 3, static_cast<std::uint16_t>(c.depth), palette, c.row).Get();
    ASSERT_EQ(saved.size(), 54 + palette + 3 * c.row);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 54), headers);
  }
}

TEST(BmpWriterTest, ResolutionIsWrittenAsHeldOrDefaulted) {
  const std::int32_t cases[][4] = {
      {0, 0, 3780, 3780}, {2835, 0, 2835, 3780}, {0, -1, 3780, -1}, {-5, 7, -5, 7}};
  for (const auto& c : cases) {
    BmpImage image;
    image.xPelsPerMeter = c[0];
    image.yPelsPerMeter = c[1];
    const Bytes saved = SaveBytes(image);
    ASSERT_EQ(saved.size(), 58u);
    const Bytes expected = ByteWriter().I32(c[2]).I32(c[3]).Get();
    EXPECT_EQ(Bytes(saved.begin() + 38, saved.begin() + 46), expected) << c[0] << " " << c[1];
    // Reading gives back exactly what was written.
    BmpImage reloaded;
    ASSERT_TRUE(test::LoadBytes(reloaded, saved));
    EXPECT_EQ(reloaded.xPelsPerMeter, c[2]);
    EXPECT_EQ(reloaded.yPelsPerMeter, c[3]);
  }
}

TEST(BmpWriterTest, SaveFailsWhenTheFileCannotBeOpened) {
  test::TempDir dir;
  BmpImage image;
  EXPECT_FALSE(image.SaveFile(dir.File("no/such/folder/out.bmp").c_str()));
  EXPECT_FALSE(image.SaveFile(nullptr));
  EXPECT_FALSE(image.SaveFile(""));
  EXPECT_FALSE(image.SaveFile(dir.Path().string().c_str()));
  EXPECT_FALSE(test::FileExists(dir.File("no")));
}

// A full disk: small files fail at the final flush, large ones in a row write.
TEST(BmpWriterTest, SaveFailsOnAFullDisk) {
  if (!test::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  for (const std::int32_t depth : kDepths) {
    for (const std::int32_t size : {1, 300}) {
      SCOPED_TRACE(::testing::Message() << depth << " bits, " << size << " x " << size);
      BmpImage image;
      Made(image, depth, size, size);
      EXPECT_FALSE(image.SaveFile("/dev/full"));
    }
  }
}

// Writer then reader: each depth gives back what it can hold.
TEST(BmpWriterTest, RoundTripAtEveryDepth) {
  for (const std::int32_t depth : kDepths) {
    for (const std::int32_t width : {1, 2, 3, 4, 5, 7, 8, 9, 33}) {
      SCOPED_TRACE(::testing::Message() << depth << " bits, width " << width);
      BmpImage image;
      Made(image, depth, width, 3);
      image.xPelsPerMeter = 1000 + depth;
      image.yPelsPerMeter = -width;
      test::FillDistinct(image);
      BmpImage reloaded;
      ASSERT_TRUE(test::LoadBytes(reloaded, SaveBytes(image)));
      ASSERT_TRUE(ImageIs(reloaded, width, 3, depth));
      EXPECT_EQ(reloaded.xPelsPerMeter, 1000 + depth);
      EXPECT_EQ(reloaded.yPelsPerMeter, -width);
      for (std::int32_t x = 0; x < width; ++x) {
        for (std::int32_t y = 0; y < 3; ++y) {
          const Pixel held = image.ReadPixel(x, y);
          Pixel expected = held;
          if (depth <= 8) {
            expected = image.PaletteEntry(image.NearestPaletteIndex(held));
          } else if (depth == 16) {
            expected = Pixel{static_cast<std::uint8_t>(held.blue & 0xF8),
                             static_cast<std::uint8_t>(held.green & 0xF8),
                             static_cast<std::uint8_t>(held.red & 0xF8), 0};
          } else if (depth == 24) {
            expected.alpha = 0;
          }
          ASSERT_EQ(reloaded.ReadPixel(x, y), expected) << "(" << x << "," << y << ")";
        }
      }
    }
  }
}

// Pixels that are palette colours come back exactly, alpha included, and
// the palette itself survives.
TEST(BmpWriterTest, IndexedRoundTripKeepsPaletteAndPixels) {
  for (const std::int32_t depth : {1, 4, 8}) {
    SCOPED_TRACE(depth);
    BmpImage image;
    Made(image, depth, 11, 5);
    const std::int32_t colours = image.PaletteSize();
    for (std::int32_t i = 0; i < colours; ++i) {
      ASSERT_TRUE(image.SetPaletteEntry(
          i, Pixel{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                   static_cast<std::uint8_t>(i * 3), static_cast<std::uint8_t>(i * 7)}));
    }
    for (std::int32_t x = 0; x < 11; ++x) {
      for (std::int32_t y = 0; y < 5; ++y) {
        image.WritePixel(x, y, image.PaletteEntry((x * 5 + y * 3) % colours));
      }
    }
    BmpImage reloaded;
    ASSERT_TRUE(test::LoadBytes(reloaded, SaveBytes(image)));
    EXPECT_TRUE(test::SamePixels(reloaded, image));
    for (std::int32_t i = 0; i < colours; ++i) {
      ASSERT_EQ(reloaded.PaletteEntry(i), image.PaletteEntry(i)) << i;
    }
  }
}

// Reader then writer: a file the writer made comes out again byte for byte.
// At 16 bits the reader keeps five bits of the six green ones, so the first
// reload drops the lowest green bit once and from then on nothing changes.
TEST(BmpWriterTest, SavedFilesReloadAndSaveIdentically) {
  for (const std::int32_t depth : kDepths) {
    SCOPED_TRACE(depth);
    BmpImage image;
    Made(image, depth, 13, 4);
    test::FillDistinct(image);
    image.xPelsPerMeter = 2835;
    const Bytes first = SaveBytes(image);
    BmpImage reloaded;
    ASSERT_TRUE(test::LoadBytes(reloaded, first));
    const Bytes second = SaveBytes(reloaded);
    if (depth != 16) {
      EXPECT_EQ(second, first);
    }
    BmpImage again;
    ASSERT_TRUE(test::LoadBytes(again, second));
    EXPECT_EQ(SaveBytes(again), second);
  }
}

}  // namespace
}  // namespace quarvel
