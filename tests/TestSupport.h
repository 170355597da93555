// Shared helpers for the unit tests: temporary files, little-endian byte
// builders for hand-made BMP files, and image checks.
//
// Expected bytes are always assembled one byte at a time in little-endian
// order, never copied from host integers, so the tests hold on big-endian
// CPUs too.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "image/BmpImage.h"

#if defined(QUARVEL_MODULE_PATH) && !defined(_WIN32)
#include <dlfcn.h>
#define QUARVEL_TEST_LOADS_MODULE 1
#endif

namespace quarvel {

// Readable failure messages for pixels.
inline void PrintTo(const Pixel& pixel, std::ostream* out) {
  *out << "{b " << int{pixel.blue} << ", g " << int{pixel.green} << ", r " << int{pixel.red}
       << ", a " << int{pixel.alpha} << "}";
}

namespace test {

using Bytes = std::vector<std::uint8_t>;

// Appends values in the file's byte order.
class ByteWriter {
 public:
  ByteWriter& U8(std::uint8_t value) {
    bytes.push_back(value);
    return *this;
  }
  ByteWriter& U16(std::uint16_t value) {
    return U8(static_cast<std::uint8_t>(value & 0xFF)).U8(static_cast<std::uint8_t>(value >> 8));
  }
  ByteWriter& U32(std::uint32_t value) {
    return U16(static_cast<std::uint16_t>(value & 0xFFFF))
        .U16(static_cast<std::uint16_t>(value >> 16));
  }
  ByteWriter& I32(std::int32_t value) { return U32(static_cast<std::uint32_t>(value)); }
  ByteWriter& Repeat(std::uint8_t value, std::size_t count) {
    bytes.insert(bytes.end(), count, value);
    return *this;
  }
  ByteWriter& Append(const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
  ByteWriter& Append(std::initializer_list<std::uint8_t> more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
  // A palette entry: blue, green, red, reserved.
  ByteWriter& Entry(Pixel colour) {
    return U8(colour.blue).U8(colour.green).U8(colour.red).U8(colour.alpha);
  }

  const Bytes& Get() const { return bytes; }
  std::size_t Size() const { return bytes.size(); }

 private:
  Bytes bytes;
};

// The fields of the 14-byte file header and the 40-byte info header. The
// defaults describe a consistent 1 x 1 24-bit file.
struct HeaderFields {
  std::uint16_t type = 0x4D42;
  std::uint32_t fileSize = 0;
  std::uint32_t offBits = 54;
  std::uint32_t infoSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 3780;
  std::int32_t yPelsPerMeter = 3780;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};

// The 54 header bytes, ready to have a palette, masks or rows appended.
inline ByteWriter Headers(const HeaderFields& h) {
  ByteWriter out;
  out.U16(h.type).U32(h.fileSize).U16(0).U16(0).U32(h.offBits);
  out.U32(h.infoSize).I32(h.width).I32(h.height).U16(h.planes).U16(h.bitCount);
  out.U32(h.compression).U32(h.sizeImage).I32(h.xPelsPerMeter).I32(h.yPelsPerMeter);
  out.U32(h.clrUsed).U32(h.clrImportant);
  return out;
}

// A directory of its own for one test, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto candidate = base / ("quarvel-test-" + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        path = candidate;
        return;
      }
    }
    ADD_FAILURE() << "cannot create a temporary directory in " << base;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code error;
    if (!path.empty()) std::filesystem::remove_all(path, error);
  }

  const std::filesystem::path& Path() const { return path; }
  std::string File(const std::string& name) const { return (path / name).string(); }

 private:
  std::filesystem::path path;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// Loads `bytes` through a real file, as every caller of the reader does.
inline bool LoadBytes(BmpImage& image, const Bytes& bytes) {
  TempDir dir;
  const std::string path = dir.File("input.bmp");
  WriteFile(path, bytes);
  return image.LoadFile(path.c_str());
}

// Saves through a real file and returns what was written.
inline Bytes SaveBytes(const BmpImage& image, bool* saved = nullptr) {
  TempDir dir;
  const std::string path = dir.File("output.bmp");
  const bool ok = image.SaveFile(path.c_str());
  if (saved != nullptr) *saved = ok;
  return ReadFile(path);
}

// A colour that differs at every position, so a misplaced pixel shows.
inline Pixel Distinct(std::int32_t x, std::int32_t y) {
  return Pixel{static_cast<std::uint8_t>(x * 7 + 3), static_cast<std::uint8_t>(y * 11 + 5),
               static_cast<std::uint8_t>(x * 13 + y * 17 + 1), static_cast<std::uint8_t>(x + y)};
}

inline void FillDistinct(BmpImage& image) {
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    for (std::int32_t y = 0; y < image.Height(); ++y) image.WritePixel(x, y, Distinct(x, y));
  }
}

