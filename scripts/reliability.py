#!/usr/bin/python3
"""How the built program holds up over a long unattended run, and what the operator sees
when the things around it fail (real peers from tests/tools/dovrane_rig.py; monitoring is
started by the weekly schedule). See docs/reliability.md; --help lists the options.

Each check prints a line; "N passed, N failed" comes last (exit status 0: all passed).
"""

import argparse
import datetime
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "tools"))
import dovrane_rig as rig  # noqa: E402
from dovrane_rig import ALARM, ALARM_END  # noqa: E402

TONE, THRESHOLD, FAULT_DELAY = 8000, 1000, 4
ADDRESS = "oncall@studio.invalid"
CALLS = [(True, "Chief Engineer", "555-0142"), (True, "Transmitter Co", "555-0199")]


CHECKS, FIGURES = [], {}


def check(what, ok, why=""):
    CHECKS.append([what, bool(ok)])
    print("  [%s] %s%s" % ("ok" if ok else "FAILED", what, "\n    " + why if why and not ok else ""), flush=True)
    return ok


def plan(rng, duration, delay):
    """[(kind, seconds)], sound first and last; silences 2 s clear of the delay or more."""
    steps, total = [], 0.0
    while total < duration:
        silence = rng.uniform(delay + 2, delay + 30) if rng.random() >= 0.5 else rng.uniform(0.5, max(0.6, delay - 2))
        steps += [("sound", round(rng.uniform(3, 25), 2)), ("silence", round(silence, 2))]
        total += steps[-2][1] + steps[-1][1]
    return steps + [("sound", 5.0)]


