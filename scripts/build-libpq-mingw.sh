#!/usr/bin/env bash
# Builds libpq, the PostgreSQL client library, for 32-bit Windows (MinGW-w64, i686) from Debian's
# own PostgreSQL 15 source package, for the Windows record manager's server store. Debian ships no
# Windows libpq, and w3btrv7.dll links everything statically, so the result is one static
# archive, OUTDIR/lib/libpq.a (libpq with the parts of libpgcommon and libpgport it uses, only
# the symbols libpq's DLL would export left global), and the client headers in OUTDIR/include.
# The programs linking it also need ws2_32, secur32, shell32 and advapi32.
#
# One pinned source package version, whose tarballs must match the SHA-256 sums below (apt also
# checks them against Debian's signed index). A finished OUTDIR is kept: a second run with the
# same version does nothing. Sources and build stay in OUTDIR/work until the build succeeds.
#
# Usage: scripts/build-libpq-mingw.sh OUTDIR [C-COMPILER]
# Needs apt-get source (dpkg-dev), make, bzip2, perl and the MinGW-w64 i686 C compiler. When
# apt knows no deb-src entry for the package, one is added for bookworm (as root only).
set -euo pipefail

version=15.18-0+deb12u1
upstream=15.18
orig_sha256=11df0df97fe3ea4ba9a791faaf39cee1d2fe571e78885b5b55d8517d27c323b4
debian_sha256=efe6fc2007229a2cc7b087d75cb1213d49e275ec47c4b896d5e0880b4904f8b3
host=i686-w64-mingw32

fail() {
    echo "build-libpq-mingw: $*" >&2
    exit 1
}

[ $# -ge 1 ] || fail "usage: $0 OUTDIR [C-COMPILER]"
out=$(realpath -m "$1")
cc=${2:-$host-gcc-posix}
stamp=$out/libpq-mingw.version
headers=(libpq-fe.h libpq-events.h postgres_ext.h pg_config_ext.h)

built() {
    [ "$(cat "$stamp" 2>/dev/null)" = "$version" ] && [ -f "$out/lib/libpq.a" ] || return 1
    local h
    for h in "${headers[@]}"; do [ -f "$out/include/$h" ] || return 1; done
}
if built; then
    touch "$stamp"
    exit 0
fi

for tool in apt-get apt-cache dpkg-source make bzip2 perl sha256sum "$cc" "$host-ar" "$host-ld" "$host-objcopy"; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/deps.sh installs what this script needs)"
done

work=$out/work
log=$out/build.log
rm -rf "$work" "$out/lib" "$out/include" "$stamp" "$log"
mkdir -p "$work" "$out/lib" "$out/include"
step() { echo "build-libpq-mingw: $*"; }
# Runs a step with its output in the log, which is shown when the step fails.
logged() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        fail "failed: $* (whole log: $log)"
    fi
}

# ---- The source package -----------------------------------------------------------------------
offered() {
    local versions
    versions=$(apt-cache showsrc postgresql-15 2>/dev/null || true)
    grep -qx "Version: $version" <<<"$versions"
}
if ! offered; then
    # The source entries mirror the binary ones of debian.sources (bookworm, its updates and its
    # security archive), so whichever of them still offers the pinned version is found.
    list=/etc/apt/sources.list.d/debian-src.sources
    [ "$(id -u)" -eq 0 ] || fail "apt offers no postgresql-15 $version source; as root this script adds $list"
    if [ ! -f "$list" ]; then
        step "adding the deb-src entries of $list"
        { sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources; echo; } >"$list"
        grep -q '^Types: deb-src' "$list" || { rm -f "$list"; fail "found no 'Types: deb' in /etc/apt/sources.list.d/debian.sources"; }
    fi
    logged apt-get update
    offered || fail "no configured source archive offers postgresql-15 $version (apt-cache showsrc postgresql-15 lists" \
        "what they offer; a version gone from the archive stays on snapshot.debian.org): change the pin in $0"
fi

step "fetching postgresql-15 $version, Debian's source package"
# apt drops its privileges for downloading: its user must be able to write the folder.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then chown _apt "$work"; fi
(cd "$work" && logged apt-get source --download-only "postgresql-15=$version")
check() {
    local file=$work/$1 expected=$2 actual
    actual=$(sha256sum "$file" | cut -d' ' -f1)
    [ "$actual" = "$expected" ] || fail "$1 has SHA-256 $actual, expected $expected: refusing to build with it"
}
check "postgresql-15_$upstream.orig.tar.bz2" "$orig_sha256"
check "postgresql-15_$version.debian.tar.xz" "$debian_sha256"
# Debian's patches are applied as the package applies them (paths and defaults of a Debian
# install; none changes the client library on Windows).
logged dpkg-source -x "$work/postgresql-15_$version.dsc" "$work/source"

# ---- Configure and build only the client library ----------------------------------------------
step "configuring for $host (about a minute)"
mkdir -p "$work/build"
cd "$work/build"
logged ../source/configure --host="$host" CC="$cc" PKG_CONFIG=false --without-readline --without-zlib \
    --without-icu --without-openssl --without-gssapi --without-ldap --disable-nls

step "building libpq"
jobs=-j2
# A make of its own, not a part of the build that runs this script.
unset MAKEFLAGS MFLAGS MAKELEVEL
logged make -C src/backend generated-headers
logged make $jobs -C src/port libpgport_shlib.a
logged make $jobs -C src/common libpgcommon_shlib.a
objects=$(make -s -C src/interfaces/libpq --eval 'print-objects: ; @echo $(OBJS)' print-objects) ||
    fail "cannot list the objects of libpq (see $log)"
# The version resource would describe libpq, not the DLL that links it.
objects=$(echo "$objects" | tr ' ' '\n' | grep -v '^win32ver\.o$' | tr '\n' ' ')
logged make $jobs -C src/interfaces/libpq $objects

# One object: libpq's objects linked with the members of libpgcommon and libpgport they use, every
# symbol but libpq's exports made local: nothing else of those libraries can then meet a
# program's symbols of the same name (libpq's own pthread functions for Windows are named as
# winpthreads' are, which every program of the posix thread model links).
exports=$work/libpq-exports
sed -e '/^#/d' -e 's/^\([A-Za-z_0-9]*\).*/_\1/' -e '/^_$/d' ../source/src/interfaces/libpq/exports.txt >"$exports"
(cd src/interfaces/libpq && logged "$host-ld" -r -o libpq-all.o $objects \
    --start-group ../../common/libpgcommon_shlib.a ../../port/libpgport_shlib.a --end-group)
logged "$host-objcopy" --keep-global-symbols="$exports" src/interfaces/libpq/libpq-all.o
rm -f libpq.a
logged "$host-ar" rcs libpq.a src/interfaces/libpq/libpq-all.o
mv libpq.a "$out/lib/libpq.a"

cp ../source/src/interfaces/libpq/libpq-fe.h ../source/src/interfaces/libpq/libpq-events.h \
    ../source/src/include/postgres_ext.h src/include/pg_config_ext.h "$out/include/"

cd "$out"
rm -rf "$work"
echo "$version" >"$stamp"
step "libpq $version for $host is in $out"