struct PixelCheck {
  std::int32_t x;
  std::int32_t y;
  Pixel colour;
};

// Size, depth and the listed pixels, all reported at once.
inline ::testing::AssertionResult ImageIs(const BmpImage& image, std::int32_t width,
                                          std::int32_t height, std::int32_t depth,
                                          std::initializer_list<PixelCheck> pixels = {}) {
  bool ok = true;
  std::string problems;
  if (image.Width() != width || image.Height() != height || image.ColorDepth() != depth) {
    ok = false;
    problems += " image is " + std::to_string(image.Width()) + "x" +
                std::to_string(image.Height()) + " at " + std::to_string(image.ColorDepth()) +
                " bits, expected " + std::to_string(width) + "x" + std::to_string(height) + " at " +
                std::to_string(depth) + ";";
  }
  for (const PixelCheck& check : pixels) {
    const Pixel actual = image.ReadPixel(check.x, check.y);
    if (actual != check.colour) {
      ok = false;
      problems += " pixel (" + std::to_string(check.x) + "," + std::to_string(check.y) + ") is " +
                  ::testing::PrintToString(actual) + ", expected " +
                  ::testing::PrintToString(check.colour) + ";";
    }
  }
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problems;
}

// Every pixel equals `colour`.
inline ::testing::AssertionResult AllPixelsAre(const BmpImage& image, Pixel colour) {
  for (std::int32_t x = 0; x < image.Width(); ++x) {
    for (std::int32_t y = 0; y < image.Height(); ++y) {
      if (image.ReadPixel(x, y) != colour) {
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is "
                                             << ::testing::PrintToString(image.ReadPixel(x, y))
                                             << ", expected " << ::testing::PrintToString(colour);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Same size and pixels.
inline ::testing::AssertionResult SamePixels(const BmpImage& actual, const BmpImage& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
    return ::testing::AssertionFailure()
           << "size " << actual.Width() << "x" << actual.Height() << ", expected "
           << expected.Width() << "x" << expected.Height();
  }
  for (std::int32_t x = 0; x < actual.Width(); ++x) {
    for (std::int32_t y = 0; y < actual.Height(); ++y) {
      if (actual.ReadPixel(x, y) != expected.ReadPixel(x, y)) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is "
               << ::testing::PrintToString(actual.ReadPixel(x, y)) << ", expected "
               << ::testing::PrintToString(expected.ReadPixel(x, y));
      }
    }
  }
  return ::testing::AssertionSuccess();
}

using CheckerFunction = std::int32_t (*)(const char16_t*, const char16_t*);

// The built module, loaded at run time as hosts load it. `skip` says why a
// build or machine cannot load it (no module built, an emulated target);
// `error` says why a module that is there does not work.
class CheckerModule {
 public:
  CheckerModule() {
#ifdef QUARVEL_TEST_LOADS_MODULE
    if (!FileExists(QUARVEL_MODULE_PATH)) {
      skip = std::string("no module at ") + QUARVEL_MODULE_PATH;
      return;
    }
    handle = dlopen(QUARVEL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      error = dlerror();
      return;
    }
    entry = reinterpret_cast<CheckerFunction>(dlsym(handle, "BMPChecker"));
    if (entry == nullptr) error = "the module does not export BMPChecker";
#else
    skip = "this build does not load the module";
#endif
  }
  CheckerModule(const CheckerModule&) = delete;
  CheckerModule& operator=(const CheckerModule&) = delete;
  ~CheckerModule() {
#ifdef QUARVEL_TEST_LOADS_MODULE
    if (handle != nullptr) dlclose(handle);
#endif
  }

  CheckerFunction entry = nullptr;
  std::string skip;
  std::string error;

 private:
  void* handle = nullptr;
};

// The palette holds exactly these entries, the rest of it being `rest`.
inline ::testing::AssertionResult PaletteStartsWith(const BmpImage& image,
                                                    const std::vector<Pixel>& entries, Pixel rest) {
  for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
    const Pixel expected =
        i < static_cast<std::int32_t>(entries.size()) ? entries[static_cast<std::size_t>(i)] : rest;
    if (image.PaletteEntry(i) != expected) {
      return ::testing::AssertionFailure()
             << "palette entry " << i << " is " << ::testing::PrintToString(image.PaletteEntry(i))
             << ", expected " << ::testing::PrintToString(expected);
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace test
}  // namespace quarvel
