#!/usr/bin/python3
"""The remote status along the whole real road: the built program on a private PulseAudio source, scraped
by the real Prometheus with the shipped alert rules, its page open in headless Chromium. Dead air raises
the alarm: the page says ALARM and DovraneSilence fires; sound returns and both clear.
test_status.py --program P [--screenshot PNG]"""

import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
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


work = tempfile.TemporaryDirectory(prefix="dovrane-status-", ignore_cleanup_errors=True)
r, port, prom_port, browser = rig.Rig(work.name, args.program), free_port(), free_port(), None
try:
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
