"""The built program on a fresh machine: it creates its data folder and files, runs
with no display, and ends cleanly on SIGTERM and SIGINT."""

import os
import signal
import time

import e2e_support as e2e

NAMES = ["CallList.dat", "AddressBook.dat", "DVParams.dat"]


class Lifecycle(e2e.EndToEndCase):
    def launch_fresh(self, data):
        program = self.launch(data=data)
        self.assertTrue(e2e.wait_for(lambda: all(os.path.exists(os.path.join(data, n)) for n in NAMES), 20),
                        "data files not created")
        return program

    def test_first_start_creates_the_data_folder(self):
        data = os.path.join(self.work, "fresh", "Dovrane")
        self.launch_fresh(data)
        for n in NAMES:
            self.assertEqual(os.path.getsize(os.path.join(data, n)), 0, n)
        # Nothing is monitored, so nothing is logged.
        time.sleep(1.0)
        self.assert_running()
        self.assertEqual(os.listdir(os.path.join(data, "logs")), [])

    def test_signals_end_the_program(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                program = self.launch_fresh(os.path.join(self.work, sig.name, "Dovrane"))
                program.send_signal(sig)
                self.assertEqual(program.wait(timeout=5), 0)

    def test_data_folder_that_cannot_be_created(self):
        blocker = os.path.join(self.work, "blocker")
        open(blocker, "w").close()
        program = self.launch(data=os.path.join(blocker, "Dovrane"))
        time.sleep(2.0)
        self.assert_running()
        program.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait(timeout=5), 0)


if __name__ == "__main__":
    e2e.main()
