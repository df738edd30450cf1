#!/usr/bin/env bash
# Compiles the Windows half of the platform layer with the 32-bit MinGW-w64 compilers (both
# thread models), then links a program that calls every function of platform.h, so that a
# missing or misspelt definition fails here rather than in the Windows build.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
platform="$root/src/platform"

if ! command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
    echo "installing the 32-bit MinGW-w64 compiler"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq g++-mingw-w64-i686 >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

compilers=()
for cxx in i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++-posix i686-w64-mingw32-g++; do
    if command -v "$cxx" >/dev/null 2>&1; then compilers+=("$cxx"); fi
done

failed=0
for cxx in "${compilers[@]}"; do
    objects=()
    for source in "$platform"/win32/*.cpp "$platform"/common/*.cpp; do
        object="$work/$cxx-$(basename "${source%.cpp}").o"
        if ! "$cxx" -std=c++20 -Wall -Wextra -Werror -I"$platform" -c "$source" -o "$object"; then
            echo "FAILED: $cxx $source"
            failed=1
            continue
        fi
        objects+=("$object")
    done
    [ "$failed" -eq 0 ] || continue

    cat > "$work/uses_everything.cpp" <<'CPP'
#include "platform.h"

int main() {
    using namespace platform;
    LibraryHandle library = LoadLibraryByName("kernel32.dll");
    int used = FindSymbol(library, "Sleep") != nullptr;
    FreeLibraryHandle(library);
    char buffer[64];
    used += static_cast<int>(GetEnvironment("PATH", buffer, sizeof(buffer)));
    used += static_cast<int>(GetEnvironmentString("PATH").size());
    used += SetEnvironment("TYDB_CHECK", "1") + PathListSeparator();
    used += GetComputerName(buffer, sizeof(buffer));
    used += HeapFreeBlock(HeapAllocZeroed(1, 1));
    SleepMilliseconds(0);
    FormatCalendarTime(CurrentTime(), buffer);
    DebugOutput(buffer);
    used += static_cast<int>(NativePath("a\\b").size());
    File file;
    FileOptions options;
    used += static_cast<int>(File::Open("x", options, &file));
    used += static_cast<int>(File::CreateExclusive("x", true, &file));
    used += static_cast<int>(File::OpenDenyWrite("x", true, &file));
    used += static_cast<int>(File::OpenAppendExclusive("x", true, &file));
    File moved(std::move(file));
    file = std::move(moved);
    size_t got = 0;
    int64_t value = 0;
    used += static_cast<int>(file.Read(buffer, 1, &got)) + static_cast<int>(file.Write(buffer, 1));
    used += static_cast<int>(file.Seek(0, SeekFrom::kBegin, &value)) + static_cast<int>(file.Size(&value));
    used += static_cast<int>(file.Truncate(0)) + static_cast<int>(file.Sync());
    used += static_cast<int>(file.LockRange(0, 1, RangeLock::kShared, false));
    used += static_cast<int>(file.UnlockRange(0, 1)) + file.IsOpen();
    file.Close();
    used += FileExists("x") + static_cast<int>(DeleteUnlessHeld("x")) + static_cast<int>(DeleteFile("x"));
    used += static_cast<int>(RenameReplace("x", "y"));
    testing::InjectAllocationFailure(-1);
    testing::SetBeforeShareLockHook(nullptr, nullptr);
    testing::InjectFileFailure(testing::FileOperation::kOpen, -1, FileStatus::kIoError);
    used += static_cast<int>(testing::SleepCount() + testing::SleptMilliseconds());
    return used == -1;
}
CPP
    if ! "$cxx" -std=c++20 -Wall -Wextra -Werror -I"$platform" "$work/uses_everything.cpp" "${objects[@]}" \
            -static -static-libgcc -static-libstdc++ -o "$work/uses_everything-$cxx.exe"; then
        echo "FAILED: linking every platform function with $cxx"
        failed=1
    fi
done

if [ "${#compilers[@]}" -eq 0 ]; then
    echo "no MinGW-w64 compiler found"
    exit 1
fi
if [ "$failed" -ne 0 ]; then
    echo "win32 platform check: FAILED"
    exit 1
fi
echo "win32 platform check: ok (${compilers[*]})"
