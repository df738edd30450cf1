#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
# Usage: ./run-tests.sh [preset]   (presets: default, asan)
set -euo pipefail
cd "$(dirname "$0")"
preset=${1:-default}
scripts/deps.sh
scripts/build.sh "$preset"
ctest --preset "$preset"
