#!/usr/bin/env bash
# scripts/fuzz.sh <target|all> [seconds]
# Builds the libFuzzer targets with clang in build-fuzz/ and runs the named
# target (or each one) for the given time from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEM_FUZZ=ON -DQEM_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz

bin=build-fuzz/tests/fuzz
seeds=build-fuzz/seeds
rm -rf "$seeds"
"$bin/qem_fuzz_seeds" "$seeds"

if [ "$target" = all ]; then
  targets=$(find "$bin" -maxdepth 1 -type f -executable -name "fuzz_*" -printf "%f\n" | sort)
else
  targets=$target
fi
for t in $targets; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  echo "fuzz: $t for ${seconds}s"
  log=build-fuzz/$t.log
  # -close_fd_mask=2: the readers' own messages on standard error would flood
  # the log; libFuzzer keeps its output and the sanitizers' reports.
  if ! "$bin/$t" "$corpus" "$seeds/$t" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=2 \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $t FAILED (log: $log)"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
done
