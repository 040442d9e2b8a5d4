"""Monitoring across midnight, with the program's wall clock (and only the program's)
moved to 23:59:44 on a Saturday by libfaketime; it then runs at real speed. Qt's
timers run on the real monotonic clock. A scheduled window from 23:59:49 on the
Saturday to 00:00:08 on the Sunday (the next weekday's own entry) covers midnight.

(a) Dead air from the start of monitoring raises the alarm before midnight and sound
    ends it after midnight: each line goes to the log of the day it is written on.
(b) A steady tone across midnight raises no alarm.
"""

import datetime
import os
import time

import dovrane_files as files
import e2e_support as e2e
from e2e_support import ALARM, ALARM_END

# A Saturday at the end of a year: the weekday wraps from 7 to 1, the log file
# name's year from 22 to 23.
FAKE_DAY = datetime.date(2022, 12, 31)
NEXT_DAY = FAKE_DAY + datetime.timedelta(days=1)
START = 86400 - 11  # 23:59:49
STOP = 8  # 00:00:08 on the next day


class Midnight(e2e.EndToEndCase):
    def run_across_midnight(self):
        """Launches under libfaketime; returns the pulse server and the real monotonic
        time at which the fake clock showed the start second."""
        self.assertTrue(os.path.exists(e2e.LIBFAKETIME), "libfaketime is not installed")
        self.assertEqual((files.weekday_number(FAKE_DAY), files.weekday_number(NEXT_DAY)), (7, 1))
        pulse = self.start_scheduled(FAKE_DAY, 0, {7: (1, START, 0), 1: (1, 12 * 3600, STOP)}, {
            "LD_PRELOAD": e2e.LIBFAKETIME,
            "FAKETIME": "@%s 23:59:44" % FAKE_DAY.isoformat(),
            "FAKETIME_DONT_FAKE_MONOTONIC": "1",
        })
        return pulse, time.monotonic()

    def logs(self):
        return sorted(os.listdir(os.path.join(self.data, "logs")))

    def test_alarm_before_midnight_ends_in_the_next_days_log(self):
        pulse, started = self.run_across_midnight()
        # The program's clock is the fake one: no log of the real day.
        self.assertEqual(self.logs(), [files.log_name(FAKE_DAY)])
        pulse.silence()
        self.wait_event(FAKE_DAY, ALARM, 10)
        # Past midnight on the fake clock (start second + 11 s), with a second to spare.
        time.sleep(max(0.0, started + 12.5 - time.monotonic()))
        self.assertEqual(self.events(NEXT_DAY), [], "nothing happens at midnight itself")
        pulse.tone(8000, 8000)
        self.wait_event(NEXT_DAY, ALARM_END, 15)
        self.wait_event(NEXT_DAY, "Timed Stop Sensor", 20)
        self.assert_running()

        first = files.timed_events(files.read_log(self.data, FAKE_DAY))
        second = files.timed_events(files.read_log(self.data, NEXT_DAY))
        self.assertEqual([text for _, text in first + second],
                         ["Timed Start Sensor", ALARM, ALARM_END, "Timed Stop Sensor"])
        self.assertEqual(first[0][0], datetime.time(23, 59, 49))
        self.assertGreaterEqual(first[1][0], datetime.time(23, 59, 52))
        self.assertLess(second[0][0], datetime.time(0, 0, 8))
        self.assertEqual(second[1][0], datetime.time(0, 0, 8))

    def test_sound_across_midnight_raises_no_alarm(self):
        self.run_across_midnight()
        self.wait_event(NEXT_DAY, "Timed Stop Sensor", 30)
        time.sleep(0.5)
        self.assert_running()
        self.assertEqual(self.events(FAKE_DAY) + self.events(NEXT_DAY), ["Timed Start Sensor", "Timed Stop Sensor"])
        self.assertEqual(self.logs(), [files.log_name(FAKE_DAY), files.log_name(NEXT_DAY)])


if __name__ == "__main__":
    e2e.main()
