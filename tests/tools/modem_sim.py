#!/usr/bin/python3
"""modem_sim.py --link DIR/COM1 [--capture FILE] [--events FILE] [--cmgs-errors N]: a Hayes
modem on a pseudo-terminal linked as --link. It answers "OK\\r\\n" to every AT command but
AT+CMGS="n", a GSM text message: "> ", then the text up to Ctrl-Z (an event "TEXT <text>"),
then "+CMGS: 1" and OK; ERROR instead of "> " to the first N of them. It appends
every byte received to --capture and writes "<unix time> OPEN", "... CLOSE" (the program
opening and closing the port) and "... CMD <command>" lines to --events. It prints
"READY <device>" once the link is there, and runs until a signal ends it or for a day."""

import contextlib
import ctypes
import os
import select
import struct
import sys
import time
import tty

IN_OPEN, IN_CLOSE = 0x20, 0x08 | 0x10

opts = dict(zip(sys.argv[1::2], sys.argv[2::2]))
link, (master, slave) = opts["--link"], os.openpty()
device = os.ttyname(slave)
tty.setraw(slave)  # nothing echoed or translated before the program sets the line up
# Opens and closes are seen through inotify on the device: the master gets no event of
# its own when the port is closed and opened again in quick succession.
libc = ctypes.CDLL(None)
notify = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
libc.inotify_add_watch(notify, os.fsencode(device), IN_OPEN | IN_CLOSE)
os.close(slave)
os.read(notify, 4096)  # our own close of the slave is not the program's
os.set_blocking(master, False)
capture = open(opts.get("--capture", os.devnull), "ab", buffering=0)
events = open(opts.get("--events", os.devnull), "a", buffering=1)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(device, link)


def note(text):
    events.write("%.3f %s\n" % (time.time(), text))


print("READY " + device, flush=True)
opens, line, replies, texting, cmgs = 0, b"", b"", False, 0
for _ in range(5 * 86400):  # at most 0.2 s a turn: a day
    ready = select.select([notify] + ([master] if opens else []), [], [], 0.2)[0]
    changes = os.read(notify, 65536) if notify in ready else b""
    # A close and the next open may both be behind us, the bytes of both sessions
    # waiting in the master: read them all first. The parser skips the hang-up
    # escape, which has no carriage return, and replies wait for an open port.
    data = b""
    with contextlib.suppress(OSError):  # nothing more to read, or no port open
        while chunk := os.read(master, 4096):
            data += chunk
    capture.write(data)
    *commands, line = (line + data).replace(b"\x1a", b"\r").split(b"\r")
    for command in commands:
        at = command.upper().find(b"AT")  # a modem ignores what comes before "AT"
        if texting:
            note("TEXT " + command.decode("latin-1"))
            replies, texting = replies + b"\r\n+CMGS: 1\r\n\r\nOK\r\n", False
        elif at >= 0:
            note("CMD " + command[at:].decode("latin-1"))
            sms = command[at:].upper().startswith(b"AT+CMGS=")
            cmgs, texting = cmgs + sms, sms and cmgs + sms > int(opts.get("--cmgs-errors", 0))
            replies += b"\r\n> " if texting else b"\r\nERROR\r\n" if sms else b"OK\r\n"
    for _, mask, _, _ in struct.iter_unpack("iIII", changes):  # no names: the watch is on a file
        was, opens = opens, opens + 1 if mask & IN_OPEN else max(0, opens - 1)
        if bool(was) != bool(opens):
            note("OPEN" if opens else "CLOSE")
    if opens and replies:
        with contextlib.suppress(OSError):
            os.write(master, replies)
        replies = b""

