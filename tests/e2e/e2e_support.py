"""What the end-to-end tests share: the real peers of the program (a private
PulseAudio server, the modem simulator, an SMTP sink reached through msmtp), the
program itself, and patient polling of the files they write.

Everything a test starts is registered with the test's cleanups, so it is stopped
at the end whether the test passed, failed or raised.
"""

import argparse
import ctypes
import datetime
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


class Options:
    program = None
    inputs_helper = None
    tools = None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--inputs-helper", required=True)
    parser.add_argument("--tools", required=True)
    args, rest = parser.parse_known_args()
    Options.program = os.path.abspath(args.program)
    Options.inputs_helper = os.path.abspath(args.inputs_helper)
    Options.tools = os.path.abspath(args.tools)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def die_with_us():
    """preexec_fn: the child gets SIGTERM when this test process ends, even by SIGKILL
    (a CTest time-out), so no program or simulator outlives its test."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def wait_for(predicate, timeout, interval=0.1):
    """Polls until predicate() gives a true value or the time is up; returns the last value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def seconds_of_day(moment=None):
    moment = moment or datetime.datetime.now()
    return moment.hour * 3600 + moment.minute * 60 + moment.second


def keep_clear_of_midnight(margin):
    """Waits until the real clock has at least `margin` seconds before midnight, so a
    run on the real clock stays within one day (its schedule and log file)."""
    left = 86400 - seconds_of_day()
    if left < margin:
        time.sleep(left + 2)


class PulseServer:
    """pulse-fixture.sh: a private server whose one capture source plays what we feed."""

    def __init__(self, case):
        self.script = os.path.join(Options.tools, "pulse-fixture.sh")
        out = subprocess.run(["sh", self.script, "start", "--owner", str(os.getpid())],
                             check=True, capture_output=True, text=True, timeout=60).stdout
        self.values = dict(re.findall(r"^export (\w+)='([^']*)'$", out, re.M))
        self.dir = self.values["DOVRANE_PULSE_DIR"]
        case.addCleanup(self.stop)

    def client_env(self):
        return {"PULSE_SERVER": self.values["PULSE_SERVER"], "PULSE_COOKIE": self.values["PULSE_COOKIE"]}

    def tone(self, left=8000, right=8000):
        subprocess.run(["sh", self.script, "tone", self.dir, str(left), str(right)], check=True, timeout=30)

    def silence(self):
        self.tone(0, 0)

    def device_number(self):
        """The source's position in the program's device list."""
        env = dict(os.environ, **self.client_env())
        description = self.values["DOVRANE_PULSE_DESCRIPTION"]
        run = subprocess.run([Options.inputs_helper, description], env=env, capture_output=True,
                             text=True, timeout=60)
        names = run.stdout.splitlines()
        if description not in names:
            raise AssertionError("the test source is not among the inputs: %r %s" % (names, run.stderr))
        return names.index(description)

    def stop(self):
        subprocess.run(["sh", self.script, "stop", self.dir], timeout=60)


