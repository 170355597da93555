// bmpprobe: the library's reader and writer for the interoperability scripts,
// with raw pixel bytes on the other side so that a script can compare them
// with what an independent decoder or encoder gives.
//
//   bmpprobe dump FILE
//     Loads FILE. Prints "refused" and exits 1 when the reader refuses it;
//     otherwise prints "WIDTH HEIGHT DEPTH XPELS YPELS\n" followed by the
//     pixels, 4 bytes each (blue, green, red, alpha), top row first, then
//     at 1, 4 and 8 bits the palette, 4 bytes per entry.
//   bmpprobe write DEPTH WIDTH HEIGHT PIXELS PALETTE OUT
//     Builds an image from PIXELS (the byte layout above) and, unless
//     PALETTE is "-", sets the palette from PALETTE (4 bytes per entry),
//     then saves it as OUT. Exits 0 when the save succeeded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/BmpImage.h"

namespace {

using quarvel::BmpImage;
using quarvel::Pixel;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

int Dump(const char* path) {
  BmpImage image;
  if (!image.LoadFile(path)) {
    std::printf("refused\n");
    return 1;
  }
  std::printf("%d %d %d %d %d\n", static_cast<int>(image.Width()), static_cast<int>(image.Height()),
              static_cast<int>(image.ColorDepth()), static_cast<int>(image.xPelsPerMeter),
              static_cast<int>(image.yPelsPerMeter));
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(image.Width()) * image.Height() * 4);
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    for (std::int32_t x = 0; x < image.Width(); ++x) {
      const Pixel pixel = image.ReadPixel(x, y);
      bytes.insert(bytes.end(), {pixel.blue, pixel.green, pixel.red, pixel.alpha});
    }
  }
  if (image.HasPalette()) {
    for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
      const Pixel entry = image.PaletteEntry(i);
      bytes.insert(bytes.end(), {entry.blue, entry.green, entry.red, entry.alpha});
    }
  }
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 2;
}

int Write(char** args) {
  const std::int32_t depth = std::atoi(args[0]);
  const std::int32_t width = std::atoi(args[1]);
  const std::int32_t height = std::atoi(args[2]);
  BmpImage image;
  if (!image.SetColorDepth(depth) || !image.SetDimensions(width, height)) {
    std::fprintf(stderr, "bmpprobe: bad depth or size\n");
    return 2;
  }
  const std::vector<std::uint8_t> pixels = ReadAll(args[3]);
  if (pixels.size() != static_cast<std::size_t>(width) * height * 4) {
    std::fprintf(stderr, "bmpprobe: %s does not hold %d x %d pixels\n", args[3], width, height);
    return 2;
  }
  if (std::string(args[4]) != "-") {
    const std::vector<std::uint8_t> palette = ReadAll(args[4]);
    for (std::size_t i = 0; i + 3 < palette.size(); i += 4) {
      image.SetPaletteEntry(static_cast<std::int32_t>(i / 4),
                            Pixel{palette[i], palette[i + 1], palette[i + 2], palette[i + 3]});
    }
  }
  std::size_t at = 0;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x, at += 4) {
      image.WritePixel(x, y, Pixel{pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]});
    }
  }
  return image.SaveFile(args[5]) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "dump" && argc == 3) return Dump(argv[2]);
  if (command == "write" && argc == 8) return Write(argv + 2);
  std::fprintf(stderr,
               "usage: bmpprobe dump FILE\n"
               "       bmpprobe write DEPTH WIDTH HEIGHT PIXELS PALETTE|- OUT\n");
  return 2;
}