def soak(a, r):
    """A tone and digital silence in turn at random, silences shorter and longer than the
    delay, each alarm start and end mailed; the program runs headless."""
    steps = plan(random.Random(a.seed), a.duration, a.delay)
    total = sum(length for _, length in steps)
    t0 = start_monitoring(r, 2, r.start_sink, a.delay, total + 3, "Soak Studio", "--headless")
    if not t0:
        return
    pid = r.proc.pid
    rss, cpu0, switches, at = [], rig.cpu_seconds(pid), [], t0
    for n, (kind, length) in enumerate(steps):
        while time.time() < at and r.proc.poll() is None:
            if len(rss) * 10 <= time.time() - t0:
                rss.append(rig.rss_kib(pid))  # every 10 s
            time.sleep(0.05)
        switches.append((time.time(), kind, length))
        r.tone(TONE if kind == "sound" else 0)
        at += length
        print("  %6.0f s  step %d/%d: %s for %.1f s" % (time.time() - t0, n + 1, len(steps), kind, length), flush=True)
    r.wait_event("Timed Stop Sensor", at + 8 - time.time())
    if not check("the program ran on to the end", r.proc.poll() is None):
        return
    wall, cpu = time.time() - t0, rig.cpu_seconds(pid) - cpu0

    alarms = [(when, length) for when, kind, length in switches if kind == "silence" and length > a.delay]
    mail = rig.email_event(ADDRESS)
    expected = ["Timed Start Sensor"] + [ALARM, mail, ALARM_END, mail] * len(alarms) + ["Timed Stop Sensor"]
    due = [t for when, length in alarms for t in (when + a.delay, when + length)]
    lines = r.log_lines()
    got = [line[9:] for _, line in lines]
    n = next((n for n in range(max(len(got), len(expected))) if got[n:n + 1] != expected[n:n + 1]), 0)
    check("the alarm log holds exactly the %d lines of the plan" % len(expected), got == expected,
          "first difference at line %d: expected %r, got %r" % (n + 1, expected[n:n + 1], got[n:n + 1]))
    # The log's times are cut to the second; an alarm is due when the rounded silence reaches the delay.
    lags = [round(datetime.datetime.combine(d, datetime.time.fromisoformat(line[:8])).timestamp() - when, 1)
            for when, (d, line) in zip(due, [x for x in lines if x[1][9:] in (ALARM, ALARM_END)])]
    check("every alarm raised and ended within -2..+3 s of its due time", all(-2 <= x <= 3 for x in lags))
    rig.wait_for(lambda: len(r.messages()) >= 2 * len(alarms), 20)
    texts = [m["data"].strip().splitlines() for m in r.messages()]
    got_mails = [("Subject: Soak Studio Alarm" in text, text[-1][20:]) for text in texts]  # after the date and time
    check("the sink got %d mails, alarm and end in turn" % (2 * len(alarms)),
          got_mails == [(True, "Silence Alarm"), (True, "End Silence Alarm")] * len(alarms))
    warm = rss[6:] or rss  # the first minute holds start-up allocations
    growth = sorted(warm[-3:])[len(warm[-3:]) // 2] - sorted(warm[:3])[len(warm[:3]) // 2]
    check("memory did not grow after the first minute (%+d KiB)" % growth, growth <= 4096)
    FIGURES.update(
        seed=a.seed, planned_s=round(total), wall_s=round(wall), log_lines=len(got),
        silences_longer_shorter_than_delay=[len(alarms), len(steps) // 2 - len(alarms)],  # steps: pairs + 1
        alarm_lag_s=[min(lags[0::2], default=0), max(lags[0::2], default=0)],
        end_lag_s=[min(lags[1::2], default=0), max(lags[1::2], default=0)],
        rss_kib_first_last_max=[rss[0], rss[-1], max(rss)], rss_samples=len(rss), cpu_s=round(cpu, 1),
        cpu_percent_of_one_core=round(100 * cpu / wall, 2),
        # Headless, a line's priority comes first: <4> warning, <3> error and so on.
        warnings=[w for w in rig.read(r.output).splitlines() if re.search(r"^<[0-4]>|warning|critical", w, re.I)])
    print("".join("  %-34s %s\n" % item for item in FIGURES.items()), end="")


def start_monitoring(r, action, start_peer, delay, length, facility, *args, **env):
    """Its schedule monitors from 8 s on for length s; returns that start (Unix time) or False."""
    r.start_pulse()
    r.tone(TONE)
    start_peer()
    start, now = rig.seconds_now()
    if start + 8 + length > 86399:
        sys.exit("reliability: the run would cross midnight; start it after 00:00 or shorten it")
    r.write_setup(delay, THRESHOLD, action, start + 8, start + 8 + int(length), calls=CALLS, facility=facility,
                  addresses=[(True, "1", "On Call", ADDRESS)])
    r.launch(*args, QT_LOGGING_RULES="dovrane.*=true", **env)  # diagnostics
    t0 = now.replace(microsecond=0).timestamp() + 8
    return check("monitoring started by the schedule", r.wait_event("Timed Start Sensor", t0 - time.time() + 15)) and t0


def error_window(a, r, name):
    """Whether the error window is shown; --shots keeps its picture as fault-NAME.png."""
    env = dict(os.environ, DISPLAY=r.display)
    tree = subprocess.run(["xwininfo", "-root", "-children"], env=env, capture_output=True, text=True).stdout
    found = re.search(r'^\s+(0x[0-9a-f]+) "Error Message"', tree, re.M)
    if found and a.shots:
        subprocess.run(["import", "-window", found[1], os.path.join(a.shots, "fault-%s.png" % name)], env=env)
    return bool(found)


def alarm(r, mark, end=False):
    """Silence until the alarm is raised or, with end, sound until it ends, among the events after mark."""
    r.tone(TONE if end else 0)
    return r.wait_event(ALARM_END if end else ALARM, 15 if end else FAULT_DELAY + 10, mark)


def page_faults(a, r):
    """Send Page: (a) the capture source unloaded, later loaded again; (b) the modem dies in a call."""
    if not start_monitoring(r, 1, r.start_modem, FAULT_DELAY, 1200, "Fault Studio", QT_QPA_PLATFORM="xcb",
                            DISPLAY=r.start_xvfb()):
        return
    first, second = (rig.fixed(number, 24).decode() for _, _, number in CALLS)
    m, d = len(r.log_lines()), r.pulse_env["DOVRANE_PULSE_DIR"]
    rig.pactl(d, "unload-module", "module-pipe-source")
    check("(a) source removed: no buffers count as silence, the alarm is raised", r.wait_event(ALARM, 14, m))
    check("(a) ... and the call list's first entry is dialled", r.wait_event(first, 15, m))
    FIGURES["(a) error window shown"] = error_window(a, r, "a-source")
    rig.pactl(d, "load-module", *rig.pipe_source(d))
    r.tone(TONE)
    check("(a) source back and fed: capture resumes by itself and the alarm ends", r.wait_event(ALARM_END, 20, m))
    check("(a) the call sequence goes on: the second entry 25 s after the first", r.wait_event(second, 40, m))
    time.sleep(27)  # its hang-up

    m, said = len(r.log_lines()), len(rig.read(r.output))
    check("(b) a new alarm dials the first entry", alarm(r, m) and r.wait_event(first, 15, m))
    time.sleep(5)
    # The modem dies with its device. The link goes to nowhere: removed, the program would
    # try /dev/ttyS0; left, the dead pseudo-terminal's number may go to another process.
    rig.stop(r.modem, signal.SIGKILL)
    os.remove(r.data + "/COM1")
    os.symlink(r.work + "/modem-gone", r.data + "/COM1")
    time.sleep(2)
    FIGURES["(b) error window shown right after the modem died"] = error_window(a, r, "b-modem-killed")
    time.sleep(24)  # the hang-up comes 25 s after the dial, then the next entry's call
    # The error window of (a) may still be open: the diagnostics line tells this failure apart.
    check("(b) at the hang-up the next call cannot open the port: error window",
          error_window(a, r, "b-next-call") and "cannot be opened" in rig.read(r.output)[said:])
    check("(b) ... and that entry is neither logged nor called", second not in r.events()[m:])
    check("(b) sound back: the alarm ends", alarm(r, m, end=True))
    m = len(r.log_lines())
    check("(b) a later silence raises an alarm, and its end is logged", alarm(r, m) and alarm(r, m, end=True))
    r.start_modem()
    m = len(r.log_lines())
    check("(b) modem back: the next alarm dials the first entry again",
          alarm(r, m) and r.wait_event(first, 15, m) and alarm(r, m, end=True))
    check("the program lives on", r.proc.poll() is None)


def email_faults(a, r):
    """Send Email: (c) the SMTP sink stopped, later started again; (d) the log folder deleted;
    (e) the sound server killed and kept down for 30 s."""
    if not start_monitoring(r, 2, r.start_sink, FAULT_DELAY, 1200, "Fault Studio", QT_QPA_PLATFORM="xcb",
                            DISPLAY=r.start_xvfb()):
        return
    mails = lambda n: rig.wait_for(lambda: len(r.messages()) == n, 20)  # noqa: E731
    m = len(r.log_lines())
    check("an alarm and its end, both mailed", alarm(r, m) and alarm(r, m, end=True) and mails(2))
    rig.stop(r.sink)
    m = len(r.log_lines())
    check("(c) mail server down: the alarm is still raised and logged", alarm(r, m))
    check("(c) the mail program's failure is shown in the error window",
          rig.wait_for(lambda: error_window(a, r, "c-smtp-down"), 15))
    check("(c) the alarm's end and both mail attempts are logged",
          alarm(r, m, end=True) and rig.wait_for(lambda: r.events()[m:].count(rig.email_event(ADDRESS)) == 2, 15))
    r.start_sink(r.sink_port)
    m = len(r.log_lines())
    check("(c) server back: the next alarm's two mails arrive, and the outbox sends the two failed ones",
          alarm(r, m) and alarm(r, m, end=True) and rig.wait_for(lambda: len(r.messages()) == 6, 120))

    logs = os.path.join(r.data, "logs")
    shutil.rmtree(logs)
    r.tone(0)
    time.sleep(FAULT_DELAY + 4)
    error_window(a, r, "d-logs-deleted")
    r.tone(TONE)
    check("(d) log folder deleted: the alarm and its end are still mailed", mails(8))
    check("(d) ... their lines are lost and the folder is not made again", not os.path.exists(logs))
    os.makedirs(logs)
    check("(d) folder made again by hand: the next alarm is logged",
          alarm(r, 0) and alarm(r, 0, end=True) and mails(10))

    m, said, d = len(r.log_lines()), len(rig.read(r.output)), r.pulse_env["DOVRANE_PULSE_DIR"]
    rig.kill_pidfile(d + "/daemon.pid")
    down = time.monotonic()
    check("(e) sound server killed: the alarm is raised after the delay", r.wait_event(ALARM, FAULT_DELAY + 10, m))
    time.sleep(max(0.0, down + 20 - time.monotonic()))
    FIGURES["(e) error window shown while the server is down"] = error_window(a, r, "e-server-down")
    time.sleep(max(0.0, down + 30 - time.monotonic()))
    check("(e) the sound server is back after 30 s", rig.pulse_daemon(d))
    r.tone(TONE)
    check("(e) capture resumes by itself and the alarm ends", r.wait_event(ALARM_END, 30, m),
          "no 'Alarm End' within 30 s of the server's return: capture did not reconnect. The program said:\n    "
              + "\n    ".join(rig.read(r.output)[said:].splitlines()[-8:]))
    check("(e) ... and the alarm and its end are mailed", mails(12))
    check("the program lives on", r.proc.poll() is None)


def outbox_faults(a, r):
    """Send Email and a webhook through the outbox: (f) the SMTP sink down for 3 minutes across
    an alarm; (g) SIGKILL with 3 mails waiting; (h) the webhook refusing the first two posts."""
    url = r.start_webhook(fails=2)
    rig.write(r.data, "Dovrane.ini", "[notify]\nwebhooks=%s\n" % url)
    if not start_monitoring(r, 2, r.start_sink, FAULT_DELAY, 1800, "Fault Studio", "--headless"):
        return
    outbox = os.path.join(r.data, "outbox")
    mails = lambda: [m["data"].replace("\r", "").split("\n\n", 1)[1] for m in r.messages()]  # noqa: E731 - the bodies
    rig.stop(r.sink)
    down, m = time.monotonic(), len(r.log_lines())
    check("(f) SMTP sink down: an alarm and its end", alarm(r, m) and alarm(r, m, end=True))
    time.sleep(max(0.0, down + 180 - time.monotonic()))
    r.start_sink(r.sink_port)
    check("(f) sink up after 3 min: both mails arrive", rig.wait_for(lambda: len(mails()) == 2, 400))
    FIGURES["(f) mails arrived after the sink's return (s)"] = round(time.monotonic() - down - 180)
    hooks = [(p["event"], p["status"]) for p in r.posts]
    check("(h) webhook 500 twice: the alarm and its end each taken once after a retry", sorted(hooks) == [
        ("silence_alarm", 200), ("silence_alarm", 500), ("silence_end", 200), ("silence_end", 500)], hooks)
    rig.stop(r.sink)
    for end in (False, True, False):
        alarm(r, len(r.log_lines()), end)
    check("(g) sink down, 3 mails waiting in the outbox", rig.wait_for(lambda: len(os.listdir(outbox)) >= 3, 30))
    rig.stop(r.proc, signal.SIGKILL)
    r.tone(TONE)
    r.start_sink(r.sink_port)
    r.launch("--headless", QT_LOGGING_RULES="dovrane.*=true")
    check("(g) killed, sink up, restarted: the outbox empties", rig.wait_for(lambda: not os.listdir(outbox), 60))
    rig.stop(r.proc)
    check("(f, g) every mail arrived exactly once", len(mails()) == len(set(mails())) == 5, mails())


def gsm_faults(a, r):
    """(i) Send Page with a GSM modem that answers ERROR to the first text message."""
    rig.write(r.data, "Dovrane.ini", "[notify]\ngsm=true\n")
    if not start_monitoring(r, 1, lambda: r.start_modem("--cmgs-errors", "1"), FAULT_DELAY, 600, "Fault Studio",
                            "--headless"):
        return
    sent = lambda: [e.split(" ", 1)[1][:20] for e in r.modem_events() if "CMGS" in e or "TEXT" in e]  # noqa: E731
    numbers = ['AT+CMGS="555-0142"', 'AT+CMGS="555-0199"']
    check("(i) the alarm texts both numbers; the ERROR one again 30 s later, once",
          alarm(r, 0) and rig.wait_for(lambda: sent() == [numbers[0], numbers[1], "Fault Studio Silence", numbers[0],
                                                          "Fault Studio Silence"], 60), sent())


parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("what", choices=["soak", "faults", "notify"])
parser.add_argument("--program", default=os.path.join(REPO, "build", "dovrane"), help="default: build/dovrane")
parser.add_argument("--json", help="also write the checks and figures to this file")
parser.add_argument("--duration", type=float, default=1800, help="soak: seconds of monitoring")
parser.add_argument("--seed", type=int, default=1, help="soak: the random plan")
parser.add_argument("--delay", type=int, default=6, help="soak: the alarm delay, seconds")
parser.add_argument("--shots", help="faults: keep pictures of the error window in this folder")
args = parser.parse_args()
work = tempfile.mkdtemp(prefix="dovrane-%s." % args.what)
runs = {"soak": [("soak", soak)], "faults": [("page", page_faults), ("email", email_faults)],
        "notify": [("outbox", outbox_faults), ("gsm", gsm_faults)]}
for name, body in runs[args.what]:
    r = rig.Rig(os.path.join(work, name), args.program)
    print("== %s (its files: %s) ==" % (name, r.work), flush=True)
    try:
        body(args, r)
    except Exception as e:  # noqa: BLE001 - report whatever stopped the run, then go on
        check("the %s run went to its end (%r)" % (name, e), False)
    finally:
        r.close()
failed = [what for what, ok in CHECKS if not ok]
if args.json:
    with open(args.json, "w") as f:
        json.dump({"work_folder": work, "checks": CHECKS, "figures": FIGURES}, f, indent=2)
print("".join("FAILED: %s\n" % what for what in failed), end="")
print("%d passed, %d failed" % (len(CHECKS) - len(failed), len(failed)))
sys.exit(1 if failed else 0)
