#!/usr/bin/python3
"""Feeds a steady 441 Hz tone into a PulseAudio pipe source at real-time pace.

usage: pulse-feed.py FIFO LEFT RIGHT

LEFT and RIGHT are the peak amplitudes of the two channels (0..32767); 0 0 feeds
digital silence. Writes 10 ms chunks of 44100 Hz 16-bit stereo paced by the
monotonic clock until it is killed or the source goes away.
"""
import fcntl
import math
import os
import signal
import struct
import sys
import time

RATE = 44100
CHUNK_FRAMES = 441  # 10 ms
PERIOD = 100  # frames per cycle: 441 Hz, and every cycle holds the exact crest


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    fifo = sys.argv[1]
    left, right = (max(0, min(32767, int(v))) for v in sys.argv[2:4])
    cycle = b"".join(
        struct.pack("<hh", round(left * s), round(right * s))
        for s in (math.sin(2 * math.pi * i / PERIOD) for i in range(PERIOD))
    )
    # 441 frames is 4.41 cycles; a block of 100 chunks holds whole cycles.
    block = cycle * (CHUNK_FRAMES * 100 // PERIOD)
    chunk_bytes = CHUNK_FRAMES * 4
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    fd = os.open(fifo, os.O_WRONLY)
    try:
        # A small pipe keeps what reaches the source close to "now".
        fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, 8192)
    except (AttributeError, OSError):
        pass
    due = time.monotonic()
    i = 0
    try:
        while True:
            now = time.monotonic()
            if due - now > 0:
                time.sleep(due - now)
            elif now - due > 0.5:
                due = now  # we were stopped for a while: do not flood the source
            offset = (i % 100) * chunk_bytes
            os.write(fd, block[offset:offset + chunk_bytes])
            i += 1
            due += CHUNK_FRAMES / RATE
    except (BrokenPipeError, OSError):
        pass


if __name__ == "__main__":
    main()
