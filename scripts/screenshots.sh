#!/usr/bin/env bash
# Pictures of every Dovrane window, taken from the real program under Xvfb.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR (default: build) is configured if needed and the dovrane_screenshots
# tool is built in it. OUT_DIR defaults to docs/screenshots. A private PulseAudio
# server feeds a tone into the input, the weekly schedule starts monitoring a few
# seconds after launch, then the input falls silent to light the alarm. The data
# folder is a temporary one filled with a few address book and call list entries
# and some days of alarm logs; nothing of the user's own set-up is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build}
outdir=${2:-docs/screenshots}

command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target dovrane_screenshots
mkdir -p "$outdir"

exec xvfb-run -a -s "-screen 0 1280x800x24" /usr/bin/python3 - "$repo" "$build/dovrane_screenshots" "$outdir" <<'PY'
import datetime, os, shlex, subprocess, sys, tempfile
repo, tool, outdir = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
sys.path.insert(0, os.path.join(repo, "tests", "tools"))
import dovrane_rig as h

work = tempfile.mkdtemp(prefix="dovrane-shots.")
rig = h.Rig(work, os.path.join(os.path.dirname(tool), "dovrane"))  # it lists the inputs
code = 1
try:
    rig.start_pulse()
    rig.tone(14000, 7000)
    now, _ = h.seconds_now()
    if now > 86399 - 900:
        sys.exit("screenshots: too close to midnight for the schedule; try after 00:00")
    f = h
    rig.write_setup(alarm_delay=3, threshold=500, action=2, start_secs=now + 6,
                    stop_secs=now + 900, facility="Radio North FM")
    week = {d: (1, 6 * 3600, 22 * 3600) for d in range(2, 7)}
    f.write(rig.data, "AddressBook.dat", b"".join([
        f.address_record(True, "1", "Chief Engineer", "chief@radionorth.example"),
        f.address_record(True, "2", "Night Operator", "nights@radionorth.example", week),
        f.address_record(True, "0", "Station Manager", "manager@radionorth.example"),
    ]))
    f.write(rig.data, "CallList.dat", b"".join([
        f.call_record(True, "Chief Engineer", "555-0142"),
        f.call_record(True, "Transmitter Co", "1-800-555-0199"),
        f.call_record(True, "Duty Manager", "555-0177"),
    ]))
    # Named inputs: a stream that plays, the test source again, and a stream that is down.
    port, _ = h.icecast(work, rig.spawn)
    h.Encoder(rig.spawn, port, level=6000)
    f.write(rig.data, "Dovrane.ini", "[detectors]\ninput_lost=true\n[clips]\nenabled=true\n"
            "[status]\nenabled=true\nlisten=127.0.0.1:19877\n[notify]\nrepeat_minutes=10\n"
            "[alarms]\nband_low_hz=40\nband_high_hz=15000\nnotch_pilot=true\ncooldown_minutes=10\n"
            "[input.Web]\nsource=http://127.0.0.1:%d/live\naround_the_clock=yes\n"
            "[input.Off-air]\nsource=%s\ndelay=5\ndetectors=channel_loss, phase\n"
            "[input.STL]\nsource=http://127.0.0.1:9/stl\nnotify=no\naround_the_clock=yes\n"
            % (port, h.SOURCE))
    # Earlier days of alarm logs for the viewer's list.
    for back, lines in ((1, ["06:00:00 Timed Start Sensor", "13:12:40 Alarm" + " " * 16,
                             "13:12:40 Email--> chief@radionorth.example",
                             "13:13:05 Alarm End" + " " * 12,
                             "13:13:05 Email--> chief@radionorth.example",
                             "22:00:00 Timed Stop Sensor"]),
                        (3, ["06:00:00 Timed Start Sensor", "09:30:12 Manual Stop Sensor",
                             "09:41:55 Manual Start Sensor", "22:00:00 Timed Stop Sensor"])):
        day = datetime.date.today() - datetime.timedelta(days=back)
        f.write(os.path.join(rig.data, "logs"), "AL" + day.strftime("%y%m%d") + ".log",
                "".join(l + "\r\n" for l in lines).encode("cp1252"))
    # Alarm mail goes to a stand-in mail program that keeps it.
    mail_dir = os.path.join(work, "mail")
    os.makedirs(mail_dir)
    os.symlink(os.path.join(repo, "tests", "tools", "fake-sendmail.sh"),
               os.path.join(rig.bin_dir, "sendmail"))
    env = dict(os.environ)
    env.update(rig.pulse_env)
    env.update({"QT_QPA_PLATFORM": "xcb", "DOVRANE_DATA_DIR": rig.data,
                "FAKE_SENDMAIL_DIR": mail_dir,
                "PATH": rig.bin_dir + ":" + env.get("PATH", "/usr/bin:/bin")})
    silence = "sh %s tone %s 0 0" % (os.path.join(repo, "tests", "tools", "pulse-fixture.sh"),
                                     rig.pulse_env["DOVRANE_PULSE_DIR"])
    d = rig.pulse_env["DOVRANE_PULSE_DIR"]
    pulse = shlex.join(["env"] + ["%s=%s" % kv for kv in h.pulse_values(d).items()])
    lose = pulse + " pactl unload-module module-pipe-source"
    restore = "%s pactl load-module %s && sh %s tone %s 14000 7000" % (
        pulse, shlex.join(h.pipe_source(d)), shlex.quote(os.path.join(repo, "tests", "tools", "pulse-fixture.sh")),
        shlex.quote(d))
    code = subprocess.run([tool, "--out", outdir, "--silence-command", silence, "--lose-command", lose,
                           "--restore-command", restore], env=env).returncode
    # The status page of the same station, headless, as Chromium shows it.
    h.tone(d, 14000, 7000)
    page = rig.spawn([os.path.join(os.path.dirname(tool), "dovrane"), "--headless"], env=env,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    import time
    time.sleep(12)
    subprocess.run(["chromium", "--headless", "--no-sandbox", "--hide-scrollbars", "--window-size=900,1100",
                    "--virtual-time-budget=4000",
                    "--screenshot=" + os.path.join(os.path.dirname(outdir), "status-page-inputs.png"),
                    "http://127.0.0.1:19877/"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    h.stop(page)
finally:
    rig.close()
sys.exit(code)
PY
