#!/usr/bin/env bash
# Quick start: installs what is missing, builds, and runs the tool's main job, `tydb demo`.
# Other commands run the same way: ./run-tydb.sh stat FILE, ./run-tydb.sh --help, ...
set -euo pipefail
cd "$(dirname "$0")"
# The build reports on standard error, so that the tool's own output can be piped.
scripts/deps.sh >&2
scripts/build.sh default >&2
# Commands other than the demo (which makes its own settings file in its folder) read the
# settings from here; they point the library at the record manager built beside it.
export TYWREG_FILE=${TYWREG_FILE:-$PWD/build/tywreg.ini}
if [ ! -f "$TYWREG_FILE" ]; then
  build/tydb settings set PATH "$PWD/build/w3btrv7" >/dev/null
fi
if [ $# -eq 0 ]; then
  set -- demo
fi
exec build/tydb "$@"
