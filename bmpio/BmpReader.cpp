// LoadFile: headers, palette or masks, gap, then the rows bottom-up.
#include <algorithm>
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
namespace {

// Consumes `count` bytes, or the rest of the stream when it is shorter, in
// pieces so that a huge declared gap costs no memory.
void SkipBytes(std::FILE* stream, std::int64_t count) {
  std::uint8_t scratch[4096];
  while (count > 0) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof scratch));
    if (std::fread(scratch, 1, piece, stream) < piece) {
      return;
    }
    count -= static_cast<std::int64_t>(piece);
  }
}

// bfOffBits - 54 as a signed 32-bit value: offsets past 2^31 + 53 come out
// negative, as they would in 32-bit arithmetic.
std::int32_t OffsetPastHeaders(std::uint32_t bfOffBits) {
  const std::uint32_t difference = bfOffBits - static_cast<std::uint32_t>(kHeadersSize);
  return difference > 0x7FFFFFFFu
             ? static_cast<std::int32_t>(static_cast<std::int64_t>(difference) - 0x100000000LL)
             : static_cast<std::int32_t>(difference);
}

}  // namespace

bool BmpImage::LoadFile(const char* path) {
  FileStream file(path, "rb");
  if (!file.IsOpen()) {
    SetColorDepth(1);
    SetDimensions(1, 1);
    return false;
  }
  std::FILE* stream = file.Get();

  // An empty file leaves the preset signature in place; it fails below as a
  // short header instead.
  BmpFileHeader fileHeader;
  bool headerComplete = ReadField(fileHeader.bfType, stream);
  if (fileHeader.bfType != kBmpSignature) {
    return false;
  }
  headerComplete = ReadFileHeaderTail(fileHeader, stream) && headerComplete;
  BmpInfoHeader info;
  headerComplete = ReadInfoHeaderFields(info, stream) && headerComplete;

  auto badHeader = [this] {
    SetDimensions(1, 1);
    SetColorDepth(1);
    return false;
  };
  if (!headerComplete) {
    return badHeader();
  }
  xPelsPerMeter = info.biXPelsPerMeter;
  yPelsPerMeter = info.biYPelsPerMeter;

  const std::int32_t depth = info.biBitCount;
  if (info.biCompression != kCompressionRgb && info.biCompression != kCompressionBitfields) {
    return badHeader();
  }
  if (info.biCompression == kCompressionBitfields && depth != 16) {
    return badHeader();
  }
  if (!IsSupportedDepth(depth)) {
    return badHeader();
  }
  SetColorDepth(depth);
  if (info.biWidth <= 0 || info.biHeight <= 0) {
    return badHeader();
  }
  // The row size arithmetic works on depth x width as a 32-bit value, and
  // SetDimensions refuses sizes past the pixel bound before allocating.
  if (!FitsInt32(static_cast<std::int64_t>(depth) * info.biWidth) ||
      !SetDimensionsUnfilled(info.biWidth, info.biHeight)) {
    return badHeader();
  }

  // Offset of the first byte not yet taken from the file.
  std::int64_t taken = kHeadersSize;
  if (IsIndexedDepth(depth)) {
    const std::int64_t fullPalette = IntegerPower(2, depth);
    std::int64_t count = 0;
    if (info.biSize > static_cast<std::uint32_t>(kInfoHeaderSize) &&
        kFileHeaderSize + static_cast<std::int64_t>(info.biSize) <= fileHeader.bfOffBits) {
      // A V4 or V5 header: its palette follows the whole header.
      SkipBytes(stream, static_cast<std::int64_t>(info.biSize) - kInfoHeaderSize);
      taken = kFileHeaderSize + static_cast<std::int64_t>(info.biSize);
      count = (static_cast<std::int64_t>(fileHeader.bfOffBits) - taken) / kPaletteEntrySize;
    } else {
      count = std::max(OffsetPastHeaders(fileHeader.bfOffBits) / kPaletteEntrySize, 0);
    }
    count = std::min(count, fullPalette);
    for (std::int64_t i = 0; i < count; ++i) {
      // An entry the file ends part-way through keeps its standard colour.
      Pixel entry;
      if (GuardedRead(&entry, kPaletteEntrySize, 1, stream)) {
        palette[i] = entry;
      }
    }
    std::fill(palette + count, palette + fullPalette, kWhite);
    taken += count * kPaletteEntrySize;
  }

  SixteenBitMasks masks;
  if (depth == 16 && info.biCompression == kCompressionBitfields) {
    masks = ReadMaskBlock(stream);
    taken += kMaskBlockSize;
  }

  // Rows start at bfOffBits when it lies at or past what has been taken;
  // an offset pointing back into the headers is ignored.
  if (fileHeader.bfOffBits >= taken) {
    SkipBytes(stream, fileHeader.bfOffBits - taken);
  }

  if (depth == 16) {
    ReadSixteenBitRows(*this, masks, stream);
    return true;
  }

  const auto rowSize = static_cast<std::size_t>(PaddedRowSize(depth, width));
  const std::int32_t bandRows = BandRows(static_cast<std::int64_t>(rowSize));
  std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[bandRows * rowSize]);
  if (!band) {
    return badHeader();
  }
  // Rows 0 .. unread - 1 are those a short file never reaches.
  std::int32_t unread = 0;
  for (std::int32_t y = height - 1; y >= 0;) {
    const std::int32_t rows = std::min(bandRows, y + 1);
    const std::size_t arrived = std::fread(band.get(), 1, rows * rowSize, stream);
    // A file that ends inside the rows keeps the whole rows that arrived; the
    // rest are white.
    const auto complete = static_cast<std::int32_t>(arrived / rowSize);
    if (complete > 0) {
      DecodeBand(*this, band.get(), rowSize, complete, y);
    }
    if (complete < rows) {
      unread = y - complete + 1;
      break;
    }
    y -= rows;
  }
  FillRowsWhite(*this, unread);
  return true;
}

}  // namespace quarvel
