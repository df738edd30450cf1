#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each one: first over the saved
# reproducers in tests/fuzz/regressions/<target>/, then fuzzing from its seed corpus
# (tests/fuzz/corpus/<target>/) for a bounded time. Any finding fails the run.
#
# Usage: .ci/run-fuzz.sh [--minutes N] [TARGET ...]
#   btrcall_ops_fuzz:server, create_buffer_fuzz:server   the target on a folder served by a
#                  PostgreSQL server that the script starts (scripts/test-postgres.sh): the same
#                  inputs and the same checks exercise the server store
#   no arguments   every target for a fixed number of inputs from a fixed seed (CI), about 125 s
#                  in all, from a copy of the seeds in a temporary folder: the same commit always
#                  explores the same inputs, so a CI run fails only for what the commit changed;
#                  new ground is broken by the long runs below
#   --minutes N    N minutes for each target named (or every target), by hand: the corpus grows in
#                  build-fuzz/corpus/<target>/ and a later session goes on from it
# Reproducers of findings land in build-fuzz/findings/<target>/; replay one with
#   build-fuzz/<target> build-fuzz/findings/<target>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

all_targets=(btrcall_ops_fuzz btrcall_ops_fuzz:server create_buffer_fuzz create_buffer_fuzz:server extended_read_fuzz ini_parser_fuzz csv_layout_fuzz datafile_reader_fuzz description_fuzz)
minutes=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes)
      minutes=${2:?--minutes needs a number}
      shift 2
      ;;
    -h | --help)
      sed -n '2,14p' "$0"
      exit 0
      ;;
    *)
      targets+=("$1")
      shift
      ;;
  esac
done
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
  if [[ ! " ${all_targets[*]} " == *" $t "* ]]; then
    echo "unknown fuzz target $t (targets: ${all_targets[*]})" >&2
    exit 2
  fi
done

# clang and its fuzzer runtime, when missing.
if ! command -v clang++ >/dev/null 2>&1 || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "clang or libFuzzer is missing. Install them with:" >&2
    echo "  sudo apt-get install -y clang libclang-rt-14-dev" >&2
    exit 1
  fi
  apt-get update -qq
  apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi
scripts/deps.sh

build_start=$(date +%s)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
echo "fuzz build took $(($(date +%s) - build_start)) s"

work=$(mktemp -d)
server_state="$work/postgres"
trap 'scripts/test-postgres.sh stop "$server_state" 2>/dev/null || true; rm -rf "$work"' EXIT
failed=0
for target in "${targets[@]}"; do
  # A target named NAME:server is NAME's program with its data files served by the server.
  t=${target%:server}
  unset BTRCALL_FUZZ_SERVER_FILE
  if [ "$t" != "$target" ]; then
    [ -f "$server_state" ] || scripts/test-postgres.sh start "$server_state"
    export BTRCALL_FUZZ_SERVER_FILE="$server_state"
  fi
  findings="build-fuzz/findings/${target/:/-}"
  mkdir -p "$findings"
  if [ -n "$minutes" ]; then
    seconds=$((minutes * 60))
    corpus="build-fuzz/corpus/$t"
    mkdir -p "$corpus"
  else
    seconds=0
    case "$target" in
      btrcall_ops_fuzz) runs_wanted=1500 ;;
      btrcall_ops_fuzz:server) runs_wanted=300 ;;
      create_buffer_fuzz:server) runs_wanted=300 ;;
      create_buffer_fuzz) runs_wanted=3000 ;;
      extended_read_fuzz) runs_wanted=20000 ;;
      datafile_reader_fuzz) runs_wanted=120000 ;;
      *) runs_wanted=60000 ;;
    esac
    corpus="$work/${target/:/-}"
    mkdir -p "$corpus"
  fi
  cp -n tests/fuzz/corpus/"$t"/* "$corpus"/
  options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/")
  [ -f "tests/fuzz/$t.dict" ] && options+=(-dict="tests/fuzz/$t.dict")
  log="$work/${target/:/-}.log"

  # Reproducers of faults found before: each must pass.
  if compgen -G "tests/fuzz/regressions/$t/*" >/dev/null; then
    if ! "build-fuzz/$t" "${options[@]}" tests/fuzz/regressions/"$t"/* >"$log" 2>&1; then
      echo "$target: a saved reproducer fails again:" >&2
      grep -E "Running:|==== fuzz check failed|ERROR: |SUMMARY:" "$log" | tail -n 20 >&2
      failed=1
      continue
    fi
  fi

  rc=0
  limits=(-max_total_time="$seconds")
  [ "$seconds" -eq 0 ] && limits=(-seed=1 -runs="$runs_wanted")
  fuzz_start=$(date +%s)
  "build-fuzz/$t" "${options[@]}" "${limits[@]}" "$corpus" >"$log" 2>&1 || rc=$?
  # A finding while the corpus is still being read leaves no coverage line: no match is no error.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$( (grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" || true) | tail -n 1)
  if [ "$rc" -ne 0 ]; then
    echo "$target: FINDING after ${runs:-?} executions (${coverage:-no coverage yet}); reproducer in $findings/:" >&2
    grep -E "==== fuzz check failed|ERROR: |SUMMARY:|Test unit written|^    #[0-9] " "$log" | head -n 30 >&2
    failed=1
  else
    echo "$target: ${runs:-?} executions in $(($(date +%s) - fuzz_start)) s, ${coverage:-no coverage}, no findings"
  fi
done
exit "$failed"
