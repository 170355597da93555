#include "checker/BmpChecker.h"

#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"
#include "platform/PathConversion.h"

namespace {
constexpr std::int32_t kInputNotRead = 1;
constexpr std::int32_t kSaveAttempted = 999;
}  // namespace

extern "C" std::int32_t BMPChecker(const char16_t* inputPath, const char16_t* outputPath) {
  quarvel::BmpImage image;
  const auto input = quarvel::ToMultibytePath(inputPath);
  if (!image.LoadFile(input.get())) {
    return kInputNotRead;
  }
  quarvel::PaintCheckerPattern(image);
  const auto output = quarvel::ToMultibytePath(outputPath);
  // Hosts rely on exactly two results, so a failed save is not reported here.
  image.SaveFile(output.get());
  return kSaveAttempted;
}
