"""A silence alarm with "Send Email", seen from outside the built program: dead air on
a real sound source raises the alarm, one message goes through the system's
sendmail (msmtp) to an SMTP server on this machine, addressed to the address book
entries that the delivery rule picks, and sound brings the end-of-alarm message."""

import datetime
import email
import email.policy
import re
import time

import dovrane_files as files
import e2e_support as e2e
from e2e_support import ALARM, ALARM_END

FACILITY = "WKDR Studio B"
BODY = re.compile(r"^(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d) (Silence Alarm|End Silence Alarm)$")


def address_book(day):
    """Records in file order, and the addresses (as stored) that must get the alarm."""
    whole_day = (1, 1, 86399)
    # A window on today's row that does not hold the next few minutes.
    closed = (1, 18 * 3600, 20 * 3600) if e2e.seconds_of_day() < 12 * 3600 else (1, 3600, 2 * 3600)
    records = [
        (True, "1", "Ops desk", "ops@studio.invalid", {}),
        (True, "0", "Never", "never@studio.invalid", {day: whole_day}),
        (False, "1", "Gone", "gone@studio.invalid", {}),
        (True, "2", "Day shift", "day@studio.invalid", {day: whole_day}),
        (True, "2", "Evening", "closed@studio.invalid", {day: closed}),
        # Today's times would match, but only the other weekday is checked.
        (True, "2", "Other day", "otherday@studio.invalid", {day: (0, 1, 86399), day % 7 + 1: whole_day}),
        (True, "1", "Engineer", "  lead@studio.invalid", {}),
    ]
    data = b"".join(files.address_record(*r) for r in records)
    return data, ["ops@studio.invalid", "day@studio.invalid", "  lead@studio.invalid"]


class SendEmail(e2e.EndToEndCase):
    def test_alarm_and_its_end_are_mailed_to_the_chosen_entries(self):
        e2e.keep_clear_of_midnight(120)
        sink = e2e.MailSink(self, self.work)
        today = files.today()
        day = files.weekday_number(today)
        start = e2e.seconds_of_day() + 5
        book, chosen = address_book(day)
        self.write("User.dat", files.user_bytes(FACILITY, "night", "secret"))
        self.write("AddressBook.dat", book)
        pulse = self.start_scheduled(today, 2, {day: (1, start, start + 3600)}, sink.path_env())
        time.sleep(4.5)
        self.assertEqual(self.events(today), ["Timed Start Sensor"])

        pulse.silence()
        self.wait_event(today, ALARM, 20)
        self.assertTrue(e2e.wait_for(lambda: len(sink.messages()) >= 1, 30), "no alarm message arrived")
        self.assertEqual(len(sink.messages()), 1)
        pulse.tone(8000, 8000)
        self.wait_event(today, ALARM_END, 15)
        self.assertTrue(e2e.wait_for(lambda: len(sink.messages()) >= 2, 30), "no end message arrived")
        time.sleep(1.0)
        self.assert_running()

        recipients = ["Email--> " + files.fixed(a, 39).decode() for a in chosen]
        self.assertEqual(self.events(today), ["Timed Start Sensor", ALARM] + recipients + [ALARM_END] + recipients)
        log = dict((text, when) for when, text in files.timed_events(files.read_log(self.data, today)))
        messages = sink.messages()
        self.assertEqual(len(messages), 2)
        for message, kind, logged in zip(messages, ("Silence Alarm", "End Silence Alarm"), (ALARM, ALARM_END)):
            with self.subTest(kind):
                self.assertEqual(message["rcpt_tos"], [a.strip() for a in chosen])
                self.assertEqual(message["mail_from"], "dovrane@studio.invalid")
                parsed = email.message_from_string(message["data"], policy=email.policy.default)
                self.assertEqual(parsed["Subject"], FACILITY + " Alarm")
                body = parsed.get_content().strip("\r\n")
                match = BODY.match(body)
                self.assertTrue(match, "body %r" % body)
                self.assertEqual(match.group(2), kind)
                # Written in the same tick as the log line.
                sent = datetime.datetime.strptime(match.group(1), "%m-%d-%Y %H:%M:%S")
                at_log = datetime.datetime.combine(today, log[logged])
                self.assertLessEqual(abs((sent - at_log).total_seconds()), 2, (sent, at_log))


if __name__ == "__main__":
    e2e.main()
