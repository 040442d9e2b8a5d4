#!/usr/bin/python3
"""Into the NOC along the real road: Debian's snmpd as AgentX master, snmptrapd and a
tiny HTTP sink on loopback, and build/dovrane --headless going silent on a private
PulseAudio source. test_noc.py --program P [--mib DOVRANE-MIB.txt]"""

import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tools"))
import dovrane_rig as rig  # noqa: E402

PROGRAM, MIB, BASE = "build/dovrane", "packaging/snmp/DOVRANE-MIB.txt", ".1.3.6.1.4.1.32473.1"
# Debian keeps the IETF base modules out (non-free): the few names the MIB imports.
BASE_MODULES = {"SNMPv2-SMI": "enterprises OBJECT IDENTIFIER ::= { iso 3 6 1 4 1 }\nInteger32 ::= INTEGER\n"
                + "".join("%s MACRO ::= BEGIN END\n" % m for m in ("MODULE-IDENTITY", "OBJECT-TYPE", "NOTIFICATION-TYPE")),
                "SNMPv2-TC": "TEXTUAL-CONVENTION MACRO ::= BEGIN END\nDisplayString ::= OCTET STRING (SIZE (0..255))\n"
                "TruthValue ::= INTEGER { true(1), false(2) }\n",
                "SNMPv2-CONF": "".join("%s MACRO ::= BEGIN END\n" % m for m in ("OBJECT-GROUP", "NOTIFICATION-GROUP",
                                                                                   "MODULE-COMPLIANCE"))}


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Noc(unittest.TestCase):
    def setUp(self):
        work = tempfile.TemporaryDirectory(prefix="dovrane-noc-", ignore_cleanup_errors=True)
        self.addCleanup(work.cleanup)
        self.w, self.r = work.name, rig.Rig(work.name, PROGRAM)
        self.addCleanup(lambda: sys.stderr.write(self.r.report() + rig.read(self.w + "/snmpd.log")))
        self.addCleanup(self.r.close)

    def test_mib_lints_clean(self):
        for name, body in BASE_MODULES.items():
            rig.write(self.w + "/smi", name, "%s DEFINITIONS ::= BEGIN\n%sEND\n" % (name, body))
        lint = subprocess.run(["smilint", "-l", "3", MIB], env=dict(os.environ, SMIPATH=self.w + "/smi"),
                              capture_output=True, text=True)
        self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""))

    def test_snmp_and_heartbeat(self):
        """Status over snmpd, the alarm as a row, a trap through the master and one straight to
        the sink, and heartbeats that say monitoring, then alarm."""
        agent, traps = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_DGRAM)
        rig.write(self.w, "snmpd.conf", "master agentx\nagentXSocket %s/agentx\nagentaddress udp:127.0.0.1:%d\n"
                  "rocommunity dovtest 127.0.0.1 %s\ntrap2sink 127.0.0.1:%d master\n" % (self.w, agent, BASE, traps))
        rig.write(self.w, "snmptrapd.conf", "disableAuthorization yes\n")
        env = dict(os.environ, SNMP_PERSISTENT_DIR=self.w + "/persist", MIBS="")
        self.r.spawn(["snmpd", "-f", "-C", "-c", self.w + "/snmpd.conf", "-Lf", self.w + "/snmpd.log"], env=env)
        self.r.spawn(["snmptrapd", "-f", "-On", "-C", "-c", self.w + "/snmptrapd.conf", "-Lf", self.w + "/traps.log",
                      "-x", self.w + "/none", "udp:127.0.0.1:%d" % traps], env=env)
        hits = []

        class Sink(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                hits.append(self.path)
                self.send_response(200)
                self.end_headers()
        sink = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Sink)
        threading.Thread(target=sink.serve_forever, daemon=True).start()
        self.addCleanup(sink.shutdown)
        self.assertTrue(rig.wait_for(lambda: os.path.exists(self.w + "/agentx"), 10), rig.read(self.w + "/snmpd.log"))

        self.r.start_pulse()
        self.r.tone(8000)
        now = rig.seconds_now()[0]
        self.r.write_setup(2, 500, 0, now + 2, min(now + 300, 86399), facility="WKDR Studio B")
        rig.write(self.r.data, "Dovrane.ini", "[snmp]\nenabled=true\nagentx=%s/agentx\ntraps=127.0.0.1:%d\n"
                  "community=sink\n[heartbeat]\nurl=http://127.0.0.1:%d/ping?k=1\ninterval=5\n"
                  % (self.w, traps, sink.server_address[1]))
        self.r.launch("--headless")
        self.assertTrue(self.r.wait_event("Timed Start Sensor", 20), self.r.events())
        snmp = lambda tool, oid: subprocess.run([tool, "-v2c", "-c", "dovtest", "-On", "-Oqv", "127.0.0.1:%d" % agent,
                                                 BASE + oid], env=env, capture_output=True, text=True).stdout  # noqa
        self.assertTrue(rig.wait_for(lambda: snmp("snmpget", ".1.1.1.0") == "1\n", 20), snmp("snmpwalk", ""))
        self.assertEqual(snmp("snmpget", ".1.1.6.0"), '"WKDR Studio B"\n')
        self.assertTrue(rig.wait_for(lambda: "/ping?k=1&state=monitoring" in hits, 15), hits)

        self.r.tone(0)
        self.assertTrue(self.r.wait_event(rig.ALARM, 20), self.r.events())
        self.assertTrue(rig.wait_for(lambda: rig.read(self.w + "/traps.log").count(BASE + ".0.1") == 2, 15),
                        rig.read(self.w + "/traps.log"))
        self.assertEqual(snmp("snmpwalk", ".1.2.1.3"), '"silence_alarm"\n')
        self.assertEqual(snmp("snmpget", ".1.1.2.0"), "1\n")
        self.assertTrue(rig.wait_for(lambda: "/ping?k=1&state=alarm" in hits, 15), hits)
        self.assertEqual(rig.stop(self.r.proc), 0)

    def test_secrets_and_suspension(self):
        """Suspending from the command line reaches the webhook naming who did it; an ntfy preset with
        a token meets a redirect to another port and does not follow it, the heartbeat meets a 404, and
        the journal shows neither secret nor a line forged by the server's error text."""
        thief = self.r.start_webhook()  # any request reaching it is a leak

        class Redirector(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                self.rfile.read(int(self.headers["Content-Length"] or 0))
                self.send_response(302 if self.command == "POST" else 404)
                self.send_header("Location", thief.replace("/hook", "/stolen"))
                body = b'{"message": "moved\\n<3>forged line"}'
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass
            do_GET = do_POST
        mover = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Redirector)
        threading.Thread(target=mover.serve_forever, daemon=True).start()
        self.addCleanup(mover.shutdown)
        moved = "http://127.0.0.1:%d" % mover.server_address[1]
        self.r.start_pulse()
        self.r.write_setup(2, 500, 0)
        rig.write(self.r.data, "Dovrane.ini", "[heartbeat]\nurl=%s/ping/hb-secret-1\ninterval=60\n[notify]\n"
                  "webhooks=%s\n[presets]\nntfy_enabled=true\nntfy_url=%s/alarms\n"
                  "ntfy_access_token=tk-secret-2\n" % (moved, thief, moved), 0o600)
        self.r.launch("--headless")
        self.assertTrue(rig.wait_for(lambda: os.path.exists(self.r.data + "/dovrane.sock"), 20))
        subprocess.run([self.r.program, "--suspend", "30m"], env=self.r.env(), check=True, timeout=30)
        self.assertTrue(rig.wait_for(lambda: self.r.posts, 15), self.r.requests)
        self.assertEqual(self.r.posts[0]["event"], "alarms_suspended")
        self.assertRegex(self.r.posts[0]["text"], r"^Studio A Alarms Suspended until .* by the command line ")
        self.assertTrue(rig.wait_for(lambda: "redirect not followed" in rig.read(self.r.output) and
                                     "%s failed: HTTP 404" % moved in rig.read(self.r.output), 15), rig.read(self.r.output))
        out = rig.read(self.r.output)
        self.assertEqual([r for r in self.r.requests if r[1] != "/hook"], [])
        self.assertNotRegex(out, "hb-secret-1|tk-secret-2")
        self.assertNotRegex(out, r"(?m)^(<\d>)?<3>forged")
        self.assertEqual(rig.stop(self.r.proc), 0)


if __name__ == "__main__":
    if "--program" in sys.argv:
        PROGRAM = sys.argv.pop(sys.argv.index("--program") + 1)
        sys.argv.remove("--program")
    if "--mib" in sys.argv:
        MIB = sys.argv.pop(sys.argv.index("--mib") + 1)
        sys.argv.remove("--mib")
    unittest.main()
