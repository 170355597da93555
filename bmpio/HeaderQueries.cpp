// A file's headers without loading its pixels. Nothing is validated.
#include <cstdint>

#include "bmpio/BmpHeaders.h"
#include "bmpio/FileStream.h"

namespace quarvel {

BmpFileHeader ReadFileHeaderOf(const char* path) {
  BmpFileHeader header;
  FileStream file(path, "rb");
  if (!file.IsOpen()) {
    header.bfType = 0;
    return header;
  }
  ReadField(header.bfType, file.Get());
  ReadFileHeaderTail(header, file.Get());
  return header;
}

BmpInfoHeader ReadInfoHeaderOf(const char* path) {
  BmpInfoHeader header;
  FileStream file(path, "rb");
  if (!file.IsOpen()) {
    return header;
  }
  // The file header is passed over a byte at a time, uninterpreted.
  for (int i = 0; i < kFileHeaderSize; ++i) {
    std::uint8_t scratch = 0;
    GuardedRead(&scratch, 1, 1, file.Get());
  }
  ReadInfoHeaderFields(header, file.Get());
  return header;
}

std::int32_t ColorDepthOf(const char* path) {
  return ReadInfoHeaderOf(path).biBitCount;
}

}  // namespace quarvel
