#!/usr/bin/env bash
# Runs every fuzzer of a build for a bounded time, seeded with the package
# fixtures. Usage: run_fuzzers.sh BUILD_DIR [TOTAL_SECONDS]
# The time is shared among the fuzzers. A crash, leak, timeout or an
# allocation above 64 MiB fails the run; the input is kept in
# BUILD_DIR/fuzz-artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
total=${2:-30}
fuzzers=("$build"/tests/fuzz/*_fuzzer)
[ -x "${fuzzers[0]}" ] || { echo "no fuzzers in $build"; exit 1; }
each=$(( total / ${#fuzzers[@]} ))
[ "$each" -ge 5 ] || each=5
mkdir -p "$build/fuzz-artifacts"
status=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  cp -n "$root"/tests/fixtures/packages/*.bin "$root"/tests/fixtures/packages/*.0?? "$corpus"/ 2>/dev/null || true
  echo "== $name: ${each}s"
  if ! "$fuzzer" "$corpus" -max_total_time="$each" -max_len=16384 -malloc_limit_mb=64 \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
      > "$build/fuzz-artifacts/$name.log" 2>&1; then
    tail -40 "$build/fuzz-artifacts/$name.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/fuzz-artifacts/$name.log" || true
  fi
done
exit $status
