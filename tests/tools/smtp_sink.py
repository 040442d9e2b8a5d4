#!/usr/bin/python3
"""A local SMTP server for the mail tests: it accepts every message and keeps it.

    /usr/bin/python3 smtp_sink.py --dir OUTDIR [--host 127.0.0.1] [--port 0]

Binds host:port (port 0 picks a free one), prints the port on the first line of
stdout, then writes each message it receives to OUTDIR/msg-N.json (N from 1) as
{"mail_from": ..., "rcpt_tos": [...], "data": "<message text>"}. It stops on
SIGTERM or SIGINT, or when its standard input is closed.
"""

import argparse
import asyncio
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Keeper:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        content = envelope.original_content or envelope.content
        if isinstance(content, bytes):
            content = content.decode("utf-8", errors="replace")
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "data": content,
        }
        path = os.path.join(self.outdir, "msg-%d.json" % self.count)
        with open(path + ".part", "w", encoding="utf-8") as f:
            json.dump(record, f)
        os.replace(path + ".part", path)
        return "250 OK"


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)

    loop = asyncio.get_running_loop()
    keeper = Keeper(args.dir)
    server = await loop.create_server(
        lambda: SMTP(keeper, hostname="sink.invalid", decode_data=False),
        args.host, args.port)
    print(server.sockets[0].getsockname()[1], flush=True)

    stop = loop.create_future()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))

    def stdin_closed():
        if not sys.stdin.buffer.read1(4096) and not stop.done():
            stop.set_result(None)

    loop.add_reader(sys.stdin.fileno(), stdin_closed)
    await stop
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
