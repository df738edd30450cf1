#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when something is missing (the last
# line: what scripts/build-libpq-mingw.sh needs to build the Windows libpq from its source package).
# As root it installs them; otherwise it prints the apt-get line and stops.
set -euo pipefail

packages=(cmake g++ make libsqlite3-dev sqlite3 libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev
          util-linux hostname binutils
          libpq-dev pkg-config postgresql
          dpkg-dev bzip2 xz-utils perl)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
