"""A silence alarm with "Send Page", seen from outside the built program: the weekly
schedule starts monitoring, dead air on a real sound source raises the alarm, the
call list is dialled through a real serial port (a pseudo-terminal with the modem
simulator behind it), sound clears the alarm, the schedule stops monitoring, and the
call sequence runs on to the end of the list with its real 25-second hang-ups."""

import time

import dovrane_files as files
import e2e_support as e2e
from e2e_support import ALARM, ALARM_END

SETUP = b"ATZ\r" b"ATS7=60\r" b"ATS0=0Q0V1X4&C1&D2M1\r"
HANG_UP = b"+++,H"
FIRST = "  5550101"  # leading blanks: trimmed in the first copy, kept in the second
THIRD = "9,5550103"


def dial_command(number):
    stored = files.fixed(number, 24)
    return b"ATDT " + stored.strip(b" ") + b"@*99*" + stored + b"\r"


class SendPage(e2e.EndToEndCase):
    def test_alarm_pages_the_call_list_through_the_modem(self):
        e2e.keep_clear_of_midnight(150)
        modem = e2e.Modem(self, self.data, self.work)
        today = files.today()
        start = e2e.seconds_of_day() + 5
        stop = start + 22  # after the alarm has ended, before the second call
        self.write("CallList.dat", files.call_record(True, "Alice", FIRST)
                   + files.call_record(False, "Bob", "5550102") + files.call_record(True, "Carol", THIRD))
        pulse = self.start_scheduled(today, 1, {files.weekday_number(today): (1, start, stop)})

        # A steady tone longer than the delay: sound is heard, no alarm.
        time.sleep(4.5)
        self.assertEqual(self.events(today), ["Timed Start Sensor"])
        self.assertEqual(modem.received(), b"")

        pulse.silence()
        self.wait_event(today, ALARM, 20)
        first_call = SETUP + dial_command(FIRST)
        self.assertTrue(e2e.wait_for(lambda: modem.received() == first_call, 15), "modem got %r" % modem.received())

        # Sound again: the alarm ends while the first call is still up.
        pulse.tone(8000, 8000)
        self.wait_event(today, ALARM_END, 15)
        self.wait_event(today, "Timed Stop Sensor", 30)
        self.assertEqual(modem.received(), first_call, "nothing more before the hang-up")

        # The hang-up ends the first call, skips the deleted entry and calls the third;
        # the next hang-up finds the end of the list and closes the port.
        everything = first_call + HANG_UP + SETUP + dial_command(THIRD) + HANG_UP
        self.assertTrue(e2e.wait_for(lambda: modem.received() == everything, 80), "modem got %r" % modem.received())
        self.assertTrue(e2e.wait_for(lambda: modem.events()[-1][1] == "CLOSE", 10), modem.events())
        time.sleep(1.0)
        self.assert_running()
        log = files.timed_events(files.read_log(self.data, today))
        self.assertEqual([text for _, text in log], [
            "Timed Start Sensor", ALARM, files.fixed(FIRST, 24).decode(), ALARM_END, "Timed Stop Sensor",
            files.fixed(THIRD, 24).decode()])
        # The scheduled start and stop happened at their seconds.
        self.assertEqual([files.seconds(log[0][0]), files.seconds(log[4][0])], [start, stop])

        # Each call stays up for the hang-up timer's 25 s: from a dial command to the
        # next set-up (or, for the last call, to the port's close).
        events = modem.events()
        dials = [t for t, text in events if text.startswith("CMD ATDT")]
        self.assertEqual(len(dials), 2, events)
        second_setup = [t for t, text in events if text == "CMD ATZ"][1]
        for up in (second_setup - dials[0], events[-1][0] - dials[1]):
            self.assertGreaterEqual(up, 24.5, events)
            self.assertLess(up, 40, events)


if __name__ == "__main__":
    e2e.main()
