#!/usr/bin/python3
"""Soak run: the built program monitors real captured sound for a long time.

    /usr/bin/python3 scripts/soak.py [--duration 1800] [--seed 1] [--delay 6]
                                     [--action email|none] [--program build/dovrane]
                                     [--workdir DIR] [--json FILE]

A private PulseAudio server feeds the program's input with a 441 Hz tone that
alternates with digital silence at random (seeded) intervals; some silences are
shorter than the alarm delay, the others longer. Monitoring is started by the
weekly schedule (today enabled, start a few seconds from now, stop at the end).
With "email" each alarm start and end goes to a local SMTP sink through msmtp.

At the end it checks that the alarm log holds exactly the lines the script's own
schedule of events calls for, in order and on time (each long silence one
"Alarm" and one "Alarm End", short ones nothing), that the sink got one message
per alarm start and end, and that the program's memory did not grow; it prints
a summary with the memory (VmRSS every 10 s: first, last, max) and CPU time.
Exit status 0 when every check passed.
"""

import argparse
import json
import os
import random
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ops_harness as h  # noqa: E402

TONE = 8000
THRESHOLD = 1000
ADDRESS = "oncall@studio.invalid"
RSS_PERIOD = 10.0
RSS_GROWTH_LIMIT_KIB = 4096


