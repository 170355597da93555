// Bilinear rescaling. Results must agree to the last bit on every CPU: every
// coordinate, weight and channel sum below is a double formed in exactly the
// order written, and the build keeps contraction and excess precision off.
//
// Output pixels do not depend on each other, so the image is filled column by
// column (the storage order) rather than row by row; the values are the same.
#include "transform/Rescale.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

namespace quarvel {
namespace {

// Where one output column (or row) reads from: the two neighbouring source
// indices, already clamped into the source as PixelAt would clamp them, and
// the fraction between them with its complement.
struct SourceSpan {
  std::int32_t lower;
  std::int32_t upper;
  double fraction;
  double complement;  // 1.0 - fraction
};

// Output index i of `newLength` maps to (i * (oldLength - 1)) / (newLength - 1)
// in the source, for i up to newLength - 2. The last index needs no division
// and gets no entry.
std::unique_ptr<SourceSpan[]> MapAxis(std::int32_t oldLength, std::int32_t newLength) {
  const std::int32_t count = newLength - 1;
  std::unique_ptr<SourceSpan[]> spans(new (std::nothrow) SourceSpan[count > 0 ? count : 1]);
  if (!spans) return spans;
  const double oldSpan = static_cast<double>(oldLength) - 1.0;
  const double newSpan = static_cast<double>(newLength) - 1.0;
  const std::int32_t last = oldLength - 1;
  for (std::int32_t i = 0; i < count; ++i) {
    const double position = static_cast<double>(i) * oldSpan / newSpan;
    const double floored = std::floor(position);
    std::int32_t lower = static_cast<std::int32_t>(floored);
    if (lower > last) lower = last;
    const std::int32_t upper = lower < last ? lower + 1 : last;
    const double fraction = position - floored;
    spans[i] = SourceSpan{lower, upper, fraction, 1.0 - fraction};
  }
  return spans;
}

// A double sum becomes its channel byte by truncation toward zero; the sums
// lie in [0, 255] up to rounding, so the integer is always a byte.
std::uint8_t Truncate(double sum) {
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(sum));
}

// The colour bytes of a pixel as doubles; alpha takes no part in the sums.
struct Channels {
  double blue;
  double green;
  double red;

