# The program as a service: `dovrane --check` over broken data folders, and the
# headless program talking to a notification socket as systemd's would.
#   test_service.py PROGRAM TOOLS_DIR [CheckTest|NotifyTest]

import datetime, os, re, signal, socket, struct, subprocess, sys, tempfile, time, unittest

PROGRAM, TOOLS = map(os.path.abspath, sys.argv[1:3])
PULSE, STOP = {}, []


def setUpModule():
    # A private sound server with one input ("Dovrane Test Input", device 0) that
    # delivers nothing while nobody feeds it: silence to the program.
    script = os.path.join(TOOLS, "pulse-fixture.sh")
    out = subprocess.run(["sh", script, "start", "--owner", str(os.getpid())], check=True,
                         capture_output=True, text=True, timeout=60).stdout
    PULSE.update(re.findall(r"^export (PULSE_\w+)='([^']*)'$", out, re.M))
    STOP[:] = ["sh", script, "stop", re.search(r"DOVRANE_PULSE_DIR='([^']*)'", out)[1]]


def tearDownModule():
    subprocess.run(STOP, timeout=60)


def params(delay=5, device=0, action=1, days=[(1, 21600, 64800)] * 7):
    """DVParams.dat: 28 little-endian int32 records; days are (enabled, start, stop) from Sunday."""
    return struct.pack("<28i", delay, 0, 0, device, action, 0, 0, *(d[i] for i in range(3) for d in days))


def write(folder, name, content):
    """Bytes as a file, a text as a symbolic link to it, a number as User.dat with that mode, None: nothing."""
    path = os.path.join(folder, name)
    if isinstance(content, str):
        return os.symlink(content, path)
    if content is not None:
        with open(path, "wb") as f:
            f.write(content if isinstance(content, bytes) else b"Studio A\r\noperator\r\nsecret\r\n")
        os.chmod(path, 0o600 if isinstance(content, bytes) else content)


GOOD = {"DVParams.dat": params(), "Connection.dat": b" 1 \r\n9600\r\n", "COM1": "/dev/null",
        "CallList.dat": b"1" + b"Night desk".ljust(15) + b"5550100".ljust(24), "AddressBook.dat": bytes(240),
        "User.dat": 0o600}
NO_MAIL = [] if any(map(os.path.exists, ["/usr/sbin/sendmail", "/usr/lib/sendmail"])) else [
    "e-mail is the alarm action but no sendmail program was found (on PATH, /usr/sbin/sendmail, /usr/lib/sendmail)"]
INI = "Dovrane.ini"
NOTIFY_KEYS = ("smtp_server, smtp_port, smtp_security, smtp_user, smtp_password, smtp_sender, smtp_ca_file, gsm, "
               "webhooks, hook, repeat_minutes, retry_first_seconds, cap_per_minute, cap_hold_minutes, end_subject_says_end")
