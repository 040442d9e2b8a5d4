#!/usr/bin/python3
"""A Hayes modem on a pseudo-terminal, for tests that drive a real serial port.

It creates a pseudo-terminal, links its device as --link (for example
<data folder>/COM1), records every byte the program sends, answers "OK\\r\\n" to
each AT command line, and notes each open and close of the port by the program.

    modem_sim.py --link DIR/COM1 [--capture FILE] [--events FILE]
                 [--mode ok|silent|late] [--late SECONDS] [--control FILE]

--capture  every received byte, appended as it arrives (the exact stream)
--events   one line per event: "<unix time> OPEN", "<unix time> CLOSE",
           "<unix time> CMD <command>", "<unix time> REPLY <text>"
--mode     ok: answer at once; silent: never answer; late: answer after --late s
--control  if this file exists when a command arrives, its first line sets the
           mode ("ok", "silent" or "late <seconds>"), so a test can switch it

Once the link is in place it prints "READY <device>" on stdout. SIGTERM or
SIGINT removes the link and ends it.

Opens and closes are seen through inotify on the device (a pseudo-terminal
master gets no event of its own when the other side is closed and reopened in
quick succession); without inotify, a hang-up on the master counts as a close.
"""

import argparse
import ctypes
import os
import select
import signal
import struct
import sys
import time
import tty

IN_OPEN = 0x20
IN_CLOSE_WRITE = 0x08
IN_CLOSE_NOWRITE = 0x10


class Inotify:
    def __init__(self, path):
        self.fd = -1
        try:
            libc = ctypes.CDLL("libc.so.6", use_errno=True)
            fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
            if fd < 0:
                return
            if libc.inotify_add_watch(fd, os.fsencode(path),
                                      IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0:
                os.close(fd)
                return
            self.fd = fd
        except OSError:
            self.fd = -1

    def events(self):
        """Masks of the events waiting, in order."""
        out = []
        try:
            data = os.read(self.fd, 65536)
        except BlockingIOError:
            return out
        offset = 0
        while offset + 16 <= len(data):
            _wd, mask, _cookie, length = struct.unpack_from("iIII", data, offset)
            offset += 16 + length
            out.append(mask)
        return out


class Modem:
    def __init__(self, args):
        self.args = args
        self.master, slave = os.openpty()
        self.device = os.ttyname(slave)
        # Raw from the start, so nothing is echoed or translated before the program
        # sets the line up itself.
        tty.setraw(slave)
        self.inotify = Inotify(self.device)
        os.close(slave)
        os.set_blocking(self.master, False)
        if self.inotify.fd >= 0:
            # Our own close of the slave above is not the program's.
            self.inotify.events()
        self.opens = 0
        self.line = b""
        self.pending = []  # (due time, reply bytes), sent while the port is open
        self.capture = open(args.capture, "ab", buffering=0) if args.capture else None
        self.events = open(args.events, "a", buffering=1) if args.events else None
        self.link = args.link
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(self.device, self.link)

    def log(self, text):
        if self.events:
            self.events.write("%.3f %s\n" % (time.time(), text))

    def mode(self):
        mode, late = self.args.mode, self.args.late
        if self.args.control and os.path.exists(self.args.control):
            with open(self.args.control) as f:
                words = (f.readline().split() or ["ok"])
            mode = words[0]
            if len(words) > 1:
                late = float(words[1])
        return mode, late

    def opened(self):
        self.opens += 1
        if self.opens == 1:
            self.log("OPEN")

    def closed(self):
        if self.opens == 0:
            return
        self.opens -= 1
        if self.opens == 0:
            self.log("CLOSE")

    def drain(self):
        while True:
            try:
                data = os.read(self.master, 4096)
            except (BlockingIOError, OSError):
                return
            if not data:
                return
            self.received(data)

    def received(self, data):
        if self.capture:
            self.capture.write(data)
        for byte in data:
            if byte == 13:
                self.command(self.line)
                self.line = b""
            else:
                self.line += bytes([byte])

    def command(self, line):
        # A Hayes modem starts a command at "AT" and ignores what came before it,
        # such as an escape sequence that was not followed by a carriage return.
        upper = line.upper()
        start = upper.find(b"AT")
        if start < 0:
            return
        text = line[start:].decode("latin-1")
        self.log("CMD " + text)
        mode, late = self.mode()
        if mode == "silent":
            return
        due = time.monotonic() + (late if mode == "late" else 0.0)
        self.pending.append((due, b"OK\r\n"))
        self.flush_replies()

    def flush_replies(self):
        now = time.monotonic()
        keep = []
        for due, reply in self.pending:
            if due <= now and self.opens > 0:
                try:
                    os.write(self.master, reply)
                    self.log("REPLY " + reply.decode("latin-1").strip())
                except OSError:
                    pass
            else:
                keep.append((due, reply))
        self.pending = keep

    def run(self):
        print("READY " + self.device, flush=True)
        poller = select.poll()
        if self.inotify.fd >= 0:
            poller.register(self.inotify.fd, select.POLLIN)
        watching_master = False
        master_was_hung_up = True
        while True:
            want_master = self.opens > 0 or self.inotify.fd < 0
            if want_master != watching_master:
                if want_master:
                    poller.register(self.master, select.POLLIN)
                else:
                    poller.unregister(self.master)
                watching_master = want_master
            timeout = 200
            if self.pending:
                wait = min(due for due, _ in self.pending) - time.monotonic()
                timeout = max(0, min(timeout, int(wait * 1000) + 1))
            ready = poller.poll(timeout)
            hung_up = False
            for fd, flags in ready:
                if fd == self.inotify.fd:
                    # A close and the next open may both be behind us already, with
                    # the bytes of both sessions in the master. Nothing tells them
                    # apart, so read everything first: the command parser skips the
                    # unterminated hang-up escape, and replies wait for an open port.
                    masks = self.inotify.events()
                    self.drain()
                    for mask in masks:
                        if mask & IN_OPEN:
                            self.opened()
                        elif mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE):
                            self.closed()
                elif fd == self.master:
                    if flags & select.POLLIN:
                        self.drain()
                    if flags & select.POLLHUP:
                        hung_up = True
            if self.inotify.fd < 0:
                # Fallback: the master hangs up while nobody has the device open.
                if hung_up and not master_was_hung_up:
                    self.closed()
                elif not hung_up and master_was_hung_up and ready:
                    self.opened()
                master_was_hung_up = hung_up
            if hung_up:
                time.sleep(0.005)  # a hung-up master stays readable; don't spin
            self.flush_replies()

    def stop(self):
        try:
            if os.path.islink(self.link) and os.readlink(self.link) == self.device:
                os.unlink(self.link)
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser(description="Hayes modem simulator on a pty")
    parser.add_argument("--link", required=True)
    parser.add_argument("--capture")
    parser.add_argument("--events")
    parser.add_argument("--mode", choices=["ok", "silent", "late"], default="ok")
    parser.add_argument("--late", type=float, default=3.0)
    parser.add_argument("--control")
    args = parser.parse_args()

    modem = Modem(args)

    def stop(_signum, _frame):
        modem.stop()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        modem.run()
    finally:
        modem.stop()


if __name__ == "__main__":
    main()
