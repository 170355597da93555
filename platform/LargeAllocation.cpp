#include "platform/LargeAllocation.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quarvel {
namespace {

// Every block is preceded by this record, so that release needs no size.
struct BlockRecord {
  void* base;               // what to hand back: the malloc result or the mapping start
  std::size_t mappedBytes;  // length of the mapping; 0 for a malloc block
};
constexpr std::size_t kRecordSpace = 64;  // keeps the block on a cache line boundary
static_assert(sizeof(BlockRecord) <= kRecordSpace, "the record must fit before the block");

BlockRecord* RecordOf(void* block) {
  return reinterpret_cast<BlockRecord*>(static_cast<unsigned char*>(block) - kRecordSpace);
}

void* FromHeap(std::size_t bytes) {
  if (bytes > SIZE_MAX - 2 * kRecordSpace) {
    return nullptr;
  }
  void* raw = std::malloc(bytes + 2 * kRecordSpace);
  if (raw == nullptr) {
    return nullptr;
  }
  // The first 64-byte boundary that leaves room for the record.
  const auto start = reinterpret_cast<std::uintptr_t>(raw) + kRecordSpace;
  void* block =
      reinterpret_cast<void*>((start + (kRecordSpace - 1)) & ~std::uintptr_t{kRecordSpace - 1});
  *RecordOf(block) = BlockRecord{raw, 0};
  return block;
}

#ifdef __linux__

constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

void* FromHugePages(std::size_t bytes) {
  const std::size_t size = (bytes + (kHugePage - 1)) & ~(kHugePage - 1);
  // One spare huge page of address space, so that an aligned start with a
  // page for the record in front of it always exists.
  if (size < bytes || size > SIZE_MAX - kHugePage) {
    return nullptr;
  }
  const std::size_t reserved = size + kHugePage;
  void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) {
    return nullptr;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kPage + (kHugePage - 1)) & ~std::uintptr_t{kHugePage - 1};
  const std::uintptr_t base = aligned - kPage;
  const std::uintptr_t end = start + reserved;
  if (base != start) {
    munmap(raw, base - start);
  }
  if (aligned + size != end) {
    munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
  }
  // Advice only: where huge pages are off or scarce the block works as it is.
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  void* block = reinterpret_cast<void*>(aligned);
  *RecordOf(block) = BlockRecord{reinterpret_cast<void*>(base), kPage + size};
  return block;
}

#endif

}  // namespace

void* AllocateLarge(std::size_t bytes) {
#ifdef __linux__
  if (bytes >= kHugePage) {
    return FromHugePages(bytes);
  }
#endif
  return FromHeap(bytes);
}

void ReleaseLarge(void* block) {
  if (block == nullptr) {
    return;
  }
  const BlockRecord record = *RecordOf(block);
#ifdef __linux__
  if (record.mappedBytes != 0) {
    munmap(record.base, record.mappedBytes);
    return;
  }
#endif
  std::free(record.base);
}

}  // namespace quarvel
