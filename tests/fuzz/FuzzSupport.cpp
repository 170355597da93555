#include "tests/fuzz/FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quarvel {
namespace fuzz {
namespace {

// Memory-backed when the machine has it: every input is written once.
std::string ScratchDirectory() {
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
  std::abort();
}

ScratchFile::ScratchFile(const std::uint8_t* data, std::size_t size, const char* tag)
    : path(ScratchDirectory() + "/quarvel-fuzz-" + std::to_string(getpid()) + "-" + tag) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
  FUZZ_CHECK(std::fclose(file) == 0);
}

ScratchFile::~ScratchFile() {
  std::remove(path.c_str());
}

std::uint32_t FieldAt(const std::uint8_t* data, std::size_t size, std::size_t offset,
                      std::size_t width, std::uint32_t fallback) {
  if (offset + width > size) return fallback;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint32_t{data[offset + i]} << (8 * i);
  return value;
}

std::uint8_t InputTaker::Byte() {
  if (left == 0) return 0;
  --left;
  return *next++;
}

std::int32_t InputTaker::Between(std::int32_t low, std::int32_t high) {
  const std::uint32_t range = static_cast<std::uint32_t>(high) - static_cast<std::uint32_t>(low);
  std::uint32_t raw = 0;
  for (int i = 0; i < 4; ++i) raw = (raw << 8) | Byte();
  const std::uint64_t offset = range == 0xFFFFFFFFu ? raw : raw % (std::uint64_t{range} + 1);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(low) +
                                   static_cast<std::uint32_t>(offset));
}

}  // namespace fuzz
}  // namespace quarvel
