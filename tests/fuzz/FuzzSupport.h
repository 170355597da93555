// What every fuzz target shares: the input as a real file, and a check that
// stops the run with a message the fuzzer keeps beside the crashing input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A failed property is a finding: abort() so libFuzzer saves the input, and
// so the replay program ends with a signal that no caller can miss.
#define FUZZ_CHECK(condition)         \
  ((condition) ? static_cast<void>(0) \
               : ::quarvel::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

namespace quarvel {
namespace fuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// A file private to this process, holding the given bytes, removed again when
// the object goes. LoadFile takes a path, so every input goes through fopen.
class ScratchFile {
 public:
  ScratchFile(const std::uint8_t* data, std::size_t size, const char* tag);
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile();

  const char* Path() const { return path.c_str(); }

 private:
  std::string path;
};

// Little-endian field of `width` bytes at `offset`, or `fallback` when the
// input ends before the field does.
std::uint32_t FieldAt(const std::uint8_t* data, std::size_t size, std::size_t offset,
                      std::size_t width, std::uint32_t fallback);

// Takes bounded numbers from the front of the input, then zeros once it runs
// out: lets a target choose sizes and modes from the same bytes.
class InputTaker {
 public:
  InputTaker(const std::uint8_t* data, std::size_t size) : next(data), left(size) {}
  // A value in [low, high]; high - low must fit in 32 bits.
  std::int32_t Between(std::int32_t low, std::int32_t high);
  std::uint8_t Byte();

 private:
  const std::uint8_t* next;
  std::size_t left;
};

}  // namespace fuzz
}  // namespace quarvel
