#!/usr/bin/python3
"""Dovrane's real surroundings for the end-to-end tests, reliability runs and measurements:
a private PulseAudio server playing what is fed into its source's fifo, the modem
simulator linked as <data>/COM1, an SMTP sink behind msmtp, an HTTP sink for webhooks, an X server, the data files
byte by byte, and the program. A Rig owns a work folder and all it started: close()
stops it all, and every child also ends when we die. As a program it does the work of
pulse-fixture.sh (see there) and of its feeder (feed FIFO LEFT RIGHT STEP_MS)."""

import contextlib
import ctypes
import datetime
import fcntl
import glob
import http.server
import json
import math
import os
import pathlib
import random
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

PYTHON = "/usr/bin/python3"
TOOLS = os.path.dirname(os.path.abspath(__file__))
CP = "cp1252"
ALARM, ALARM_END = "Alarm" + " " * 16, "Alarm End" + " " * 12
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
SOURCE, DESCRIPTION, MARKER = "dovrane_test_input", "Dovrane Test Input", ".dovrane-pulse-fixture"
DAY = 86400  # also the longest any helper process lives


# ---- data files ----

def fixed(text, width):
    """Blank-padded, cut to width, one byte per character."""
    data = text.encode(CP, errors="replace")[:width]
    return data + b" " * (width - len(data))


def call_record(in_use, name, number):
    """CallList.dat: 40 bytes."""
    return (b"1" if in_use else b"0") + fixed(name, 15) + fixed(number, 24)


def address_record(in_use, option, name, address, days=None):
    """AddressBook.dat: 120 bytes. option "0" Never, "1" Always, "2" Sometimes; days maps
    weekday 1..7 to (ticked, start second, stop second)."""
    day = [(days or {}).get(d, (0, 0, 0)) for d in range(1, 8)]
    rec = (b"1" if in_use else b"0") + option.encode() + fixed(name, 16) + fixed(address, 39)
    rec += b"".join(b"1" if ticked else b"0" for ticked, _, _ in day)
    return rec + struct.pack("<14i", *(d[1] for d in day), *(d[2] for d in day))


def email_event(address):
    return "Email--> " + fixed(address, 39).decode(CP)


def log_name(date):
    return "AL" + date.strftime("%y%m%d") + ".log"


