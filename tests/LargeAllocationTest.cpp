// Pixel-block storage: alignment, the whole block usable, release, and
// refusal of sizes no machine can hold.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/LargeAllocation.h"

namespace quarvel {
namespace {

TEST(LargeAllocationTest, BlocksAreAlignedWritableAndReleased) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t sizes[] = {0, 1, 4096, kHugePage - 1, kHugePage, (std::size_t{64} << 20) + 4};
  for (const std::size_t size : sizes) {
    SCOPED_TRACE(size);
    void* block = AllocateLarge(size);
    ASSERT_NE(block, nullptr);
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    EXPECT_EQ(address % 64, 0u);
#ifdef __linux__
    if (size >= kHugePage) {
      EXPECT_EQ(address % kHugePage, 0u);
    }
#endif
    std::memset(block, 0xA5, size);
    ReleaseLarge(block);
  }
  ReleaseLarge(nullptr);
}

TEST(LargeAllocationTest, ImpossibleSizesAreRefused) {
  EXPECT_EQ(AllocateLarge(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocateLarge(SIZE_MAX - 4096), nullptr);
}

}  // namespace
}  // namespace quarvel
