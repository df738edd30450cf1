// Which kind of file system holds a file: the record manager keeps a data file differently when
// other computers reach it over the network.
#include <sys/vfs.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform_internal.h"
#include "platform.h"

namespace platform {

namespace {

// Type numbers the kernel reports for file systems whose files other computers share, or whose
// byte-range locks and memory mappings it cannot keep coherent between computers.
constexpr uint32_t kNetworkFileSystems[] = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x65735546,  // FUSE (sshfs, network mounts and some local ones: treated as shared)
    0x01021997,  // 9P
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x73757245,  // Coda
    0x00C36400,  // Ceph
    0x0BD00BD0,  // Lustre
    0x01161970,  // GFS2
    0x564C,      // NCP
};

bool IsNetworkType(uint32_t type) {
    for (uint32_t network : kNetworkFileSystems) {
        if (type == network) return true;
    }
    return false;
}

// The folder part of `path` ("." for a bare name).
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool IsOnNetworkFileSystem(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    int64_t pretended;
    if (internal::PretendedFileSystemType(&pretended)) return IsNetworkType(static_cast<uint32_t>(pretended));
    const std::string native = NativePath(path);
    struct statfs info;
    int rc = ::statfs(native.c_str(), &info);
    if (rc != 0 && errno == ENOENT) rc = ::statfs(FolderOf(native).c_str(), &info);
    // f_type is a signed word on some systems: the type numbers are 32-bit patterns.
    return rc == 0 && IsNetworkType(static_cast<uint32_t>(info.f_type));
}

}  // namespace platform
