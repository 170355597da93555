/* stb_peer: the checker job done with stb_image and stb_image_write, the
 * way a program that picked stb would do it: load the whole picture as RGB
 * (24-bit input) or RGBA (32-bit input), paint, write a BMP.
 *
 *   stb_peer INPUT OUTPUT   (exit 0 written, 1 input refused, 2 output failed) */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "CheckerGeometry.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: stb_peer INPUT OUTPUT\n");
    return 1;
  }
  /* The depth decides whether the fourth byte is kept. */
  FILE* probe = fopen(argv[1], "rb");
  unsigned char header[30];
  if (probe == NULL || fread(header, 1, sizeof header, probe) != sizeof header) return 1;
  fclose(probe);
  const int channels = (header[28] | (header[29] << 8)) == 32 ? 4 : 3;

  int width = 0, height = 0, inFile = 0;
  unsigned char* pixels = stbi_load(argv[1], &width, &height, &inFile, channels);
  if (pixels == NULL) return 1;

  uint8_t* columnSets = malloc((size_t)width);
  uint8_t* rowSets = malloc((size_t)height);
  int32_t* runs = malloc(sizeof(int32_t) * ((size_t)width + 2));
  if (columnSets == NULL || rowSets == NULL || runs == NULL) return 1;
  CheckerSets(width, columnSets);
  CheckerSets(height, rowSets);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t count = CheckerRuns(columnSets, width, rowSets[y], runs);
    unsigned char* row = pixels + (size_t)y * (size_t)width * (size_t)channels;
    for (int32_t k = 0; k < count; ++k) {
      for (int32_t x = runs[2 * k]; x < runs[2 * k + 1]; ++x) {
        row[channels * x + 1] = 0; /* green */
        row[channels * x + 2] = 0; /* blue */
      }
    }
  }
  const int written = stbi_write_bmp(argv[2], width, height, channels, pixels);
  stbi_image_free(pixels);
  return written ? 0 : 2;
}
