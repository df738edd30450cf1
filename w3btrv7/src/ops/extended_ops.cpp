// The extended reads: Get Next/Previous Extended along a key path and Step Next/Previous
// Extended in record order. Each examines records one after the other, as Get Next or Step
// Next would read them, keeps those the descriptor's filter accepts, and returns the extracted
// fields of many records in one call.
#include <cstring>
#include <string>
#include <vector>

#include "ops/call.h"
#include "ops/extended_descriptor.h"

namespace w3b {

namespace {

constexpr size_t kAcsMapOffset = 9;  // signature and name come first

bool IsGetExtended(uint16_t base) { return base == btr::kOpGetNextExtended || base == btr::kOpGetPreviousExtended; }

bool IsForward(uint16_t base) { return base == btr::kOpGetNextExtended || base == btr::kOpStepNextExtended; }

// The collating sequence a term marked "use the key's ACS" compares by: the key path's own, else
// the file's first.
const uint8_t* AcsOf(const FileDef& def, const KeyInfo* key) {
    if (key != nullptr) {
        for (size_t i = 0; i < key->specs.size(); ++i) {
            if ((key->specs[i].flags & btr::kKeyFlagAlternateSequence) != 0) return key->def.segments[i].collation;
        }
    }
    return def.acs.empty() ? nullptr : def.acs[0].data() + kAcsMapOffset;
}

// One examination after another, each a plain Get Next/Previous or Step Next/Previous on the
// block, into a buffer of the call's own.
class Examiner {
public:
    Examiner(Call& call, OpenInstance& open) : call_(call), open_(open) {
        const uint16_t base = call.op.base;
        step_ = call;
        step_.op = Operation();
        step_.op.base = IsGetExtended(base) ? (IsForward(base) ? btr::kOpGetNext : btr::kOpGetPrevious)
                                            : (IsForward(base) ? btr::kOpStepNext : btr::kOpStepPrevious);
        record_.resize(open.file->Def().VariableLength() ? kMaxRecordLength : open.file->Def().RecordLength());
        step_.data = reinterpret_cast<uint8_t*>(record_.data());
        step_.dataLength = &length_;
    }

    // The record the block stands on, for "UC"; false when it has none to examine (it then
    // starts with the next one), or a status when the block cannot go on from where it is.
    int16_t Current(bool* found) {
        *found = false;
        const Cursor& cursor = open_.cursor;
        int64_t position = 0;
        if (IsGetExtended(call_.op.base)) {
            if (cursor.logical == Place::kNone) return btr::kStatusInvalidPositioning;
            if (cursor.keyNumber != call_.keyNumber) return btr::kStatusDifferentKeyNumber;
            if (cursor.logical != Place::kAt) return btr::kStatusSuccess;
            position = cursor.entry.position;
        } else {
            if (cursor.physical == Place::kNone) return btr::kStatusInvalidPositioning;
            if (cursor.physical != Place::kAt) return btr::kStatusSuccess;
            position = cursor.position;
        }
        std::string record;
        if (int16_t status = open_.file->ReadRecord(position, &record, found); status != btr::kStatusSuccess) {
            return status;
        }
        if (!*found) return btr::kStatusSuccess;
        if (!Replace(record)) return btr::kStatusIoError;
        position_ = position;
        return btr::kStatusSuccess;
    }

    // The next record along the way: 0, 9 at the end, or the read's failure.
    int16_t Next() {
        length_ = static_cast<uint32_t>(record_.size());
        int16_t status = IsGetExtended(call_.op.base) ? DoGet(step_, open_) : DoStep(step_, open_);
        if (status == btr::kStatusSuccess) position_ = open_.cursor.position;
        return status;
    }

    // The record as it is now, in place of the one read; false when it does not fit.
    bool Replace(const std::string& now) {
        if (now.size() < open_.file->Def().RecordLength() || now.size() > record_.size()) return false;
        std::memcpy(record_.data(), now.data(), now.size());
        return true;
    }

