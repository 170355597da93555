#include <gtest/gtest.h>

#include "image/BmpImage.h"

namespace quarvel {
namespace {

TEST(ImageTest, NewImageIsOnePixelAt24Bits) {
  BmpImage image;
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.ColorDepth(), 24);
  EXPECT_EQ(image.PaletteSize(), 16777216);
  EXPECT_EQ(image.ReadPixel(0, 0), kWhite);
}

}  // namespace
}  // namespace quarvel
