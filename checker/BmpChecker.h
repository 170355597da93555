// The module's one export.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// The module-definition file alone makes the export directory (name and
// ordinal 1); a dllexport here would let the linker add entries of its own.
#define QUARVEL_MODULE_EXPORT
#else
#define QUARVEL_MODULE_EXPORT __attribute__((visibility("default")))
#endif

// Loads the BMP file `inputPath`, paints the red checker pattern over it and
// writes it to `outputPath` at the same colour depth. Returns 1 when the
// input could not be read (the output is then not touched) and 999 once a
// save has been attempted. Paths are zero-terminated UTF-16; null is allowed.
extern "C" QUARVEL_MODULE_EXPORT std::int32_t BMPChecker(const char16_t* inputPath,
                                                         const char16_t* outputPath);
