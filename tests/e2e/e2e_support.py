"""What the end-to-end tests share: the real peers of the program (a private
PulseAudio server, the modem simulator, an SMTP sink reached through msmtp), the
program itself, and patient polling of the files they write.

Everything a test starts is registered with the test's cleanups, so it is stopped
at the end whether the test passed, failed or raised.
"""

import argparse
import ctypes
import datetime
import glob
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import dovrane_files as files

PYTHON = "/usr/bin/python3"
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
ALARM = "Alarm" + " " * 16
ALARM_END = "Alarm End" + " " * 12


class Options:
    program = None
    inputs_helper = None
    tools = None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--inputs-helper")
    parser.add_argument("--tools")
    args, rest = parser.parse_known_args()
    for name in ("program", "inputs_helper", "tools"):
        value = getattr(args, name)
        setattr(Options, name, value and os.path.abspath(value))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def die_with_us():
    """preexec_fn: the child gets SIGTERM when this test process ends, even by SIGKILL
    (a CTest time-out), so no program or simulator outlives its test."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def start(case, args, **kwargs):
    """A child process that the test's cleanups end: SIGTERM, then SIGKILL after 10 s."""
    proc = subprocess.Popen(args, preexec_fn=die_with_us, **kwargs)

    def stop():
        if proc.poll() is None:
            if proc.stdin:
                proc.stdin.close()
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if proc.stdout:
            proc.stdout.close()

    case.addCleanup(stop)
    return proc


