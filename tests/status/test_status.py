#!/usr/bin/python3
"""The remote status along the whole real road: the built program on a private PulseAudio source, scraped
by the real Prometheus with the shipped alert rules, its page open in headless Chromium. Dead air raises
the alarm: the page says ALARM and DovraneSilence fires; sound returns and both clear. With --attacks, the port
is attacked instead (see attacks()).
test_status.py --program P [--screenshot PNG] [--attacks]"""

import argparse
import datetime
import json
import multiprocessing
import os
import re
import resource
import selectors
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, "tools"))
import dovrane_rig as rig  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--program", default="build/dovrane")
parser.add_argument("--screenshot", help="where to save the page while the alarm is up")
parser.add_argument("--attacks", action="store_true")
args = parser.parse_args()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def firing():
    with urllib.request.urlopen("http://127.0.0.1:%d/api/v1/alerts" % prom_port, timeout=5) as reply:
        return [a["labels"]["alertname"] for a in json.load(reply)["data"]["alerts"] if a["state"] == "firing"]


def check(ok, what):
    if not ok:
        sys.exit("test_status: %s\n%s" % (what, r.report()))


def flood(port, stop, per_address=10, addresses=1000):
    """Idle connections from 127.0.x.y, sending nothing; each one the server closes is opened again."""
    sel, sources = selectors.DefaultSelector(), ["127.0.%d.%d" % (2 + i // 250, 1 + i % 250) for i in range(addresses)]

    def open_one(src):
        s = socket.socket()
        s.setblocking(False)
        s.bind((src, 0))
        s.connect_ex(("127.0.0.1", port))
        sel.register(s, selectors.EVENT_READ, src)
    for src in sources * per_address:
        open_one(src)
    while not stop.is_set():
        for key, _ in sel.select(0.1)[:100]:  # at most 1,000 reconnections a second
            sel.unregister(key.fileobj)
            key.fileobj.close()
            open_one(key.data)
    for key in list(sel.get_map().values()):
        key.fileobj.close()


def exchange(port, raw, tls=None):
    """Sends raw bytes, returns all that comes back until the server closes (or 3 s pass)."""
    reply = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=3) as plain:
            s = tls.wrap_socket(plain) if tls else plain
            s.sendall(raw)
            while chunk := s.recv(65536):
                reply += chunk
    except OSError:  # refused, timed out, reset, or no TLS spoken
        pass
    return reply


def attacks():
    """Rows: the idle flood at an open-file limit of 1024 while dead air comes; the port taken at start then freed;
    the upgrade flood; each framing ambiguity; TLS."""
    resource.setrlimit(resource.RLIMIT_NOFILE, (20000, resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
    r.start_pulse()
    r.start_sink()
    r.tone(8000)
    now = rig.seconds_now()[0]
    check(now < 86000, "too close to midnight for a schedule that starts today")
    r.write_setup(3, 500, 2, now + 2, now + 400, addresses=[(1, "1", "Ops", "ops@studio.invalid")])
    token = "0123456789abcdef0123"
    rig.write(r.data, "Dovrane.ini", "[status]\nenabled=true\nlisten=127.0.0.1:%d\ntoken=%s\n" % (port, token))
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(r.work + "/notify")
    pings, stop = [], multiprocessing.Event()
    threading.Thread(target=lambda: [pings.append(time.monotonic()) for m in iter(lambda: notify.recv(4096), b"")
                                     if b"WATCHDOG=1" in m], daemon=True).start()
    with open(r.output, "ab") as out:
        r.proc = r.spawn(["sh", "-c", 'ulimit -n 1024 && exec "$0" "$@"', r.program, "--headless"], stdout=out,
                         stderr=subprocess.STDOUT, env=r.env(NOTIFY_SOCKET=r.work + "/notify", WATCHDOG_USEC="2000000"))
    check(rig.wait_for(lambda: len(pings) > 0, 20), "no watchdog ping")
    attacker = multiprocessing.Process(target=flood, args=(port, stop))  # its own process: no lock shared
    attacker.start()
    time.sleep(4)
    held = len(os.listdir("/proc/%d/fd" % r.proc.pid))
    flood_start, mark = time.monotonic(), len(r.events())
    quiet = rig.seconds_now()[0]
    r.tone(0)
    r.wait_event(rig.ALARM, 20, mark)
    alarm = [sum(int(n) * f for n, f in zip(line[:8].split(":"), (3600, 60, 1)))
             for line in r.log(datetime.date.today())[mark:] if rig.ALARM in line]
    alarm = bool(alarm) and alarm[0] - quiet <= 3 + 3  # the delay, and the source's own latency
    mail = rig.wait_for(lambda: r.messages(), 20)
    scrape = urllib.request.Request("http://127.0.0.1:%d/metrics" % port, headers={"Authorization": "Bearer " + token})
    with urllib.request.urlopen(scrape, timeout=1) as reply:
        answered = b"dovrane_alarm_active 1" in reply.read()
    stop.set()
    attacker.join()
    during = [t for t in pings if t > flood_start - 2] + [time.monotonic()]
    gap = max(b - a for a, b in zip(during, during[1:]))
    check(held > 200 and alarm and mail and answered and gap < 3,
          "flood: %d descriptors held, alarm %s, mail %s, scrape %s, pings %.1f s apart at most" % (
              held, alarm, bool(mail), answered, gap))
    check(b"Too many open files" not in rig.read(r.output, True), "flood: descriptors ran out")
    rig.stop(r.proc)

    # The port taken at start, then freed; the rest over TLS without a token.
    squatter = socket.create_server(("127.0.0.1", port))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-days",
                    "1", "-keyout", r.work + "/key.pem", "-out", r.work + "/cert.pem"], check=True, capture_output=True)
    rig.write(r.data, "Dovrane.ini", "[status]\nenabled=true\nlisten=127.0.0.1:%d\ntls_cert=%s/cert.pem\n"
              "tls_key=%s/key.pem\n" % (port, r.work, r.work))
    r.launch("--headless")
    check(rig.wait_for(lambda: b"cannot listen" in rig.read(r.output, True), 20), "port taken: nothing said")
    squatter.close()
    tls = ssl.create_default_context(cafile=r.work + "/cert.pem")
    tls.check_hostname = False
    metrics = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
    check(rig.wait_for(lambda: b"\ndovrane_status_listening 1" in exchange(port, metrics, tls), 8),
          "port freed: not taken back over TLS")
    check(b"HTTP/1.1" not in exchange(port, metrics), "TLS: answered in clear")
    lines = len(rig.read(r.output, True).splitlines())
    upgrade = b"GET / HTTP/1.1\r\nHost: localhost\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n"
    answers = [exchange(port, upgrade, tls) for _ in range(100)]
    check(all(a.startswith(b"HTTP/1.1 400 ") and a.count(b"HTTP/1.1") == 1 for a in answers), "upgrade: %r" % answers[0])
    check(len(rig.read(r.output, True).splitlines()) == lines, "upgrade: log lines written")
    head, host = b"GET / HTTP/1.1\r\n", b"Host: 127.0.0.1\r\n"
    for name, raw, status in [
            ("length and chunked", host + b"Content-Length: 0\r\nTransfer-Encoding: chunked\r\n", b"400"),
            ("unknown coding", host + b"Transfer-Encoding: xchunked\r\n", b"400"),
            ("two lengths", host + b"Content-Length: 0\r\nContent-Length: 5\r\n", b"400"),
            ("folded line", host + b"X-A: 1\r\n  folded\r\n", b"400"),
            ("NUL", host + b"X-A: 1\x002\r\n", b"400"),
            ("two tokens", host + b"Authorization: Bearer a\r\nAuthorization: Bearer b\r\n", b"400"),
            ("second request behind", host + b"\r\n" + head + host, b"400"),
            ("rebinding", b"Host: evil.example\r\n", b"421"),
            ("page under its policy", host, b"200 OK\r\n.*X-Frame-Options: DENY.*frame-ancestors 'none'")]:
        reply = exchange(port, head + raw + b"\r\n", tls)
        check(re.match(b"HTTP/1.1 " + status, reply, re.S), "%s: %r" % (name, reply[:200]))


work = tempfile.TemporaryDirectory(prefix="dovrane-status-", ignore_cleanup_errors=True)
r, port, prom_port, browser = rig.Rig(work.name, args.program), free_port(), free_port(), None
try:
    if args.attacks:
        attacks()
        sys.exit(print("test_status: the port held under attack") or 0)
    r.start_pulse()
    r.tone(8000)
    now = rig.seconds_now()[0]
    check(now < 86000, "too close to midnight for a schedule that starts today")
    r.write_setup(2, 500, 0, now + 3, now + 400)
    rig.write(r.data, "Dovrane.ini", "[status]\nenabled=true\nlisten=127.0.0.1:%d\n" % port)
    r.launch("--headless")
    rules = os.path.join(HERE, os.pardir, os.pardir, "packaging", "prometheus", "dovrane-alerts.yml")
    rig.write(r.work, "prometheus.yml", "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
              "rule_files: ['%s']\nscrape_configs:\n  - job_name: dovrane\n    static_configs:\n"
              "      - targets: ['127.0.0.1:%d']\n" % (os.path.abspath(rules), port))
    r.spawn(["prometheus", "--config.file=" + r.work + "/prometheus.yml", "--storage.tsdb.path=" + r.work + "/tsdb",
             "--web.listen-address=127.0.0.1:%d" % prom_port], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=900,760"):
        options.add_argument(flag)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    browser.get("http://127.0.0.1:%d/" % port)
    banner = lambda: browser.find_element("id", "banner").text  # noqa: E731
    check(rig.wait_for(lambda: banner() == "MONITORING", 30), "the page never said MONITORING: " + banner())
    r.tone(0)
    check(r.wait_event(rig.ALARM, 20), "no alarm")
    check(rig.wait_for(lambda: banner() == "ALARM", 2), "the page said %s 2 s after the alarm" % banner())
    if args.screenshot:
        browser.save_screenshot(args.screenshot)
    check(rig.wait_for(lambda: "DovraneSilence" in firing(), 30, 0.5), "DovraneSilence did not fire")
    r.tone(8000)
    check(r.wait_event(rig.ALARM_END, 20), "no alarm end")
    check(rig.wait_for(lambda: banner() == "MONITORING", 2), "the page said %s 2 s after the end" % banner())
    tail = browser.find_element("id", "log").text.splitlines()
    check(tail and "Alarm End" in tail[0], "the log tail is not newest first: %r" % tail)
    # The tone at -12 dBFS fills 80 % of the bar; its gradient spans the whole scale (125 % of the
    # fill), so it ends in green, not in red.
    size = browser.execute_script("return document.getElementById('left').style.backgroundSize")
    check(size.endswith("% 100%") and 115 < float(size.split("%")[0]) < 135, "level gradient: " + size)
    check(subprocess.run([args.program, "--suspend", "5m"], env=r.env(), capture_output=True).returncode == 0, "no suspend")
    check(rig.wait_for(lambda: banner() == "SUSPENDED", 3), "the page said %s while suspended" % banner())
    check(rig.wait_for(lambda: "DovraneSilence" not in firing(), 30, 0.5), "DovraneSilence did not resolve")
finally:
    if browser:
        browser.quit()
    r.close()
print("test_status: alarm and its end seen by Prometheus and the page")
