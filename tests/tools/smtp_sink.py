#!/usr/bin/python3
"""smtp_sink.py --dir OUTDIR [--port 0]: an SMTP server on 127.0.0.1 (port 0: a free one)
for the mail tests. It prints its port as its first line and keeps each message as
OUTDIR/msg-N.json (N from 1): {"mail_from": ..., "rcpt_tos": [...], "data": "<text>"}.
It ends on SIGTERM or SIGINT, when its standard input closes, or after a day."""

import argparse
import asyncio
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Keeper:
    def __init__(self, outdir):
        self.outdir, self.count = outdir, 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.outdir, "msg-%d.json" % self.count)
        with open(path + ".part", "w", encoding="utf-8") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": list(envelope.rcpt_tos),
                       "data": envelope.original_content.decode("utf-8", errors="replace")}, f)
        os.replace(path + ".part", path)
        return "250 OK"


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    keeper, loop = Keeper(args.dir), asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(keeper, hostname="sink.invalid"), "127.0.0.1", args.port)
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
