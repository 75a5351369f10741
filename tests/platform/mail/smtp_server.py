#!/usr/bin/env python3
"""A loopback SMTP server for the mail client's tests.

Prints the port it listens on, then serves until stdin closes. Every
accepted message is written to --dir as N.eml, with N.json describing it as
Python's email package reads it; every connection is counted in
connections.txt.
"""
import argparse, asyncio, hashlib, json, os, socket, ssl, sys
from email import policy
from email.parser import BytesParser
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, out, refuse, sink=False):
        self.out, self.refuse, self.count, self.connections = out, refuse, 0, 0
        self.sink = sink

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        if not getattr(session, "counted", False):
            session.counted = True
            self.connections += 1
            with open(os.path.join(self.out, "connections.txt"), "w") as f:
                f.write(str(self.connections))
        session.host_name = hostname
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.sink:
            return "250 Message accepted for delivery"
        base = os.path.join(self.out, str(self.count))
        data = envelope.original_content or envelope.content
        # Read as a Maildir delivery would store it: Python's decoder does not
        # join quoted-printable soft breaks followed by CRLF.
        msg = BytesParser(policy=policy.default).parsebytes(data.replace(b"\r\n", b"\n"))
        body = msg.get_body(preferencelist=("plain",))
        info = {
            "from": envelope.mail_from,
            "rcpt": envelope.rcpt_tos,
            "subject": str(msg["subject"]),
            "to": str(msg["to"]),
            "body": body.get_content() if body else "",
            "attachments": [[a.get_filename(), hashlib.sha1(a.get_content()).hexdigest()]
                            for a in msg.iter_attachments()],
            "max_line": max(len(l) for l in data.split(b"\r\n")),
        }
        with open(base + ".eml", "wb") as f:
            f.write(data)
        with open(base + ".json", "w") as f:
            json.dump(info, f)
        return "250 Message accepted for delivery"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    p.add_argument("--auth", help="user:password")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--sink", action="store_true", help="accept and drop (benchmarks)")
    a = p.parse_args()
    ctx = None
    if a.mode != "plain":
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(a.cert, a.key)
    kwargs = {}
    if a.auth:
        user, password = a.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = auth_data.login == user.encode() and auth_data.password == password.encode()
            return AuthResult(success=ok, handled=False)

        # aiosmtpd only counts STARTTLS as TLS; with TLS from the start the
        # whole session is encrypted anyway.
        kwargs.update(authenticator=authenticator, auth_required=True,
                      auth_require_tls=a.mode == "starttls")
    if a.mode == "starttls":
        kwargs.update(tls_context=ctx, require_starttls=True)
    elif a.mode == "tls":
        kwargs.update(ssl_context=ctx)
    port = free_port()
    c = Controller(Handler(a.dir, set(a.refuse), a.sink), hostname="127.0.0.1", port=port,
                   server_hostname="localhost", **kwargs)
    c.start()
    print(port, flush=True)
    sys.stdin.read()
    c.stop()


if __name__ == "__main__":
    main()
