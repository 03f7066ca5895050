#!/usr/bin/env bash
# Builds and runs the libFuzzer harnesses of fuzz/, one at a time, niced.
#   scripts/fuzz.sh run [seconds] [name...]  each harness for that long (default
#       60 s) or 10 million executions, whichever comes first; the corpus grows
#       in build/fuzz/corpus/<name>, findings land in build/fuzz/findings/<name>
#   scripts/fuzz.sh check [seconds]          replays every seed, then fuzzes each
#       harness briefly (default 5 s) from its seeds; for the test run
# Prints executions and findings per harness; non-zero when anything failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=build/fuzz
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
# Harnesses make their scratch files under TMPDIR; a finding may leave some.
export TMPDIR=$root/$out/tmp

build() {
  rm -rf "$TMPDIR"
  mkdir -p "$TMPDIR"
  scripts/fuzz-deps.sh
  CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DQX_FUZZ=ON -DQX_BUILD_TESTS=OFF >/dev/null
  nice cmake --build "$out" -j "$jobs" --target fuzzers
}

# The options every run shares: a dictionary when there is one, a time limit
# per input so a hang is a finding, and the harness's own output silenced
# (libFuzzer keeps writing its reports).
common_args() {  # dict
  local args=(-timeout=10 -close_fd_mask=3 -print_final_stats=1)
  [ -f "$1" ] && args+=("-dict=$1")
  echo "${args[@]}"
}

execs_in() { grep -ao 'stat::number_of_executed_units: [0-9]*' "$1" | tail -n1 | grep -o '[0-9]*$' || echo 0; }

# Runs one harness; prints its line of the report. Returns 1 on a finding.
fuzz_one() {  # name bin dict seeds seconds corpus findings log
  local name=$1 bin=$2 dict=$3 seeds=$4 secs=$5 corpus=$6 findings=$7 log=$8
  mkdir -p "$corpus" "$findings"
  local before after rc=0 t0=$SECONDS
  before=$(ls "$findings" | wc -l)
  # shellcheck disable=SC2046
  nice "$bin" $(common_args "$dict") -max_total_time="$secs" -runs=10000000 \
    -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || rc=$?
  after=$(ls "$findings" | wc -l)
  local found=$((after - before))
  [ $rc -ne 0 ] && [ $found -eq 0 ] && found=1
  printf '  %-17s %9s executions  %5s s  corpus %5s  findings %s\n' "$name" "$(execs_in "$log")" \
    $((SECONDS - t0)) "$(ls "$corpus" | wc -l)" "$found"
  if [ $found -ne 0 ]; then
    ls "$findings" | sed "s|^|      $findings/|"
    grep -a -m3 -E 'ERROR|fuzz check failed|SUMMARY' "$log" | sed 's/^/      /'
    return 1
  fi
}

cmd_run() {  # [seconds] [name...]
  local secs=${1:-60}
  shift || true
  build
  local failed=0
  echo "== fuzzing, ${secs} s or 10 million executions per harness (logs in $out/logs)"
  mkdir -p "$out/logs"
  while read -r name bin dict seeds; do
    if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
    fuzz_one "$name" "$bin" "$dict" "$seeds" "$secs" "$out/corpus/$name" "$out/findings/$name" \
      "$out/logs/$name.log" || failed=1
  done <"$out/fuzzers.txt"
  return $failed
}

cmd_check() {  # [seconds]
  local secs=${1:-5}
  build
  local failed=0 work=$out/check
  rm -rf "$work"
  mkdir -p "$work"
  echo "== fuzz check: seeds replayed, then ${secs} s per harness"
  while read -r name bin dict seeds; do
    # shellcheck disable=SC2046
    if ! nice "$bin" $(common_args "$dict") "$seeds"/* >"$work/$name.replay.log" 2>&1; then
      echo "  $name: a seed fails"
      grep -a -m3 -E 'ERROR|fuzz check failed|SUMMARY|Running' "$work/$name.replay.log" | sed 's/^/      /'
      failed=1
      continue
    fi
    fuzz_one "$name" "$bin" "$dict" "$seeds" "$secs" "$work/corpus/$name" "$work/findings/$name" \
      "$work/$name.log" || failed=1
  done <"$out/fuzzers.txt"
  return $failed
}

case "${1:-}" in
  run) shift; cmd_run "$@" ;;
  check) shift; cmd_check "$@" ;;
  *) echo "usage: scripts/fuzz.sh run [seconds] [name...] | check [seconds]" >&2; exit 2 ;;
esac
