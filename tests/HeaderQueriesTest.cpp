// Reading a file's headers without loading it: whatever the file holds is
// returned, and fields the file does not reach keep defined starting values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmpio/BmpHeaders.h"
#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Bytes;
using test::ByteWriter;

void ExpectFileHeader(const BmpFileHeader& actual, const BmpFileHeader& expected) {
  EXPECT_EQ(actual.bfType, expected.bfType);
  EXPECT_EQ(actual.bfSize, expected.bfSize);
  EXPECT_EQ(actual.bfReserved1, expected.bfReserved1);
  EXPECT_EQ(actual.bfReserved2, expected.bfReserved2);
  EXPECT_EQ(actual.bfOffBits, expected.bfOffBits);
}

void ExpectInfoHeader(const BmpInfoHeader& actual, const BmpInfoHeader& expected) {
  EXPECT_EQ(actual.biSize, expected.biSize);
  EXPECT_EQ(actual.biWidth, expected.biWidth);
  EXPECT_EQ(actual.biHeight, expected.biHeight);
  EXPECT_EQ(actual.biPlanes, expected.biPlanes);
  EXPECT_EQ(actual.biBitCount, expected.biBitCount);
  EXPECT_EQ(actual.biCompression, expected.biCompression);
  EXPECT_EQ(actual.biSizeImage, expected.biSizeImage);
  EXPECT_EQ(actual.biXPelsPerMeter, expected.biXPelsPerMeter);
  EXPECT_EQ(actual.biYPelsPerMeter, expected.biYPelsPerMeter);
  EXPECT_EQ(actual.biClrUsed, expected.biClrUsed);
  EXPECT_EQ(actual.biClrImportant, expected.biClrImportant);
}

// Fourteen bytes that are a file header, each field distinct.
ByteWriter FileHeaderBytes(std::uint16_t type) {
  ByteWriter out;
  out.U16(type).U32(0x11223344u).U16(0x5566).U16(0x7788).U32(0x99AABBCCu);
  return out;
}

BmpFileHeader FileHeaderFields(std::uint16_t type) {
  BmpFileHeader header;
  header.bfType = type;
  header.bfSize = 0x11223344u;
  header.bfReserved1 = 0x5566;
  header.bfReserved2 = 0x7788;
  header.bfOffBits = 0x99AABBCCu;
  return header;
}

// An information header of any size whose fields all differ from the
// starting values; bytes past the 40 are filler.
ByteWriter& AppendInfoHeader(ByteWriter& out, std::uint32_t size, std::uint16_t bitCount) {
  out.U32(size)
      .I32(-7)
      .I32(-300)
      .U16(9)
      .U16(bitCount)
      .U32(6)
      .U32(0xDEADBEEFu)
      .I32(-1)
      .I32(2147483647);
  out.U32(0x01020304u).U32(0xF0F0F0F0u);
  return out.Repeat(0xAB, size > 40 ? size - 40 : 0);
}

BmpInfoHeader InfoHeaderFields(std::uint32_t size, std::uint16_t bitCount) {
  BmpInfoHeader header;
  header.biSize = size;
  header.biWidth = -7;
  header.biHeight = -300;
  header.biPlanes = 9;
  header.biBitCount = bitCount;
  header.biCompression = 6;
  header.biSizeImage = 0xDEADBEEFu;
  header.biXPelsPerMeter = -1;
  header.biYPelsPerMeter = 2147483647;
  header.biClrUsed = 0x01020304u;
  header.biClrImportant = 0xF0F0F0F0u;
  return header;
}

TEST(HeaderQueriesTest, MissingFileGivesDefinedValues) {
  test::TempDir dir;
  const std::string path = dir.File("absent.bmp");
  const BmpFileHeader file = ReadFileHeaderOf(path.c_str());
  EXPECT_EQ(file.bfType, 0);  // the one sign of a failed open
  EXPECT_EQ(file.bfSize, 0u);
  EXPECT_EQ(file.bfReserved1, 0);
  EXPECT_EQ(file.bfReserved2, 0);
  EXPECT_EQ(file.bfOffBits, 0u);
  // Starting values: planes 1, 3780 pixels per metre, everything else 0.
  const BmpInfoHeader info = ReadInfoHeaderOf(path.c_str());
  EXPECT_EQ(info.biSize, 0u);
  EXPECT_EQ(info.biWidth, 0);
  EXPECT_EQ(info.biHeight, 0);
  EXPECT_EQ(info.biPlanes, 1);
  EXPECT_EQ(info.biBitCount, 0);
  EXPECT_EQ(info.biCompression, 0u);
  EXPECT_EQ(info.biSizeImage, 0u);
  EXPECT_EQ(info.biXPelsPerMeter, 3780);
  EXPECT_EQ(info.biYPelsPerMeter, 3780);
  EXPECT_EQ(info.biClrUsed, 0u);
  EXPECT_EQ(info.biClrImportant, 0u);
  EXPECT_EQ(ColorDepthOf(path.c_str()), 0);
  EXPECT_EQ(ColorDepthOf(nullptr), 0);
  EXPECT_EQ(ReadFileHeaderOf(nullptr).bfType, 0);
}

