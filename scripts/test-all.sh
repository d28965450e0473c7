#!/usr/bin/env bash
# Every test of the project on a fresh Debian 12 machine: installs what is missing, builds each
# preset and runs its tests. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

presets=(windows)
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: test"
  ctest --preset "$preset"
done
echo "=== all tests passed"
