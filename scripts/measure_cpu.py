#!/usr/bin/python3
"""Processor time and memory of Dovrane beside other ways of watching the same input.

Dovrane --headless, Dovrane's window on Xvfb, ffmpeg's silencedetect, parec (the floor) and,
with --idle, a Dovrane that is not monitoring, all at the same time on one private PulseAudio
source playing programme-like audio. README.md (Performance) describes the method and the
figures. Prints a Markdown table.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.dont_write_bytecode = True
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "tools"))
import dovrane_rig as rig  # noqa: E402


HEADLESS, WINDOW, IDLE = "Dovrane `--headless`", "Dovrane window on Xvfb", "Dovrane `--headless`, not monitoring"
DETECT = "Dovrane `--headless`, input lost, channel, phase detectors and clips on"
TRUST = "Dovrane `--headless`, programme band, hum, noise and loop detectors on"
FFMPEG = "`ffmpeg -f pulse -i SOURCE -af silencedetect -f null -`"
POLLED, STATUS = "Dovrane `--headless`, /status every 1 s, /metrics every 15 s", "http://127.0.0.1:29877/"
PAREC, SERVER = "`parec` of the same source (capturing at all)", "the PulseAudio server, serving all of them"


parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("--program", default=os.path.join(REPO, "build", "dovrane"), help="default: build/dovrane")
parser.add_argument("--seconds", type=float, default=60, help="measured seconds (default: 60)")
parser.add_argument("--idle", action="store_true", help="add a Dovrane that is not monitoring")
parser.add_argument("--settings", help="a Dovrane.ini for every Dovrane (e.g. every detector on)")
parser.add_argument("--detectors", action="store_true", help="add a Dovrane with [detectors] and [clips] on")
parser.add_argument("--trust", action="store_true", help="add a Dovrane with every [alarms] detector on")
parser.add_argument("--poll-status", action="store_true", help="add a Dovrane whose remote status is polled")
args = parser.parse_args()
work = tempfile.mkdtemp(prefix="dovrane-cpu.")
# One rig per Dovrane, for its own data folder; the first one's server and X serve all.
rigs = {name: rig.Rig(os.path.join(work, str(n)), args.program)
        for n, name in enumerate([HEADLESS, WINDOW] + [IDLE] * args.idle + [DETECT] * args.detectors
                                 + [TRUST] * args.trust + [POLLED] * args.poll_status)}
first, procs = rigs[HEADLESS], {}
try:
    first.start_pulse()
    first.tone(16000, 16000, step_ms=50)
    start, stop = rig.seconds_now()[0] + 6, rig.seconds_now()[0] + int(args.seconds) + 60
    if stop > 86399:
        sys.exit("measure_cpu: too close to midnight for a schedule that starts today")
    for name, r in rigs.items():
        r.pulse_env = first.pulse_env
        # Delay 30 s, threshold 100 (the tone never falls below 1600), no alarm action.
        r.write_setup(30, 100, 0, start, stop, schedule={1: (0, 0, 0)} if name == IDLE else None)  # IDLE: no day on
        if args.settings:
            rig.write(r.data, "Dovrane.ini", rig.read(args.settings))
        if name == DETECT:
            rig.write(r.data, "Dovrane.ini", "[detectors]\ninput_lost=true\nchannel_loss=true\nphase=true\n"
                      "[clips]\nenabled=true\n")
        if name == TRUST:
            rig.write(r.data, "Dovrane.ini", "[alarms]\nband_low_hz=40\nband_high_hz=15000\nnotch_pilot=true\nhum=true\n"
                      "noise=true\nloop=true\nloop_window_secs=60\n")
        if name == POLLED:
            rig.write(r.data, "Dovrane.ini", "[status]\nenabled=true\nlisten=" + STATUS[7:-1] + "\n")
        window = dict(QT_QPA_PLATFORM="xcb", DISPLAY=first.start_xvfb()) if name == WINDOW else {}
        procs[name] = r.launch(*([] if window else ["--headless"]), **window)
    source, env, quiet = first.pulse_env["DOVRANE_PULSE_SOURCE"], first.env(), subprocess.DEVNULL
    procs[FFMPEG] = first.spawn(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "pulse", "-i",
                                 source, "-af", "silencedetect", "-f", "null", "-"], env=env, stdout=quiet)
    procs[PAREC] = first.spawn(["parec", "-d", source], env=env, stdout=quiet)
    monitoring = [r for name, r in rigs.items() if name != IDLE]
    if not rig.wait_for(lambda: all("Timed Start Sensor" in r.events() for r in monitoring), 30):
        sys.exit("measure_cpu: monitoring did not start:\n" + "".join(r.report() for r in monitoring))
    time.sleep(2)  # let the start settle
    pids = {name: p.pid for name, p in procs.items()}
    pids[SERVER] = int(rig.read(first.pulse_env["DOVRANE_PULSE_DIR"] + "/daemon.pid"))
    cpu0, rss, t0 = {n: rig.cpu_seconds(p) for n, p in pids.items()}, dict.fromkeys(pids, 0), time.monotonic()
    for second in range(int(args.seconds)):
        rss = {n: max(rss[n], rig.rss_kib(p)) for n, p in pids.items()}
        if args.poll_status:  # as Prometheus and an open status page would
            urllib.request.urlopen(STATUS + ("metrics" if second % 15 == 0 else "status"), timeout=5).read()
        time.sleep(max(0.0, t0 + second + 1 - time.monotonic()))
    cpu = {n: rig.cpu_seconds(p) - cpu0[n] for n, p in pids.items()}
    wall = time.monotonic() - t0
    if not all(p.poll() is None for p in procs.values()) or any(rig.ALARM in r.events() for r in monitoring):
        sys.exit("measure_cpu: a process ended or an alarm was raised; the figures would not hold")
finally:
    for r in reversed(list(rigs.values())):
        r.pulse_env = first.pulse_env if r is first else {}  # the server is the first rig's to stop
        r.close()
    shutil.rmtree(work, ignore_errors=True)
print("%.0f s, all at the same time, programme-like audio (level steps every 50 ms):\n" % wall)
print("| process | share of one core | resident memory (max) |\n|---|---|---|")
for name in pids:
    print("| %s | %.2f %% | %.1f MiB |" % (name, 100 * cpu[name] / wall, rss[name] / 1024))

