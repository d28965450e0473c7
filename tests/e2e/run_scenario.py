#!/usr/bin/env python3
"""One end-to-end scenario: the real KUZ_Player.exe under Wine plays .kuz files made by kuzpack,
driven through its window by player_scenarios, while a private PulseAudio null sink records
what reaches the speakers. The driver checks what shows on screen; this script checks what was
heard.

    run_scenario.py SCENARIO --build DIR --media DIR --work DIR --artifacts DIR
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

from audio import Recording

KEY = "d47e09c3a1f85b2e6c70d9a4e13b8f56"
OTHER_KEY = "00112233445566778899aabbccddeeff"
TONE = 1000.0
OTHER_TONE = 1500.0
CLIP_SECONDS = 6.0

failures = []


def check(name, passed, detail=""):
    print(f"check {name} {'ok' if passed else 'FAIL'} {detail}".rstrip(), flush=True)
    if not passed:
        failures.append(name)
    return passed


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Harness:
    def __init__(self, build):
        self.build = build
        self.wine_run = os.path.join(build, "wine-run")
        self.pulse = os.path.join(build, "wine", "pulse", "native")

    def wine(self, *arguments, env=None, timeout=180):
        return subprocess.run([self.wine_run, *arguments], capture_output=True, text=True,
                              env={**os.environ, **(env or {})}, timeout=timeout)

    def kuzpack(self, source, target, key):
        if os.path.exists(target):
            os.remove(target)
        done = self.wine(os.path.join(self.build, "packer", "kuzpack.exe"), "encrypt",
                         windows_path(source), windows_path(target), env={"KUZ_KEY": key})
        if done.returncode != 0:
            sys.exit(f"kuzpack failed: {done.stderr.strip()}")


def make_media(harness, media, work):
    """The scenario files: kuzpack-made .kuz files and what faults are made of them."""
    os.makedirs(work, exist_ok=True)
    files = {}
    for name, source, key in (("e2e", "e2e.avi", KEY), ("other", "other.avi", KEY),
                              ("wrongkey", "e2e.avi", OTHER_KEY)):
        files[name] = os.path.join(work, name + ".kuz")
        harness.kuzpack(os.path.join(media, source), files[name], key)
    with open(files["e2e"], "rb") as f:
        good = bytearray(f.read())
    chunks = (len(good) - 64) // 16400
    damaged = bytearray(good)
    damaged[64 + (chunks * 2 // 5) * 16400 + 5000] ^= 0x20  # a chunk 40% into the file
    for name, content in (("damaged", damaged), ("truncated", good[:-1000])):
        with open(os.path.join(work, name + ".kuz"), "wb") as f:
            f.write(content)
    shutil.copyfile(os.path.join(media, "e2e.avi"), os.path.join(work, "notkuz.kuz"))


def record_while(harness, output, action):
    env = {**os.environ, "PULSE_SERVER": "unix:" + harness.pulse}
    recorder = subprocess.Popen(["parecord", "-d", "cap.monitor", "--format=s16le", "--rate=48000",
                                 "--channels=2", "--file-format=wav", output], env=env)
    time.sleep(0.5)
    try:
        return action()
    finally:
        time.sleep(0.5)
        recorder.send_signal(signal.SIGINT)
        recorder.wait(timeout=10)


def run_driver(harness, scenario, work, artifacts):
    player = os.path.join(harness.build, "src", "KUZ_Player.exe")
    driver = os.path.join(harness.build, "tools", "driver", "player_scenarios.exe")
    done = harness.wine(driver, f"--player={windows_path(player)}", f"--scenario={scenario}",
                        f"--media={windows_path(work)}", f"--artifacts={windows_path(artifacts)}")
    events = {}
    for line in done.stdout.splitlines():
        print("driver: " + line, flush=True)
        words = line.split()
        if words[:1] == ["event"]:
            events.setdefault(words[1], []).append(int(words[2]) / 1000.0)
    check("driver", done.returncode == 0, f"exit {done.returncode}" + (f" {done.stderr.strip()[-300:]}" if done.returncode else ""))
    return events


# Wine's audio output drops out now and then for 10 to 170 ms, with its own file source and a
# plain file as with ours (measured on this harness; paplay through the same sink records clean).
# Such dropouts are bridged, reported and bounded in total; a silence of a third of the shortest
# pause here (1 s) is not a dropout.
DROPOUT_SECONDS = 0.35


def tone_segments(recording):
    """The stretches of sound (dropouts bridged), their dropouts, and the loudness threshold."""
    threshold = max(recording.loudest() * 0.2, 100.0)
    raw = [s for s in recording.segments(threshold) if s[1] - s[0] >= 0.02]
    merged, dropouts = [], []
    for start, end in raw:
        if merged and start - merged[-1][1] < DROPOUT_SECONDS:
            dropouts.append((merged[-1][1], start))
            merged[-1] = (merged[-1][0], end)
        else:
            merged.append((start, end))
    merged = [s for s in merged if s[1] - s[0] >= 0.1]
    if dropouts:
        print(f"dropouts of the platform's audio output: {[(round(a, 2), round(b - a, 3)) for a, b in dropouts]}")
    return merged, dropouts, threshold


def longest_unbroken(recording, segment, dropouts):
    """The longest part of a segment without a dropout, for measuring its frequency."""
    cuts = [segment[0]] + [t for d in dropouts if segment[0] < d[0] < segment[1] for t in d] + [segment[1]]
    parts = list(zip(cuts[0::2], cuts[1::2]))
    return max(parts, key=lambda p: p[1] - p[0])


def check_dropouts(segments, dropouts):
    heard = sum(b - a for a, b in segments)
    lost = sum(b - a for a, b in dropouts)
    check("dropouts-small", lost <= 0.1 * heard, f"{len(dropouts)} dropouts, {lost:.2f} s of {heard:.2f} s")


def near(name, value, expected, tolerance):
    check(name, abs(value - expected) <= tolerance, f"{value:.2f} s, expected {expected:.2f} ± {tolerance}")


def silent(recording, start, end, threshold):
    """Nothing but silence: no window louder than a small share of the tone."""
    first, last = int(start / 0.01), int(end / 0.01)
    loud = [r for r in recording.rms[first:last] if r > threshold * 0.05]
    return not loud


def frequency_ok(recording, segment, tone, dropouts=()):
    frequency = recording.frequency(*longest_unbroken(recording, segment, dropouts))
    check(f"tone-{int(tone)}", abs(frequency - tone) <= tone * 0.01, f"{frequency:.1f} Hz")
    return frequency


def analyse_playback(recording, events):
    segments, dropouts, threshold = tone_segments(recording)
    # Exactly two stretches of sound: a silence anywhere else would split one of them.
    check("segments", len(segments) == 2, f"{[(round(a, 2), round(b, 2)) for a, b in segments]}")
    if len(segments) != 2:
        return
    (a, b), (c, d) = segments
    played, paused, resumed, stopped = (events[n][0] for n in ("playing", "pause", "play", "stop"))
    near("sound-until-pause", b - a, paused - played, 0.5)
    near("pause-is-silent", c - b, resumed - paused, 0.35)
    near("sound-until-stop", d - c, stopped - resumed, 0.35)
    check_dropouts(segments, dropouts)
    for segment in segments:
        frequency_ok(recording, segment, TONE, dropouts)
    check("silent-after-stop", silent(recording, d + 0.05, recording.seconds, threshold))
    print(f"measured tone {recording.frequency(a, b):.1f} Hz, heard {b - a + d - c:.2f} s", flush=True)


def analyse_replace(recording, events):
    segments, dropouts, threshold = tone_segments(recording)
    if not check("sound", bool(segments)):
        return
    start, end = segments[0][0], segments[-1][1]
    switch = start + (events["playing"][1] - events["playing"][0])
    # In steps of 50 ms: one tone or the other, never both, the second only after the first.
    first_last, second_first, mixed = None, None, 0
    t = start
    while t + 0.05 <= end:
        one, two = recording.tone_share(t, t + 0.05, TONE), recording.tone_share(t, t + 0.05, OTHER_TONE)
        if one > 0.2 and two > 0.2:
            mixed += 1
        if one > 0.8:
            first_last = t
        if two > 0.8 and second_first is None:
            second_first = t
        t += 0.05
    check("both-tones", first_last is not None and second_first is not None)
    if first_last is not None and second_first is not None:
        check("first-gone-before-second", first_last < second_first, f"{first_last:.2f} s < {second_first:.2f} s")
        near("switch-time", second_first, switch, 0.6)
    check("never-both", mixed <= 1, f"{mixed} mixed windows")
    frequency_ok(recording, (segments[-1][1] - 1.5, segments[-1][1]), OTHER_TONE, dropouts)
    check("silent-after-close", silent(recording, end + 0.05, recording.seconds, threshold))


def analyse_close(recording, events):
    segments, dropouts, threshold = tone_segments(recording)
    check("segments", len(segments) == 1, f"{segments}")
    if segments:
        near("sound-until-close", segments[0][1] - segments[0][0], events["closed"][0] - events["playing"][0], 0.6)
        frequency_ok(recording, segments[0], TONE, dropouts)
        check_dropouts(segments, dropouts)
        check("silent-after-close", silent(recording, segments[0][1] + 0.05, recording.seconds, threshold))


def analyse_faults(recording, events):
    segments, dropouts, threshold = tone_segments(recording)
    check("segments", len(segments) == 2, f"{[(round(a, 2), round(b, 2)) for a, b in segments]}")
    if len(segments) != 2:
        return
    (a, b), (c, d) = segments
    # The damaged file sounds until its damage, then nothing at all: no garbage after the tone.
    check("damaged-stops-early", 0.3 < b - a < CLIP_SECONDS - 1.0, f"{b - a:.2f} s of {CLIP_SECONDS}")
    check("nothing-after-damage", silent(recording, b + 0.05, c - 0.05, threshold), f"silent {b:.2f}..{c:.2f} s")
    share = recording.tone_share(a + 0.05, b - 0.05, TONE)
    check("damaged-only-tone", share > 0.9, f"{share:.3f} of the power at {TONE:.0f} Hz")
    frequency_ok(recording, (a, b), TONE, dropouts)
    # And the window plays the next good file.
    near("good-after-faults", d - c, events["closed"][0] - events["playing"][1], 0.6)


ANALYSES = {"playback": analyse_playback, "replace": analyse_replace, "close": analyse_close,
            "faults": analyse_faults}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(ANALYSES))
    parser.add_argument("--build", required=True)
    parser.add_argument("--media", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    harness = Harness(args.build)
    make_media(harness, args.media, args.work)
    os.makedirs(args.artifacts, exist_ok=True)
    output = os.path.join(args.artifacts, f"{args.scenario}.wav")
    events = record_while(harness, output, lambda: run_driver(harness, args.scenario, args.work, args.artifacts))
    ANALYSES[args.scenario](Recording(output), events)
    print(f"result {'ok' if not failures else 'FAIL: ' + ', '.join(failures)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
