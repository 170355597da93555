#include "bmpio/BmpHeaders.h"

#include "bmpio/ByteOrder.h"

namespace quarvel {

std::uint32_t ReverseBytes32(std::uint32_t value) {
  return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
         ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

std::uint16_t ReverseBytes16(std::uint16_t value) {
  return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

namespace {

std::int32_t ReverseSigned32(std::int32_t value) {
  return static_cast<std::int32_t>(ReverseBytes32(static_cast<std::uint32_t>(value)));
}

template <typename T>
T FromLittleEndian(T value);
template <>
std::uint16_t FromLittleEndian(std::uint16_t value) {
  return kHostIsBigEndian ? ReverseBytes16(value) : value;
}
template <>
std::uint32_t FromLittleEndian(std::uint32_t value) {
  return kHostIsBigEndian ? ReverseBytes32(value) : value;
}
template <>
std::int32_t FromLittleEndian(std::int32_t value) {
  return kHostIsBigEndian ? ReverseSigned32(value) : value;
}

template <typename T>
bool ReadLittleEndian(T& field, std::FILE* stream) {
  T raw{};
  if (!GuardedRead(&raw, sizeof raw, 1, stream)) {
    return false;
  }
  field = FromLittleEndian(raw);
  return true;
}

template <typename T>
bool WriteLittleEndian(T field, std::FILE* stream) {
  const T raw = FromLittleEndian(field);  // the swap is its own inverse
  return std::fwrite(&raw, sizeof raw, 1, stream) == 1;
}

}  // namespace

void BmpFileHeader::ReverseByteOrder() {
  bfType = ReverseBytes16(bfType);
  bfSize = ReverseBytes32(bfSize);
  bfReserved1 = ReverseBytes16(bfReserved1);
  bfReserved2 = ReverseBytes16(bfReserved2);
  bfOffBits = ReverseBytes32(bfOffBits);
}

void BmpInfoHeader::ReverseByteOrder() {
  biSize = ReverseBytes32(biSize);
  biWidth = ReverseSigned32(biWidth);
  biHeight = ReverseSigned32(biHeight);
  biPlanes = ReverseBytes16(biPlanes);
  biBitCount = ReverseBytes16(biBitCount);
  biCompression = ReverseBytes32(biCompression);
  biSizeImage = ReverseBytes32(biSizeImage);
  biXPelsPerMeter = ReverseSigned32(biXPelsPerMeter);
  biYPelsPerMeter = ReverseSigned32(biYPelsPerMeter);
  biClrUsed = ReverseBytes32(biClrUsed);
  biClrImportant = ReverseBytes32(biClrImportant);
}

bool GuardedRead(void* buffer, std::size_t itemSize, std::size_t count, std::FILE* stream) {
  if (std::feof(stream)) {
    return false;
  }
  return std::fread(buffer, itemSize, count, stream) >= count;
}

bool ReadField(std::uint16_t& field, std::FILE* stream) {
  return ReadLittleEndian(field, stream);
}
bool ReadField(std::uint32_t& field, std::FILE* stream) {
  return ReadLittleEndian(field, stream);
}
bool ReadField(std::int32_t& field, std::FILE* stream) {
  return ReadLittleEndian(field, stream);
}
bool WriteField(std::uint16_t field, std::FILE* stream) {
  return WriteLittleEndian(field, stream);
}
bool WriteField(std::uint32_t field, std::FILE* stream) {
  return WriteLittleEndian(field, stream);
}
bool WriteField(std::int32_t field, std::FILE* stream) {
  return WriteLittleEndian(field, stream);
}

bool ReadFileHeaderTail(BmpFileHeader& header, std::FILE* stream) {
  // Every field is attempted, whatever the earlier reads returned.
  bool ok = ReadField(header.bfSize, stream);
  ok = ReadField(header.bfReserved1, stream) && ok;
  ok = ReadField(header.bfReserved2, stream) && ok;
  ok = ReadField(header.bfOffBits, stream) && ok;
  return ok;
}

bool ReadInfoHeaderFields(BmpInfoHeader& header, std::FILE* stream) {
  bool ok = ReadField(header.biSize, stream);
  ok = ReadField(header.biWidth, stream) && ok;
  ok = ReadField(header.biHeight, stream) && ok;
  ok = ReadField(header.biPlanes, stream) && ok;
  ok = ReadField(header.biBitCount, stream) && ok;
  ok = ReadField(header.biCompression, stream) && ok;
  ok = ReadField(header.biSizeImage, stream) && ok;
  ok = ReadField(header.biXPelsPerMeter, stream) && ok;
  ok = ReadField(header.biYPelsPerMeter, stream) && ok;
  ok = ReadField(header.biClrUsed, stream) && ok;
  ok = ReadField(header.biClrImportant, stream) && ok;
  return ok;
}

bool WriteFileHeaderFields(const BmpFileHeader& header, std::FILE* stream) {
  bool ok = WriteField(header.bfType, stream);
  ok = WriteField(header.bfSize, stream) && ok;
  ok = WriteField(header.bfReserved1, stream) && ok;
  ok = WriteField(header.bfReserved2, stream) && ok;
  ok = WriteField(header.bfOffBits, stream) && ok;
  return ok;
}

bool WriteInfoHeaderFields(const BmpInfoHeader& header, std::FILE* stream) {
  bool ok = WriteField(header.biSize, stream);
  ok = WriteField(header.biWidth, stream) && ok;
  ok = WriteField(header.biHeight, stream) && ok;
  ok = WriteField(header.biPlanes, stream) && ok;
  ok = WriteField(header.biBitCount, stream) && ok;
  ok = WriteField(header.biCompression, stream) && ok;
  ok = WriteField(header.biSizeImage, stream) && ok;
  ok = WriteField(header.biXPelsPerMeter, stream) && ok;
  ok = WriteField(header.biYPelsPerMeter, stream) && ok;
  ok = WriteField(header.biClrUsed, stream) && ok;
  ok = WriteField(header.biClrImportant, stream) && ok;
  return ok;
}

}  // namespace quarvel
