// Size and conversion arithmetic shared by the image, file and transform code.
// Everything here is defined for every input: no signed overflow, no
// out-of-range float-to-integer conversion.
#pragma once

#include <cstdint>
#include <limits>

namespace quarvel {

// Truncation toward zero, saturated at the ends of the signed 32-bit range
// (a double outside it would make the plain conversion undefined).
inline std::int32_t SaturatingTruncate(double value) {
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

// Bytes of one stored row: 4 x ceiling(depth x width / 32). 64-bit, so any
// 32-bit width and depth give the exact value.
inline std::int64_t PaddedRowSize(std::int32_t depth, std::int32_t width) {
  const std::int64_t bits = static_cast<std::int64_t>(depth) * width;
  return ((bits + 31) / 32) * 4;
}

// True when a value fits a signed 32-bit integer.
inline bool FitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace quarvel
