#!/usr/bin/env bash
# Every test of the project on a fresh Debian 12 machine: installs what is missing, builds each
# preset and runs its tests, then fuzzes the .kuz readers for a bounded time. Exits non-zero
# when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

fuzz_seconds=${KUZ_FUZZ_SECONDS:-60}

presets=(windows native native-sanitize)
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: test"
  ctest --preset "$preset"
done

echo "=== fuzzing the readers for $fuzz_seconds s"
fuzz_dir=build/native-sanitize/fuzz
mkdir -p "$fuzz_dir/corpus"
# New inputs go into the build tree's corpus; the committed starting corpus is only read.
status=0
"$fuzz_dir/kuz_reader_fuzz" -max_total_time="$fuzz_seconds" -max_len=4096 -seed=1 -print_final_stats=1 \
  -artifact_prefix="$fuzz_dir/" "$fuzz_dir/corpus" fuzz/corpus >"$fuzz_dir/fuzz.log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$fuzz_dir/fuzz.log" || true
if [ "$status" -ne 0 ]; then
  tail -n 40 "$fuzz_dir/fuzz.log"
  echo "=== the fuzzer found a problem (input saved in $fuzz_dir)"
  exit 1
fi
echo "=== all tests passed"