SECTIONS = "[status], [notify], [presets], [alarms], [detectors], [clips], [snmp], [heartbeat], [schedule], [input], [window], [input.NAME]"
# (what is changed from GOOD, extra environment, {name: problems}); None as changes: no data folder at all;
# a problem starting with ~ is a note, which does not fail the check.
ROWS = [
    ({}, {}, {}),
    ({"DVParams.dat": params()[:10]}, {}, {"DVParams.dat": ["length 10 bytes is not a whole number of 4-byte records"]}),
    ({"DVParams.dat": params(delay=0)[:20], "User.dat": None, "logs": None}, {}, {"DVParams.dat": [
        "only 5 of the 28 records: the rest read as 0 (save Preferences once)", "the silence delay is 0 s: the alarm "
        "is raised and ended at every silent tick (set 1 s or more in Preferences)"], "User.dat": [
        "~not set up (only the alarm mail needs it)"], "logs": ["~not there yet (the first start creates it)"]}),
    ({"DVParams.dat": params(days=[(2, 0, 3600), (1, -1, 86400)] + [(0, 0, 0)] * 5)}, {}, {"DVParams.dat": [
        "Sunday is switched on with 2, not 0 or 1", "Monday start time -1 is outside 0..86399",
        "Monday stop time 86400 is outside 0..86399"]}),
    ({"DVParams.dat": params(device=1)}, {}, {"DVParams.dat": [
        "input device 1 does not exist (the machine lists 1 sound input, numbered from 0)"]}),
    ({}, {"PULSE_SERVER": "unix:/nonexistent"}, {"DVParams.dat": [
        "input device 0 cannot be checked: the list of sound inputs cannot be had (is the sound server running?)"]}),
    ({"DVParams.dat": params(action=2), "User.dat": None}, {"PATH": "/nonexistent"},
     {"DVParams.dat": NO_MAIL, "User.dat": ["missing"]}),
    ({"Connection.dat": b" 9 \r\nfast\r\n"}, {}, {"Connection.dat": ["port 9 is not 1..8", 'rate "fast" is not a number']}),
    ({"Connection.dat": b" 2 \r\n\r\n", "COM2": "/nonexistent/ttyUSB7"}, {}, {"Connection.dat": [
        "port 2: COM2 links to /nonexistent/ttyUSB7, which is absent", 'rate "" is not a number']}),
    ({"Connection.dat": b"x\r\n9600\r\n", "CallList.dat": b"1" * 41, "AddressBook.dat": bytes(100)}, {}, {
        "Connection.dat": ['port "x" is not a number'],
        "CallList.dat": ["length 41 bytes is not a whole number of 40-byte records"],
        "AddressBook.dat": ["length 100 bytes is not a whole number of 120-byte records"]}),
    ({"User.dat": 0o644, "logs": None}, {}, {"User.dat": [
        "other users can read it, and it holds a password (chmod 600 it)"], "logs": ["~not there yet (the first start creates it)"]}),
    # Dovrane.ini: one row per kind of bad value, every section; (..., exit status) where it is not 1.
    ({"Dovrane.ini": b"[status]\nenabled=no\n[detectors]\nphase=off\nchannel_delay=abc\n[notify]\nsmtp_prot=25\n"}, {}, {INI: [
        '[notify] smtp_prot: unknown key, did you mean smtp_port? (got "smtp_prot"; accepted: ' + NOTIFY_KEYS + ")",
        '[detectors] channel_delay: not a whole number of seconds or with a unit (got "abc"; accepted: 0 to 3600 (seconds; 30s, 5m, 1h))',
        *('~[%s] %s: means off; earlier releases read it as on (got "%s"; accepted: true/false, yes/no, on/off, 1/0)' % row
          for row in (("status", "enabled", "no"), ("detectors", "phase", "off")))]}),
    ({"Dovrane.ini": b"enabled=no\nphase=off\n[notfy]\nsmtp_port=25\n"}, {}, {INI: [
        '[] enabled: unknown section; enabled is a key of [status], [clips], [snmp], [input.NAME] (got "[]"; accepted: ' + SECTIONS + ")",
        '[] phase: unknown section; phase is a key of [detectors] (got "[]"; accepted: ' + SECTIONS + ")",
        '[notfy] smtp_port: unknown section; smtp_port is a key of [notify] (got "[notfy]"; accepted: ' + SECTIONS + ")"]}),
    ({"Dovrane.ini": b"[snmp]\nenabled=maybe\ntraps=nohost\n[clips]\nkeep_days=4w\n[heartbeat]\nurl=https://x.example/p\ninterval=4s\n"},
     {}, {INI: [
         '[clips] keep_days: not a whole number of days or with a unit (got "4w"; accepted: 1 to 3650 (days; 30d))',
         '[snmp] enabled: not a yes/no value (got "maybe"; accepted: true/false, yes/no, on/off, 1/0)',
         '[snmp] traps: one is not host:port (got "nohost"; accepted: udp:host:port or host:port, separated by commas)',
         '[heartbeat] interval: out of range (got "4s"; accepted: 5 to 86400 (seconds; 30s, 5m, 1h))']}),
    ({"Dovrane.ini": b"[status]\nenabled=true\nlisten=0.0.0.0:0\ntoken=abc;defghijk\n[notify]\nrepeat_minutes=5m\nretry_first_seconds=2h\n"
                     b"[presets]\nslack_enabled=On\nslack_url=hooks.example/x\n[alarms]\nsuspend_until=2099-01-01T00:00:00\n"}, {}, {INI: [
        '[status] token: holds ; or # outside quotes, which INI readers take for a comment; put the value in double quotes '
        '(got "<hidden>"; accepted: empty, or at least 16 characters)',
        '[status] listen: not address:port (got "0.0.0.0:0"; accepted: host:port, [v6-address]:port or localhost:port; port 1 to 65535)',
        '[notify] retry_first_seconds: out of range (got "2h"; accepted: 1 to 600 (seconds; 30s, 5m, 1h))',
        '[presets] slack_url: not an http or https address (got "<hidden>"; accepted: an http or https address)',
        '[alarms] suspend_until: more than 31 days ahead (got "2099-01-01T00:00:00"; accepted: yyyy-MM-ddTHH:mm:ss, at most 31 days ahead)']}),
    ({"Dovrane.ini": b'[status]\nenabled=1\ntoken="abc;defghijk"\n[alarms]\nbandLowHz=400\nbandHighHz=300\n'}, {}, {INI: [
        '[status] token: shorter than 16 characters (got "<hidden>"; accepted: empty, or at least 16 characters)',
        '[alarms] band_low_hz: not below band_high_hz (got "400"; accepted: 0 to 22050 (Hz))',
        '[alarms] bandLowHz: old spelling, now band_low_hz (got "bandLowHz"; accepted: band_low_hz)',
        '[alarms] bandHighHz: old spelling, now band_high_hz (got "bandHighHz"; accepted: band_high_hz)',
        "~remote status on http://127.0.0.1:9877/"]}),
    ({"Dovrane.ini": b"[alarms]\nreleaseSecs=5s  ; old, still read\n"}, {}, {INI: [
        '[alarms] releaseSecs: old spelling, now release_secs (got "releaseSecs"; accepted: release_secs)']}, 0),
    ({"Dovrane.ini": True}, {}, {INI: ["cannot be read: file to open is a directory"]}, 2),
    ({"User.dat": None, "logs": None}, {}, {"User.dat": ["~not set up (only the alarm mail needs it)"],
                                            "logs": ["~not there yet (the first start creates it)"]}),
    (None, {}, {**{name: ["missing"] for name in ["DVParams.dat", "Connection.dat", "CallList.dat", "AddressBook.dat"]},
                "User.dat": ["~not set up (only the alarm mail needs it)"], "logs": ["~not there yet (the first start creates it)"]}),
]
NAMES = ["DVParams.dat", "Connection.dat", "CallList.dat", "AddressBook.dat", "User.dat", "logs"]