    const uint8_t* Record() const { return reinterpret_cast<const uint8_t*>(record_.data()); }
    OpenInstance& Open() { return open_; }
    int64_t Position() const { return position_; }

private:
    Call& call_;
    OpenInstance& open_;
    Call step_;
    std::string record_;
    uint32_t length_ = 0;
    int64_t position_ = 0;
};

// Locks the record the examiner stands on, as the call asks, and reads it again under the lock,
// so that what is returned is what is locked: `taken` false (the lock given back) when it has
// gone meanwhile or the filter no longer accepts it.
int16_t LockTaken(OpenInstance& open, Examiner& examiner, const ExtendedDescriptor& descriptor, uint8_t lock,
                  bool* taken) {
    *taken = false;
    const int64_t position = examiner.Position();
    if (int16_t status = AcquireForRead(open, position, lock); status != btr::kStatusSuccess) return status;
    std::string now;
    bool found = false;
    int16_t status = open.file->ReadRecord(position, &now, &found);
    *taken = status == btr::kStatusSuccess && found && examiner.Replace(now) && descriptor.Accepts(examiner.Record());
    if (!*taken) {
        open.file->Locks().Release(position);
        return status;
    }
    KeepReadLock(open, position, lock);
    return btr::kStatusSuccess;
}

// Examines records until enough are taken (0), the way ends (9) or too many were rejected (60),
// appending each taken record to `result` after its count. With `lock`, each taken record is
// locked; a failure gives back the locks this call took.
int16_t Examine(const ExtendedDescriptor& descriptor, Examiner& examiner, uint8_t lock, std::string* result,
                uint16_t* taken) {
    OpenInstance& open = examiner.Open();
    std::vector<int64_t> locked;
    uint32_t rejected = 0;
    bool haveCurrent = false;
    int16_t status = btr::kStatusSuccess;
    if (descriptor.start == ExtendedStart::kWithCurrent) status = examiner.Current(&haveCurrent);
    while (status == btr::kStatusSuccess) {
        if (!haveCurrent && (status = examiner.Next()) != btr::kStatusSuccess) break;
        haveCurrent = false;
        bool accepted = descriptor.Accepts(examiner.Record());
        if (accepted && lock != 0 && (status = LockTaken(open, examiner, descriptor, lock, &accepted)) != 0) break;
        if (!accepted) {
            if (++rejected >= descriptor.rejectLimit) return btr::kStatusRejectCountReached;
            continue;
        }
        if (lock != 0) locked.push_back(examiner.Position());
        AppendU16(result, static_cast<uint16_t>(descriptor.extractLength));
        AppendU32(result, static_cast<uint32_t>(examiner.Position()));
        descriptor.Extract(examiner.Record(), result);
        if (++*taken == descriptor.wanted) return btr::kStatusSuccess;
    }
    if (status != btr::kStatusEndOfFile) {
        for (int64_t position : locked) open.ReleaseLocksOn(position);
    }
    return status;
}

}  // namespace

int16_t DoReadExtended(Call& call, OpenInstance& open) {
    FileConnection& file = *open.file;
    const FileDef& def = file.Def();
    const KeyInfo* key = nullptr;
    if (IsGetExtended(call.op.base)) {
        if ((key = KeyOf(def, call.keyNumber)) == nullptr) return btr::kStatusInvalidKeyNumber;
        if (!call.KeyFits(key->length)) return btr::kStatusKeyBufferTooShort;
    } else if (def.KeyOnly()) {
        return btr::kStatusOperationNotAllowed;
    }
    // +100/+200 lock the last record returned, +300/+400 every one.
    const uint8_t lock = EffectiveLock(call);
    if (lock != 0) {
        if (int16_t status = BeginLockingRead(open, lock); status != btr::kStatusSuccess) return status;
    }
    DescriptorLimits limits{
        .bufferLength = call.DataCapacity(), .recordLength = def.RecordLength(), .acs = AcsOf(def, key)};
    ExtendedDescriptor descriptor;
    if (int16_t status = ParseExtendedDescriptor(call.data, limits, &descriptor); status != btr::kStatusSuccess) {
        return status;
    }
    Examiner examiner(call, open);
    std::string result(2, '\0');
    result.reserve(static_cast<size_t>(descriptor.ResultLength(descriptor.wanted)));
    uint16_t taken = 0;
    int16_t status = Examine(descriptor, examiner, lock, &result, &taken);
    bool partial = status == btr::kStatusEndOfFile || status == btr::kStatusRejectCountReached;
    if (status != btr::kStatusSuccess && !partial) return status;
    WriteU16(reinterpret_cast<uint8_t*>(result.data()), taken);
    std::memcpy(call.data, result.data(), result.size());
    call.SetDataLength(static_cast<uint32_t>(result.size()));
    return status;
}

}  // namespace w3b
