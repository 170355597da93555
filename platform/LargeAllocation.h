// Storage for pixel blocks, which can be hundreds of megabytes.
#pragma once

#include <cstddef>

namespace quarvel {

// At least `bytes` of storage, aligned to 64 bytes, its bytes not yet set;
// null when it cannot be obtained. Never throws. On Linux a block of 2 MiB or
// more starts on a 2 MiB boundary and is offered to the kernel for
// transparent huge pages: its first touch then costs one page fault per 2 MiB
// instead of one per 4 KiB, which otherwise is most of the cost of filling a
// fresh image.
void* AllocateLarge(std::size_t bytes);

// Releases a block from AllocateLarge. A null block is ignored.
void ReleaseLarge(void* block);

}  // namespace quarvel