class CheckTest(unittest.TestCase):
    def test_broken_folders(self):
        for number, (changes, env, problems, *code) in enumerate(ROWS):
            with self.subTest(row=number), tempfile.TemporaryDirectory() as tmp:
                data = os.path.join(tmp, "Dovrane")
                if changes is not None:
                    for name, content in {**GOOD, "logs": True, **changes}.items():
                        os.makedirs(data, exist_ok=True)
                        os.mkdir(os.path.join(data, name)) if content is True else write(data, name, content)
                before = sorted(os.walk(tmp))
                run = subprocess.run([PROGRAM, "--check", "--data-dir", data], capture_output=True, text=True,
                                     env={**os.environ, **PULSE, **env}, timeout=60)
                names = NAMES + [INI] * (INI in (changes or {}))
                expected = [f"{n}: {p.lstrip('~')}" for n in names for p in problems.get(n) or ["OK"]]
                self.assertEqual(run.stdout.splitlines(), expected, run.stderr)
                self.assertEqual(run.stderr, "")  # no sound-server chatter
                failing = [p for ps in problems.values() for p in ps if not p.startswith("~")]
                self.assertEqual(run.returncode, (code or [1 if failing else 0])[0])
                self.assertEqual(sorted(os.walk(tmp)), before, "the check wrote to the data folder")


