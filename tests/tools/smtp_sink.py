#!/usr/bin/python3
"""smtp_sink.py --dir OUTDIR [--port 0]: an SMTP server on 127.0.0.1 (port 0: a free one)
for the mail tests. It prints its port as its first line and keeps each message as
OUTDIR/msg-N.json (N from 1): {"mail_from": ..., "rcpt_tos": [...], "data": "<text>"}.
It ends on SIGTERM or SIGINT, when its standard input closes, or after a day."""

import asyncio
import itertools
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Keeper:
    def __init__(self, outdir):
        self.outdir, self.count = outdir, itertools.count(1)

    async def handle_DATA(self, server, session, envelope):
        path = os.path.join(self.outdir, "msg-%d.json" % next(self.count))
        with open(path + ".part", "w", encoding="utf-8") as f:  # renamed once whole: readers never see half
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": list(envelope.rcpt_tos),
                       "data": envelope.original_content.decode("utf-8", errors="replace")}, f)
        os.replace(path + ".part", path)
        return "250 OK"


async def main():
    opts = dict(zip(sys.argv[1::2], sys.argv[2::2]))
    os.makedirs(opts["--dir"], exist_ok=True)
    keeper, loop = Keeper(opts["--dir"]), asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(keeper, hostname="sink.invalid"), "127.0.0.1",
                                      int(opts.get("--port", 0)))
    print(server.sockets[0].getsockname()[1], flush=True)
    stop = loop.create_future()
    done = lambda: stop.done() or stop.set_result(None)  # noqa: E731
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, done)
    loop.add_reader(sys.stdin.fileno(), lambda: sys.stdin.buffer.read1(4096) or done())
    await asyncio.wait([stop], timeout=86400)
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
