#!/usr/bin/env bash
# kuzpack end to end: real media files, every command, key source and refusal, and what is left
# on disk afterwards.
#
#   kuzpack-test.sh KUZPACK [RUNNER]   RUNNER runs Windows programs (the build tree's wine-run)
#
# The tests work in a fresh folder with relative paths, which Wine maps to drive Z: too.
set -uo pipefail

kuzpack=$(realpath "${1:?kuzpack program}")
runner=${2:-}
windows=false
[ -n "$runner" ] && windows=true

work=$(mktemp -d "${TMPDIR:-/tmp}/kuzpack-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
kp() { if $windows; then "$runner" "$kuzpack" "$@"; else "$kuzpack" "$@"; fi; }

check() {  # check NAME COMMAND...: the command's status decides
  local name=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok    $name"
  else
    failed=$((failed + 1)); echo "FAIL  $name"
  fi
}

# Runs kuzpack, keeping status, standard output and standard error for the checks.
run() {
  kp "$@" >out.txt 2>err.txt
  status=$?
  tr -d '\r' <out.txt >out.clean && mv out.clean out.txt
  tr -d '\r' <err.txt >err.clean && mv err.clean err.txt
}
fails_with() {  # fails_with STATUS TEXT: that status, and one line on stderr containing TEXT
  [ "$status" -eq "$1" ] && [ "$(wc -l <err.txt)" -eq 1 ] && grep -q -- "$2" err.txt ||
    { echo "  status $status, stderr: $(cat err.txt)"; return 1; }
}
succeeds() { [ "$status" -eq 0 ] && [ ! -s err.txt ] || { echo "  status $status, stderr: $(cat err.txt)"; return 1; }; }
no_leftovers() {  # only the expected files remain: no temporary files, nothing half-written
  local extra
  extra=$(ls -A | grep -v -x -F -f <(printf '%s\n' "$@" out.txt err.txt) || true)
  [ -z "$extra" ] || { echo "  left behind: $extra"; return 1; }
}

# --- fixtures: real media, odd sizes, a key
mkdir media
ffmpeg -loglevel error -f lavfi -i testsrc=duration=3:size=320x240:rate=25 -f lavfi -i sine=frequency=440:duration=3 \
  -c:v mpeg4 -q:v 5 -c:a aac -shortest media/clip.mp4
ffmpeg -loglevel error -f lavfi -i sine=frequency=330:duration=2 -ac 2 -ar 44100 media/tone.wav
head -c 0 /dev/zero >media/empty.bin
head -c 16384 /dev/urandom >media/one-chunk.bin
head -c 16385 /dev/urandom >media/one-chunk-and-a-byte.bin
head -c 3000017 /dev/urandom >media/random.bin
cp media/tone.wav "media/Ton ü é.wav"
kp keygen | tr -d '\r' >key.txt
key=$(cat key.txt)

# --- round trips of real files, byte for byte
round_trip() {
  local file=$1
  rm -f enc.kuz dec.bin
  kp --key-file key.txt encrypt "$file" enc.kuz 2>err.txt && kp --key-file key.txt decrypt enc.kuz dec.bin 2>>err.txt &&
    cmp -s "$file" dec.bin && [ ! -s err.txt ] && [ "$(stat -c %s enc.kuz)" -eq $(( 64 + $(stat -c %s "$file") / 16384 * 16400 + $(stat -c %s "$file") % 16384 + 16 )) ]
}
for f in media/*; do check "round trip of $f" round_trip "$f"; done
rm -f enc.kuz dec.bin

# --- keygen
keygen_ok() {
  local a b
  a=$(kp keygen | tr -d '\r'); b=$(kp keygen | tr -d '\r')
  [[ $a =~ ^[0-9a-f]{32}$ ]] && [[ $b =~ ^[0-9a-f]{32}$ ]] && [ "$a" != "$b" ]
}
check "keygen prints distinct 32-digit keys" keygen_ok

# --- key sources
kp --key-file key.txt encrypt media/clip.mp4 clip.kuz 2>/dev/null
run --key-file key.txt verify clip.kuz
check "key from --key-file" succeeds
check "verify reports the plaintext size" grep -q "authentic, $(stat -c %s media/clip.mp4) bytes" out.txt
KUZ_KEY="  ${key^^}  " run verify clip.kuz
check "key from KUZ_KEY, upper case with spaces" succeeds
run verify clip.kuz <<<"${key:0:8}-${key:8:8}-${key:16:16}"
check "key from standard input, with hyphens" succeeds
run --key "$key" verify clip.kuz
check "--key works but warns" bash -c '[ '"$status"' -eq 0 ] && grep -q "visible to other users" err.txt'
run --key "$key" --key-file key.txt verify clip.kuz
check "two key options are a usage error" fails_with 2 "not both"
KUZ_KEY="${key}x" run verify clip.kuz
check "malformed key text" fails_with 1 "KUZ_KEY: malformed key"
KUZ_KEY="00112233445566778899aabbccddeeff" run decrypt clip.kuz wrong.bin
check "wrong key" fails_with 1 "clip.kuz: wrong key"
check "wrong key leaves nothing" no_leftovers media key.txt clip.kuz

# --- refusals that protect data
cp media/tone.wav existing.bin
run --key-file key.txt decrypt clip.kuz existing.bin
check "existing output refused" fails_with 1 "existing.bin: exists (use --force"
check "existing output unchanged" cmp -s media/tone.wav existing.bin
run --key-file key.txt --force decrypt clip.kuz existing.bin
check "--force replaces it" bash -c '[ '"$status"' -eq 0 ] && cmp -s media/clip.mp4 existing.bin'
rm existing.bin
run --key-file key.txt --force encrypt clip.kuz clip.kuz
check "input never overwritten, even with --force" fails_with 1 "is the input file"
if ! $windows; then
  ln clip.kuz hardlink.kuz
  run --key-file key.txt --force decrypt hardlink.kuz clip.kuz
  check "input never overwritten through a hard link" fails_with 1 "is the input file"
  rm hardlink.kuz
fi
run --key-file key.txt encrypt missing.bin x.kuz
check "missing input" fails_with 1 "missing.bin: no such file"

# --- damaged files: refused with the chunk's offset, nothing written
cp clip.kuz damaged.kuz
printf '\xff' | dd of=damaged.kuz bs=1 seek=$((64 + 16400 + 100)) conv=notrunc status=none
run --key-file key.txt decrypt damaged.kuz damaged.bin
check "damaged chunk refused with its offset" fails_with 1 "damaged data: the chunk at plaintext offset 16384"
check "failed decrypt leaves nothing" no_leftovers media key.txt clip.kuz damaged.kuz
run --key-file key.txt verify damaged.kuz
check "verify refuses the damaged file" fails_with 1 "plaintext offset 16384"
check "verify writes nothing on stdout on failure" bash -c '[ ! -s out.txt ]'
head -c $((64 + 2 * 16400)) clip.kuz >cut.kuz
run --key-file key.txt verify cut.kuz
check "file cut at a chunk boundary" fails_with 1 "truncated data"
cp media/clip.mp4 notkuz.kuz
run --key-file key.txt decrypt notkuz.kuz x.bin
check "not a .kuz file, before any key is asked for" fails_with 1 "not a .kuz file"
rm damaged.kuz cut.kuz notkuz.kuz

# --- info needs no key
run info clip.kuz </dev/null
check "info succeeds without a key" succeeds
check "info shows version and sizes" bash -c 'grep -q "format version:  1" out.txt && grep -q "file size:       '"$(stat -c %s clip.kuz)"' bytes" out.txt && grep -q "plaintext size:  '"$(stat -c %s media/clip.mp4)"' bytes" out.txt'
run info media/tone.wav
check "info on another file" fails_with 1 "not a .kuz file"

# --- usage
run --help
check "--help" bash -c '[ '"$status"' -eq 0 ] && grep -q "^Usage: kuzpack" out.txt'
run encrypt only-one
check "wrong file count" fails_with 2 "takes two files"
run --frobnicate verify clip.kuz
check "unknown option" fails_with 2 "unknown option"

# --- interruption: a FIFO input holds kuzpack mid-file until SIGINT (POSIX only)
if ! $windows; then
  interrupted_cleanly() {
    rm -f fifo; mkfifo fifo
    "$kuzpack" --key-file key.txt encrypt fifo interrupted.kuz 2>err.txt &
    local pid=$!
    exec 3>fifo
    head -c 100000 /dev/urandom >&3
    sleep 0.5
    kill -INT "$pid"
    wait "$pid"; status=$?
    exec 3>&-
    rm -f fifo
    fails_with 130 "interrupted; interrupted.kuz was not written" && no_leftovers media key.txt clip.kuz
  }
  check "interrupted encrypt leaves nothing" interrupted_cleanly
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