class Modem:
    """modem_sim.py linked as <data>/COM<n>; keeps the exact byte stream and an event list."""

    def __init__(self, case, data_dir, workdir, port=1, mode="ok"):
        self.capture = os.path.join(workdir, "modem-capture.bin")
        self.events_file = os.path.join(workdir, "modem-events.txt")
        self.proc = subprocess.Popen(
            [PYTHON, os.path.join(Options.tools, "modem_sim.py"), "--link",
             os.path.join(data_dir, "COM%d" % port), "--capture", self.capture, "--events",
             self.events_file, "--mode", mode],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, preexec_fn=die_with_us)
        case.addCleanup(self.stop)
        ready = self.proc.stdout.readline()
        if not ready.startswith("READY "):
            raise AssertionError("modem simulator did not start: %r" % ready)

    def received(self):
        try:
            with open(self.capture, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def events(self):
        """(unix time, text) of every event so far."""
        try:
            with open(self.events_file) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            stamp, _, text = line.partition(" ")
            out.append((float(stamp), text))
        return out

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()


class MailSink:
    """smtp_sink.py on a free port of 127.0.0.1, and a sendmail that is msmtp towards it."""

    def __init__(self, case, workdir):
        self.dir = os.path.join(workdir, "mail")
        self.proc = subprocess.Popen(
            [PYTHON, os.path.join(Options.tools, "smtp_sink.py"), "--dir", self.dir, "--host", "127.0.0.1",
             "--port", "0"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
            preexec_fn=die_with_us)
        case.addCleanup(self.stop)
        line = self.proc.stdout.readline().strip()
        if not line.isdigit():
            raise AssertionError("SMTP sink did not start: %r" % line)
        self.port = int(line)

        self.bin = os.path.join(workdir, "bin")
        os.makedirs(self.bin, exist_ok=True)
        config = os.path.join(workdir, "msmtprc")
        with open(os.open(config, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %d\nauth off\ntls off\n"
                    "from dovrane@studio.invalid\nlogfile %s\n" % (self.port, os.path.join(workdir, "msmtp.log")))
        wrapper = os.path.join(self.bin, "sendmail")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\nexec msmtp -C '%s' \"$@\"\n" % config)
        os.chmod(wrapper, 0o755)

    def path_env(self):
        return {"PATH": self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin")}

    def messages(self):
        """The messages received so far, in order."""
        out = []
        n = 1
        while True:
            path = os.path.join(self.dir, "msg-%d.json" % n)
            if not os.path.exists(path):
                return out
            with open(path, encoding="utf-8") as f:
                out.append(json.load(f))
            n += 1

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()


class Program:
    """The built program, headless, on its own data folder."""

    def __init__(self, case, data_dir, workdir, env=None):
        self.data_dir = data_dir
        self.output = os.path.join(workdir, "program-output.txt")
        full = dict(os.environ)
        full.update({"QT_QPA_PLATFORM": "offscreen", "DOVRANE_DATA_DIR": data_dir})
        full.update(env or {})
        with open(self.output, "wb") as out:
            self.proc = subprocess.Popen([Options.program], env=full, stdout=out, stderr=subprocess.STDOUT,
                                         preexec_fn=die_with_us)
        case.addCleanup(self.stop)

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def text(self):
        with open(self.output, "rb") as f:
            return f.read().decode("utf-8", errors="replace")


class EndToEndCase(unittest.TestCase):
    """A temporary work folder with the data folder inside, and helpers over its logs."""

    maxDiff = None

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="dovrane-e2e-")
        self.data = os.path.join(self.work, "Dovrane")
        os.makedirs(self.data)
        self.program = None
        self.addCleanup(self.remove_work)
        # Cleanups run last-in first-out: this one after everything the test started
        # has stopped, and before the folder goes. What the program said and logged,
        # for the report of a failing run (CTest shows it only then).
        self.addCleanup(self.report)

    def remove_work(self):
        subprocess.run(["rm", "-rf", self.work])

    def report(self):
        lines = ["---- %s ----" % self.id()]
        if self.program:
            lines.append("program output:\n" + self.program.text())
        logs = os.path.join(self.data, "logs")
        if os.path.isdir(logs):
            for name in sorted(os.listdir(logs)):
                with open(os.path.join(logs, name), "rb") as f:
                    lines.append("%s:\n%s" % (name, f.read().decode(files.CP)))
        for name in ("modem-events.txt", "msmtp.log"):
            path = os.path.join(self.work, name)
            if os.path.exists(path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    lines.append("%s:\n%s" % (name, f.read()))
        sys.stderr.write("\n".join(lines) + "\n")

    def write(self, name, data):
        files.write(self.data, name, data)

    def launch(self, env=None):
        self.program = Program(self, self.data, self.work, env)
        return self.program

    def events(self, date):
        """The event texts of the day's log so far."""
        return files.events(files.read_log(self.data, date))

    def wait_event(self, date, text, timeout, count=1):
        """Waits until the day's log holds `text` at least `count` times."""
        got = wait_for(lambda: self.events(date).count(text) >= count, timeout)
        self.assertTrue(got, "no %r (x%d) in the log within %s s; log: %r; program running: %s"
                        % (text, count, timeout, self.events(date), self.program.running()))

    def assert_running(self):
        self.assertTrue(self.program.running(), "the program ended:\n" + self.program.text())
