// Images and scratch files shared by the microbenchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/BmpImage.h"

namespace quarvel {
namespace bench {

// Fills every pixel from a xorshift sequence, the same on every run. At the
// indexed depths the pixels take palette colours, as a loaded file's would.
inline void FillImage(BmpImage& image) {
  std::uint32_t state = 2463534242u;
  const std::int32_t paletteSize = image.HasPalette() ? image.PaletteSize() : 0;
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    Pixel* column = image.Column(x);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      if (paletteSize > 0) {
        column[y] = image.PaletteEntry(static_cast<std::int32_t>(state % paletteSize));
      } else {
        column[y] = Pixel{static_cast<std::uint8_t>(state), static_cast<std::uint8_t>(state >> 8),
                          static_cast<std::uint8_t>(state >> 16),
                          static_cast<std::uint8_t>(image.ColorDepth() == 32 ? state >> 24 : 0)};
      }
    }
  }
}

// A file in $TMPDIR (or /tmp) that is removed when the benchmark ends.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& name) {
    const char* directory = std::getenv("TMPDIR");
    path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
           "/quarvel-bench-" + name + ".bmp";
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile() { std::remove(path.c_str()); }
  const char* Path() const { return path.c_str(); }

 private:
  std::string path;
};

}  // namespace bench
}  // namespace quarvel