def wait_for(predicate, timeout, interval=0.1):
    """Polls until predicate() gives a true value or the time is up; returns the last value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def seconds_of_day(moment=None):
    return files.seconds(moment or datetime.datetime.now())


def keep_clear_of_midnight(margin):
    """Waits until the real clock has at least `margin` seconds before midnight, so a
    run on the real clock stays within one day (its schedule and log file)."""
    left = 86400 - seconds_of_day()
    if left < margin:
        time.sleep(left + 2)


def read(path, binary=False):
    try:
        with open(path, "rb" if binary else "r", errors=None if binary else "replace") as f:
            return f.read()
    except FileNotFoundError:
        return b"" if binary else ""


class PulseServer:
    """pulse-fixture.sh: a private server whose one capture source plays what we feed."""

    def __init__(self, case):
        self.script = os.path.join(Options.tools, "pulse-fixture.sh")
        out = subprocess.run(["sh", self.script, "start", "--owner", str(os.getpid())],
                             check=True, capture_output=True, text=True, timeout=60).stdout
        self.values = dict(re.findall(r"^export (\w+)='([^']*)'$", out, re.M))
        self.dir = self.values["DOVRANE_PULSE_DIR"]
        case.addCleanup(subprocess.run, ["sh", self.script, "stop", self.dir], timeout=60)

    def client_env(self):
        return {"PULSE_SERVER": self.values["PULSE_SERVER"], "PULSE_COOKIE": self.values["PULSE_COOKIE"]}

    def tone(self, left=8000, right=8000):
        subprocess.run(["sh", self.script, "tone", self.dir, str(left), str(right)], check=True, timeout=30)

    def silence(self):
        self.tone(0, 0)

    def device_number(self):
        """The source's position in the program's device list."""
        description = self.values["DOVRANE_PULSE_DESCRIPTION"]
        run = subprocess.run([Options.inputs_helper, description], env=dict(os.environ, **self.client_env()),
                             capture_output=True, text=True, timeout=60)
        names = run.stdout.splitlines()
        if description not in names:
            raise AssertionError("the test source is not among the inputs: %r %s" % (names, run.stderr))
        return names.index(description)


class Modem:
    """modem_sim.py linked as <data>/COM1; keeps the exact byte stream and an event list."""

    def __init__(self, case, data_dir, workdir):
        self.capture = os.path.join(workdir, "modem-capture.bin")
        self.events_file = os.path.join(workdir, "modem-events.txt")
        self.proc = start(case, [PYTHON, os.path.join(Options.tools, "modem_sim.py"), "--link",
                                 os.path.join(data_dir, "COM1"), "--capture", self.capture,
                                 "--events", self.events_file, "--mode", "ok"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        ready = self.proc.stdout.readline()
        if not ready.startswith("READY "):
            raise AssertionError("modem simulator did not start: %r" % ready)

    def received(self):
        return read(self.capture, binary=True)

    def events(self):
        """(unix time, text) of every event so far."""
        out = []
        for line in read(self.events_file).splitlines():
            stamp, _, text = line.partition(" ")
            out.append((float(stamp), text))
        return out


class MailSink:
    """smtp_sink.py on a free port of 127.0.0.1, and a sendmail that is msmtp towards it."""

    def __init__(self, case, workdir):
        self.dir = os.path.join(workdir, "mail")
        proc = start(case, [PYTHON, os.path.join(Options.tools, "smtp_sink.py"), "--dir", self.dir,
                            "--host", "127.0.0.1", "--port", "0"],
                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = proc.stdout.readline().strip()
        if not line.isdigit():
            raise AssertionError("SMTP sink did not start: %r" % line)

        self.bin = os.path.join(workdir, "bin")
        os.makedirs(self.bin)
        config = os.path.join(workdir, "msmtprc")
        with open(os.open(config, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %s\nauth off\ntls off\n"
                    "from dovrane@studio.invalid\nlogfile %s\n" % (line, os.path.join(workdir, "msmtp.log")))
        wrapper = os.path.join(self.bin, "sendmail")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\nexec msmtp -C '%s' \"$@\"\n" % config)
        os.chmod(wrapper, 0o755)

    def path_env(self):
        return {"PATH": self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin")}

    def messages(self):
        """The messages received so far, in order."""
        names = glob.glob(os.path.join(self.dir, "msg-*.json"))
        names.sort(key=lambda name: int(re.search(r"(\d+)\.json$", name).group(1)))
        return [json.loads(read(name)) for name in names]


class EndToEndCase(unittest.TestCase):
    """A temporary work folder with the data folder inside, and helpers over its logs."""

    maxDiff = None

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="dovrane-e2e-")
        self.data = os.path.join(self.work, "Dovrane")
        os.makedirs(self.data)
        self.program = None
        self.output = os.path.join(self.work, "program-output.txt")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.work])
        # Cleanups run last-in first-out: this one after everything the test started
        # has stopped, and before the folder goes. What the program said and logged,
        # for the report of a failing run (CTest shows it only then).
        self.addCleanup(self.report)

    def report(self):
        lines = ["---- %s ----" % self.id(), "program output:\n" + read(self.output)]
        for path in sorted(glob.glob(os.path.join(self.data, "logs", "*"))):
            lines.append("%s:\n%s" % (path, read(path, binary=True).decode(files.CP)))
        for name in ("modem-events.txt", "msmtp.log"):
            lines.append("%s:\n%s" % (name, read(os.path.join(self.work, name))))
        sys.stderr.write("\n".join(lines) + "\n")

    def write(self, name, data):
        files.write(self.data, name, data)

    def launch(self, env=None, data=None):
        """The built program, headless, on the data folder."""
        full = dict(os.environ, QT_QPA_PLATFORM="offscreen", DOVRANE_DATA_DIR=data or self.data, **(env or {}))
        with open(self.output, "wb") as out:
            self.program = start(self, [Options.program], env=full, stdout=out, stderr=subprocess.STDOUT)
        return self.program

    def start_scheduled(self, day, action, schedule, env=None):
        """A pulse server playing a tone, DVParams.dat with a 3 s delay, threshold 500 and
        this schedule, and the program on them; returns the server once the day's log
        holds the scheduled start."""
        pulse = PulseServer(self)
        self.write("Connection.dat", files.connection_bytes(1, "9600"))
        self.write("DVParams.dat", files.params_bytes(alarm_delay=3, input_device=pulse.device_number(),
                                                      alarm_action=action, threshold=500, schedule=schedule))
        pulse.tone(8000, 8000)
        self.launch(dict(pulse.client_env(), **(env or {})))
        self.wait_event(day, "Timed Start Sensor", 25)
        return pulse

    def events(self, date):
        """The event texts of the day's log so far."""
        return files.events(files.read_log(self.data, date))

    def wait_event(self, date, text, timeout, count=1):
        """Waits until the day's log holds `text` at least `count` times."""
        got = wait_for(lambda: self.events(date).count(text) >= count, timeout)
        self.assertTrue(got, "no %r (x%d) in the log within %s s; log: %r; program running: %s"
                        % (text, count, timeout, self.events(date), self.program.poll() is None))

    def assert_running(self):
        self.assertIsNone(self.program.poll(), "the program ended:\n" + read(self.output))
