"""The real peers of a running Dovrane, for the soak and fault-survival runs.

A Rig owns one work folder and everything started in it: a private PulseAudio
server with a fifo-fed capture source (tests/tools/pulse-fixture.sh), an SMTP
sink on 127.0.0.1 (tests/tools/smtp_sink.py) reached through msmtp behind a
"sendmail" wrapper on PATH, optionally the Hayes modem simulator linked as
<data>/COM1 (tests/tools/modem_sim.py), and the built program itself, run with
no display and its diagnostics on. close() stops all of them.
"""

import datetime
import glob
import json
import os
import shlex
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOLS = os.path.join(REPO, "tests", "tools")
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import dovrane_files as files  # noqa: E402

PYTHON = "/usr/bin/python3"
ALARM = "Alarm" + " " * 16
ALARM_END = "Alarm End" + " " * 12
CLK_TCK = os.sysconf("SC_CLK_TCK")


def default_program():
    for candidate in ("build/dovrane", "build-ops/dovrane"):
        path = os.path.join(REPO, candidate)
        if os.access(path, os.X_OK):
            return path
    return os.path.join(REPO, "build", "dovrane")


def email_event(address):
    return "Email--> " + files.fixed(address, 39).decode(files.CP)


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return bool(predicate())


class Rig:
    def __init__(self, workdir, program):
        self.workdir = os.path.abspath(workdir)
        self.program = program
        self.data = os.path.join(self.workdir, "Dovrane")
        self.sink_dir = os.path.join(self.workdir, "sink")
        self.bin_dir = os.path.join(self.workdir, "bin")
        self.stderr_path = os.path.join(self.workdir, "dovrane.stderr")
        os.makedirs(self.data, exist_ok=True)
        os.makedirs(self.sink_dir, exist_ok=True)
        os.makedirs(self.bin_dir, exist_ok=True)
        self.pulse_env = {}
        self.proc = None
        self.sink = None
        self.sink_port = 0
        self.modem = None
        self._stderr = None

    # ---- sound ----

    def start_pulse(self):
        out = subprocess.run(["sh", os.path.join(TOOLS, "pulse-fixture.sh"), "start", "--owner",
                              str(os.getpid())], check=True, capture_output=True, text=True).stdout
        for line in out.splitlines():
            if line.startswith("export "):
                key, _, value = line[len("export "):].partition("=")
                self.pulse_env[key] = shlex.split(value)[0]

    def pactl(self, *args, check=True):
        env = dict(os.environ)
        env.update(self.pulse_env)
        return subprocess.run(["pactl", *args], env=env, check=check, capture_output=True,
                              text=True).stdout

    def pipe_source_module(self):
        for line in self.pactl("list", "short", "modules").splitlines():
            cols = line.split("\t")
            if len(cols) >= 2 and cols[1] == "module-pipe-source":
                return cols[0]
        return None

    def remove_source(self):
        """Unloads the pipe source, as if the sound card went away."""
        self.pactl("unload-module", self.pipe_source_module())

    def restore_source(self):
        """Loads the pipe source again with the fixture's own settings."""
        env = self.pulse_env
        self.pactl("load-module", "module-pipe-source", "source_name=" + env["DOVRANE_PULSE_SOURCE"],
                   "file=" + env["DOVRANE_PULSE_FIFO"], "format=s16le", "rate=44100", "channels=2",
                   "source_properties=\"device.description='%s'\"" % env["DOVRANE_PULSE_DESCRIPTION"])

    def tone(self, left, right=None):
        right = left if right is None else right
        subprocess.run(["sh", os.path.join(TOOLS, "pulse-fixture.sh"), "tone",
                        self.pulse_env["DOVRANE_PULSE_DIR"], str(left), str(right)], check=True)

    def source_position(self):
        """The pipe source's 0-based position among the capture devices as Qt lists
        them: PulseAudio's sources other than sink monitors, in the order of their
        server index."""
        rows = []
        for line in self.pactl("list", "short", "sources").splitlines():
            cols = line.split("\t")
            if len(cols) >= 2 and not cols[1].endswith(".monitor"):
                rows.append((int(cols[0]), cols[1]))
        rows.sort()
        names = [name for _, name in rows]
        return names.index(self.pulse_env["DOVRANE_PULSE_SOURCE"])

    # ---- mail ----

    def start_sink(self, port=0):
        # Each sink numbers its messages from 1, so every start gets its own folder.
        self.sink_runs = getattr(self, "sink_runs", 0) + 1
        self.sink = subprocess.Popen([PYTHON, os.path.join(TOOLS, "smtp_sink.py"), "--dir",
                                      os.path.join(self.sink_dir, str(self.sink_runs)), "--port",
                                      str(port)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.sink_port = int(self.sink.stdout.readline().strip())
        rc = os.path.join(self.workdir, "msmtprc")
        with open(rc, "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %d\nauth off\ntls off\n"
                    "from dovrane@studio.invalid\n" % self.sink_port)
        os.chmod(rc, 0o600)
        wrapper = os.path.join(self.bin_dir, "sendmail")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\nexec msmtp -C '%s' \"$@\"\n" % rc)
        os.chmod(wrapper, 0o700)

    def stop_sink(self):
        if self.sink and self.sink.poll() is None:
            self.sink.send_signal(signal.SIGTERM)
            try:
                self.sink.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.sink.kill()
        self.sink = None

    def sink_messages(self):
        def order(path):
            return (int(os.path.basename(os.path.dirname(path))),
                    int(path.rsplit("-", 1)[1].split(".")[0]))

        paths = sorted(glob.glob(os.path.join(self.sink_dir, "*", "msg-*.json")), key=order)
        out = []
        for p in paths:
            with open(p, encoding="utf-8") as f:
                out.append(json.load(f))
        return out

    # ---- modem ----

    def start_modem(self, port=1):
        link = os.path.join(self.data, "COM%d" % port)
        if os.path.islink(link) and not os.path.exists(link):
            os.unlink(link)
        self.modem_events = os.path.join(self.workdir, "modem.events")
        self.modem = subprocess.Popen([PYTHON, os.path.join(TOOLS, "modem_sim.py"), "--link",
                                       os.path.join(self.data, "COM%d" % port), "--events",
                                       self.modem_events], stdout=subprocess.PIPE, text=True)
        line = self.modem.stdout.readline()
        if not line.startswith("READY"):
            raise RuntimeError("modem simulator did not start: %r" % line)

    def kill_modem(self):
        """The modem dies with no clean-up, and its device goes with it. The link
        is pointed at a path that does not exist rather than left on the dead
        pseudo-terminal, whose number another process on this machine may get next,
        or removed, which would send the program to /dev/ttyS0 instead."""
        if self.modem and self.modem.poll() is None:
            self.modem.kill()
            self.modem.wait()
        link = os.path.join(self.data, "COM1")
        if os.path.islink(link):
            os.unlink(link)
            os.symlink(os.path.join(self.workdir, "modem-gone"), link)

    def stop_modem(self):
        if self.modem and self.modem.poll() is None:
            self.modem.send_signal(signal.SIGTERM)
            try:
                self.modem.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.modem.kill()
        self.modem = None

    # ---- data files ----

    def write_setup(self, alarm_delay, threshold, action, start_secs, stop_secs, addresses=(),
                    calls=(), facility="Studio A", enabled=True):
        """action: 0 none, 1 page, 2 e-mail. Today's weekday is scheduled from
        start_secs to stop_secs."""
        day = files.weekday_number(files.today())
        files.write(self.data, "DVParams.dat", files.params_bytes(
            alarm_delay=alarm_delay, input_device=self.source_position(), alarm_action=action,
            threshold=threshold, schedule={day: (1 if enabled else 0, start_secs, stop_secs)}))
        files.write(self.data, "Connection.dat", files.connection_bytes(1, "9600"))
        files.write(self.data, "User.dat", files.user_bytes(facility, "operator", "secret"))
        files.write(self.data, "AddressBook.dat", b"".join(
            files.address_record(True, "1", name, address) for name, address in addresses))
        files.write(self.data, "CallList.dat", b"".join(
            files.call_record(True, name, number) for name, number in calls))

    # ---- the program ----

    def launch(self, platform="offscreen", extra_env=None):
        env = dict(os.environ)
        env.update(self.pulse_env)
        env.update(extra_env or {})
        env.update({
            "QT_QPA_PLATFORM": platform,
            "DOVRANE_DATA_DIR": self.data,
            "PATH": self.bin_dir + ":" + env.get("PATH", "/usr/bin:/bin"),
            "QT_LOGGING_RULES": "dovrane.*=true",
        })
        self._stderr = open(self.stderr_path, "ab")
        self.proc = subprocess.Popen([self.program], env=env, stdin=subprocess.DEVNULL,
                                     stdout=self._stderr, stderr=self._stderr)
        return self.proc

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLK_TCK

    def stderr_text(self):
        try:
            with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def log_lines(self):
        """Every alarm log line of the run, oldest file first."""
        lines = []
        for path in sorted(glob.glob(os.path.join(self.data, "logs", "AL*.log"))):
            date = datetime.datetime.strptime(os.path.basename(path)[2:8], "%y%m%d").date()
            lines += [(date, line) for line in files.read_log(self.data, date)]
        return lines

    def events(self):
        return [line[9:] for _, line in self.log_lines()]

    def terminate(self):
        if self.alive():
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self._stderr:
            self._stderr.close()
            self._stderr = None

    def close(self):
        self.terminate()
        self.stop_sink()
        self.stop_modem()
        if self.pulse_env.get("DOVRANE_PULSE_DIR"):
            subprocess.run(["sh", os.path.join(TOOLS, "pulse-fixture.sh"), "stop",
                            self.pulse_env["DOVRANE_PULSE_DIR"]], check=False)
            self.pulse_env = {}


def seconds_now():
    now = datetime.datetime.now()
    return now.hour * 3600 + now.minute * 60 + now.second, now


def epoch_of_today_secs(secs):
    midnight = datetime.datetime.combine(datetime.date.today(), datetime.time())
    return midnight.timestamp() + secs


def line_epoch(date, line):
    t = datetime.datetime.strptime(line[:8], "%H:%M:%S").time()
    return datetime.datetime.combine(date, t).timestamp()
