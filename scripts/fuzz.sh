#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for a bounded time, two at
# a time, from its seed corpus in fuzz/corpus/<target>/. The inputs found
# go to a working corpus in the build directory, never into the tree.
#
# A crash, a failed check, a leak or an input that runs longer than
# 10 seconds fails the run; the input is left as
# build/fuzz/artifacts/<target>/crash-... (or leak-, timeout-) to replay
# with: build/fuzz/fuzz/fuzz_<target> <file>.
#
#   FUZZ_SECONDS   seconds per target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-30}"
targets=(definitions raw_format sectors command_line scenario nvme http_request)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz/runs
rm -rf "$out"
mkdir -p "$out" build/fuzz/artifacts

run() {
  local t="$1"
  local work="build/fuzz/corpus/$t"
  mkdir -p "$work" "build/fuzz/artifacts/$t"
  # The largest sector input: two header bytes and ten sectors.
  local max_len=4096
  [[ "$t" == sectors ]] && max_len=5122
  # Past the server's 8 KiB bound of a request head.
  [[ "$t" == http_request ]] && max_len=9000
  if "build/fuzz/fuzz/fuzz_$t" "$work" "fuzz/corpus/$t" \
       -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -max_len="$max_len" -print_final_stats=1 \
       -artifact_prefix="build/fuzz/artifacts/$t/" >"$out/$t.log" 2>&1; then
    echo ok >"$out/$t.result"
  else
    echo failed >"$out/$t.result"
  fi
}

# Two at a time: the machine has two cores.
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[i]}" &
  if ((i + 1 < ${#targets[@]})); then run "${targets[i + 1]}" & fi
  wait
done

status=0
for t in "${targets[@]}"; do
  runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$out/$t.log" | tail -1 || true)
  if [[ "$(cat "$out/$t.result")" == ok ]]; then
    printf '%-14s %s\n' "$t" "${runs:-?}"
  else
    status=1
    printf '%-14s FAILED (%s)\n' "$t" "$out/$t.log"
    grep -E 'check failed|ERROR:|SUMMARY|Test unit written' "$out/$t.log" | head -8 || true
  fi
done
exit "$status"
