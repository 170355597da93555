// Whole images through the reader's and writer's bands of rows, against a
// plain pixel-by-pixel reading of the file format. The sizes cross tiles
// (64 columns), bands (up to 32 rows) and bytes, so every edge of the banded
// loops is walked.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bmpio/RowBands.h"
#include "bmpio/SixteenBit.h"
#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Bytes;

constexpr std::int32_t kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr std::int32_t kWidths[] = {1, 7, 63, 64, 65, 130};
constexpr std::int32_t kHeight = 71;

std::size_t RowBytes(std::int32_t depth, std::int32_t width) {
  return static_cast<std::size_t>((depth * width + 31) / 32 * 4);
}

std::uint32_t Read32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// The stored form of image row y, pixel by pixel.
Bytes ExpectedRow(const BmpImage& image, std::int32_t y) {
  const std::int32_t depth = image.ColorDepth();
  Bytes row(RowBytes(depth, image.Width()), 0);
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    const Pixel p = image.ReadPixel(x, y);
    const auto at = static_cast<std::size_t>(x);
    if (depth == 32 || depth == 24) {
      const std::size_t step = static_cast<std::size_t>(depth / 8);
      row[step * at] = p.blue;
      row[step * at + 1] = p.green;
      row[step * at + 2] = p.red;
      if (depth == 32) row[step * at + 3] = p.alpha;
    } else if (depth == 16) {
      const unsigned word = ((p.red >> 3) << 11) | ((p.green >> 2) << 5) | (p.blue >> 3);
      row[2 * at] = static_cast<std::uint8_t>(word & 0xFF);
      row[2 * at + 1] = static_cast<std::uint8_t>(word >> 8);
    } else {
      const std::int32_t perByte = 8 / depth;
      const unsigned index = image.NearestPaletteIndex(p);
      row[at / perByte] |=
          static_cast<std::uint8_t>(index << ((perByte - 1 - x % perByte) * depth));
    }
  }
  return row;
}

TEST(RowBandsTest, SavedRowsAreThePixelsOneByOne) {
  for (const std::int32_t depth : kDepths) {
    for (const std::int32_t width : kWidths) {
      SCOPED_TRACE(::testing::Message() << depth << " bits, width " << width);
      BmpImage image;
      ASSERT_TRUE(image.SetColorDepth(depth));
      ASSERT_TRUE(image.SetDimensions(width, kHeight));
      test::FillDistinct(image);
      const Bytes file = test::SaveBytes(image);
      const std::size_t rowBytes = RowBytes(depth, width);
      const std::size_t offset = Read32(file, 10);
      ASSERT_EQ(file.size(), offset + rowBytes * kHeight);
      for (std::int32_t y = kHeight - 1; y >= 0; --y) {
        const std::size_t at = offset + static_cast<std::size_t>(kHeight - 1 - y) * rowBytes;
        ASSERT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(at),
                        file.begin() + static_cast<std::ptrdiff_t>(at + rowBytes)),
                  ExpectedRow(image, y))
            << "row " << y;
      }
    }
  }
}

// A file of `height` rows of random bytes (bits past the last pixel
// included); indexed depths get a random palette, 16 bits the default masks.
struct RandomFile {
  Bytes bytes;
  std::vector<Pixel> palette;
  std::size_t offset = 0;
  std::size_t rowBytes = 0;
};

RandomFile MakeRandomFile(std::int32_t depth, std::int32_t width, std::int32_t height,
                          std::mt19937& random) {
  RandomFile file;
  std::uniform_int_distribution<int> byte(0, 255);
  const std::size_t entries = depth <= 8 ? std::size_t{1} << depth : 0;
  for (std::size_t i = 0; i < entries; ++i) {
    file.palette.push_back(
        Pixel{static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
              static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random))});
  }
  test::HeaderFields fields;
  fields.width = width;
  fields.height = height;
  fields.bitCount = static_cast<std::uint16_t>(depth);
  file.offset = 54 + 4 * entries;
  fields.offBits = static_cast<std::uint32_t>(file.offset);
  test::ByteWriter writer = test::Headers(fields);
  for (const Pixel& entry : file.palette) writer.Entry(entry);
  file.rowBytes = RowBytes(depth, width);
  for (std::size_t i = 0; i < file.rowBytes * static_cast<std::size_t>(height); ++i) {
    writer.U8(static_cast<std::uint8_t>(byte(random)));
  }
  file.bytes = writer.Get();
  return file;
}

