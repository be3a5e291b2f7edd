#!/usr/bin/env bash
# scripts/fuzz.sh <target|all> [seconds]
# Builds the libFuzzer targets with clang in build-fuzz/ and runs the named
# target (or each one) for the given time from its seed corpus.
#
# QEM_FUZZ_JOBS=<n>: how many targets run at once (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}
jobs=${QEM_FUZZ_JOBS:-2}

dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEM_FUZZ=ON -DQEM_BUILD_BENCH=OFF -DQEM_DEBUG_INFO=lines >/dev/null
if [ "$target" = all ]; then
  cmake --build "$dir" --target qem_fuzz
else
  cmake --build "$dir" --target qem_fuzz_seeds "$target"
fi

bin=$dir/tests/fuzz
seeds=$dir/seeds
rm -rf "$seeds"
"$bin/qem_fuzz_seeds" "$seeds"

if [ "$target" = all ]; then
  targets=$(find "$bin" -maxdepth 1 -type f -executable -name "fuzz_*" -printf "%f\n" | sort)
else
  targets=$target
fi

# One target's run; its report comes out in one piece when it ends.
run_target() {
  local t=$1
  local corpus=$dir/corpus/$t log=$dir/$t.log
  mkdir -p "$corpus"
  # -close_fd_mask=2: the readers' own messages on standard error would flood
  # the log; libFuzzer keeps its output and the sanitizers' reports.
  if ! "$bin/$t" "$corpus" "$seeds/$t" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=2 \
      >"$log" 2>&1; then
    printf '%s\nfuzz: %s FAILED (log: %s)\n' "$(tail -n 60 "$log")" "$t" "$log"
    return 1
  fi
  printf 'fuzz: %s for %ss\n%s\n' "$t" "$seconds" \
    "$(grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true)"
}
export -f run_target
export dir bin seeds seconds

# xargs runs the targets $jobs at a time and fails if any of them failed.
if ! printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_target "$1"' _ {}; then
  echo "fuzz: a target failed"
  exit 1
fi