class StationFileTest(unittest.TestCase):
    def test_export_import_set(self):
        """export, import into an empty folder: every file byte for byte (a hand-made one as hex); a
        broken text writes nothing and names each problem's line; secrets left out are kept."""
        sys.path.insert(0, TOOLS)
        import dovrane_rig as r
        days = {2: (1, 8 * 3600, 17 * 3600), 7: (1, 0, 0)}
        rich = {"DVParams.dat": params(action=2, days=[(1, 0, 0), (1, 21600, 64800)] + [(0, 3600, 7200)] * 5),
                "Connection.dat": b"3\r\n9600\r\n", "User.dat": "Studio \u00c4\r\nop\r\npw\r\n".encode("cp1252"),
                "CallList.dat": r.call_record(True, "Night d\u00e9sk", "555 0100") + r.call_record(False, "Bob", "2"),
                "AddressBook.dat": r.address_record(True, "1", "Ops", "ops@x.invalid") + r.address_record(
                    True, "2", "Eve", "eve@x.invalid", days) + r.address_record(False, "0", "Old", "old@x.invalid"),
                "Dovrane.ini": b"[status]\nenabled=true\ntoken=s3cret-s3cret-s3cret\n\n[schedule]\naround_the_clock=no\n"}
        tmp = self.enterContext(tempfile.TemporaryDirectory())
        src, dst, bad = (os.path.join(tmp, n) for n in "abc")
        os.mkdir(src)
        for name, content in rich.items():
            write(src, name, content)
        run = lambda d, *a: subprocess.run([PROGRAM, "--data-dir", d, *a], capture_output=True, text=True)  # noqa
        files = lambda d: {n: open(os.path.join(d, n), "rb").read() for n in sorted(os.listdir(d))}  # noqa
        for secrets, hidden in ((["--with-password"], 0), ([], 2)):
            text = run(src, "export", *secrets).stdout
            self.assertEqual((text.count("(kept)"), "monday = on 06:00:00-18:00:00" in text), (hidden, True), text)
            write(tmp, "station.txt", text.encode())
            self.assertEqual(run(dst, "import", os.path.join(tmp, "station.txt")).returncode, 0)
            self.assertEqual(files(dst), files(src))
        broken = text.replace("delay = 5", "delay = 0").replace("action = mail", "action = fax").replace(
            "around_the_clock=no", "around_the_clock=maybe").split("\n")
        write(tmp, "broken.txt", "\n".join(broken).encode())
        said = run(bad, "import", os.path.join(tmp, "broken.txt"))
        lines = [broken.index(next(b for b in broken if b.startswith(k))) + 1 for k in ("delay", "action", "[Dovrane")]
        self.assertEqual(re.findall(r":(\d+): \[([\w.]+)\]", said.stderr),
                         list(zip(map(str, lines), ["params", "params", "Dovrane.ini"])), said.stderr)
        self.assertEqual((said.returncode, os.listdir(bad)), (1, []))
        self.assertEqual(run(dst, "set", "delay", "0").returncode, 1)
        self.assertEqual(run(dst, "set", "friday", "on 07:00-19:00").returncode, 0)
        self.assertEqual(struct.unpack("<28i", files(dst)["DVParams.dat"])[12::7], (1, 25200, 68400))


class NotifyTest(unittest.TestCase):
    def test_ready_status_watchdog_stopping(self):
        tmp = self.enterContext(tempfile.TemporaryDirectory())
        listener = self.enterContext(socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM))
        listener.bind(os.path.join(tmp, "notify"))
        listener.settimeout(1)
        # Every day starts monitoring 4 s from now; with no sound, the 1 s delay raises the alarm.
        start = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(seconds=4)
        secs = start.hour * 3600 + start.minute * 60 + start.second
        write(tmp, "DVParams.dat", params(delay=1, action=0, days=[(1, secs, (secs + 3600) % 86400)] * 7))
        env = {**os.environ, **PULSE, "NOTIFY_SOCKET": os.path.join(tmp, "notify"), "WATCHDOG_USEC": "1000000"}
        env.pop("QT_QPA_PLATFORM", None)
        proc = self.enterContext(subprocess.Popen(["sh", "-c", 'WATCHDOG_PID=$$ exec "$0" "$@"', PROGRAM, "--headless",
                                                   "--data-dir", tmp], env=env, stderr=subprocess.PIPE, text=True))
        messages = self.receive(listener, lambda m: any(s.startswith("STATUS=ALARM") for s in m), 60)
        proc.send_signal(signal.SIGTERM)
        messages += self.receive(listener, lambda m: "STOPPING=1" in m, 20)
        self.assertEqual(proc.wait(timeout=20), 0)
        self.assertEqual((messages[0], messages[-1]), ("READY=1", "STOPPING=1"))
        statuses = [re.sub(r"since \d\d:\d\d:\d\d$", "since T", m) for m in messages if m.startswith("STATUS=")]
        idle = "STATUS=Idle until " + start.strftime("%a %H:%M" + (":%S" if start.second else ""))
        self.assertEqual(statuses, [idle, "STATUS=Monitoring, no alarm", "STATUS=ALARM since T"])
        self.assertGreaterEqual(messages.count("WATCHDOG=1"), 2)
        errors = proc.stderr.read().splitlines()
        self.assertIn("<3>Connection Profile must be setup", errors)
        self.assertTrue([e for e in errors if re.match(r"<4>.*Silence Alarm \d\d:\d\d:\d\d$", e)], errors)
        self.assertEqual([e for e in errors if not re.match(r"<[0-7]>", e)], [])

    def receive(self, listener, done, limit):
        messages, end = [], time.monotonic() + limit
        while not done(messages) and time.monotonic() < end:
            try:
                messages += listener.recv(4096).decode().split("\n")
            except socket.timeout:
                pass
        return messages


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