// Pixel (x, y) as the format defines it.
Pixel ExpectedPixel(const RandomFile& file, std::int32_t depth, std::int32_t height, std::int32_t x,
                    std::int32_t y) {
  const std::size_t row = file.offset + static_cast<std::size_t>(height - 1 - y) * file.rowBytes;
  const auto at = static_cast<std::size_t>(x);
  const Bytes& b = file.bytes;
  switch (depth) {
    case 32:
      return Pixel{b[row + 4 * at], b[row + 4 * at + 1], b[row + 4 * at + 2], b[row + 4 * at + 3]};
    case 24:
      return Pixel{b[row + 3 * at], b[row + 3 * at + 1], b[row + 3 * at + 2], 0};
    case 16: {
      const unsigned word = b[row + 2 * at] | (b[row + 2 * at + 1] << 8);
      return Pixel{static_cast<std::uint8_t>((word & 0x1F) * 8),
                   static_cast<std::uint8_t>(((word >> 5) & 0x1F) * 8),
                   static_cast<std::uint8_t>(((word >> 10) & 0x1F) * 8), 0};
    }
    default: {
      const std::int32_t perByte = 8 / depth;
      const unsigned index =
          (b[row + at / perByte] >> ((perByte - 1 - x % perByte) * depth)) & ((1u << depth) - 1);
      return file.palette[index];
    }
  }
}

TEST(RowBandsTest, LoadedPixelsAreTheFileBytesOneByOne) {
  std::mt19937 random(7);
  for (const std::int32_t depth : kDepths) {
    for (const std::int32_t width : kWidths) {
      SCOPED_TRACE(::testing::Message() << depth << " bits, width " << width);
      const RandomFile file = MakeRandomFile(depth, width, kHeight, random);
      BmpImage image;
      ASSERT_TRUE(test::LoadBytes(image, file.bytes));
      for (std::int32_t x = 0; x < width; ++x) {
        for (std::int32_t y = 0; y < kHeight; ++y) {
          ASSERT_EQ(image.ReadPixel(x, y), ExpectedPixel(file, depth, kHeight, x, y))
              << "pixel (" << x << "," << y << ")";
        }
      }
    }
  }
}

// Files that end after some bands: whole rows that arrived (the bottom of
// the picture) hold the file's pixels, the others are white, or at 16 bits
// repeat the last word.
TEST(RowBandsTest, FilesEndingAfterSeveralBandsKeepTheirWholeRows) {
  constexpr std::int32_t kWidth = 5;
  constexpr std::int32_t kTall = 100;
  std::mt19937 random(3);
  for (const std::int32_t depth : {8, 16, 24}) {
    const RandomFile file = MakeRandomFile(depth, kWidth, kTall, random);
    for (const std::int32_t rowsKept : {0, 31, 32, 33, 70, 99}) {
      for (const std::size_t extra : {std::size_t{0}, std::size_t{3}}) {
        SCOPED_TRACE(::testing::Message()
                     << depth << " bits, " << rowsKept << " rows and " << extra << " bytes");
        Bytes bytes = file.bytes;
        bytes.resize(file.offset + file.rowBytes * static_cast<std::size_t>(rowsKept) + extra);
        BmpImage image;
        ASSERT_TRUE(test::LoadBytes(image, bytes));
        const std::int32_t firstKept = kTall - rowsKept;
        // At 16 bits the 3 extra bytes hold one more word (the pixel it is
        // is that word too), and the rest repeats the last word.
        Pixel rest = kWhite;
        if (depth == 16 && extra > 0) {
          rest = ExpectedPixel(file, depth, kTall, 0, firstKept - 1);
        } else if (depth == 16 && rowsKept > 0) {
          rest = ExpectedPixel(file, depth, kTall, kWidth - 1, firstKept);
        }
        for (std::int32_t y = 0; y < kTall; ++y) {
          for (std::int32_t x = 0; x < kWidth; ++x) {
            const Pixel expected = y >= firstKept ? ExpectedPixel(file, depth, kTall, x, y) : rest;
            ASSERT_EQ(image.ReadPixel(x, y), expected) << "pixel (" << x << "," << y << ")";
          }
        }
      }
    }
  }
}

