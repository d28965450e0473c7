#!/usr/bin/env bash
# The main job: installs what is missing, builds the player and its filter, makes a Wine prefix
# with the filter registered and a sample .kuz file (moving test video with a 1 kHz tone,
# encrypted with the key the player's key field starts with), then:
#   - with a display: starts the player there; open the sample with the open button;
#   - without one: plays the sample through the real window under Xvfb, and writes a screenshot
#     of the playing video, one of the error a wrong key gives, and a recording of the sound.
# KUZ_DEMO_HEADLESS=1 forces the second way even with a display.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

./scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

build="$top/build/windows"
out="$build/demo"
mkdir -p "$out"
key=d47e09c3a1f85b2e6c70d9a4e13b8f56
harness="$top/tests/harness/wine-harness.sh"
"$harness" setup "$build/wine" >/dev/null
trap '"$harness" cleanup "$build/wine" >/dev/null' EXIT
export KUZ_WINE_PREFIX=product
"$build/wine-run" regsvr32 /s "Z:$build/filter/WQCryptoSource.dll"
interactive=
[ -z "${KUZ_DEMO_HEADLESS:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && interactive=1

echo "demo: making the sample"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=6 \
  -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=6 -ac 2 \
  -c:v mjpeg -q:v 4 -c:a pcm_s16le -shortest "$out/sample.avi"
winpath() { echo "Z:$1" | tr / '\\'; }
rm -f "$out/sample.kuz" "$out/sample-wrong-key.kuz"
KUZ_KEY=$key "$build/wine-run" "$build/packer/kuzpack.exe" encrypt "$(winpath "$out/sample.avi")" "$(winpath "$out/sample.kuz")"
KUZ_KEY=00112233445566778899aabbccddeeff "$build/wine-run" "$build/packer/kuzpack.exe" encrypt \
  "$(winpath "$out/sample.avi")" "$(winpath "$out/sample-wrong-key.kuz")"

if [ -n "$interactive" ]; then
  # The harness's Wine runs on its own Xvfb: stop it, and start the player on this display with
  # the system's sound.
  "$harness" cleanup "$build/wine" >/dev/null
  trap - EXIT
  echo "demo: starting KUZ Player on $DISPLAY"
  echo "demo: press the open button and choose $(winpath "$out/sample.kuz")"
  echo "demo: (the same sample made with another key: $(winpath "$out/sample-wrong-key.kuz"))"
  export WINEPREFIX="$build/wine/product" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  wine "$build/src/KUZ_Player.exe" || true
  wineserver -k || true
  exit 0
fi

echo "demo: no display; playing the sample under Xvfb through the player's window"
recording="$out/recording.wav"
PULSE_SERVER="unix:$build/wine/pulse/native" parecord -d cap.monitor --format=s16le --rate=48000 \
  --channels=2 --file-format=wav "$recording" &
recorder=$!
sleep 0.5
status=0
"$build/wine-run" "$build/tools/driver/player_scenarios.exe" "--player=Z:$build/src/KUZ_Player.exe" \
  --scenario=demo "--media=Z:$out" "--artifacts=Z:$out" | tee "$out/driver.log" || status=$?
sleep 0.5
kill -INT "$recorder"
wait "$recorder" || true

for shot in playing wrong-key; do
  [ -f "$out/$shot.bmp" ] && convert "$out/$shot.bmp" "$out/$shot.png" && rm "$out/$shot.bmp"
done
python3 - "$recording" "$top/tests/e2e" <<'PY'
import sys
sys.path.insert(0, sys.argv[2])
from audio import Recording
r = Recording(sys.argv[1])
threshold = max(r.loudest() * 0.2, 100.0)
segments = [s for s in r.segments(threshold) if s[1] - s[0] >= 0.1]
heard = sum(b - a for a, b in segments)
tone = r.frequency(*max(segments, key=lambda s: s[1] - s[0])) if segments else 0.0
print(f"demo: recorded {r.seconds:.1f} s, tone heard for {heard:.2f} s at {tone:.1f} Hz")
PY
frames=$(sed -n 's/^frames //p' "$out/driver.log")
echo "demo: frames seen: ${frames:-none} different pictures in 10 captures of the video window"
echo "demo: screenshot of the playing sample: $out/playing.png"
echo "demo: screenshot of the wrong-key message: $out/wrong-key.png"
echo "demo: recording of the played sound:    $recording"
exit $status
