#include <algorithm>
#include <cstdint>
#include <iterator>

#include "bmpio/RowBands.h"
#include "image/BmpImage.h"

namespace quarvel {

std::uint8_t BmpImage::NearestPaletteIndex(Pixel colour) const {
  // Without a palette every entry reads as white, so entry 0 is always the
  // first of the nearest: no need to walk 2^16 or 2^24 equal entries.
  if (!HasPalette()) {
    return 0;
  }
  const std::int32_t count = PaletteSize();
  std::int32_t bestDistance = 999999;
  std::int32_t best = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const Pixel& entry = palette[i];
    const std::int32_t blue = entry.blue - colour.blue;
    const std::int32_t green = entry.green - colour.green;
    const std::int32_t red = entry.red - colour.red;
    const std::int32_t distance = blue * blue + green * green + red * red;
    // Strictly less: among equally near entries the lowest index wins.
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) {
        break;
      }
    }
  }
  return static_cast<std::uint8_t>(best);
}

NearestIndexCache::NearestIndexCache(const BmpImage& source) : image(source) {
  std::fill(std::begin(keys), std::end(keys), kNoKey);
}

std::uint8_t NearestIndexCache::Probe(std::uint32_t slot, std::uint32_t key, Pixel colour) {
  while (keys[slot] != kNoKey) {
    if (keys[slot] == key) {
      return indices[slot];
    }
    slot = (slot + 1) & (kSlots - 1);
  }
  const std::uint8_t index = image.NearestPaletteIndex(colour);
  // At most half full, so that every probe soon meets an empty slot; past
  // that, further colours are searched afresh each time.
  if (used < kSlots / 2) {
    keys[slot] = key;
    indices[slot] = index;
    ++used;
  }
  return index;
}

}  // namespace quarvel
