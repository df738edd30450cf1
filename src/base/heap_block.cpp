#include "heap_block.h"

#include "platform.h"

namespace tydb {

void* AllocZeroed(int32_t count, int32_t size) { return platform::HeapAllocZeroed(count, size); }

int FreeBlock(void* block) { return platform::HeapFreeBlock(block); }

}  // namespace tydb
