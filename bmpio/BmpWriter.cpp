// SaveFile: headers, palette or masks, then the rows bottom-up.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "bmpio/BmpHeaders.h"
#include "bmpio/FileStream.h"
#include "bmpio/RowBands.h"
#include "bmpio/SixteenBit.h"
#include "image/BmpImage.h"
#include "image/CheckedMath.h"

namespace quarvel {
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

  const auto rowSize = static_cast<std::size_t>(PaddedRowSize(bitDepth, width));
  const std::int32_t bandRows = BandRows(static_cast<std::int64_t>(rowSize));
  // Zeroed once: the encoders store only data bytes, so the pad stays zero.
  std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[bandRows * rowSize]());
  // Lives for this call only, so the palette cannot change under it; on the
  // heap, as its 40 KiB could overflow the small stack of a host's thread.
  std::unique_ptr<NearestIndexCache> cache;
  if (IsIndexedDepth(bitDepth)) {
    cache.reset(new (std::nothrow) NearestIndexCache(*this));
  }
  if (!band || (IsIndexedDepth(bitDepth) && !cache)) {
    file.Close();
    return false;
  }
  for (std::int32_t y = height - 1; y >= 0 && ok;) {
    const std::int32_t rows = std::min(bandRows, y + 1);
    EncodeBand(*this, band.get(), rowSize, rows, y, cache.get());
    ok = std::fwrite(band.get(), 1, rows * rowSize, stream) == rows * rowSize;
    y -= rows;
  }
  return file.Close() && ok;
}

}  // namespace quarvel
