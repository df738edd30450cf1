// KeyOverrideScope: a record object's key number and lock bias lent to its file for one call.
#include "open_file_table.h"
#include "record_object.h"

namespace tydb {

KeyOverrideScope::KeyOverrideScope(int16_t handle, int32_t keyNumber, int32_t bias) : handle_(handle) {
    OpenFileEntry* entry = GetOpenEntry(handle);
    if (entry == nullptr) return;
    savedKeyNumber_ = entry->keyNumber;
    savedBias_ = entry->operationBias;
    applied_ = true;
    // The same rule as DbOverRideDef: a negative value leaves that default alone.
    if (keyNumber >= 0) entry->keyNumber = static_cast<int16_t>(keyNumber & 0xFFFF);
    if (bias >= 0) entry->operationBias = bias;
}

KeyOverrideScope::~KeyOverrideScope() {
    if (!applied_) return;
    // Restored on the entry itself: DbOverRideDef could not put back a negative key number or
    // bias that the file had before.
    OpenFileEntry* entry = GetOpenEntry(handle_);
    if (entry == nullptr) return;
    entry->keyNumber = savedKeyNumber_;
    entry->operationBias = savedBias_;
}

}  // namespace tydb