  static Channels Of(const Pixel& pixel) {
    return Channels{static_cast<double>(pixel.blue), static_cast<double>(pixel.green),
                    static_cast<double>(pixel.red)};
  }
};

// Two-point interpolation, used on the last column and the last row. Alpha 0.
Pixel Between(const Pixel& first, const Pixel& second, double firstWeight, double secondWeight) {
  const Channels p = Channels::Of(first);
  const Channels q = Channels::Of(second);
  return Pixel{Truncate(p.blue * firstWeight + q.blue * secondWeight),
               Truncate(p.green * firstWeight + q.green * secondWeight),
               Truncate(p.red * firstWeight + q.red * secondWeight), 0};
}

// Converts a computed side to 32 bits; false when it does not fit.
bool ToSide(double side, std::int32_t& out) {
  if (!(side >= -2147483648.0 && side <= 2147483647.0)) return false;
  out = static_cast<std::int32_t>(side);
  if (out < 1) out = 1;
  return true;
}

// The new size for an upper-case mode letter. The percentage product is
// formed in 64 bits, so it cannot overflow; for every product that fits 32
// bits the result is the same as a 32-bit product would give.
bool NewSize(char mode, std::int32_t oldWidth, std::int32_t oldHeight, std::int32_t newDimension,
             std::int32_t& newWidth, std::int32_t& newHeight) {
  if (mode == 'F') mode = oldWidth > oldHeight ? 'W' : 'H';
  const double dimension = static_cast<double>(newDimension);
  double width = 0.0;
  double height = 0.0;
  switch (mode) {
    case 'P':
      width = std::floor(static_cast<double>(std::int64_t{oldWidth} * newDimension) * 0.01);
      height = std::floor(static_cast<double>(std::int64_t{oldHeight} * newDimension) * 0.01);
      break;
    case 'W':
      width = dimension;
      height =
          std::floor((dimension / static_cast<double>(oldWidth)) * static_cast<double>(oldHeight));
      break;
    default:  // 'H'
      height = dimension;
      width =
          std::floor((dimension / static_cast<double>(oldHeight)) * static_cast<double>(oldWidth));
      break;
  }
  return ToSide(width, newWidth) && ToSide(height, newHeight);
}

char UpperCase(char mode) {
  return mode >= 'a' && mode <= 'z' ? static_cast<char>(mode - 'a' + 'A') : mode;
}

bool IsMode(char upper) {
  return upper == 'P' || upper == 'W' || upper == 'H' || upper == 'F';
}

// Fills `image` (already newWidth x newHeight) from `source`.
void Resample(const BmpImage& source, BmpImage& image, const SourceSpan* columns,
              const SourceSpan* rows) {
  const std::int32_t newWidth = image.Width();
  const std::int32_t newHeight = image.Height();
  const std::int32_t lastSourceX = source.Width() - 1;
  const std::int32_t lastSourceY = source.Height() - 1;

  for (std::int32_t k = 0; k + 1 < newWidth; ++k) {
    const SourceSpan& column = columns[k];
    const Pixel* left = source.Column(column.lower);
    const Pixel* right = source.Column(column.upper);
    const double fx = column.fraction;
    const double complementX = column.complement;
    Pixel* out = image.Column(k);
    // Consecutive output rows mostly read the same two source rows, so the
    // neighbours are converted to doubles only when their rows change.
    Channels a{};
    Channels b{};
    Channels c{};
    Channels d{};
    std::int32_t heldLower = -1;
    std::int32_t heldUpper = -1;
    for (std::int32_t j = 0; j + 1 < newHeight; ++j) {
      const SourceSpan& row = rows[j];
      if (row.lower != heldLower) {
        if (row.lower == heldUpper) {
          a = c;
          b = d;
        } else {
          a = Channels::Of(left[row.lower]);
          b = Channels::Of(right[row.lower]);
        }
        heldLower = row.lower;
      }
      if (row.upper != heldUpper) {
        c = Channels::Of(left[row.upper]);
        d = Channels::Of(right[row.upper]);
        heldUpper = row.upper;
      }
      const double fy = row.fraction;
      const double wD = fx * fy;
      const double wA = (complementX - fy) + wD;
      const double wB = fx - wD;
      const double wC = fy - wD;
      // Red and green start from B, blue from D: both orders are part of the
      // result, since floating-point addition does not associate.
      out[j] = Pixel{Truncate(((d.blue * wD + a.blue * wA) + b.blue * wB) + c.blue * wC),
                     Truncate(((b.green * wB + c.green * wC) + d.green * wD) + a.green * wA),
                     Truncate(((b.red * wB + c.red * wC) + d.red * wD) + a.red * wA), 0};
    }
    // Last row: along the source's last row only.
    out[newHeight - 1] = Between(left[lastSourceY], right[lastSourceY], complementX, fx);
  }

  // Last column: down the source's last column only.
  const Pixel* sourceLast = source.Column(lastSourceX);
  Pixel* out = image.Column(newWidth - 1);
  for (std::int32_t j = 0; j + 1 < newHeight; ++j) {
    const SourceSpan& row = rows[j];
    out[j] = Between(sourceLast[row.lower], sourceLast[row.upper], row.complement, row.fraction);
  }
  // The corner is the old corner, alpha included.
  out[newHeight - 1] = sourceLast[lastSourceY];
}

}  // namespace

bool RescaleImage(BmpImage& image, char mode, std::int32_t newDimension) {
  const char upper = UpperCase(mode);
  if (!IsMode(upper)) {
    if (WarningsEnabled()) {
      std::fprintf(stderr, "Quarvel Error: Unknown rescale mode %c requested\n", mode);
    }
    return false;
  }

  // Everything that can fail is settled before the image changes.
  std::int32_t newWidth = 0;
  std::int32_t newHeight = 0;
  if (!NewSize(upper, image.Width(), image.Height(), newDimension, newWidth, newHeight)) {
    return false;
  }
  if (std::int64_t{newWidth} * newHeight > kMaxPixelCount) {
    return false;
  }
  const BmpImage source(image);
  // A copy whose storage could not be obtained stays 1 x 1.
  if (source.Width() != image.Width() || source.Height() != image.Height()) {
    return false;
  }
  const std::unique_ptr<SourceSpan[]> columns = MapAxis(source.Width(), newWidth);
  const std::unique_ptr<SourceSpan[]> rows = MapAxis(source.Height(), newHeight);
  if (!columns || !rows || !image.SetDimensions(newWidth, newHeight)) {
    return false;
  }
  image.SetColorDepth(24);
  Resample(source, image, columns.get(), rows.get());
  return true;
}

}  // namespace quarvel
