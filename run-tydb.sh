#!/usr/bin/env bash
# Quick start: installs what is missing, builds, and runs the tool's main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh default
# The settings point the library at the record manager built beside it.
export TYWREG_FILE=${TYWREG_FILE:-$PWD/build/tywreg.ini}
if [ ! -f "$TYWREG_FILE" ]; then
  build/tydb settings set PATH "$PWD/build/w3btrv7"
fi
exec build/tydb "${@:-engine}"
