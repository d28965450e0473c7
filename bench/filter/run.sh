#!/usr/bin/env bash
# Runs the filter benchmark under this build tree's Wine, with the filter registered:
#   bench/filter/run.sh [BUILD_DIR]     (default build/windows; builds it first)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:-$top/build/windows}")
cd "$top"
if [ "$build" = "$top/build/windows" ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target filter_bench WQCryptoSource >/dev/null
fi
work="$build/bench-work"
mkdir -p "$work"
# Uncompressed video: Wine's AVI splitter offers no media type for MJPEG streams.
media="$work/bench-raw.avi"
[ -f "$media" ] || ffmpeg -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=60 \
  -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=60 -ac 2 -c:v rawvideo -pix_fmt bgr24 \
  -c:a pcm_s16le "$media"
harness="$top/tests/harness/wine-harness.sh"
"$harness" setup "$build/wine" >/dev/null
trap '"$harness" cleanup "$build/wine" >/dev/null' EXIT
export KUZ_WINE_PREFIX=product
"$build/wine-run" regsvr32 /s "Z:$build/filter/WQCryptoSource.dll"
"$build/wine-run" "$build/bench/filter/filter_bench.exe" "--media=Z:$media" "--work=Z:$work"
