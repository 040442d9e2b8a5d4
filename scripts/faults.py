#!/usr/bin/python3
"""Fault-survival run: what the operator sees when a peer fails while monitoring.

    /usr/bin/python3 scripts/faults.py [--program build/dovrane] [--workdir DIR]
                                       [--shots docs/screenshots] [--json FILE]

The built program runs on a private X server (Xvfb) with real peers: a private
PulseAudio server, the Hayes modem simulator on a pseudo-terminal linked as
<data>/COM1, and msmtp towards a local SMTP sink. Monitoring is started by the
weekly schedule. Two runs, each with a fresh data folder:

  "Send Page"   (a) the capture source is unloaded and loaded again;
                (b) the modem simulator is killed during a call.
  "Send Email"  (c) the SMTP sink is stopped, then started again;
                (d) the log folder is deleted while monitoring.

For each fault it records the alarm log lines, the program's diagnostics
(QT_LOGGING_RULES="dovrane.*=true"), whether the process lives on, and a picture
of the error window (fault-*.png) when one is shown; then it checks that
monitoring and the other paths go on. It prints a report and exits 0 when every
check passed.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ops_harness as h  # noqa: E402

TONE = 8000
THRESHOLD = 1000
DELAY = 4
ADDRESS = "oncall@studio.invalid"
CALLS = [("Chief Engineer", "555-0142"), ("Transmitter Co", "555-0199")]


class Xvfb:
    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x800x24",
                                      "-nolisten", "tcp"], pass_fds=(w,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()

    def windows(self):
        """{title: id} of the named top-level windows."""
        out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True,
                             env=dict(os.environ, DISPLAY=self.display)).stdout
        return {m.group(2): m.group(1) for m in re.finditer(r'^\s+(0x[0-9a-f]+) "([^"]*)"', out,
                                                              re.M)}

    def shoot(self, title, path):
        wid = self.windows().get(title)
        if not wid:
            return False
        return subprocess.run(["import", "-window", wid, path], capture_output=True,
                              env=dict(os.environ, DISPLAY=self.display)).returncode == 0

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Run:
    """One program instance with its peers and a report of what happened."""

    def __init__(self, name, workdir, program, xvfb, shots):
        self.rig = h.Rig(os.path.join(workdir, name), program)
        self.xvfb, self.shots = xvfb, shots
        self.results = []
        self.checks = []
        self.full_log = []

    def start(self, action):
        rig = self.rig
        rig.start_pulse()
        rig.tone(TONE)
        if action == 1:
            rig.start_modem()
        else:
            rig.start_sink()
        now, _ = h.seconds_now()
        if now > 86399 - 1200:
            sys.exit("faults.py: too close to midnight; run it after 00:00")
        rig.write_setup(alarm_delay=DELAY, threshold=THRESHOLD, action=action,
                        start_secs=now + 6, stop_secs=now + 1200, facility="Fault Studio",
                        addresses=[("On Call", ADDRESS)], calls=CALLS)
        rig.launch(platform="xcb", extra_env={"DISPLAY": self.xvfb.display})
        self.check("monitoring started by the schedule",
                   h.wait_for(lambda: "Timed Start Sensor" in rig.events(), 25))
        time.sleep(1.0)

    def check(self, what, ok):
        self.checks.append((what, bool(ok)))
        print("  [%s] %s" % ("ok" if ok else "FAILED", what), flush=True)
        return ok

    def mark(self):
        return len(self.rig.log_lines()), len(self.rig.stderr_text())

    def since(self, mark):
        lines = self.rig.log_lines()[mark[0]:]
        diag = [ln for ln in self.rig.stderr_text()[mark[1]:].splitlines()
                if ln.startswith("dovrane.")]
        return [line for _, line in lines], diag

    def wait_event(self, text, after, timeout):
        return h.wait_for(lambda: text in [ln[9:] for _, ln in self.rig.log_lines()[after[0]:]],
                          timeout)

    def error_shot(self, name):
        """Saves the error window if it is shown; closes nothing."""
        path = os.path.join(self.shots, name + ".png")
        return path if self.xvfb.shoot("Error Message", path) else None

    def record(self, fault, mark, seen, **extra):
        lines, diag = self.since(mark)
        entry = {"fault": fault, "log": lines, "diagnostics": diag[:12], "operator_sees": seen,
                 "alive": self.rig.alive()}
        entry.update(extra)
        self.results.append(entry)
        print(json.dumps(entry, indent=2), flush=True)

    def silence_alarm(self, mark, timeout=DELAY + 10):
        self.rig.tone(0)
        return self.wait_event(h.ALARM, mark, timeout)

    def sound_back(self, mark, timeout=10):
        self.rig.tone(TONE)
        return self.wait_event(h.ALARM_END, mark, timeout)


def page_run(workdir, program, xvfb, shots):
    print("== Send Page ==", flush=True)
    run = Run("page", workdir, program, xvfb, shots)
    rig = run.rig
    try:
        run.start(action=1)

        # (a) the capture source goes away, then comes back.
        m = run.mark()
        t = time.time()
        rig.remove_source()
        raised = run.wait_event(h.ALARM, m, DELAY + 10)
        run.check("(a) source removed: the alarm is raised after the delay", raised)
        alarm_after = round(time.time() - t, 1)
        run.check("(a) the call sequence dials the first entry",
                  run.wait_event(h.files.fixed(CALLS[0][1], 24).decode(), m, 15))
        time.sleep(2)
        rig.restore_source()
        rig.tone(TONE)
        t = time.time()
        resumed = run.wait_event(h.ALARM_END, m, 20)
        run.check("(a) source restored and sound flowing: capture resumes, alarm ends", resumed)
        run.record("(a) capture source removed and restored", m,
                   "alarm light after the delay, then normal again when the source returns"
                   if resumed else "alarm light stays on after the source returns",
                   alarm_after_s=alarm_after,
                   alarm_end_after_restore_s=round(time.time() - t, 1) if resumed else None,
                   error_window=run.error_shot("fault-a-source"))
        # Let the call sequence of (a) run out (two calls of 25 s).
        h.wait_for(lambda: False, 50)

        # (b) the modem dies during a call.
        m = run.mark()
        run.check("(b) new alarm raised", run.silence_alarm(m))
        run.check("(b) first entry dialled",
                  run.wait_event(h.files.fixed(CALLS[0][1], 24).decode(), m, 15))
        time.sleep(5)
        rig.kill_modem()
        time.sleep(2)
        shot_now = run.error_shot("fault-b-modem-killed")
        # The hang-up comes 25 s after the dial, then the next entry is dialled.
        time.sleep(24)
        shot_next = run.error_shot("fault-b-next-call")
        second = h.files.fixed(CALLS[1][1], 24).decode()
        second_logged = second in [ln[9:] for ln in run.since(m)[0]]
        run.check("(b) the program lives on after the modem died", rig.alive())
        run.check("(b) sound back: the alarm ends and is logged", run.sound_back(m))
        m2 = run.mark()
        run.check("(b) a later silence still raises an alarm", run.silence_alarm(m2))
        time.sleep(3)
        shot_later = run.error_shot("fault-b-later-alarm")
        run.check("(b) ... and its end is logged", run.sound_back(m2))
        # A modem on the line again: the next alarm calls as before.
        rig.start_modem()
        time.sleep(1)
        m3 = run.mark()
        run.check("(b) modem back: the next alarm is raised", run.silence_alarm(m3))
        redial = run.wait_event(h.files.fixed(CALLS[0][1], 24).decode(), m3, 15)
        run.check("(b) modem back: the next alarm dials the first entry again", redial)
        run.check("(b) ... and its end is logged", run.sound_back(m3))
        run.record("(b) modem simulator killed 5 s after the dial", m,
                   "see error_window pictures", second_entry_logged=second_logged,
                   error_window_right_after=shot_now, error_window_after_hangup=shot_next,
                   error_window_next_alarm=shot_later)
        run.check("program still running at the end", rig.alive())
    except Exception as e:  # noqa: BLE001
        run.check("run stopped: %s" % e, False)
    finally:
        run.full_log = [line for _, line in rig.log_lines()]
        rig.close()
    return run


def email_run(workdir, program, xvfb, shots):
    print("== Send Email ==", flush=True)
    run = Run("email", workdir, program, xvfb, shots)
    rig = run.rig
    try:
        run.start(action=2)
        run.check("baseline alarm and end", run.silence_alarm(run.mark()) and
                  run.sound_back(run.mark()))
        h.wait_for(lambda: len(rig.sink_messages()) >= 2, 15)
        run.check("baseline: the sink got the start and end mail", len(rig.sink_messages()) == 2)

        # (c) the SMTP sink is down.
        port = rig.sink_port
        rig.stop_sink()
        m = run.mark()
        run.check("(c) sink down: the alarm is still raised and logged", run.silence_alarm(m))
        time.sleep(4)
        shot = run.error_shot("fault-c-smtp-down")
        run.check("(c) the end of the alarm is logged", run.sound_back(m))
        time.sleep(3)
        run.check("(c) the program lives on", rig.alive())
        rig.start_sink(port)
        m2 = run.mark()
        before = len(rig.sink_messages())
        ok = run.silence_alarm(m2) and run.sound_back(m2)
        h.wait_for(lambda: len(rig.sink_messages()) >= before + 2, 15)
        run.check("(c) sink back: the next alarm's mails arrive",
                  ok and len(rig.sink_messages()) == before + 2)
        run.record("(c) SMTP sink stopped, later started again", m, "error window, see picture",
                   error_window=shot, messages_after_restart=len(rig.sink_messages()) - before)

        # (d) the log folder is deleted while monitoring.
        logs = os.path.join(rig.data, "logs")
        kept = rig.log_lines()
        subprocess.run(["rm", "-rf", logs], check=True)
        before = len(rig.sink_messages())
        rig.tone(0)
        time.sleep(DELAY + 4)
        shot = run.error_shot("fault-d-logs-deleted")
        rig.tone(TONE)
        time.sleep(4)
        h.wait_for(lambda: len(rig.sink_messages()) >= before + 2, 15)
        mails = len(rig.sink_messages()) - before
        run.check("(d) the program lives on", rig.alive())
        run.check("(d) the lines are lost and the folder is not made again",
                  not os.path.exists(logs))
        run.check("(d) the alarm mails still go out", mails == 2)
        os.makedirs(logs)
        m = (0, len(rig.stderr_text()))
        run.check("(d) folder made again by hand: the next alarm is logged",
                  run.silence_alarm(m) and run.sound_back(m))
        run.record("(d) log folder deleted while monitoring", m, "error window, see picture",
                   error_window=shot, mails_while_folder_missing=mails,
                   lines_before_delete=len(kept))
        run.check("program still running at the end", rig.alive())
    except Exception as e:  # noqa: BLE001
        run.check("run stopped: %s" % e, False)
    finally:
        run.full_log = [line for _, line in rig.log_lines()]
        rig.close()
    return run


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=h.default_program())
    parser.add_argument("--workdir")
    parser.add_argument("--shots", default=os.path.join(h.REPO, "docs", "screenshots"))
    parser.add_argument("--json")
    parser.add_argument("--only", choices=["page", "email"])
    args = parser.parse_args()
    workdir = args.workdir or tempfile.mkdtemp(prefix="dovrane-faults.")
    os.makedirs(args.shots, exist_ok=True)
    xvfb = Xvfb()
    runs = []
    try:
        if args.only in (None, "page"):
            runs.append(page_run(workdir, args.program, xvfb, args.shots))
        if args.only in (None, "email"):
            runs.append(email_run(workdir, args.program, xvfb, args.shots))
    finally:
        xvfb.close()
    checks = [c for r in runs for c in r.checks]
    failed = [what for what, ok in checks if not ok]
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"results": [e for r in runs for e in r.results],
                       "full_logs": [r.full_log for r in runs],
                       "checks": checks}, f, indent=2)
    print("fault checks: %d passed, %d failed" % (len(checks) - len(failed), len(failed)))
    for what in failed:
        print("  FAILED: " + what)
    print("%d passed, %d failed" % (len(checks) - len(failed), len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
