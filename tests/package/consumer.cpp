// Builds against the installed headers and library, then round-trips a file.
#include <cstdio>

#include <bmpio/BmpHeaders.h>
#include <image/BmpImage.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  quarvel::BmpImage image;
  image.SetDimensions(3, 2);
  image.PixelAt(2, 1) = quarvel::Pixel{1, 2, 3, 0};
  if (!image.SaveFile(argv[1])) return 1;
  quarvel::BmpImage loaded;
  if (!loaded.LoadFile(argv[1]) || loaded.ReadPixel(2, 1) != quarvel::Pixel{1, 2, 3, 0}) return 1;
  std::printf("consumer: depth %d\n", quarvel::ColorDepthOf(argv[1]));
  return 0;
}
