#!/usr/bin/python3
"""smtp_sink.py --dir OUTDIR [--port 0] [--cert PEM --key PEM --password PW]: an SMTP server on 127.0.0.1 (port 0: a free one)
for the mail tests. It prints its port as its first line and keeps each message as
OUTDIR/msg-N.json (N from 1): {"mail_from": ..., "rcpt_tos": [...], "data": "<text>"}.
With --cert it insists on STARTTLS and then on a login (any user, password PW).
It ends on SIGTERM or after a day."""

import asyncio
import itertools
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult


OPTS, COUNT = dict(zip(sys.argv[1::2], sys.argv[2::2])), itertools.count(1)


class Keeper:
    async def handle_DATA(self, server, session, envelope):
        path = os.path.join(OPTS["--dir"], "msg-%d.json" % next(COUNT))
        with open(path + ".part", "w", encoding="utf-8") as f:  # renamed once whole: readers never see half
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": list(envelope.rcpt_tos),
                       "data": envelope.original_content.decode("utf-8", errors="replace")}, f)
        os.replace(path + ".part", path)
        return "250 OK"


def secure():
    if "--cert" not in OPTS:
        return {}
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(OPTS["--cert"], OPTS["--key"])
    check = lambda srv, ses, env, mech, data: AuthResult(success=data.password == OPTS["--password"].encode())
    return dict(tls_context=ctx, require_starttls=True, auth_required=True, authenticator=check)


async def main():
    os.makedirs(OPTS["--dir"], exist_ok=True)
    server = await asyncio.get_running_loop().create_server(lambda: SMTP(Keeper(), hostname="sink.invalid", **secure()),
                                                            "127.0.0.1", int(OPTS.get("--port", 0)))
    print(server.sockets[0].getsockname()[1], flush=True)
    await asyncio.sleep(86400)  # a signal ends us at once: each message is on disk whole or not at all


asyncio.run(main())