// Large 16-bit images decode through a table of every word; it must agree
// with the masks word for word, for wide and narrow fields alike.
TEST(RowBandsTest, LargeSixteenBitImagesDecodeEveryWordThroughTheMasks) {
  constexpr std::int32_t kSide = 1024;  // 2^20 pixels: every word occurs 16 times
  const SixteenBitMasks cases[] = {{0x7C00, 0x03E0, 0x001F}, {0xF000, 0x0FC0, 0x0007}};
  for (const SixteenBitMasks& masks : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << masks.red << " " << masks.green);
    test::HeaderFields fields;
    fields.width = kSide;
    fields.height = kSide;
    fields.bitCount = 16;
    fields.compression = 3;
    fields.offBits = 66;
    test::ByteWriter writer = test::Headers(fields);
    writer.U32(masks.red).U32(masks.green).U32(masks.blue);
    for (std::int32_t row = 0; row < kSide; ++row) {
      for (std::int32_t x = 0; x < kSide; ++x)
        writer.U16(static_cast<std::uint16_t>(row * kSide + x));
    }
    BmpImage image;
    ASSERT_TRUE(test::LoadBytes(image, writer.Get()));
    const auto channel = [](unsigned word, std::uint16_t mask) {
      return static_cast<std::uint8_t>(((word & mask) >> MaskShift(mask)) * 8);
    };
    for (std::int32_t y = 0; y < kSide; y += 7) {
      for (std::int32_t x = 0; x < kSide; ++x) {
        const unsigned word = static_cast<std::uint16_t>((kSide - 1 - y) * kSide + x);
        const Pixel expected{channel(word, masks.blue), channel(word, masks.green),
                             channel(word, masks.red), 0};
        ASSERT_EQ(image.ReadPixel(x, y), expected) << "word " << word;
      }
    }
  }
}

// The writer's colour cache must give exactly the palette search's answer:
// the first exact match, else the lowest index among the nearest, also for
// repeated palette colours and for more colours than the cache keeps.
TEST(RowBandsTest, CachedNearestIndexIsTheSearchesAnswer) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> byte(0, 255);
  const auto randomColour = [&] {
    return Pixel{static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
                 static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random))};
  };
  for (const std::int32_t depth : {1, 4, 8}) {
    SCOPED_TRACE(::testing::Message() << depth << " bits");
    BmpImage image;
    ASSERT_TRUE(image.SetColorDepth(depth));
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) image.SetPaletteEntry(i, randomColour());
    image.SetPaletteEntry(image.PaletteSize() - 1, image.PaletteEntry(0));
    std::vector<Pixel> colours;
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
      Pixel colour = image.PaletteEntry(i);
      colour.alpha = static_cast<std::uint8_t>(colour.alpha + 1);  // alpha takes no part
      colours.push_back(colour);
      colour.blue = 0;
      colour.green = 0;
      colours.push_back(colour);
    }
    for (int i = 0; i < 20000; ++i) colours.push_back(randomColour());
    NearestIndexCache cache(image);
    for (int pass = 0; pass < 2; ++pass) {
      for (const Pixel& colour : colours) {
        ASSERT_EQ(cache.Index(colour), image.NearestPaletteIndex(colour))
            << ::testing::PrintToString(colour) << " in pass " << pass;
      }
    }
  }
}

}  // namespace
}  // namespace quarvel
