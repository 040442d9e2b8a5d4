#!/usr/bin/python3
"""Processor time and memory of named inputs on network streams, beside ffmpeg's silencedetect.

One icecast2 on loopback carries a 128 kbit/s MP3 stream of programme-like audio (a tone whose
level changes every 50 ms), encoded by ffmpeg from here. At the same time run: a Dovrane
--headless with no named input, one with the stream as one input, one with 16 inputs on it,
and `ffmpeg -i URL -af silencedetect -f null -`. All watch the same main PulseAudio source.
Then the encoder falls silent a few times and the alarm of a 5 s delay is timed. Prints
Markdown tables. scripts/measure_streams.py [--seconds 60]
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
import json

sys.dont_write_bytecode = True
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "tools"))
import dovrane_rig as rig  # noqa: E402

parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("--program", default=os.path.join(REPO, "build", "dovrane"))
parser.add_argument("--seconds", type=float, default=60, help="measured seconds (default: 60)")
parser.add_argument("--silences", type=int, default=3, help="timed silences (default: 3)")
args = parser.parse_args()
work = tempfile.mkdtemp(prefix="dovrane-streams.")


class Programme(rig.Encoder):
    """The encoder's tone jumps to a new level between -30 and -6 dBFS every 50 ms, as programme
    does, until `level` is set to 0 (silence); any other level brings the programme back."""

    def __init__(self, *a):
        super().__init__(*a)
        self.programme = True

    def run(self):
        rng, self.level = random.Random(5), 8000

        def jumps():
            while self.alive:
                time.sleep(0.05)
                if self.level:
                    self.level = rng.randint(1036, 16422)
        import threading
        threading.Thread(target=jumps, daemon=True).start()
        super().run()


INPUTS = {"none": 0, "1 stream": 1, "16 streams": 16}


def cpu_seconds(pid):
    """Time on a processor of every thread of pid, to the nanosecond (the scheduler's own count)."""
    tasks = os.listdir("/proc/%d/task" % pid)
    return sum(int(rig.read("/proc/%d/task/%s/schedstat" % (pid, t)).split()[0]) for t in tasks) / 1e9
main = rig.Rig(os.path.join(work, "main"), args.program)
procs = {}
try:
    main.start_pulse()
    main.tone(16000, 16000, step_ms=50)
    port, _ = rig.icecast(work, main.spawn)
    encoder = Programme(main.spawn, port)
    url = "http://127.0.0.1:%d/live" % port
    for name, count in INPUTS.items():
        r = rig.Rig(os.path.join(work, name.replace(" ", "")), args.program)
        r.pulse_env = main.pulse_env
        r.write_setup(30, 100, 0, schedule={d: (1, 0, 0) for d in range(1, 8)})  # every day, all day
        rig.write(r.data, "Dovrane.ini", "".join(
            "[input.S%d]\nsource=%s\ndelay=5\naround_the_clock=yes\n" % (n, url) for n in range(1, count + 1)))
        procs[name] = (r, r.launch("--headless"))
    procs["ffmpeg"] = (None, main.spawn(["ffmpeg", "-hide_banner", "-nostats", "-nostdin", "-i", url, "-af",
                                         "silencedetect=n=-50dB:d=5", "-f", "null", "-"],
                                        stderr=subprocess.DEVNULL))
    time.sleep(10)  # connected, bursts played out
    before = {n: cpu_seconds(p.pid) for n, (_, p) in procs.items()}
    time.sleep(args.seconds)
    used = {n: cpu_seconds(p.pid) - before[n] for n, (_, p) in procs.items()}
    rss = {n: rig.rss_kib(p.pid) / 1024 for n, (_, p) in procs.items()}

    def share(n):
        return 100 * used[n] / args.seconds

    print("Over %.0f s, one 128 kbit/s MP3 stream from icecast2 on loopback, programme-like audio:\n" % args.seconds)
    print("| process | share of one core | resident memory |\n|---|---|---|")
    for n in procs:
        print("| %s | %.2f %% | %.1f MiB |" % ("Dovrane, no named input" if n == "none" else
                                             "Dovrane, " + n if n != "ffmpeg" else
                                             "`ffmpeg -i URL -af silencedetect -f null -`", share(n), rss[n]))
    one, sixteen = share("1 stream") - share("none"), share("16 streams") - share("none")
    print("\nOne stream adds %.2f %% of a core to Dovrane: %.2f of ffmpeg's %.2f %%. Sixteen add %.2f %% "
          "(%.2f %% each) and %.1f MiB resident (%.2f MiB each)." % (
              one, one / share("ffmpeg"), share("ffmpeg"), sixteen, sixteen / 16,
              rss["16 streams"] - rss["none"], (rss["16 streams"] - rss["none"]) / 16))

    # The alarm after silence, less the delay, on a Dovrane that joins the stream now that
    # icecast holds its whole burst for a newcomer; its status says how much that was.
    late_rig = rig.Rig(os.path.join(work, "late"), args.program)
    late_rig.pulse_env = main.pulse_env
    late_rig.write_setup(30, 100, 0, schedule={d: (1, 0, 0) for d in range(1, 8)})
    status_port = rig.free_port()
    rig.write(late_rig.data, "Dovrane.ini", "[input.S1]\nsource=%s\ndelay=5\naround_the_clock=yes\n"
              "[status]\nenabled=yes\nlisten=127.0.0.1:%d\n" % (url, status_port))
    procs["late"] = (late_rig, late_rig.launch("--headless"))
    time.sleep(12)
    with urllib.request.urlopen("http://127.0.0.1:%d/status" % status_port, timeout=5) as reply:
        buffer_ms = json.load(reply)["inputs"][0]["bufferMs"]
    late = []
    for _ in range(args.silences):
        mark = len(late_rig.events())
        encoder.level, silent = 0, time.monotonic()
        if not late_rig.wait_event("[S1] Silence Alarm", 60, mark):
            sys.exit("measure_streams: no alarm after silence")
        late.append(time.monotonic() - silent - 5)
        encoder.level = 8000
        late_rig.wait_event("[S1] Silence Alarm End", 60, mark)
        time.sleep(3)
    print("\nAlarm after the stream fell silent, beyond the 5 s delay: %s s (mean %.1f s), of which the "
          "player buffer (what icecast sent at once when Dovrane joined, heard that much late) is %.1f s." % (
              ", ".join("%.1f" % d for d in late), sum(late) / len(late), buffer_ms / 1000))
finally:
    for r, p in procs.values():
        rig.stop(p)
    main.close()
    shutil.rmtree(work, ignore_errors=True)
