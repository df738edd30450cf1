#include "lock_file.h"

#include <cstring>

#include "tydb.h"

namespace tydb {
namespace {

// Opens for holding per pass, and the wait (in DbWait units) between them while busy.
constexpr int kHoldAttempts = 10;
constexpr int32_t kBusyWaitUnits = 3;
// Passes of TakeLockFile when the file vanishes between its creation and the holding open.
// Only a directory in which the file keeps disappearing uses them up; a directory that cannot
// hold the file at all ends refused instead of spinning.
constexpr int kTakePasses = 10;

constexpr bool kTextMode = true;

}  // namespace

bool FormatLockFilePath(std::string_view lockDirectory, char (&out)[kLockPathSize]) {
    std::memset(out, 0, sizeof out);
    const bool needsSeparator = lockDirectory.empty() || (lockDirectory.back() != '\\' && lockDirectory.back() != '/');
    const size_t nameLength = std::strlen(kLockFileName);
    const size_t total = lockDirectory.size() + (needsSeparator ? 1 : 0) + nameLength;
    if (total >= sizeof out) return false;
    char* cursor = out;
    std::memcpy(cursor, lockDirectory.data(), lockDirectory.size());
    cursor += lockDirectory.size();
    if (needsSeparator) *cursor++ = '\\';
    std::memcpy(cursor, kLockFileName, nameLength);
    return true;
}

LockFile::LockFile() {
    if (!platform::GetComputerName(computerName_, sizeof computerName_)) computerName_[0] = '\0';
}

bool LockFile::CreateLockFile(const char* path) {
    if (!platform::FileExists(path)) {
        platform::File created;
        if (platform::File::CreateExclusive(path, kTextMode, &created) == platform::FileStatus::kOk) {
            created.Write(computerName_, std::strlen(computerName_));
        }
        // Closed here: the name is on file before anyone can open it for holding.
    }
    return platform::FileExists(path);
}

LockFile::HoldResult LockFile::HoldLockFile() {
    for (int attempt = 0; attempt < kHoldAttempts; ++attempt) {
        switch (platform::File::OpenDenyWrite(path_, kTextMode, &file_)) {
            case platform::FileStatus::kOk: return HoldResult::kHeld;
            case platform::FileStatus::kNotFound: return HoldResult::kVanished;
            case platform::FileStatus::kAccessDenied:
                // Someone is writing it (a creator of either computer): give it time.
                DbWait(kBusyWaitUnits);
                break;
            default: break;
        }
    }
    return HoldResult::kBusy;
}

bool LockFile::TakeLockFile(std::string_view lockDirectory) {
    if (IsHeld()) return false;
    cannotBeMade_ = false;
    for (int pass = 0; pass < kTakePasses; ++pass) {
        if (!FormatLockFilePath(lockDirectory, path_)) {
            cannotBeMade_ = true;
            break;
        }
        // Fails while another process holds it, which is what keeps a live lock in place.
        platform::DeleteUnlessHeld(path_);
        const bool there = CreateLockFile(path_);
        const HoldResult result = HoldLockFile();
        if (result == HoldResult::kHeld) return true;
        // Nothing at the name even after the create: the folder refuses it, nobody else has it.
        cannotBeMade_ = !there && result == HoldResult::kVanished;
        if (result == HoldResult::kBusy) break;
    }
    std::memset(path_, 0, sizeof path_);
    return false;
}

bool LockFile::IsOwnLockFile() {
    if (!IsHeld()) return false;
    if (file_.Seek(0, platform::SeekFrom::kBegin) != platform::FileStatus::kOk) return false;
    char content[kComputerNameSize + 1] = {};
    size_t got = 0;
    if (file_.Read(content, kComputerNameSize, &got) != platform::FileStatus::kOk || got == 0) return false;
    // The file's text up to its first NUL is the name; a longer text is another computer's.
    return std::strncmp(content, computerName_, kComputerNameSize) == 0;
}

bool LockFile::DropLockFile() {
    if (IsHeld()) {
        file_.Close();
        // Another process of this computer may still hold it; then it stays for that one.
        platform::DeleteUnlessHeld(path_);
        std::memset(path_, 0, sizeof path_);
    }
    return !IsHeld();
}

}  // namespace tydb
