#!/usr/bin/env bash
# The 32-bit Windows build and its tests under Wine:
#   installs the cross compiler, Wine and the sources the cross build compiles (when missing),
#   builds the win32 preset, checks the DLLs' export tables, and runs the test suite under Wine.
# Each step is timed. Run from anywhere; works in the repository it belongs to.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
export DEBIAN_FRONTEND=noninteractive

step_start=0
step() { step_start=$(date +%s); echo "== win32: $*"; }
step_done() { echo "== win32: $1 took $(( $(date +%s) - step_start )) s"; }

# ---- Tools -------------------------------------------------------------------------------------
step "installing the cross compiler and Wine"
# dpkg-dev, bzip2 and xz-utils: scripts/build-libpq-mingw.sh builds libpq from Debian's sources.
packages=(g++-mingw-w64-i686 wine wine32:i386 googletest libcli11-dev dpkg-dev bzip2 xz-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ "${#missing[@]}" -gt 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi
step_done "installing"

# ---- Build -------------------------------------------------------------------------------------
step "configuring and building the win32 preset"
cmake --preset win32 >/dev/null
cmake --build --preset win32
step_done "building"

step "checking the export tables"
# Each DLL exports exactly its export list (a listed function that is missing fails the build).
bash .ci/check-win32-exports.sh "$root/build-win32"
step_done "export check"

# ---- Tests under Wine --------------------------------------------------------------------------
# Tests that cannot pass under Wine, each with its reason. Keep this list short and explained.
excluded=(
    # A served folder's workstation killed in the middle of a call: Wine 8's wineserver keeps the
    # socket of a process terminated during socket I/O open, so the server never sees that
    # connection end and keeps its transaction and locks (on Windows the connection ends). A
    # workstation killed between calls meets it too, though seldom (seen once, failing its rerun).
    '^server:CrashSafety\.AWriterKilledAtAnyMomentLosesNothingItReported$'
    '^server:Transactions\.AProcessKilledInsideATransactionLeavesNothingOfIt$'
    '^server:ServerTransactions\.AKilledWorkstationLeavesAllOrNoneOfAMoveBetweenTwoFiles$'
)

wine_status=0

step "running the tests under Wine"
export WINEPREFIX="$root/build-win32/wineprefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
# wine-run.sh starts one persistent Wine session for the prefix on its first use; it is ended
# here when the script ends.
trap 'WINEPREFIX="$root/build-win32/wineprefix" wineserver -k 2>/dev/null || true' EXIT
ctest_args=(--preset win32)
if [ "${#excluded[@]}" -gt 0 ]; then
    pattern="$(IFS='|'; echo "${excluded[*]}")"
    ctest_args+=(-E "$pattern")
fi
# Wine emulates process and file timing only roughly; a test that fails is run once more on
# its own, and the first failure stays in the log above. A test that fails twice fails the build.
if ! timeout 1200 ctest "${ctest_args[@]}" </dev/null; then
    echo "== win32: WARNING: some tests failed under Wine; running the failed ones once more"
    timeout 600 ctest "${ctest_args[@]}" --rerun-failed --output-on-failure </dev/null || wine_status=$?
fi
step_done "tests under Wine"

step "running the network-share tests on a drive Wine reports as remote"
# Drive N: maps a folder of the build and Wine's registry gives it the type "network": the record
# manager must find that out by itself (no setting), and keep every promise between processes
# there. Every temporary folder of the run lies on N:.
remote="$root/build-win32/remote-drive"
rm -rf "$remote" && mkdir -p "$remote"
ln -sfn "$remote" "$WINEPREFIX/dosdevices/n:"
timeout 120 "$root/build-win32/wine-run.sh" reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f \
    </dev/null >/dev/null || wine_status=$?
# Wine's mount manager learns the drives and their types when its session starts: a drive made
# while one runs is taken for a local disk. The next program starts a new session.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
TYDB_TEST_TEMP='N:\' TYDB_TEST_REMOTE_FOLDER='N:\' timeout 900 "$root/build-win32/wine-run.sh" \
    "$root/build-win32/w3btrv7_tests.exe" \
    --gtest_filter='ShareModeDetection.*:RecordLocks.*:TwoProcesses.*:ManyProcesses.*:Concurrency.*:ReadAhead.*:Transactions.*' \
    </dev/null || wine_status=$?
rm -rf "$remote"
step_done "network-share tests on a remote drive"

step "building the C example against the installed SDK with MinGW"
# As the README shows it: the SDK installed, the program linked with the import library (by
# ordinal), the DLLs beside it, the settings' PATH naming the record manager's folder.
sdk="$root/build-win32/installed-sdk"
rm -rf "$sdk" && cmake --install "$root/build-win32" --prefix "$sdk" >/dev/null
i686-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror -pedantic examples/c/customers.c -I"$sdk/include" \
    -L"$sdk/lib" -ltydb -o "$sdk/bin/customers.exe"
mkdir -p "$sdk/data"
printf '[HKEY_LOCAL_MACHINE\\Pervasive\\11]\r\nPATH=Z:%s\r\n' "$sdk/lib/w3btrv7" >"$sdk/tywreg.ini"
example="$(TYWREG_FILE="Z:$sdk/tywreg.ini" timeout 120 "$root/build-win32/wine-run.sh" "$sdk/bin/customers.exe" \
    "Z:$sdk/data" </dev/null | tr -d '\r')" || wine_status=$?
if [ "$example" != "$(printf 'customer 1002: Abbott\ncustomer 4711: status 4 (key value not found)\nAbbott\nKowalski\nMills')" ]; then
    echo "== win32: the C example printed: $example"
    wine_status=1
fi
step_done "C example on the installed SDK"

if [ "$wine_status" -ne 0 ]; then
    echo "== win32: the runs under Wine did not all pass (status $wine_status); see above"
    exit "$wine_status"
fi
