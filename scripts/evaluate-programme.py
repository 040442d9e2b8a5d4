#!/usr/bin/python3
"""Runs Dovrane's detectors over real programme and prints the detection table.

Real recordings from Debian packages (orchestral, pop, blues/electronic and game
music; recorded telephone-prompt speech) are played out as a station would: one
after another with 1.5 s of digital silence between them, their own fades kept.
The clean playout gives the false alarms per hour; each fault is built into a
copy of a stretch of it and must be named correctly within its delay + 3 s.

    scripts/evaluate-programme.py --dovrane build/app/dovrane [--install] [--short]

--short runs a few minutes of it (the CTest row); without the packages it says
so and exits 77 (skipped). --install installs the packages first (as root).
"""

import argparse
import glob
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 44100
GAP = 1.5
PACKAGES = ["frozen-bubble-data", "lincity-ng-data", "extremetuxracer-data",
            "asterisk-core-sounds-en-g722", "wesnoth-1.16-music"]
SHORT_PACKAGES = ["frozen-bubble-data", "asterisk-core-sounds-en-g722"]
MUSIC = {  # genre: glob, files in name order
    "pop (Frozen Bubble)": "/usr/share/games/frozen-bubble/snd/*zik*.ogg",
    "blues and electronic (LinCity-NG)": "/usr/share/games/lincity-ng/music/default/*.ogg",
    "electronic (Extreme Tux Racer)": "/usr/share/games/etr/music/*.ogg",
    "orchestral (Wesnoth)": "/usr/share/games/wesnoth/1.16/data/core/music/*.ogg",
}
SPEECH = "/usr/share/asterisk/sounds/en_US_f_Allison/*.g722"
SETTINGS = """[alarms]
bandLowHz=40
bandHighHz=15000
hum=true
noise=true
loop=true
[detectors]
channel_loss=true
phase=true
"""
THRESHOLD, SILENCE_DELAY = 328, 10  # -40 dBFS
DELAYS = {"Alarm": SILENCE_DELAY, "Hum": 30, "Noise": 30, "Loop": 60,
          "Channel Loss R": SILENCE_DELAY, "Phase Reversed": 10}
STARTS = ["Alarm", "Hum", "Noise", "Loop", "Phase Reversed", "Channel Loss L",
          "Channel Loss R", "Input Lost"]


CACHE = None  # a folder keeping decoded recordings between runs (--cache)


def decode(path, seconds=None):
    """The file as 44.1 kHz stereo float frames (mono doubled)."""
    if CACHE:
        kept = os.path.join(CACHE, path.strip("/").replace("/", "_") + ".npy")
        if not os.path.exists(kept):
            np.save(kept, decode_now(path, seconds).astype(np.float32))
        return np.load(kept).astype(np.float64)
    return decode_now(path, seconds)


def decode_now(path, seconds):
    cmd = ["ffmpeg", "-v", "error"]
    if path.endswith(".g722"):
        cmd += ["-f", "g722"]
    cmd += ["-i", path]
    if seconds:
        cmd += ["-t", str(seconds)]
    cmd += ["-f", "f32le", "-ac", "2", "-ar", str(RATE), "-"]
    raw = subprocess.run(cmd, check=True, capture_output=True).stdout
    return np.frombuffer(raw, dtype="<f4").reshape(-1, 2).astype(np.float64)


def silence(seconds):
    return np.zeros((int(seconds * RATE), 2))


