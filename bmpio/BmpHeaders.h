// The BMP header records, their byte order, and the guarded stream read.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quarvel {

// On-disk layout.
constexpr std::int32_t kFileHeaderSize = 14;
constexpr std::int32_t kInfoHeaderSize = 40;
constexpr std::int32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
constexpr std::int32_t kPaletteEntrySize = 4;
constexpr std::int32_t kMaskBlockSize = 12;
constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM" read little-endian
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionBitfields = 3;

// The 14-byte file header. Fields not set by construction start at 0.
struct BmpFileHeader {
  std::uint16_t bfType = kBmpSignature;
  std::uint32_t bfSize = 0;
  std::uint16_t bfReserved1 = 0;
  std::uint16_t bfReserved2 = 0;
  std::uint32_t bfOffBits = 0;

  // Reverses the bytes of every field within its own width.
  void ReverseByteOrder();
};

// The 40-byte information header. Fields not set by construction start at 0.
struct BmpInfoHeader {
  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = kCompressionRgb;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 3780;
  std::int32_t biYPelsPerMeter = 3780;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  void ReverseByteOrder();
};

std::uint32_t ReverseBytes32(std::uint32_t value);
std::uint16_t ReverseBytes16(std::uint16_t value);

// Reads `count` items of `itemSize` bytes unless the stream is already at its
// end; true only when every item arrived.
bool GuardedRead(void* buffer, std::size_t itemSize, std::size_t count, std::FILE* stream);

// One header field as one item of its own width, little-endian in the file
// whatever the host's byte order. A read that does not deliver the whole
// field leaves it as it was.
bool ReadField(std::uint16_t& field, std::FILE* stream);
bool ReadField(std::uint32_t& field, std::FILE* stream);
bool ReadField(std::int32_t& field, std::FILE* stream);
bool WriteField(std::uint16_t field, std::FILE* stream);
bool WriteField(std::uint32_t field, std::FILE* stream);
bool WriteField(std::int32_t field, std::FILE* stream);

// The header fields in file order, each through ReadField / WriteField. The
// read functions attempt every field and report whether all arrived.
// ReadFileHeaderTail reads what follows bfType, which the reader checks first.
bool ReadFileHeaderTail(BmpFileHeader& header, std::FILE* stream);
bool ReadInfoHeaderFields(BmpInfoHeader& header, std::FILE* stream);
bool WriteFileHeaderFields(const BmpFileHeader& header, std::FILE* stream);
bool WriteInfoHeaderFields(const BmpInfoHeader& header, std::FILE* stream);

// Header inspection: a file's headers without loading it. Nothing is
// validated; fields the file does not hold keep their construction values.
BmpFileHeader ReadFileHeaderOf(const char* path);
BmpInfoHeader ReadInfoHeaderOf(const char* path);
std::int32_t ColorDepthOf(const char* path);

}  // namespace quarvel