TEST(HeaderQueriesTest, ReturnsWhateverTheFileHolds) {
  struct Case {
    const char* name;
    Bytes bytes;
    BmpFileHeader fileHeader;
    BmpInfoHeader infoHeader;
  };
  ByteWriter nonBmp = FileHeaderBytes(0x4B50);  // "PK", a zip archive
  AppendInfoHeader(nonBmp, 0x0403, 0x1234);
  ByteWriter fourteen = FileHeaderBytes(kBmpSignature);
  ByteWriter sixteen = FileHeaderBytes(kBmpSignature).U16(0x2828);
  ByteWriter v5 = FileHeaderBytes(kBmpSignature);
  AppendInfoHeader(v5, 124, 32).Repeat(0x00, 16);
  ByteWriter cutInDepth = FileHeaderBytes(kBmpSignature).U32(40).I32(-7).I32(-300).U16(9).U8(8);
  BmpInfoHeader cutInDepthFields;
  cutInDepthFields.biSize = 40;
  cutInDepthFields.biWidth = -7;
  cutInDepthFields.biHeight = -300;
  cutInDepthFields.biPlanes = 9;

  const Case cases[] = {
      // An empty file leaves even the signature at its starting value.
      {"empty file", {}, BmpFileHeader{}, BmpInfoHeader{}},
      {"file header only", fourteen.Get(), FileHeaderFields(kBmpSignature), BmpInfoHeader{}},
      // A field the file ends in keeps its starting value.
      {"ends inside biSize", sixteen.Get(), FileHeaderFields(kBmpSignature), BmpInfoHeader{}},
      {"ends inside biBitCount", cutInDepth.Get(), FileHeaderFields(kBmpSignature),
       cutInDepthFields},
      {"not a BMP file", nonBmp.Get(), FileHeaderFields(0x4B50), InfoHeaderFields(0x0403, 0x1234)},
      // A larger header is read as its first 40 bytes; the depth still comes
      // from offsets 28 and 29.
      {"V5 header", v5.Get(), FileHeaderFields(kBmpSignature), InfoHeaderFields(124, 32)},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("inspect.bmp");
    test::WriteFile(path, c.bytes);
    ExpectFileHeader(ReadFileHeaderOf(path.c_str()), c.fileHeader);
    ExpectInfoHeader(ReadInfoHeaderOf(path.c_str()), c.infoHeader);
    EXPECT_EQ(ColorDepthOf(path.c_str()), c.infoHeader.biBitCount);
  }
}

TEST(HeaderQueriesTest, AgreesWithWhatTheWriterWrote) {
  BmpImage image;
  image.SetColorDepth(8);
  image.SetDimensions(3, 2);
  image.SetResolutionDpi(300, 72);
  test::TempDir dir;
  const std::string path = dir.File("eight.bmp");
  ASSERT_TRUE(image.SaveFile(path.c_str()));

  const BmpFileHeader file = ReadFileHeaderOf(path.c_str());
  EXPECT_EQ(file.bfType, kBmpSignature);
  EXPECT_EQ(file.bfOffBits, 54u + 256u * 4u);
  EXPECT_EQ(file.bfSize, 54u + 1024u + 2u * 4u);  // two rows padded to 4 bytes
  const BmpInfoHeader info = ReadInfoHeaderOf(path.c_str());
  EXPECT_EQ(info.biSize, 40u);
  EXPECT_EQ(info.biWidth, 3);
  EXPECT_EQ(info.biHeight, 2);
  EXPECT_EQ(info.biXPelsPerMeter, 11811);
  EXPECT_EQ(info.biYPelsPerMeter, 2834);
  EXPECT_EQ(ColorDepthOf(path.c_str()), 8);
}

TEST(HeaderQueriesTest, EveryCallClosesItsFile) {
  // More calls than a process may hold open files: a stream left open by any
  // of the three would make the later opens fail and the values change.
  ByteWriter bytes = FileHeaderBytes(kBmpSignature);
  AppendInfoHeader(bytes, 40, 24);
  test::TempDir dir;
  const std::string path = dir.File("again.bmp");
  test::WriteFile(path, bytes.Get());
  for (int i = 0; i < 1100; ++i) {
    const BmpFileHeader file = ReadFileHeaderOf(path.c_str());
    const BmpInfoHeader info = ReadInfoHeaderOf(path.c_str());
    const std::int32_t depth = ColorDepthOf(path.c_str());
    if (file.bfSize != 0x11223344u || info.biWidth != -7 || depth != 24) {
      FAIL() << "call " << i << " read bfSize " << file.bfSize << ", biWidth " << info.biWidth
             << ", depth " << depth;
    }
  }
}

}  // namespace
}  // namespace quarvel
