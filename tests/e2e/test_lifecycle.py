"""The built program on a fresh machine: it creates its data folder and files, runs
with no display, and ends cleanly on SIGTERM and SIGINT."""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = None


def launch(data_dir, extra_env=None):
    env = dict(os.environ)
    env.update({"QT_QPA_PLATFORM": "offscreen", "DOVRANE_DATA_DIR": data_dir})
    env.update(extra_env or {})
    return subprocess.Popen([PROGRAM], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


class Lifecycle(unittest.TestCase):
    def test_first_start_creates_the_data_folder(self):
        with tempfile.TemporaryDirectory() as tmp:
            data = os.path.join(tmp, "Dovrane")
            proc = launch(data)
            try:
                names = ["CallList.dat", "AddressBook.dat", "DVParams.dat"]
                self.assertTrue(wait_for(lambda: all(os.path.exists(os.path.join(data, n)) for n in names), 20),
                                "data files not created")
                self.assertTrue(os.path.isdir(os.path.join(data, "logs")))
                for n in names:
                    self.assertEqual(os.path.getsize(os.path.join(data, n)), 0, n)
                self.assertIsNone(proc.poll(), "program ended by itself")
                # Nothing is monitored, so nothing is logged.
                time.sleep(1.0)
                self.assertEqual(os.listdir(os.path.join(data, "logs")), [])
            finally:
                proc.send_signal(signal.SIGTERM)
                proc.wait(timeout=10)

    def test_signals_end_the_program(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name), tempfile.TemporaryDirectory() as tmp:
                data = os.path.join(tmp, "Dovrane")
                proc = launch(data)
                self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(data, "AddressBook.dat")), 20))
                proc.send_signal(sig)
                try:
                    code = proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    self.fail("%s did not end the program" % sig.name)
                self.assertEqual(code, 0)

    def test_data_folder_that_cannot_be_created(self):
        with tempfile.TemporaryDirectory() as tmp:
            blocker = os.path.join(tmp, "blocker")
            open(blocker, "w").close()
            proc = launch(os.path.join(blocker, "Dovrane"))
            time.sleep(2.0)
            self.assertIsNone(proc.poll(), "the program must keep running")
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(timeout=5), 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM = args.program
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