def make_plan(rng, duration, delay):
    """[(kind, seconds)] alternating sound and silence, starting and ending with
    sound. Silences avoid delay +- 2 s, where the outcome would hang on latency."""
    plan, total = [], 0.0
    while total < duration:
        sound = round(rng.uniform(3.0, 25.0), 2)
        plan.append(("sound", sound))
        total += sound
        if total >= duration:
            break
        if rng.random() < 0.5:
            silence = round(rng.uniform(0.5, max(0.6, delay - 2.0)), 2)
        else:
            silence = round(rng.uniform(delay + 2.0, delay + 30.0), 2)
        plan.append(("silence", silence))
        total += silence
    if plan[-1][0] != "sound":
        plan.append(("sound", 5.0))
    return plan


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--duration", type=float, default=1800.0, help="seconds of monitoring")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--delay", type=int, default=6, help="alarm delay, seconds")
    parser.add_argument("--action", choices=["email", "none"], default="email")
    parser.add_argument("--program", default=h.default_program())
    parser.add_argument("--workdir", help="keep the run's files here (default: temporary)")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()

    plan = make_plan(random.Random(args.seed), args.duration, args.delay)
    total = sum(d for _, d in plan)
    workdir = args.workdir or tempfile.mkdtemp(prefix="dovrane-soak.")
    os.makedirs(workdir, exist_ok=True)
    rig = h.Rig(workdir, args.program)
    failures = []
    summary = {"seed": args.seed, "delay": args.delay, "action": args.action,
               "planned_seconds": round(total, 1), "workdir": workdir}
    try:
        rig.start_pulse()
        rig.tone(TONE)
        if args.action == "email":
            rig.start_sink()
        now_secs, _ = h.seconds_now()
        start_secs = now_secs + 8
        stop_secs = start_secs + int(total) + 3
        if stop_secs > 86399:
            sys.exit("soak.py: the run would cross midnight; start it later or shorten it")
        rig.write_setup(alarm_delay=args.delay, threshold=THRESHOLD,
                        action=2 if args.action == "email" else 0, start_secs=start_secs,
                        stop_secs=stop_secs, addresses=[("On Call", ADDRESS)],
                        facility="Soak Studio")
        rig.launch()
        t0 = h.epoch_of_today_secs(start_secs)
        print("soak: %d segments, %.0f s of monitoring from %s, work folder %s" %
              (len(plan), total, time.strftime("%H:%M:%S", time.localtime(t0)), workdir),
              flush=True)
        if not h.wait_for(lambda: "Timed Start Sensor" in rig.events(), t0 - time.time() + 15):
            raise RuntimeError("monitoring did not start at the scheduled second")

        rss, cpu_start = [], rig.cpu_seconds()
        next_rss = time.time()
        switches = []  # (epoch, kind) as actually done
        at = t0
        for i, (kind, length) in enumerate(plan):
            while time.time() < at:
                if time.time() >= next_rss:
                    rss.append(rig.rss_kib())
                    next_rss += RSS_PERIOD
                if not rig.alive():
                    raise RuntimeError("the program ended during the run")
                time.sleep(min(0.05, max(0.0, at - time.time())))
            switches.append((time.time(), kind, length))
            rig.tone(TONE if kind == "sound" else 0)
            at += length
            if i % 10 == 0:
                print("soak: %5.0f s  segment %d/%d  %d alarm lines so far, RSS %d KiB" % (
                    time.time() - t0, i + 1, len(plan), rig.events().count(h.ALARM),
                    rig.rss_kib()), flush=True)
        # Past the end of the last sound segment lies the scheduled stop.
        h.wait_for(lambda: "Timed Stop Sensor" in rig.events(), at + 8 - time.time())
        rss.append(rig.rss_kib())
        cpu_used = rig.cpu_seconds() - cpu_start
        wall = time.time() - t0

        expected, timed = ["Timed Start Sensor"], []
        for epoch, kind, length in switches:
            if kind == "silence" and length > args.delay:
                timed.append((h.ALARM, epoch + args.delay))
                timed.append((h.ALARM_END, epoch + length))
                expected += [h.ALARM] + ([h.email_event(ADDRESS)] if args.action == "email" else [])
                expected += [h.ALARM_END] + (
                    [h.email_event(ADDRESS)] if args.action == "email" else [])
        expected.append("Timed Stop Sensor")
        alarms = sum(1 for e in expected if e == h.ALARM)

        lines = rig.log_lines()
        got = [line[9:] for _, line in lines]
        if got != expected:
            failures.append("log lines differ from the schedule of events")
            for n, (a, b) in enumerate(zip(expected + [None] * len(got), got + [None] * len(expected))):
                if a != b:
                    failures.append("  first difference at line %d: expected %r, got %r" % (n + 1, a, b))
                    break
        stamped = [(h.line_epoch(d, line), line[9:]) for d, line in lines
                   if line[9:] in (h.ALARM, h.ALARM_END)]
        lags = {h.ALARM: [], h.ALARM_END: []}
        for (text, due), (when, got_text) in zip(timed, stamped):
            if text != got_text:
                break
            lag = when - due  # the log time is cut to the second
            lags[text].append(lag)
            if not -2.0 <= lag <= 3.0:
                failures.append("%s due at %s logged at %s" % (
                    text.strip(), time.strftime("%H:%M:%S", time.localtime(due)), time.strftime(
                        "%H:%M:%S", time.localtime(when))))
        if not rig.alive():
            failures.append("the program ended by itself")

        if args.action == "email":
            h.wait_for(lambda: len(rig.sink_messages()) >= 2 * alarms, 20)
            msgs = rig.sink_messages()
            summary["messages"] = len(msgs)
            if len(msgs) != 2 * alarms:
                failures.append("sink got %d messages for %d alarms" % (len(msgs), alarms))
            for n, m in enumerate(msgs):
                body_end = " End Silence Alarm" if n % 2 else " Silence Alarm"
                text = m["data"].replace("\r\n", "\n").rstrip("\n")
                if "Subject: Soak Studio Alarm" not in text or not text.endswith(body_end) or \
                        (n % 2 == 0 and text.endswith(" End Silence Alarm")):
                    failures.append("message %d is not the expected %r mail" % (n + 1, body_end))
                    break

        warm = rss[min(6, len(rss) - 1):]  # the first minute holds start-up allocations
        growth = (sorted(warm[-3:])[len(warm[-3:]) // 2] - sorted(warm[:3])[len(warm[:3]) // 2]) \
            if warm else 0
        if growth > RSS_GROWTH_LIMIT_KIB:
            failures.append("memory grew by %d KiB after the first minute" % growth)
        long_silences = sum(1 for _, k, l in switches if k == "silence" and l > args.delay)
        short_silences = sum(1 for _, k, l in switches if k == "silence" and l <= args.delay)
        summary.update({
            "wall_seconds": round(wall, 1), "segments": len(plan),
            "long_silences": long_silences, "short_silences": short_silences,
            "alarm_lines": got.count(h.ALARM), "alarm_end_lines": got.count(h.ALARM_END),
            "log_lines": len(got), "expected_log_lines": len(expected),
            "rss_kib_first": rss[0], "rss_kib_last": rss[-1], "rss_kib_max": max(rss),
            "rss_kib_growth_after_first_minute": growth, "rss_samples": len(rss),
            "cpu_seconds": round(cpu_used, 1), "cpu_percent": round(100 * cpu_used / wall, 2),
            "alarm_lag_s": [min(lags[h.ALARM], default=0), max(lags[h.ALARM], default=0)],
            "end_lag_s": [min(lags[h.ALARM_END], default=0), max(lags[h.ALARM_END], default=0)],
            "stderr_warnings": [ln for ln in rig.stderr_text().splitlines()
                                if "warning" in ln.lower() or "critical" in ln.lower()][:10],
        })
    except Exception as e:  # noqa: BLE001 - report whatever stopped the run
        failures.append("run stopped: %s" % e)
    finally:
        rig.close()

    summary["failures"] = failures
    summary["result"] = "PASS" if not failures else "FAIL"
    print("soak summary:")
    for key, value in summary.items():
        print("  %-34s %s" % (key, value))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(summary, f, indent=2)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
