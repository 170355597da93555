// The fixed palettes that SetColorDepth installs at 1, 4 and 8 bits.
#pragma once

#include <cstdint>

#include "image/BmpImage.h"

namespace quarvel {

// The standard palette of an indexed depth (2^depth entries, alpha 0), or
// nullptr for a depth without one.
const Pixel* StandardPalette(std::int32_t depth);

}  // namespace quarvel
