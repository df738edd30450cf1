// DbSetDirectories and DbGetDirectories: the application's directory block, whole.
#include <cstring>

#include "directory_block.h"
#include "status.h"
#include "tydb.h"

using namespace tydb;

extern "C" TYDB_API int32_t TYDB_CALL DbSetDirectories(const TydbDirectoryBlock* block) {
    if (block == nullptr) return kStatusNoBuffer;
    std::memcpy(&Directories(), block, sizeof(DirectoryBlock));
    return kStatusSuccess;
}

extern "C" TYDB_API int32_t TYDB_CALL DbGetDirectories(TydbDirectoryBlock* block) {
    if (block == nullptr) return kStatusNoBuffer;
    std::memcpy(block, &Directories(), sizeof(DirectoryBlock));
    return kStatusSuccess;
}
