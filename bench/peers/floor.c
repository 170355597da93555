/* floor: the least work the checker job can be done with, the yardstick for
 * bmpchecker. It streams the input through a 1 MiB buffer, paints each row
 * on the way and writes it out; no image is ever held. Its output is meant to
 * be byte for byte what bmpchecker writes, at every depth, for files with the
 * 40-byte header that the comparison script generates.
 *
 *   floor INPUT OUTPUT   (exit 0 written, 1 input refused, 2 output failed) */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "CheckerGeometry.h"

enum { kHeaders = 54, kBufferBytes = 1 << 20 };

typedef struct {
  uint8_t blue, green, red, alpha;
} Colour;

static uint32_t Le32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
static void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}
static void Put16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

/* The library's nearest colour: strictly nearer wins, the first exact match stops. */
static uint8_t Nearest(const Colour* palette, int count, Colour c) {
  int32_t best = 999999, index = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t b = palette[i].blue - c.blue, g = palette[i].green - c.green,
                  r = palette[i].red - c.red;
    const int32_t d = b * b + g * g + r * r;
    if (d < best) {
      best = d;
      index = i;
      if (d == 0) break;
    }
  }
  return (uint8_t)index;
}

static int MaskShift(uint16_t mask) {
  int shift = 0;
  while (mask > 31) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

/* The 5-6-5 word the library writes for a 16-bit word it reads under `masks`,
 * untouched (painted 0) or with blue and green cleared (painted 1). */
static uint16_t SixteenBitWord(uint16_t word, const uint16_t masks[3], const int shifts[3],
                               int painted) {
  const unsigned red = ((word & masks[0]) >> shifts[0]) * 8u & 0xFFu;
  const unsigned green = painted ? 0 : ((word & masks[1]) >> shifts[1]) * 8u & 0xFFu;
  const unsigned blue = painted ? 0 : ((word & masks[2]) >> shifts[2]) * 8u & 0xFFu;
  return (uint16_t)(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

typedef struct {
  int32_t depth, width, rowBytes, dataBytes;
  int32_t* runs[4]; /* painted column runs per row set */
  int32_t runCount[4];
  uint8_t* byteMasks[4]; /* 1, 4, 8 bits: painted positions of each data byte */
  uint8_t* indexTable;   /* [mask << 8 | byte] -> output byte */
  uint16_t* wordTable;   /* 16 bits: [painted << 16 | word] -> output word */
} Painter;

static void PaintRow(const Painter* p, uint8_t* row, uint8_t rowSet) {
  const int32_t* runs = p->runs[rowSet];
  const int32_t count = p->runCount[rowSet];
  if (p->depth == 24 || p->depth == 32) {
    const int step = p->depth / 8;
    for (int32_t k = 0; k < count; ++k) {
      for (int32_t x = runs[2 * k]; x < runs[2 * k + 1]; ++x) {
        row[step * x] = 0;
        row[step * x + 1] = 0;
      }
    }
  } else if (p->depth == 16) {
    int32_t x = 0;
    for (int32_t k = 0; k <= count; ++k) {
      const int32_t start = k < count ? runs[2 * k] : p->width;
      for (; x < start; ++x) Put16(row + 2 * x, p->wordTable[Le16(row + 2 * x)]);
      if (k == count) break;
      for (; x < runs[2 * k + 1]; ++x) {
        Put16(row + 2 * x, p->wordTable[(1u << 16) | Le16(row + 2 * x)]);
      }
    }
  } else {
    const uint8_t* masks = p->byteMasks[rowSet];
    for (int32_t i = 0; i < p->dataBytes; ++i) {
      row[i] = p->indexTable[((unsigned)masks[i] << 8) | row[i]];
    }
    /* Bits past the last pixel are zero in what the library writes. */
    const int32_t usedBits = (p->width * p->depth) % 8;
    if (usedBits != 0) row[p->dataBytes - 1] &= (uint8_t)(0xFF00u >> usedBits);
  }
  memset(row + p->dataBytes, 0, (size_t)(p->rowBytes - p->dataBytes));
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: floor INPUT OUTPUT\n");
    return 1;
  }
  FILE* in = fopen(argv[1], "rb");
  if (in == NULL) return 1;
  uint8_t header[kHeaders];
  if (fread(header, 1, kHeaders, in) != kHeaders || header[0] != 'B' || header[1] != 'M') {
    return 1;
  }
  const uint32_t offBits = Le32(header + 10);
  const int32_t width = (int32_t)Le32(header + 18), height = (int32_t)Le32(header + 22);
  const int32_t depth = Le16(header + 28);
  const uint32_t compression = Le32(header + 30);
  if (width <= 0 || height <= 0 || (compression != 0 && !(compression == 3 && depth == 16)) ||
      !(depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32)) {
    return 1;
  }
  long taken = kHeaders;

  Painter p;
  memset(&p, 0, sizeof p);
  p.depth = depth;
  p.width = width;
  p.dataBytes = (int32_t)(((int64_t)depth * width + 7) / 8);
  p.rowBytes = (int32_t)((((int64_t)depth * width + 31) / 32) * 4);

  /* Palette: entries up to bfOffBits, at most 2^depth; the rest white. */
  Colour palette[256];
  const int paletteSize = depth <= 8 ? 1 << depth : 0;
  if (paletteSize > 0) {
    long count = offBits >= kHeaders ? (long)(offBits - kHeaders) / 4 : 0;
    if (count > paletteSize) count = paletteSize;
    for (int i = 0; i < paletteSize; ++i) palette[i] = (Colour){255, 255, 255, 0};
    if (fread(palette, 4, (size_t)count, in) != (size_t)count) return 1;
    taken += 4 * count;
  }
  uint16_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (depth == 16 && compression == 3) {
    uint8_t block[12];
    if (fread(block, 1, 12, in) != 12) return 1;
    for (int i = 0; i < 3; ++i) masks[i] = Le16(block + 4 * i);
    taken += 12;
  }
  for (; taken < (long)offBits; ++taken) {
    if (fgetc(in) == EOF) return 1;
  }

  /* The painted set as runs per row set, and the per-depth tables. */
  uint8_t* columnSets = malloc((size_t)width);
  uint8_t* rowSets = malloc((size_t)height);
  if (columnSets == NULL || rowSets == NULL) return 1;
  CheckerSets(width, columnSets);
  CheckerSets(height, rowSets);
  for (int set = 0; set < 4; ++set) {
    p.runs[set] = malloc(sizeof(int32_t) * ((size_t)width + 2));
    if (p.runs[set] == NULL) return 1;
    p.runCount[set] = CheckerRuns(columnSets, width, (uint8_t)set, p.runs[set]);
  }
  if (paletteSize > 0) {
    const int perByte = 8 / depth;
    uint8_t keep[256], paint[256];
    for (int i = 0; i < paletteSize; ++i) {
      keep[i] = Nearest(palette, paletteSize, palette[i]);
      const Colour painted = {0, 0, palette[i].red, palette[i].alpha};
      paint[i] = Nearest(palette, paletteSize, painted);
    }
    p.indexTable = malloc(256 * 256);
    if (p.indexTable == NULL) return 1;
    for (unsigned mask = 0; mask < 256; ++mask) {
      for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned out = 0;
        for (int position = 0; position < perByte; ++position) {
          const int shift = (perByte - 1 - position) * depth;
          const unsigned index = (byte >> shift) & ((1u << depth) - 1);
          const int painted = (mask >> position) & 1;
          out |= (unsigned)(painted ? paint[index] : keep[index]) << shift;
        }
        p.indexTable[(mask << 8) | byte] = (uint8_t)out;
      }
    }
    for (int set = 0; set < 4; ++set) {
      p.byteMasks[set] = calloc((size_t)p.dataBytes, 1);
      if (p.byteMasks[set] == NULL) return 1;
      for (int32_t x = 0; x < width; ++x) {
        if (columnSets[x] & set) p.byteMasks[set][x / perByte] |= (uint8_t)(1u << (x % perByte));
      }
    }
  }
  if (depth == 16) {
    int shifts[3];
    for (int i = 0; i < 3; ++i) shifts[i] = MaskShift(masks[i]);
    p.wordTable = malloc(sizeof(uint16_t) * 2 * 65536);
    if (p.wordTable == NULL) return 1;
    for (unsigned painted = 0; painted < 2; ++painted) {
      for (unsigned word = 0; word < 65536; ++word) {
        p.wordTable[(painted << 16) | word] =
            SixteenBitWord((uint16_t)word, masks, shifts, (int)painted);
      }
    }
  }

  /* The output headers as the library writes them. */
  const uint32_t paletteBytes = paletteSize > 0 ? 4u * (uint32_t)paletteSize : depth == 16 ? 12u : 0u;
  const uint32_t imageBytes = (uint32_t)p.rowBytes * (uint32_t)height;
  uint8_t out[kHeaders + 1024];
  memset(out, 0, sizeof out);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out + 2, kHeaders + paletteBytes + imageBytes);
  Put32(out + 10, kHeaders + paletteBytes);
  Put32(out + 14, 40);
  Put32(out + 18, (uint32_t)width);
  Put32(out + 22, (uint32_t)height);
  Put16(out + 26, 1);
  Put16(out + 28, (uint16_t)depth);
  Put32(out + 30, depth == 16 ? 3u : 0u);
  Put32(out + 34, imageBytes);
  for (int i = 0; i < 2; ++i) {
    const uint32_t resolution = Le32(header + 38 + 4 * i);
    Put32(out + 38 + 4 * i, resolution != 0 ? resolution : 3780u);
  }
  if (paletteSize > 0) memcpy(out + kHeaders, palette, 4 * (size_t)paletteSize);
  if (depth == 16) {
    const uint16_t writerMasks[3] = {0xF800, 0x07E0, 0x001F};
    for (int i = 0; i < 3; ++i) Put32(out + kHeaders + 4 * i, writerMasks[i]);
  }

  FILE* output = fopen(argv[2], "wb");
  if (output == NULL) return 2;
  if (fwrite(out, 1, kHeaders + paletteBytes, output) != kHeaders + paletteBytes) return 2;

  /* Rows bottom-up, as many as fit the buffer at a time. */
  const int32_t rowsPerChunk = p.rowBytes >= kBufferBytes ? 1 : kBufferBytes / p.rowBytes;
  uint8_t* buffer = malloc((size_t)rowsPerChunk * (size_t)p.rowBytes);
  if (buffer == NULL) return 2;
  for (int32_t done = 0; done < height;) {
    const int32_t rows = height - done < rowsPerChunk ? height - done : rowsPerChunk;
    const size_t bytes = (size_t)rows * (size_t)p.rowBytes;
    if (fread(buffer, 1, bytes, in) != bytes) return 1;
    for (int32_t r = 0; r < rows; ++r) {
      const int32_t y = height - 1 - (done + r);
      PaintRow(&p, buffer + (size_t)r * (size_t)p.rowBytes, rowSets[y]);
    }
    if (fwrite(buffer, 1, bytes, output) != bytes) return 2;
    done += rows;
  }
  fclose(in);
  return fclose(output) == 0 ? 0 : 2;
}
