"""Writes Dovrane's data files byte by byte from their record layouts, so the
end-to-end tests set the program up exactly as an operator's saved settings would."""

import datetime
import os
import struct

CP = "cp1252"


def fixed(text, width):
    """Blank-padded, cut to width, one byte per character."""
    data = text.encode(CP, errors="replace")[:width]
    return data + b" " * (width - len(data))


def weekday_number(date):
    """1 = Sunday .. 7 = Saturday."""
    return (date.isoweekday() % 7) + 1


def seconds(t):
    return t.hour * 3600 + t.minute * 60 + t.second


def params_bytes(alarm_delay=0, input_device=0, alarm_action=0, threshold=0, schedule=None):
    """DVParams.dat: 28 little-endian int32 records. schedule maps weekday 1..7 to
    (enabled, start_secs, stop_secs)."""
    records = [0] * 29
    records[1] = alarm_delay
    records[4] = input_device
    records[5] = alarm_action
    records[7] = threshold
    for day, (enabled, start, stop) in (schedule or {}).items():
        records[7 + day] = enabled
        records[14 + day] = start
        records[21 + day] = stop
    return struct.pack("<28i", *records[1:])


def call_record(in_use, name, number):
    return (b"1" if in_use else b"0") + fixed(name, 15) + fixed(number, 24)


def address_record(in_use, option, name, address, days=None):
    """option: "0" Never, "1" Always, "2" Sometimes. days maps weekday 1..7 to
    (checked, start_secs, stop_secs)."""
    day = [(days or {}).get(d, (0, 0, 0)) for d in range(1, 8)]
    rec = (b"1" if in_use else b"0") + option.encode() + fixed(name, 16) + fixed(address, 39)
    rec += b"".join(b"1" if checked else b"0" for checked, _, _ in day)
    return rec + struct.pack("<7i", *(start for _, start, _ in day)) + struct.pack("<7i", *(stop for _, _, stop in day))


def connection_bytes(port, baud):
    return b" %d \r\n%s\r\n" % (port, baud.encode())


def user_bytes(facility, user, password):
    return b"".join(fixed(v, len(v.encode(CP))) + b"\r\n" for v in (facility, user, password))


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def read_log(folder, date):
    path = os.path.join(folder, "logs", log_name(date))
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        data = f.read()
    assert data == b"" or data.endswith(b"\r\n"), "log lines end with CR LF"
    return [line.decode(CP) for line in data.split(b"\r\n")[:-1]]


def events(lines):
    """The event texts (from character 10 on) of log lines."""
    return [text for _, text in timed_events(lines)]


def timed_events(lines):
    """(time of writing, event text) of log lines: "hh:mm:ss", one blank, the text."""
    out = []
    for line in lines:
        assert len(line) >= 9 and line[2] == ":" and line[5] == ":" and line[8] == " ", line
        out.append((datetime.datetime.strptime(line[:8], "%H:%M:%S").time(), line[9:]))
    return out


def log_name(date):
    return "AL" + date.strftime("%y%m%d") + ".log"


def today():
    return datetime.date.today()
