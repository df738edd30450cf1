#include "directory_block.h"

#include <cstring>

#include "text_compare.h"

namespace tydb {
namespace {

DirectoryBlock directoryBlock = {};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

DirectoryBlock& Directories() { return directoryBlock; }

std::string_view SlotText(const DirectoryBlock& block, int slot) {
    const char* text = block.directories[slot];
    return std::string_view(text, strnlen(text, kDirectorySlotSize));
}

std::string_view LockDirectory() { return SlotText(directoryBlock, kLockSlot); }

bool LockDisabled() { return directoryBlock.lockDisabled != 0; }

bool SplitPath(const char* path, PathParts* out) {
    if (path == nullptr || out == nullptr) return false;
    // One character more than allowed is enough to know the path is too long.
    const size_t length = strnlen(path, kMaxPathLength + 1);
    if (length > kMaxPathLength) return false;
    const std::string_view text(path, length);

    const size_t driveLength = (length >= 2 && text[1] == ':') ? 2 : 0;
    size_t nameStart = driveLength;
    for (size_t i = driveLength; i < length; ++i) {
        if (IsSeparator(text[i])) nameStart = i + 1;
    }
    const std::string_view nameKey = text.substr(nameStart);
    if (nameKey.size() > kMaxNameKeyLength) return false;

    // Only a backslash is dropped: on POSIX the slots keep their trailing '/'.
    size_t directoryLength = nameStart;
    if (directoryLength > driveLength && text[directoryLength - 1] == '\\') --directoryLength;
    out->nameKey = nameKey;
    out->directory = text.substr(0, directoryLength);
    return true;
}

bool ResolveDirectory(const char* path, ResolvedPath* out) {
    if (out == nullptr) return false;
    PathParts parts;
    if (!SplitPath(path, &parts)) return false;
    const std::string_view directory = parts.directory;
    out->nameKey = parts.nameKey;
    out->directory = directory;
    for (int slot = 0; slot < kScratchSlot; ++slot) {
        if (SamePathText(directory, SlotText(directoryBlock, slot))) {
            out->slot = slot;
            out->share = directoryBlock.shareOpenFiles != 0;
            return true;
        }
    }
    char* scratch = directoryBlock.directories[kScratchSlot];
    std::memset(scratch, 0, kDirectorySlotSize);
    std::memcpy(scratch, directory.data(), directory.size());  // at most kMaxPathLength characters
    out->slot = kScratchSlot;
    out->share = false;
    return true;
}

}  // namespace tydb
