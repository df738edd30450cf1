// heap_block.h: the library's variable-sized blocks, zero-filled, from the process heap.
#ifndef TYDB_BASE_HEAP_BLOCK_H
#define TYDB_BASE_HEAP_BLOCK_H

#include <cstdint>

namespace tydb {

// count x size zero-filled bytes, or nullptr (negative arguments, overflow, heap refused).
// A zero-byte request gives a valid block that FreeBlock accepts.
void* AllocZeroed(int32_t count, int32_t size);

// Gives a block back; non-zero on success.
int FreeBlock(void* block);

// Owns one AllocZeroed block for the life of a scope.
class HeapBlock {
public:
    HeapBlock(int32_t count, int32_t size) : block_(AllocZeroed(count, size)) {}
    ~HeapBlock() {
        if (block_ != nullptr) FreeBlock(block_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    explicit operator bool() const { return block_ != nullptr; }
    template <typename T>
    T* as() const {
        return static_cast<T*>(block_);
    }

private:
    void* block_;
};

}  // namespace tydb

#endif  // TYDB_BASE_HEAP_BLOCK_H
