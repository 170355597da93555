// SaveFile: headers, palette or masks, then the rows bottom-up.
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "bmpio/BmpHeaders.h"
#include "bmpio/FileStream.h"
#include "bmpio/SixteenBit.h"
#include "image/BmpImage.h"
#include "image/CheckedMath.h"

namespace quarvel {
namespace {

using RowEncoder = bool (BmpImage::*)(std::uint8_t*, std::int32_t, std::int32_t) const;

RowEncoder EncoderFor(std::int32_t depth) {
  switch (depth) {
    case 1:
      return &BmpImage::EncodeRow1;
    case 4:
      return &BmpImage::EncodeRow4;
    case 8:
      return &BmpImage::EncodeRow8;
    case 24:
      return &BmpImage::EncodeRow24;
    default:
      return &BmpImage::EncodeRow32;
  }
}

}  // namespace

bool BmpImage::SaveFile(const char* path) const {
  FileStream file(path, "wb");
  if (!file.IsOpen()) {
    return false;
  }
  std::FILE* stream = file.Get();

  // The header sizes in double precision, in this order, as stored files have
  // always carried them. Width and height are bounded by the pixel limit, so
  // every value fits its 32-bit field.
  const double bytesPerPixel = bitDepth * 0.125;
  const double rowData = std::ceil(bytesPerPixel * width);
  double pad = 4.0 - std::fmod(rowData, 4.0);
  if (pad == 4.0) pad = 0.0;
  const double paddedRow = rowData + pad;
  const double pixelBytes = paddedRow * height;
  double paletteBytes = 0.0;
  if (IsIndexedDepth(bitDepth)) {
    paletteBytes = 4.0 * IntegerPower(2, bitDepth);
  } else if (bitDepth == 16) {
    paletteBytes = kMaskBlockSize;
  }

  BmpFileHeader fileHeader;
  fileHeader.bfSize = static_cast<std::uint32_t>((paletteBytes + pixelBytes) + kHeadersSize);
  fileHeader.bfOffBits = static_cast<std::uint32_t>(paletteBytes + kHeadersSize);
  bool ok = WriteFileHeaderFields(fileHeader, stream);

  BmpInfoHeader info;
  info.biSize = kInfoHeaderSize;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = static_cast<std::uint16_t>(bitDepth);
  info.biCompression = bitDepth == 16 ? kCompressionBitfields : kCompressionRgb;
  info.biSizeImage = static_cast<std::uint32_t>(pixelBytes);
  info.biXPelsPerMeter = xPelsPerMeter != 0 ? xPelsPerMeter : DefaultPelsPerMeter;
  info.biYPelsPerMeter = yPelsPerMeter != 0 ? yPelsPerMeter : DefaultPelsPerMeter;
  info.biClrUsed = 0;
  info.biClrImportant = 0;
  ok = WriteInfoHeaderFields(info, stream) && ok;

  if (bitDepth == 16) {
    ok = WriteSixteenBitBlock(*this, stream) && ok;
    return file.Close() && ok;
  }

  if (IsIndexedDepth(bitDepth)) {
    // Palette entries are bytes in file order already: no byte reversal.
    const auto entries = static_cast<std::size_t>(PaletteSize());
    ok = std::fwrite(palette, kPaletteEntrySize, entries, stream) == entries && ok;
  }

  const std::int64_t rowSize = PaddedRowSize(bitDepth, width);
  // Zeroed once: the encoders store only data bytes, so the pad stays zero.
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[rowSize]());
  if (!row) {
    file.Close();
    return false;
  }
  const RowEncoder encode = EncoderFor(bitDepth);
  const auto length = static_cast<std::int32_t>(rowSize);
  for (std::int32_t y = height - 1; y >= 0 && ok; --y) {
    if (!(this->*encode)(row.get(), length, y)) {
      ok = false;
      break;
    }
    ok = std::fwrite(row.get(), 1, static_cast<std::size_t>(rowSize), stream) ==
         static_cast<std::size_t>(rowSize);
  }
  return file.Close() && ok;
}

}  // namespace quarvel
