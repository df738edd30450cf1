#include "ops/engine.h"

#include <cstring>
#include <random>

#include "btrcall.h"
#include "ops/call.h"
#include "store/store.h"

namespace w3b {

namespace {

// Position block layout: a tag the engine can verify before it trusts anything else.
constexpr uint8_t kMagic[4] = {'B', 'T', 'S', 'Q'};
constexpr size_t kIdOffset = 4;
constexpr size_t kGenerationOffset = 8;

uint32_t BlockWord(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void SetBlockWord(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

bool OpenInstance::ReadOnly() const { return mode == btr::kOpenReadOnly || readsWithoutOwnerName; }

bool OpenInstance::HoldsMultiple(int64_t position) const {
    for (int64_t held : multipleLocks) {
        if (held == position) return true;
    }
    return false;
}

void OpenInstance::ReleaseLocks() {
    if (singleLock != 0) file->Locks().Release(singleLock);
    singleLock = 0;
    for (int64_t held : multipleLocks) file->Locks().Release(held);
    multipleLocks.clear();
}

void OpenInstance::ReleaseLocksOn(int64_t position) {
    if (singleLock == position) {
        file->Locks().Release(position);
        singleLock = 0;
    }
    for (size_t i = 0; i < multipleLocks.size(); ++i) {
        if (multipleLocks[i] != position) continue;
        file->Locks().Release(position);
        multipleLocks.erase(multipleLocks.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
}

Engine* const Engine::instance_ = new Engine();

// The engine is made while the record manager is loaded (inside the loader's lock on Windows),
// so it does nothing there but set its members; the generation is drawn at the first Open.
Engine::Engine() = default;

void Engine::DrawGeneration() {
    // A generation of its own per process, so a block copied from another process (or left
    // from before a Stop) never matches by accident.
    std::random_device random;
    do {
        generation_ = random();
    } while (generation_ == 0);
}

OpenInstance* Engine::Find(const uint8_t* positionBlock) {
    if (positionBlock == nullptr || std::memcmp(positionBlock, kMagic, sizeof kMagic) != 0) return nullptr;
    if (generation_ == 0 || BlockWord(positionBlock + kGenerationOffset) != generation_) return nullptr;
    uint32_t id = BlockWord(positionBlock + kIdOffset);
    if (id == lastFoundId_ && lastFound_ != nullptr) return lastFound_;
    auto it = opens_.find(id);
    if (it == opens_.end()) return nullptr;
    lastFoundId_ = id;
    lastFound_ = &it->second;
    return lastFound_;
}

int16_t Engine::Connect(const std::string& path, Slot* slot) {
    DataFileLocation where;
    if (int16_t status = LocateDataFile(path, &where); status != btr::kStatusSuccess) return status;
    *slot = files_.find(where.key);
    if (*slot == files_.end()) {
        std::unique_ptr<FileConnection> file;
        int16_t status = OpenDataFile(path, where, &file);
        if (status != btr::kStatusSuccess) return status;
        *slot = files_.emplace(where.key, FileSlot{std::move(file), 0}).first;
        return btr::kStatusSuccess;
    }
    (*slot)->second.file->BeginCall();
    return (*slot)->second.file->Refresh();
}

int16_t Engine::Open(const std::string& path, int8_t mode, const std::string& ownerName, uint8_t* positionBlock) {
    if (generation_ == 0) DrawGeneration();
    // A block that is still open is closed first, so that nothing leaks behind it.
    if (OpenInstance* old = Find(positionBlock); old != nullptr) Close(old, nullptr);
    Slot slot;
    if (int16_t status = Connect(path, &slot); status != btr::kStatusSuccess) return status;
    OwnerAccess owner;
    if (int16_t status = CheckOwnerName(slot->second.file->Def(), ownerName, &owner); status != btr::kStatusSuccess) {
        if (slot->second.Idle()) files_.erase(slot);
        return status;
    }
    // A verifying open asks for every write on disk before its call returns; the connection is
    // shared, so the whole process writes the file that way from now on.
    if (mode == btr::kOpenVerify) slot->second.file->RequireFullSync();
    if (mode == btr::kOpenExclusive) {
        if (int16_t status = slot->second.file->AcquireExclusiveOpen(); status != btr::kStatusSuccess) {
            if (slot->second.Idle()) files_.erase(slot);
            return status;
        }
    }

    uint32_t id = nextId_++;
    if (nextId_ == 0) nextId_ = 1;
    OpenInstance& open = opens_[id];
    open.id = id;
    open.file = slot->second.file.get();
    open.mode = mode;
    open.gaveOwnerName = owner.gaveName;
    open.readsWithoutOwnerName = owner.readsOnly;
    ++slot->second.opens;

    std::memset(positionBlock, 0, btr::kPositionBlockSize);
    std::memcpy(positionBlock, kMagic, sizeof kMagic);
    SetBlockWord(positionBlock + kIdOffset, id);
    SetBlockWord(positionBlock + kGenerationOffset, generation_);
    return btr::kStatusSuccess;
}

void Engine::Close(OpenInstance* open, uint8_t* positionBlock) {
    open->ReleaseLocks();
    if (open->mode == btr::kOpenExclusive) open->file->ReleaseExclusiveOpen();
    auto slot = files_.find(open->file->Key());
    if (lastFound_ == open) lastFound_ = nullptr;
    opens_.erase(open->id);
    // A file with work in the transaction stays open until the transaction ends.
    if (slot != files_.end() && --slot->second.opens <= 0 && slot->second.Idle()) files_.erase(slot);
    if (positionBlock != nullptr) std::memset(positionBlock, 0, btr::kPositionBlockSize);
}

bool Engine::IsOpenHere(const DataFileLocation& where) const {
    return (where.server || where.localExists) && files_.count(where.key) != 0;
}

int16_t Engine::JoinTransaction(FileConnection* file) {
    if (file->InTransaction()) return btr::kStatusSuccess;
    int16_t status = file->JoinTransaction();
    if (status != btr::kStatusSuccess) return status;
    // An exclusive transaction keeps other processes' locking reads and writes off the file
    // until it ends.
    if (transaction_.exclusive && (status = file->Locks().LockFile()) != btr::kStatusSuccess) {
        file->EndTransaction(Outcome::kRollBack);
        return status;
    }
    transaction_.files.push_back(file);
    return btr::kStatusSuccess;
}

int16_t Engine::LockForTransaction(FileConnection* file, int64_t position) {
    for (const auto& [lockedFile, lockedPosition] : transaction_.lockedRecords) {
        if (lockedFile == file && lockedPosition == position) return btr::kStatusSuccess;
    }
    int16_t status = file->Locks().Acquire(position, LockWait::kAnswerAtOnce);
    if (status == btr::kStatusSuccess) transaction_.lockedRecords.emplace_back(file, position);
    return status;
}

int16_t Engine::EndTransaction(Outcome outcome) {
    int16_t result = btr::kStatusSuccess;
    for (FileConnection* file : transaction_.files) {
        // After a failed commit the remaining parts are rolled back rather than half kept.
        int16_t status = file->EndTransaction(result == btr::kStatusSuccess ? outcome : Outcome::kRollBack);
        if (status != btr::kStatusSuccess && result == btr::kStatusSuccess) result = status;
    }
    for (const auto& [file, position] : transaction_.lockedRecords) file->Locks().Release(position);
    transaction_ = Transaction();
    for (auto it = files_.begin(); it != files_.end();) {
        it = it->second.Idle() ? files_.erase(it) : std::next(it);
    }
    return result;
}

void Engine::CloseAll() {
    // Closing a connection rolls back whatever part of a transaction it holds, and closing
    // the descriptors ends every lock of the process.
    lastFound_ = nullptr;
    opens_.clear();
    transaction_ = Transaction();
    files_.clear();
    directory_.clear();
    if (generation_ == 0) return;  // nothing was ever opened
    uint32_t old = generation_;
    do {
        ++generation_;
    } while (generation_ == 0 || generation_ == old);
}

int16_t Engine::BeginContinuous(const std::vector<std::string>& paths) {
    std::vector<Slot> begun;
    int16_t status = btr::kStatusSuccess;
    for (const std::string& path : paths) {
        Slot slot;
        if ((status = Connect(path, &slot)) != btr::kStatusSuccess) break;
        if (slot->second.continuous) continue;
        if ((status = slot->second.file->BeginContinuous()) != btr::kStatusSuccess) {
            if (slot->second.Idle()) files_.erase(slot);
            break;
        }
        slot->second.continuous = true;
        begun.push_back(slot);
    }
    if (status == btr::kStatusSuccess) return status;
    for (Slot slot : begun) {
        slot->second.file->EndContinuous();
        slot->second.continuous = false;
        if (slot->second.Idle()) files_.erase(slot);
    }
    return status;
}

int16_t Engine::EndContinuous(const std::vector<std::string>* paths) {
    std::vector<Slot> ending;
    if (paths == nullptr) {
        for (Slot slot = files_.begin(); slot != files_.end(); ++slot) ending.push_back(slot);
    } else {
        for (const std::string& path : *paths) {
            DataFileLocation where;
            if (int16_t status = LocateDataFile(path, &where); status != btr::kStatusSuccess) return status;
            if (Slot slot = files_.find(where.key); slot != files_.end()) ending.push_back(slot);
        }
    }
    for (Slot slot : ending) {
        if (!slot->second.continuous) continue;
        slot->second.file->EndContinuous();
        slot->second.continuous = false;
        if (slot->second.Idle()) files_.erase(slot);
    }
    return btr::kStatusSuccess;
}

void Engine::KeyDropped(FileConnection* file, int number, Renumbering renumbering) {
    for (auto& [id, open] : opens_) {
        if (open.file != file) continue;
        Cursor& cursor = open.cursor;
        if (cursor.keyNumber == number) {
            cursor.keyNumber = -1;
            cursor.logical = Place::kNone;
        } else if (renumbering == Renumbering::kCloseTheGap && cursor.keyNumber > number) {
            --cursor.keyNumber;
        }
    }
}

}  // namespace w3b
