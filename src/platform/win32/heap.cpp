// Zero-filled blocks from the process heap.
#include <limits>

#include "platform_internal.h"
#include "platform.h"
#include "windows_api.h"

namespace platform {

void* HeapAllocZeroed(int32_t count, int32_t size) {
    if (count < 0 || size < 0) return nullptr;
    int64_t bytes = static_cast<int64_t>(count) * size;
    if (bytes > std::numeric_limits<int32_t>::max()) return nullptr;
    if (internal::ConsumeInjectedAllocationFailure()) return nullptr;
    HANDLE heap = GetProcessHeap();
    if (heap == nullptr) return nullptr;
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(bytes));
}

int HeapFreeBlock(void* block) {
    if (block == nullptr) return 1;
    HANDLE heap = GetProcessHeap();
    if (heap == nullptr) return 0;
    return HeapFree(heap, 0, block) ? 1 : 0;
}

}  // namespace platform
