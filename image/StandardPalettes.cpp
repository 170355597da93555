#include "image/StandardPalettes.h"

#include <array>

namespace quarvel {
namespace {

constexpr Pixel Bgr(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  return Pixel{blue, green, red, 0};
}

constexpr std::array<Pixel, 2> kStandard1 = {Bgr(0, 0, 0), Bgr(255, 255, 255)};

// Indices 0-7 step red, green and blue (bits 0, 1, 2) at level 128 and 9-15
// at level 255; 8, which that rule would make black, is light grey.
constexpr std::array<Pixel, 16> kStandard4 = {
    Bgr(0, 0, 0),       Bgr(0, 0, 128),   Bgr(0, 128, 0),   Bgr(0, 128, 128),
    Bgr(128, 0, 0),     Bgr(128, 0, 128), Bgr(128, 128, 0), Bgr(128, 128, 128),
    Bgr(192, 192, 192), Bgr(0, 0, 255),   Bgr(0, 255, 0),   Bgr(0, 255, 255),
    Bgr(255, 0, 0),     Bgr(255, 0, 255), Bgr(255, 255, 0), Bgr(255, 255, 255)};

// A 2-3-3 colour cube (blue from the top two bits, green the middle three,
// red the low three) with the system colours over the first and last ten.
constexpr std::array<Pixel, 256> MakeStandard8() {
  std::array<Pixel, 256> entries{};
  for (int i = 0; i < 256; ++i) {
    entries[i] =
        Bgr(static_cast<std::uint8_t>(64 * (i / 64)), static_cast<std::uint8_t>(32 * ((i / 8) % 8)),
            static_cast<std::uint8_t>(32 * (i % 8)));
  }
  constexpr Pixel first[10] = {Bgr(0, 0, 0),      Bgr(0, 0, 128),     Bgr(0, 128, 0),
                               Bgr(0, 128, 128),  Bgr(128, 0, 0),     Bgr(128, 0, 128),
                               Bgr(128, 128, 0),  Bgr(192, 192, 192), Bgr(192, 220, 192),
                               Bgr(240, 202, 166)};
  constexpr Pixel last[10] = {Bgr(240, 251, 255), Bgr(164, 160, 160), Bgr(128, 128, 128),
                              Bgr(0, 0, 255),     Bgr(0, 255, 0),     Bgr(0, 255, 255),
                              Bgr(255, 0, 0),     Bgr(255, 0, 255),   Bgr(255, 255, 0),
                              Bgr(255, 255, 255)};
  for (int i = 0; i < 10; ++i) {
    entries[i] = first[i];
    entries[246 + i] = last[i];
  }
  return entries;
}

constexpr std::array<Pixel, 256> kStandard8 = MakeStandard8();

}  // namespace

const Pixel* StandardPalette(std::int32_t depth) {
  switch (depth) {
    case 1:
      return kStandard1.data();
    case 4:
      return kStandard4.data();
    case 8:
      return kStandard8.data();
    default:
      return nullptr;
  }
}

}  // namespace quarvel
