/* The checker pattern's painted set, for the peer programs.
 *
 * Square 1 of block (x0, y0) covers the clamped columns x0..x0+20 and rows
 * y0..y0+20, square 2 the clamped columns x0+20..x0+40 and rows y0+20..y0+40,
 * for every x0 and y0 on the 40-pixel grid up to and including the width and
 * height. Every square 1 spans the same column set and every square 2 another,
 * so the union is C1 x R1 plus C2 x R2: pixel (x, y) is painted exactly when
 * columnSets[x] & rowSets[y] is not zero (bit 0 for square 1, bit 1 for
 * square 2). That gives a row its painted columns as a few runs. */
#ifndef QUARVEL_BENCH_CHECKER_GEOMETRY_H
#define QUARVEL_BENCH_CHECKER_GEOMETRY_H

#include <stdint.h>
#include <stdlib.h>

static int32_t GeometryClamp(int64_t value, int32_t size) {
  return value >= size ? size - 1 : (int32_t)value;
}

/* sets[i] for i < size: bit 0 when a square 1 covers i, bit 1 for square 2. */
static void CheckerSets(int32_t size, uint8_t* sets) {
  for (int32_t i = 0; i < size; ++i) sets[i] = 0;
  for (int64_t origin = 0; origin <= size; origin += 40) {
    for (int square = 0; square < 2; ++square) {
      const int64_t first = origin + 20 * square;
      const int32_t from = GeometryClamp(first, size);
      const int32_t to = GeometryClamp(first + 20, size);
      for (int32_t i = from; i <= to; ++i) sets[i] |= (uint8_t)(1u << square);
    }
  }
}

/* Painted column runs of a row whose row set is `rowSet`: runs[2k] is the first
 * column of run k, runs[2k + 1] one past its last. Returns the run count. */
static int32_t CheckerRuns(const uint8_t* columnSets, int32_t width, uint8_t rowSet,
                           int32_t* runs) {
  int32_t count = 0;
  int32_t x = 0;
  while (x < width) {
    while (x < width && (columnSets[x] & rowSet) == 0) ++x;
    if (x == width) break;
    runs[2 * count] = x;
    while (x < width && (columnSets[x] & rowSet) != 0) ++x;
    runs[2 * count + 1] = x;
    ++count;
  }
  return count;
}

#endif