def write(folder, name, data, mode=0o644):
    os.makedirs(folder, exist_ok=True)
    with open(os.open(os.path.join(folder, name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def read(path, binary=False):
    data = pathlib.Path(path).read_bytes() if os.path.isfile(path) else b""
    return data if binary else data.decode(CP, errors="replace")


def seconds_now():
    """(seconds after midnight, now) on the real clock."""
    now = datetime.datetime.now()
    return now.hour * 3600 + now.minute * 60 + now.second, now


def wait_for(predicate, timeout, step=0.05):  # returns predicate()'s last value
    end = time.monotonic() + timeout
    while not predicate() and time.monotonic() < end:
        time.sleep(step)
    return predicate()


# ---- processes ----

def stop(proc, sig=signal.SIGTERM):
    """Ends a child with sig, after 10 s with SIGKILL; returns its exit code."""
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
    return proc.wait()


def kill_pidfile(path):
    """Ends the process whose id the file holds, waiting up to 3 s for it."""
    pid = int(read(path).strip() or 0)
    with contextlib.suppress(OSError):  # no such file, or no such process
        os.remove(path)
        # Never for 0 or -1, which would reach our whole process group or everyone.
        for sig in [signal.SIGTERM] + [0] * 30 + [signal.SIGKILL] if pid > 1 else []:
            os.kill(pid, sig)
            if "\nState:\tZ" in read("/proc/%d/status" % pid):
                return  # gone, waiting for whoever adopted it
            time.sleep(0.1)


def cpu_seconds(pid):
    fields = read("/proc/%d/stat" % pid).rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    return int((re.search(r"^VmRSS:\s+(\d+)", read("/proc/%d/status" % pid), re.M) or [0, 0])[1])


# ---- the PulseAudio server; its folder's layout is shared with tests/support/PulseFixture.cpp ----

def pulse_values(d):
    return {"PULSE_SERVER": "unix:%s/native" % d, "PULSE_COOKIE": d + "/cookie", "DOVRANE_PULSE_DIR": d,
            "DOVRANE_PULSE_FIFO": d + "/source.fifo", "DOVRANE_PULSE_SOURCE": SOURCE,
            "DOVRANE_PULSE_DESCRIPTION": DESCRIPTION}


def pipe_source(d):
    return ["module-pipe-source", "source_name=" + SOURCE, "file=%s/source.fifo" % d, "format=s16le",
            "rate=44100", "channels=2", "source_properties=\"device.description='%s'\"" % DESCRIPTION]


def pactl(d, *args):
    return subprocess.run(["pactl", *args], env=dict(os.environ, **pulse_values(d)), capture_output=True,
                          text=True, timeout=30).stdout


def pulse_daemon(d):
    """Starts the server of folder d detached, every path it might use inside d; true once it plays."""
    env = {k: v for k, v in os.environ.items() if k not in ("PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY")}
    env.update(HOME=d + "/home", XDG_RUNTIME_DIR=d + "/runtime", XDG_CONFIG_HOME=d + "/config",
               XDG_STATE_HOME=d + "/state", PULSE_RUNTIME_PATH=d + "/runtime/pulse", PULSE_STATE_PATH=d + "/state",
               PULSE_COOKIE=d + "/cookie")
    if os.path.exists(d + "/source.fifo"):
        os.remove(d + "/source.fifo")  # an old fifo is not the new source's
    write(d, "daemon.pid", subprocess.run(
        ["sh", "-c", '"$@" </dev/null >>"$0/daemon.log" 2>&1 & echo $!', d, "pulseaudio", "--system=false", "-n",
         "-F", d + "/server.pa", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--realtime=no",
         "--high-priority=no", "--disallow-exit=no", "--log-target=stderr", "--log-level=notice"],
        env=env, capture_output=True, text=True, check=True).stdout)
    return wait_for(lambda: os.path.exists(d + "/source.fifo") and SOURCE in pactl(d, "list", "short", "sources"),
                    10, 0.1)


def start(owner=None):
    """A server in a new folder; returns pulse_values(). With an owner process id, the
    server and folder also go soon after that process ends, even if it crashes."""
    d = tempfile.mkdtemp(prefix="dovrane-pulse.")
    write(d, MARKER, b"")
    for sub in ("home", "config", "runtime", "runtime/pulse", "state"):
        os.mkdir(os.path.join(d, sub), 0o700)
    write(d, "server.pa", "load-module module-native-protocol-unix auth-anonymous=1 socket=%s/native\n"
          "load-module module-null-sink sink_name=dovrane_test_sink sink_properties=device.description=DovraneTestSink"
          "\nload-module %s\nset-default-source %s\n" % (d, " ".join(pipe_source(d)), SOURCE))
    if not shutil.which("pulseaudio") or not pulse_daemon(d):
        sys.stderr.write("pulse-fixture: the server did not come up; its log:\n" + read(d + "/daemon.log"))
        stop_pulse(d)
        sys.exit(1)
    if owner:
        write(d, "watchdog.pid", str(detach(d + "/watchdog.log", "watch", d, owner)))
    return pulse_values(d)


def detach(log, *args):
    """This file run with args in a session of its own; returns its process id."""
    with open(log, "ab") as out:
        return subprocess.Popen([PYTHON, __file__, *map(str, args)], start_new_session=True,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=out).pid


def tone(d, left, right, step_ms=0):
    """Feeds the source in the background (see feed) until the next tone or the stop."""
    kill_pidfile(d + "/feeder.pid")
    write(d, "feeder.pid", str(detach(d + "/feeder.log", "feed", d + "/source.fifo", left, right, step_ms)))


def play(d, path):
    """Feeds the raw 44100 Hz 16-bit stereo file at path over and over (see feed)."""
    kill_pidfile(d + "/feeder.pid")
    write(d, "feeder.pid", str(detach(d + "/feeder.log", "feedfile", d + "/source.fifo", path)))


def stop_pulse(d):
    if not os.path.exists(os.path.join(d, MARKER)):
        sys.exit("pulse-fixture: not a fixture folder: %s" % d)
    for name in ("watchdog", "feeder", "daemon"):
        kill_pidfile("%s/%s.pid" % (d, name))
    shutil.rmtree(d, ignore_errors=True)


def watch(d, owner):
    wait_for(lambda: not os.path.exists(d + "/" + MARKER) or not os.path.exists("/proc/%s" % owner), DAY, 1)
    if os.path.exists(d + "/" + MARKER):
        os.remove(d + "/watchdog.pid")
        stop_pulse(d)


def feed(fifo, left, right, step_ms=0, data=None):
    """A 441 Hz tone of the given peaks (0 0: silence) into the fifo, 10 ms of 44100 Hz 16-bit
    stereo at a time at real-time pace, until the source goes away. With step_ms the level
    jumps that often to a random 10..100 % of the peaks, so level meters never rest."""
    sine = [math.sin(2 * math.pi * i / 100) for i in range(100)]
    # 441 frames a chunk and 100 a cycle: 100 chunks hold 441 whole cycles.
    blocks = [b"".join(struct.pack("<hh", round(left * k * s), round(right * k * s)) for s in sine) * 441
              for k in ([1.0] if not step_ms else [0.1 + 0.06 * n for n in range(16)])] if not data else [data]
    rng, block = random.Random(1), blocks[-1]
    fd = os.open(fifo, os.O_WRONLY)
    fcntl.fcntl(fd, 1031, 8192)  # F_SETPIPE_SZ: a small pipe keeps what the source plays close to now
    due = time.monotonic()
    with contextlib.suppress(OSError):  # the source went away
        for i in range(DAY * 100):
            if step_ms and i % max(1, step_ms // 10) == 0:
                block = rng.choice(blocks)
            time.sleep(max(0.0, due - time.monotonic()))
            if time.monotonic() - due > 0.5:
                due = time.monotonic()  # we were stopped for a while: do not flood the source
            due += 0.01
            os.write(fd, block[i % (len(block) // 1764) * 1764:][:1764])


# ---- a Rig ----

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def icecast(folder, spawn, port=None):
    """icecast2 on 127.0.0.1 with its files in folder (source password "pw", admin "admin"/"pw2"),
    started through spawn; returns its port once it listens. Run as root it drops to nobody."""
    port = port or free_port()
    owner = "<changeowner><user>nobody</user><group>nogroup</group></changeowner>" if os.getuid() == 0 else ""
    os.chmod(folder, 0o777)  # for its logs when it runs as nobody
    conf = os.path.join(folder, "icecast.xml")
    write(folder, "icecast.xml", """<icecast><hostname>127.0.0.1</hostname><limits><sources>24</sources>
<clients>200</clients></limits><authentication><source-password>pw</source-password><admin-user>admin</admin-user>
<admin-password>pw2</admin-password></authentication>
<listen-socket><port>%d</port><bind-address>127.0.0.1</bind-address></listen-socket>
<paths><basedir>%s</basedir><logdir>%s</logdir><webroot>/usr/share/icecast2/web</webroot>
<adminroot>/usr/share/icecast2/admin</adminroot></paths>
<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
<security><chroot>0</chroot>%s</security></icecast>""" % (port, folder, folder, owner))
    proc = spawn(["icecast2", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 15)
    return port, proc


class Encoder:
    """ffmpeg sending 128 kbit/s MP3 to an icecast mount, fed in real time from here: a 1 kHz
    tone at `level` (0..32767 on both sides; 0 is digital silence) that can change at any time."""

    def __init__(self, spawn, port, mount="live", level=8000):
        self.level, self.alive = level, True
        self.proc = spawn(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "s16le", "-ar", "44100",
                           "-ac", "2", "-i", "pipe:0", "-c:a", "libmp3lame", "-b:a", "128k", "-f", "mp3",
                           "-content_type", "audio/mpeg", "icecast://source:pw@127.0.0.1:%d/%s" % (port, mount)],
                          stdin=subprocess.PIPE)
        threading.Thread(target=self.run, daemon=True).start()
        wait_for(lambda: self.mounted("http://127.0.0.1:%d/%s" % (port, mount)), 15)

    @staticmethod
    def mounted(url):
        try:
            with urllib.request.urlopen(url, timeout=1) as reply:
                return reply.status == 200
        except OSError:
            return False

    def run(self):
        start, n = time.monotonic(), 0
        while self.alive:
            block = b"".join(struct.pack("<hh", v, v) for v in (
                round(self.level * math.sin(2 * math.pi * 1000 * (n + i) / 44100)) for i in range(4410)))
            try:
                self.proc.stdin.write(block)
                self.proc.stdin.flush()
            except (OSError, ValueError):
                return
            n += 4410
            time.sleep(max(0, start + n / 44100 - time.monotonic()))


class Rig:
    def __init__(self, workdir, program):
        self.work, self.program = os.path.abspath(workdir), os.path.abspath(program)
        self.data, self.bin_dir, self.output = (os.path.join(self.work, n) for n in ("Dovrane", "bin", "program.out"))
        os.makedirs(self.bin_dir, exist_ok=True)
        self.pulse_env, self.children, self.proc, self.sink, self.sinks, self.display = {}, [], None, None, 0, None
        self.posts, self.requests, self.web = [], [], None

    def spawn(self, args, **kwargs):
        # PR_SET_PDEATHSIG: SIGTERM when we die, even by SIGKILL (a CTest time-out).
        proc = subprocess.Popen(args, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM), **kwargs)
        self.children.append(proc)
        return proc

    def close(self):
        if self.web:
            self.web.shutdown()
        for proc in reversed(self.children):
            stop(proc)
        if self.pulse_env:
            stop_pulse(self.pulse_env["DOVRANE_PULSE_DIR"])

    # sound
    def start_pulse(self):
        self.pulse_env = start(owner=os.getpid())

    def play(self, path):
        play(self.pulse_env["DOVRANE_PULSE_DIR"], path)

    def tone(self, left, right=None, step_ms=0):
        tone(self.pulse_env["DOVRANE_PULSE_DIR"], left, left if right is None else right, step_ms)

    # mail
    def start_sink(self, port=0):
        """smtp_sink.py, a sendmail on PATH that is msmtp towards it; each start its own folder."""
        self.sinks += 1
        self.sink = self.spawn([PYTHON, os.path.join(TOOLS, "smtp_sink.py"), "--dir", "%s/mail/%d" % (
            self.work, self.sinks), "--port", str(port)], stdout=subprocess.PIPE, text=True)
        self.sink_port = int(self.sink.stdout.readline())
        write(self.work, "msmtprc", "account default\nhost 127.0.0.1\nport %d\nauth off\ntls off\n"
              "from dovrane@studio.invalid\nlogfile %s/msmtp.log\n" % (self.sink_port, self.work), 0o600)
        write(self.bin_dir, "sendmail", "#!/bin/sh\nexec msmtp -C '%s/msmtprc' \"$@\"\n" % self.work, 0o755)

    def messages(self):
        order = lambda p: [int(n) for n in re.findall(r"\d+", os.path.relpath(p, self.work))]  # noqa: E731
        return [json.loads(read(p)) for p in sorted(glob.glob(self.work + "/mail/*/msg-*.json"), key=order)]

    # webhooks
    def start_webhook(self, fails=0):
        """An HTTP server on 127.0.0.1 in a thread: 500 to the first `fails` POSTs, then 200. Each
        body's JSON to /hook goes to self.posts, with "status" added, and every request to
        self.requests as (method, path, content type, authorization, body, status); returns
        the address to post to."""
        posts, requests = self.posts, self.requests

        class Sink(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers["Content-Length"])).decode()
                requests.append((self.command, self.path, self.headers["Content-Type"], self.headers["Authorization"],
                                 body, 500 if len(requests) < fails else 200))
                if self.path == "/hook":
                    posts.append(dict(json.loads(body), status=requests[-1][-1]))
                self.send_response(requests[-1][-1])
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Sink)
        threading.Thread(target=self.web.serve_forever, daemon=True).start()
        return "http://127.0.0.1:%d/hook" % self.web.server_port

    # modem
    def start_modem(self, *args):
        os.makedirs(self.data, exist_ok=True)
        self.modem = self.spawn([PYTHON, os.path.join(TOOLS, "modem_sim.py"), "--link", self.data + "/COM1",
                                 "--capture", self.work + "/modem.bin", "--events", self.work + "/modem.events",
                                 *args], stdout=subprocess.PIPE, text=True)
        self.modem.stdout.readline()  # "READY <device>" once the link is there

    def modem_bytes(self):
        return read(self.work + "/modem.bin", binary=True)

    def modem_events(self):
        return [line.split(" ", 1)[1] for line in read(self.work + "/modem.events").splitlines()]

    # screen
    def start_xvfb(self):
        r, w = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x800x24", "-nolisten", "tcp"], pass_fds=(w,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()
        return self.display

    # the program
    def write_setup(self, alarm_delay, threshold, action, start_secs=0, stop_secs=0, schedule=None, calls=(),
                    addresses=(), facility="Studio A"):
        """action: 0 none, 1 page, 2 e-mail. DVParams.dat holds 28 little-endian int32 records; schedule
        maps weekday 1..7 to (enabled, start second, stop second), by default today from start to stop.
        The input is the test source's number in the program's own list of inputs."""
        inputs = subprocess.run([self.program, "--list-inputs"], env=self.env(), capture_output=True, text=True,
                                timeout=60).stdout
        device = int(re.search(r"^(\d+)\t%s$" % re.escape(DESCRIPTION), inputs, re.M)[1])
        records = [alarm_delay, 0, 0, device, action, 0, threshold] + [0] * 21
        schedule = schedule or {datetime.date.today().isoweekday() % 7 + 1: (1, start_secs, stop_secs)}  # 1: Sunday
        for day, (enabled, start, stop) in schedule.items():
            records[6 + day], records[13 + day], records[20 + day] = enabled, start, stop
        write(self.data, "DVParams.dat", struct.pack("<28i", *records))
        write(self.data, "Connection.dat", b" 1 \r\n9600\r\n")
        write(self.data, "User.dat", "".join(v + "\r\n" for v in (facility, "operator", "secret")).encode(CP))
        write(self.data, "CallList.dat", b"".join(call_record(*c) for c in calls))
        write(self.data, "AddressBook.dat", b"".join(address_record(*a) for a in addresses))

    def env(self, **extra):
        return {**os.environ, **self.pulse_env, "DOVRANE_DATA_DIR": self.data,
                "PATH": self.bin_dir + ":" + os.environ.get("PATH", "/usr/bin:/bin"), **extra}

    def launch(self, *args, **env):  # offscreen unless env says otherwise
        with open(self.output, "ab") as out:
            self.proc = self.spawn([self.program, *args], env=self.env(**{"QT_QPA_PLATFORM": "offscreen", **env}),
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        return self.proc

    def log(self, date):
        """The lines of a day's alarm log, each of which ends in CR LF."""
        data = read(os.path.join(self.data, "logs", log_name(date)), binary=True)
        assert data == b"" or data.endswith(b"\r\n"), "log lines end with CR LF"
        return [line.decode(CP) for line in data.split(b"\r\n")[:-1]]

    def log_lines(self):
        dates = sorted(datetime.datetime.strptime(p[-10:-4], "%y%m%d").date() for p in glob.glob(self.data + "/logs/*"))
        return [(date, line) for date in dates for line in self.log(date)]

    def events(self, date=None):
        """The event texts (after "hh:mm:ss ") of a day's log, or of all days'."""
        return [line[9:] for line in self.log(date)] if date else [line[9:] for _, line in self.log_lines()]

    def wait_event(self, text, timeout, mark=0):
        """Waits for text among the events after the first `mark` log lines."""
        return wait_for(lambda: text in self.events()[mark:], timeout)

    def report(self):
        return "program output:\n%s%s\nmodem events:\n%s\nmsmtp log:\n%s\n" % (
            read(self.output), "".join("\nalarm log %s: %s" % line for line in self.log_lines()),
            read(self.work + "/modem.events"), read(self.work + "/msmtp.log"))


if __name__ == "__main__":
    command, args = (sys.argv[1:] or [""])[0], sys.argv[2:]
    if command == "start":
        values = start(owner=args[1] if args[:1] == ["--owner"] else None)
        print("".join("export %s='%s'\n" % item for item in values.items()), end="", flush=True)
    elif command in ("tone", "feed", "stop", "watch") and args:
        {"tone": tone, "feed": feed, "stop": stop_pulse, "watch": watch}[command](args[0], *map(int, args[1:]))
    elif command == "feedfile" and len(args) == 2:
        feed(args[0], 0, 0, 0, read(args[1], binary=True))
    elif command in ("kill", "stall") and args:  # the server gone; the source starved
        kill_pidfile(args[0] + ("/daemon.pid" if command == "kill" else "/feeder.pid"))
    elif command == "revive" and args:
        sys.exit(0 if pulse_daemon(args[0]) else 1)
    else:
        sys.exit("usage: pulse-fixture.sh start [--owner PID] | tone DIR LEFT RIGHT [STEP_MS] | "
                 "stall DIR | kill DIR | revive DIR | stop DIR")
