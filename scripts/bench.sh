#!/usr/bin/env bash
# Benchmark figures, not a test: the native library and kuzpack (OpenSSL backend) against
# `openssl speed -evp aes-128-gcm` measured in the same run, then the CNG backend under Wine.
# Builds what is missing first. KUZ_BENCH_MIB sets the native plaintext size (default 256),
# KUZ_BENCH_WINDOWS=0 skips the Windows part.
set -euo pipefail
cd "$(dirname "$0")/.."

size=${KUZ_BENCH_MIB:-256}
# Files in memory where possible: the figures are about this program, not the disk.
folder=/dev/shm
[ -d "$folder" ] && [ -w "$folder" ] || folder=${TMPDIR:-/tmp}

cmake --preset native >/dev/null
cmake --build --preset native --target kuz_bench >/dev/null

echo "=== openssl speed -evp aes-128-gcm -bytes 16384 -seconds 3"
openssl_kb=$(openssl speed -evp aes-128-gcm -bytes 16384 -seconds 3 2>/dev/null |
  awk 'toupper($1) == "AES-128-GCM" { sub("k", "", $2); print $2 }')
openssl_mb=$(awk -v k="$openssl_kb" 'BEGIN { printf "%.1f", k / 1000 }')
echo "OpenSSL AES-128-GCM, 16384-byte blocks: $openssl_mb MB/s"

echo "=== build/native/bench/kuz_bench --size $size --folder $folder"
native=$(build/native/bench/kuz_bench --size "$size" --folder "$folder")
echo "$native"
echo "--- against OpenSSL's $openssl_mb MB/s"
echo "$native" | awk -v base="$openssl_mb" -F: '/MB\/s/ && !/plain copy/ {
  split($2, f, " "); printf "%-34s %5.1f%% of OpenSSL\n", $1 ":", 100 * f[1] / base }'

if [ "${KUZ_BENCH_WINDOWS:-1}" = 1 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target kuz_bench >/dev/null
  harness=tests/harness/wine-harness.sh
  root=build/windows/wine
  trap '"$harness" cleanup "$root" >/dev/null' EXIT
  "$harness" setup "$root" >/dev/null
  echo "=== build/windows/wine-run build/windows/bench/kuz_bench.exe --size 64 --folder Z:$folder (CNG under Wine)"
  build/windows/wine-run build/windows/bench/kuz_bench.exe --size 64 --folder "Z:$folder" | tr -d '\r'
fi
