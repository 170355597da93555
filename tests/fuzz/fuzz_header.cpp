// Header inspection on any bytes: every field is the file's little-endian
// value where the file holds all of it, and the record's starting value where
// it does not.
#include "bmpio/BmpHeaders.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace quarvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::ScratchFile file(data, size, "header");
  const BmpFileHeader f = ReadFileHeaderOf(file.Path());
  const BmpInfoHeader i = ReadInfoHeaderOf(file.Path());
  const BmpFileHeader f0;
  const BmpInfoHeader i0;
  auto at = [&](std::size_t offset, std::size_t width, std::uint32_t fallback) {
    return fuzz::FieldAt(data, size, offset, width, fallback);
  };
  FUZZ_CHECK(f.bfType == at(0, 2, f0.bfType) && f.bfSize == at(2, 4, f0.bfSize));
  FUZZ_CHECK(f.bfReserved1 == at(6, 2, f0.bfReserved1) &&
             f.bfReserved2 == at(8, 2, f0.bfReserved2));
  FUZZ_CHECK(f.bfOffBits == at(10, 4, f0.bfOffBits) && i.biSize == at(14, 4, i0.biSize));
  FUZZ_CHECK(static_cast<std::uint32_t>(i.biWidth) ==
             at(18, 4, static_cast<std::uint32_t>(i0.biWidth)));
  FUZZ_CHECK(static_cast<std::uint32_t>(i.biHeight) ==
             at(22, 4, static_cast<std::uint32_t>(i0.biHeight)));
  FUZZ_CHECK(i.biPlanes == at(26, 2, i0.biPlanes) && i.biBitCount == at(28, 2, i0.biBitCount));
  FUZZ_CHECK(i.biCompression == at(30, 4, i0.biCompression) &&
             i.biSizeImage == at(34, 4, i0.biSizeImage));
  FUZZ_CHECK(static_cast<std::uint32_t>(i.biXPelsPerMeter) ==
             at(38, 4, static_cast<std::uint32_t>(i0.biXPelsPerMeter)));
  FUZZ_CHECK(static_cast<std::uint32_t>(i.biYPelsPerMeter) ==
             at(42, 4, static_cast<std::uint32_t>(i0.biYPelsPerMeter)));
  FUZZ_CHECK(i.biClrUsed == at(46, 4, i0.biClrUsed) &&
             i.biClrImportant == at(50, 4, i0.biClrImportant));
  FUZZ_CHECK(ColorDepthOf(file.Path()) == i.biBitCount);
  return 0;
}
