#!/usr/bin/env bash
# Test environment of one build tree: Wine prefixes, their wineservers, an Xvfb display and a
# private PulseAudio server with a null sink, all under ROOT and stopped by what was recorded there.
#
#   wine-harness.sh setup ROOT      make what is missing, then start Xvfb, PulseAudio and wineservers
#   wine-harness.sh cleanup ROOT    stop everything that setup started
#   wine-harness.sh fresh ROOT NAME replace prefix NAME by a clean copy of the template
#
# Prefixes: "template" (made once with wineboot and the settings below), "bare" (Wine only) and
# "product" (the filter gets registered there by the tests). Nothing outside ROOT is touched.
set -euo pipefail

cmd=${1:?command}
root=$(realpath -m "${2:?root folder}")
prefixes=(bare product)

# winemenubuilder would mirror Start-menu shortcuts into the desktop menus under $HOME.
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINESERVER

log() { echo "wine-harness: $*"; }

start_xvfb() {
  if [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then return; fi
  local fdfile="$root/xvfb.display"
  rm -f "$fdfile"
  # -displayfd picks a free display number and writes it once the server accepts connections.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$fdfile" >"$root/xvfb.log" 2>&1 </dev/null &
  echo $! >"$root/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  [ -s "$fdfile" ] || { log "Xvfb did not start"; cat "$root/xvfb.log"; exit 1; }
  echo ":$(tr -d '\n' <"$fdfile")" >"$root/display"
}

start_pulse() {
  local dir="$root/pulse"
  if [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then return; fi
  mkdir -p "$dir/runtime" "$dir/home"
  rm -f "$dir/native"
  # norewinds=1: without it the null sink rewinds and audio gets lost in the recordings.
  XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" setsid pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --disable-shm=yes \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    -L "module-null-sink sink_name=cap rate=48000 channels=2 norewinds=1" \
    >"$dir/log" 2>&1 </dev/null &
  echo $! >"$dir/pid"
  for _ in $(seq 100); do
    [ -S "$dir/native" ] && return
    sleep 0.1
  done
  log "PulseAudio did not start"; cat "$dir/log"; exit 1
}

make_template() {
  local prefix="$root/template"
  [ -f "$prefix/.kuz-ready" ] && return
  log "making the Wine prefix template (once per build tree)"
  rm -rf "$prefix"
  export WINEPREFIX="$prefix"
  DISPLAY="$(cat "$root/display")" wineboot -i >"$root/wineboot.log" 2>&1
  # No crash dialog (it would block until the time limit); a virtual desktop, since on bare
  # Xvfb destroying a top-level window takes seconds.
  cat >"$root/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG
  wine regedit /S 'Z:'"$(echo "$root/settings.reg" | tr / '\\')" >>"$root/wineboot.log" 2>&1
  wineserver -w
  touch "$prefix/.kuz-ready"
  unset WINEPREFIX
}

stop_prefix() {
  local prefix="$1"
  [ -d "$prefix" ] || return 0
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
}

copy_prefix() {
  local name="$1"
  stop_prefix "$root/$name"
  rm -rf "$root/$name"
  cp -a "$root/template" "$root/$name"
}

case "$cmd" in
  setup)
    mkdir -p "$root"
    start_xvfb
    start_pulse
    make_template
    for name in "${prefixes[@]}"; do
      [ -f "$root/$name/.kuz-ready" ] || copy_prefix "$name"
      # One persistent wineserver per prefix for the run. Wine's own processes (services,
      # the desktop) start here with null I/O: started by a test, they would inherit and hold
      # ctest's output pipes until the time limit.
      # (It refuses to start when one already runs for the prefix, which is as good.)
      WINEPREFIX="$root/$name" setsid wineserver -p >/dev/null 2>&1 </dev/null || true
      WINEPREFIX="$root/$name" DISPLAY="$(cat "$root/display")" \
        setsid wine cmd /c exit >/dev/null 2>&1 </dev/null
    done
    log "ready: display $(cat "$root/display"), prefixes ${prefixes[*]}"
    ;;
  fresh)
    name=${3:?prefix name}
    copy_prefix "$name"
    ;;
  cleanup)
    [ -d "$root" ] || exit 0
    for prefix in "$root"/*/; do
      [ -f "$prefix/.kuz-ready" ] && stop_prefix "${prefix%/}"
    done
    for pidfile in "$root/xvfb.pid" "$root/pulse/pid"; do
      if [ -f "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
      fi
    done
    rm -f "$root/display"
    log "stopped"
    ;;
  *)
    echo "usage: $0 setup|cleanup ROOT | fresh ROOT NAME" >&2
    exit 2
    ;;
esac
