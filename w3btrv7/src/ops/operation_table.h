// operation_table.h: every operation the record manager offers, one row each: how it runs and
// which biases it takes. Decoding and dispatch consult this table and list no operation anywhere
// else; a code without a row answers "invalid operation".
#ifndef W3BTRV7_OPS_OPERATION_TABLE_H
#define W3BTRV7_OPS_OPERATION_TABLE_H

#include <array>
#include <cstdint>

namespace w3b {

struct Call;
struct OpenInstance;

// Operations that need no open file (Open, Create, the transaction operations, ...).
using CallHandler = int16_t (*)(Call&);
// Operations on the file a position block has open.
using BlockHandler = int16_t (*)(Call&, OpenInstance&);

// What sets an operation apart from the others, as flags of its row.
enum class Trait : uint16_t {
    kNone = 0,
    // Locks the record it reaches when the call (or the transaction) asks for a lock.
    kLockingRead = 1 << 0,
    // The chunk form (key number -2) reads no whole record and so locks nothing.
    kChunkLocksNothing = 1 << 1,
    // The read never writes the key buffer, whatever key number it is given.
    kLeavesKeyBuffer = 1 << 2,
    // Biases accepted on top of the lock biases, which every operation takes.
    kTakesGetKey = 1 << 3,                     // +50
    kTakesNoWriteWait = 1 << 4,                // +500
    kTakesNoWriteWaitWhenConcurrent = 1 << 5,  // +500, only together with +1000
    kTakesConcurrent = 1 << 6,                 // +1000
    // Runs on the block's file as it stands: no new call stamp, no look for a new definition.
    kUsesFileAsIs = 1 << 7,
    // Afterwards the settings (and with them the trace's) are read again.
    kReloadsSettings = 1 << 8,
};

constexpr Trait operator|(Trait a, Trait b) {
    return static_cast<Trait>(static_cast<uint16_t>(a) | static_cast<uint16_t>(b));
}

struct OperationRow {
    uint16_t code = 0;                  // the operation without biases, 0..99
    CallHandler run = nullptr;          // set when the operation needs no open block
    BlockHandler runOnBlock = nullptr;  // set when it does
    Trait traits = Trait::kNone;

    constexpr OperationRow(uint16_t operation, CallHandler handler, Trait flags = Trait::kNone)
        : code(operation), run(handler), traits(flags) {}
    constexpr OperationRow(uint16_t operation, BlockHandler handler, Trait flags = Trait::kNone)
        : code(operation), runOnBlock(handler), traits(flags) {}

    constexpr bool NeedsBlock() const { return runOnBlock != nullptr; }
    constexpr bool Has(Trait trait) const {
        return (static_cast<uint16_t>(traits) & static_cast<uint16_t>(trait)) != 0;
    }
};

// The rows by operation code (without biases): nullptr for a code not offered.
inline constexpr uint16_t kOperationCodes = 100;
extern const std::array<const OperationRow*, kOperationCodes> kOperationByCode;

// The row of operation `code` (without biases), or nullptr when it is not offered. Every call
// asks, so it is inline.
inline const OperationRow* FindOperation(uint16_t code) {
    return code < kOperationCodes ? kOperationByCode[code] : nullptr;
}

}  // namespace w3b

#endif  // W3BTRV7_OPS_OPERATION_TABLE_H