def write_wav(path, frames):
    pcm = np.clip(np.round(frames * 32767), -32767, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def rms_db(frames):
    return 10 * math.log10(np.mean(frames ** 2) + 1e-20)


def noise(colour, seconds, dbfs, rng):
    n = int(seconds * RATE)
    white = rng.standard_normal((n, 2))
    if colour == "white":
        x = white
    else:  # shaped in the frequency domain: 1/f power (pink) or 1/f² (brown)
        spec = np.fft.rfft(white, axis=0)
        f = np.maximum(np.fft.rfftfreq(n, 1 / RATE), 10.0)[:, None]
        spec /= np.sqrt(f) if colour == "pink" else f
        x = np.fft.irfft(spec, n, axis=0)
    return x / math.sqrt(np.mean(x ** 2)) * 10 ** (dbfs / 20)


def hum(seconds, dbfs):
    t = np.arange(int(seconds * RATE)) / RATE
    x = sum(a * np.sin(2 * np.pi * 50 * h * t) for h, a in [(1, 1), (2, 0.5), (3, 0.35), (5, 0.2)])
    x = x / math.sqrt(np.mean(x ** 2)) * 10 ** (dbfs / 20)
    return np.stack([x, x], axis=1)


def width(frames):
    """Side against mid energy in dB: near 0 is wide stereo, very negative mono."""
    mid, side = frames[:, 0] + frames[:, 1], frames[:, 0] - frames[:, 1]
    return 10 * math.log10((np.sum(side ** 2) + 1e-12) / (np.sum(mid ** 2) + 1e-12))


def build(short):
    music, speech = [], []
    for genre, pattern in MUSIC.items():
        files = sorted(glob.glob(pattern))
        if "Wesnoth" in genre:  # every fourth: some 45 minutes of its three hours
            files = files[::4]
        if short:
            files = files[2:3] if "Frozen" in genre else []
        for f in files:
            track = decode(f)
            if len(track) > 20 * RATE:  # jingles are not programme
                music.append((genre, os.path.basename(f), track))
    prompts = sorted(glob.glob(SPEECH))
    words, total = [], 0
    for p in prompts[: 60 if short else len(prompts)]:
        x = decode(p)
        words += [x, silence(0.4)]  # a speaker's pause between sentences
        total += len(x)
        if total > (90 if short else 900) * RATE:
            break
    speech.append(("speech (Asterisk prompts)", "en_US_f_Allison", np.concatenate(words)))
    return music, speech


def playout(tracks):
    parts = []
    for _, _, t in tracks:
        parts += [t, silence(GAP)]
    return np.concatenate(parts)


def quietest(track, seconds=4):
    """Where the quietest stretch of a track lies (away from its ends)."""
    step, n = RATE // 2, int(seconds * RATE)
    energy = np.concatenate([[0], np.cumsum(np.sum(track ** 2, axis=1) / 2)])
    best, at = 1e9, None
    for i in range(10 * RATE, len(track) - n - 10 * RATE, step):
        level = 10 * math.log10((energy[i + n] - energy[i]) / n + 1e-20)
        if -60 < level < best:
            best, at = level, i
    return at, best


def faults(music, speech, short, rng):
    """(name, expected first event, frames, second the fault begins, second it ends)."""
    # The widest stereo that still has a centre (correlation 0.6 or more): with less, an
    # inverted channel looks like any spaced-microphone recording and no measure can tell.
    stereo = [m for m in music
              if len(m[2]) > 120 * RATE and width(m[2][60 * RATE:85 * RATE]) <= -6] or music
    wide = max(stereo, key=lambda m: width(m[2][60 * RATE:85 * RATE]))[2]
    busy = music[0][2]
    out = []

    def around(fault, expected, source=busy, at=30, name=None):
        pre = source[at * RATE - 20 * RATE: at * RATE]
        post = source[at * RATE: at * RATE + 20 * RATE]
        out.append((name, expected, np.concatenate([pre, fault, post]), 20.0,
                    20.0 + len(fault) / RATE))

    long = 45  # the 30 s delays + 15 s
    seg = busy[40 * RATE: 44 * RATE]
    around(np.tile(seg, (DELAYS["Loop"] // 4 + 4, 1)), "Loop", name="stuck 4 s loop")
    around(hum(long, -30), "Hum", name="mains hum -30 dBFS")
    for colour in ["pink", "white", "brown"]:
        around(noise(colour, long, -30, rng), "Noise", name=f"{colour} static -30 dBFS")
    t = np.arange(25 * RATE) / RATE
    pilot = 10 ** (-20 / 20) * np.sin(2 * np.pi * 19000 * t)
    around(np.stack([pilot, pilot], axis=1), "Alarm", name="19 kHz pilot alone")
    muted = busy[60 * RATE: 85 * RATE].copy()
    muted[:, 1] = 0
    around(muted, "Channel Loss R", name="right channel muted")
    inv = wide[60 * RATE: 85 * RATE].copy()
    inv[:, 1] *= -1
    around(inv, "Phase Reversed", source=wide, name="inverted channel, wide-stereo music "
           f"({width(wide[60 * RATE:85 * RATE]):.0f} dB side/mid)")
    talk = speech[0][2]
    inv = talk[30 * RATE: 55 * RATE].copy()
    inv[:, 1] *= -1
    around(inv, "Phase Reversed", source=talk, name="inverted channel, mono speech")
    # Dead air under the quietest passage: the passage, then the feed is cut.
    candidates = [(quietest(m[2]), m[2]) for m in music]
    (at, level), track = min(candidates, key=lambda c: c[0][1] if c[0][0] else 1e9)
    cut = at + 2 * RATE
    frames = np.concatenate([track[cut - 20 * RATE: cut], silence(20), track[cut: cut + 10 * RATE]])
    out.append((f"dead air under a quiet passage ({level:.0f} dBFS)", "Alarm", frames, 20.0, 40.0))
    if short:
        keep = {"pink static -30 dBFS", "inverted channel, mono speech", "mains hum -30 dBFS"}
        out = [f for f in out if f[0] in keep]
    return out


def analyse(dovrane, data, files):
    run = subprocess.run([dovrane, "analyse", *files, "--data-dir", data], check=True,
                         capture_output=True, text=True)
    results, current = {}, None
    for line in run.stdout.splitlines():
        m = re.match(r"^(\S.*) \((\d+):(\d+):([\d.]+)\)$", line)
        if m:
            current = m.group(1)
            results[current] = {"seconds": int(m.group(2)) * 3600 + int(m.group(3)) * 60 +
                                float(m.group(4)), "events": [], "measure": ""}
            continue
        m = re.match(r"^  (\d+):(\d+):([\d.]+)  (.*)$", line)
        if m and current:
            at = int(m.group(1)) * 3600 + int(m.group(2)) * 60 + float(m.group(3))
            results[current]["events"].append((at, m.group(4)))
        elif line.startswith("  measure:") and current:
            results[current]["measure"] = line.strip()
    return results


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--dovrane", required=True)
    ap.add_argument("--install", action="store_true")
    ap.add_argument("--short", action="store_true")
    ap.add_argument("--keep", help="leave the playout and fault files in this folder")
    ap.add_argument("--cache", help="keep the decoded recordings in this folder")
    args = ap.parse_args()
    global CACHE
    CACHE = args.cache
    wanted = SHORT_PACKAGES if args.short else PACKAGES
    if args.install:
        subprocess.run(["apt-get", "install", "-y", "-q", "python3-numpy", *wanted], check=True,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    missing = [p for p in wanted if subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", p], capture_output=True, text=True).stdout
        != "install ok installed"]
    if missing:
        print(f"skipped: the recordings are not installed ({' '.join(missing)}); "
              "scripts/install-deps.sh or --install installs them")
        return 77
    rng = np.random.default_rng(26)
    music, speech = build(args.short)
    work = args.keep or tempfile.mkdtemp(prefix="dovrane-programme-")
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "data")
    os.makedirs(data, exist_ok=True)
    with open(os.path.join(data, "Dovrane.ini"), "w") as f:
        f.write(SETTINGS)
    params = bytearray(4 * 7)  # DVParams.dat: record 1 the delay, record 7 the threshold
    struct.pack_into("<i", params, 0, SILENCE_DELAY)
    struct.pack_into("<i", params, 24, THRESHOLD)
    with open(os.path.join(data, "DVParams.dat"), "wb") as f:
        f.write(params)

    clean = os.path.join(work, "clean.wav")
    programme = playout(music + speech)
    write_wav(clean, programme)
    cases = faults(music, speech, args.short, rng)
    files = [clean]
    for i, (name, _, frames, _, _) in enumerate(cases):
        files.append(os.path.join(work, f"fault{i:02d}.wav"))
        write_wav(files[-1], frames)
    results = analyse(args.dovrane, data, files)

    hours = results[clean]["seconds"] / 3600
    print(f"Clean programme: {results[clean]['seconds'] / 60:.1f} min "
          f"({sum(len(m[2]) for m in music) / RATE / 60:.1f} min music of "
          f"{len({m[0] for m in music})} genres, "
          f"{sum(len(s[2]) for s in speech) / RATE / 60:.1f} min speech), "
          f"band 40-15000 Hz, threshold {THRESHOLD}, silence delay {SILENCE_DELAY} s\n")
    print("| detector | false alarms on clean programme | per hour |")
    print("| --- | --- | --- |")
    failures = passed = 0
    for kind in ["Alarm", "Hum", "Noise", "Loop", "Phase Reversed", "Channel Loss"]:
        n = sum(1 for _, e in results[clean]["events"] if e.startswith(kind))
        failures += n if kind != "Alarm" else 0
        passed += 1 if n == 0 or kind == "Alarm" else 0
        label = "Silence" if kind == "Alarm" else kind
        print(f"| {label} | {n} | {n / hours:.1f} |")
    for at, e in results[clean]["events"]:
        print(f"  clean programme {at:7.1f} s  {e}")
    print(f"\n{results[clean]['measure']}\n")
    print("| fault | expected | delay | detected after | verdict |")
    print("| --- | --- | --- | --- | --- |")
    for (name, expected, _, start, end), path in zip(cases, files[1:]):
        events = results[path]["events"]
        during = [(at, e) for at, e in events if start - 1 <= at <= end + 3 and e in STARTS]
        first = during[0] if during else None
        delay = DELAYS[expected]
        ok = bool(first) and first[1] == expected and first[0] - start <= delay + 3
        wrong = [e for _, e in during if e != expected]
        early_normal = [at for at, e in events if e == "Phase Normal" and at < end]
        before = [e for at, e in events if at < start - 1 and e in STARTS]
        ok = ok and not wrong and not early_normal and not before
        failures += 0 if ok else 1
        passed += 1 if ok else 0
        found = f"{first[1]} after {first[0] - start:.1f} s" if first else "nothing"
        extra = ("; also " + ", ".join(wrong)) if wrong else ""
        extra += "; Phase Normal too early" if early_normal else ""
        print(f"| {name} | {expected} | {delay} s | {found}{extra} | {'ok' if ok else 'FAIL'} |")
    if not args.keep:
        shutil.rmtree(work)
    print(f"\n{passed} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
