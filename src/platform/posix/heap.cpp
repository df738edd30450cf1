// Zero-filled blocks for the library's variable-sized buffers.
#include <cstdlib>
#include <limits>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

void* HeapAllocZeroed(int32_t count, int32_t size) {
    if (count < 0 || size < 0) return nullptr;
    int64_t bytes = static_cast<int64_t>(count) * size;
    if (bytes > std::numeric_limits<int32_t>::max()) return nullptr;
    if (internal::ConsumeInjectedAllocationFailure()) return nullptr;
    // calloc(0) may answer null, yet an empty request must give a block the caller can free.
    return std::calloc(bytes == 0 ? 1 : static_cast<size_t>(bytes), 1);
}

int HeapFreeBlock(void* block) {
    std::free(block);
    return 1;
}

}  // namespace platform
