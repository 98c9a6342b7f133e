#!/usr/bin/env python3
"""A small web script for trying Quorvel out: it hands out a few realistic messages.

It speaks the client's poll protocol on 127.0.0.1: every poll is a POST with the form fields
User, Pass and Index; the answer is one message whose Index is above the client's, as a field
list, or an empty body when the client has everything. Relative links in the messages (the
order page, the reply form's action, a picture) are served here too.

    scripts/demo-script.py [--port N] [--port-file FILE] [--user demo] [--password demo]
                           [--delay SECONDS] [--every SECONDS] [--verbose]
"""

import argparse
import base64
import html
import os
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 1 << 20
MAX_EXTRA_ORDERS = 50


def log(text):
    sys.stderr.write("demo-script: " + text + "\n")
    sys.stderr.flush()


def encode_field_list(fields):
    """Encodes name/value pairs as a field list: a width digit, then length-prefixed strings."""
    strings = []
    for name, value in fields:
        strings.append(name.encode("utf-8") if isinstance(name, str) else name)
        strings.append(value.encode("utf-8") if isinstance(value, str) else value)
    longest = max((len(s) for s in strings), default=0)
    # One digit more than the longest length needs, so that no length reads as the all-nines
    # "rest of the text" marker.
    width = min(9, len(str(longest)) + 1)
    out = bytearray(str(width).encode("ascii"))
    for s in strings:
        out += str(len(s)).rjust(width, "0").encode("ascii")
        out += s
    return bytes(out)


def make_png(width, height, pixel):
    """A PNG made with the standard library alone; pixel(x, y) gives (r, g, b)."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + chunk(b"IEND", b""))


def sunrise(x, y):
    # A little picture: sky fading to orange above a green hill.
    if (x - 60) ** 2 + (y - 150) ** 2 < 90 ** 2 and y > 70:
        return (60, 150 - y // 4, 70)
    if (x - 90) ** 2 + (y - 62) ** 2 < 18 ** 2:
        return (255, 214, 90)
    return (40 + y * 2, 90 + y, 200 - y)


SUNRISE_PNG = make_png(160, 100, sunrise)
BADGE_PNG = make_png(24, 24, lambda x, y: (224, 69, 123) if (x - 12) ** 2 + (y - 12) ** 2 < 100 else (255, 255, 255))

STYLE = ("<style>body{font-family:sans-serif;font-size:10pt;margin:8px}"
         "table{border-collapse:collapse}td,th{border:1px solid #889;padding:2px 6px}"
         "th{background:#dde3ea}.total{font-weight:bold}</style>")


def order_message(index, number, customer, items):
    rows = "".join(
        f"<tr><td>{html.escape(name)}</td><td align=right>{qty}</td><td align=right>{price:.2f}</td></tr>"
        for name, qty, price in items)
    total = sum(qty * price for _, qty, price in items)
    body = (f"<html><head>{STYLE}</head><body><h3>Order #{number}</h3>"
            f"<p>{html.escape(customer)} has placed an order:</p>"
            f"<table><tr><th>Item</th><th>Qty</th><th>Price (EUR)</th></tr>{rows}"
            f"<tr class=total><td>Total</td><td></td><td align=right>{total:.2f}</td></tr></table>"
            f"<p><a href=\"order.php?id={number}\">Open the order in the shop</a></p></body></html>")
    return {"Index": str(index), "Header": f" Order #{number} from {customer}",
            "Title": f"Order #{number}", "Message": body}


def question_message(index):
    body = (f"<html><head>{STYLE}</head><body><h3>A question from Maria Lindqvist</h3>"
            "<p>Hello! Can you still deliver the walnut desk before the 20th? "
            "We are moving on the 21st.</p>"
            "<form method=post action=\"reply.php\">"
            "<input type=hidden name=question value=\"desk-delivery\">"
            "<p><textarea name=answer rows=3 cols=40>Yes, we can deliver on the 18th.</textarea></p>"
            "<p><input type=submit name=send value=\"Send answer\"></p></form></body></html>")
    return {"Index": str(index), "Header": " Question from Maria Lindqvist",
            "Title": "Question: delivery date", "Message": body}


def picture_message(index):
    inline = base64.b64encode(BADGE_PNG).decode("ascii")
    body = (f"<html><head>{STYLE}</head><body><h3>"
            f"<img src=\"data:image/png;base64,{inline}\" width=24 height=24> New photo in the gallery</h3>"
            "<p>Jonas uploaded a picture to the community gallery:</p>"
            "<p><img src=\"sunrise.png\" width=160 height=100></p>"
            "<p>Sunrise over the hill, taken this morning.</p></body></html>")
    return {"Index": str(index), "Header": " New photo from Jonas",
            "Title": "New photo: Sunrise", "Message": body}


class Script:
    def __init__(self, user, password, delay, every):
        self.user = user
        self.password = password
        self.delay = delay
        self.every = every
        self.lock = threading.Lock()
        self.messages = [
            order_message(1, 1041, "Anna Berg", [("Oak chair", 4, 89.0), ("Seat cushion", 4, 12.5)]),
            question_message(2),
            picture_message(3),
        ]
        self.started = time.monotonic()

    def pending_orders(self):
        # New orders keep coming in while the demo runs, a bounded number of them.
        if self.every <= 0:
            return
        due = min(MAX_EXTRA_ORDERS, int((time.monotonic() - self.started) // self.every))
        while len(self.messages) - 3 < due:
            n = len(self.messages) + 1
            number = 1041 + n - 2
            self.messages.append(order_message(n, number, "Customer %d" % number,
                                               [("Walnut desk", 1, 349.0), ("Delivery", 1, 25.0)]))

    def answer(self, form):
        if form.get("User") != self.user or form.get("Pass") != self.password:
            log("refused user %r" % form.get("User", ""))
            return encode_field_list([("Deny", "Unknown user name or wrong password.\r\n"
                                       "The demo script accepts the user \"%s\"." % self.user)])
        try:
            held = int(form.get("Index", "0"))
        except ValueError:
            held = 0
        with self.lock:
            self.pending_orders()
            for message in self.messages:
                if int(message["Index"]) > held:
                    log("handed out message %s: %s" % (message["Index"], message["Title"]))
                    fields = list(message.items())
                    if self.delay is not None:
                        fields.insert(0, ("Delay", str(self.delay)))
                    return encode_field_list(fields)
        return b""


def make_handler(script, verbose):
    class Handler(BaseHTTPRequestHandler):
        server_version = "QuorvelDemo/1.0"

        def log_message(self, fmt, *args):
            if verbose:
                log(fmt % args)

        def send(self, status, body, content_type="text/html; charset=utf-8"):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def read_form(self):
            try:
                length = int(self.headers.get("Content-Length", "0"))
            except ValueError:
                length = 0
            if length < 0 or length > MAX_BODY:
                return None
            raw = self.rfile.read(length).decode("latin-1")
            return {k: v for k, v in urllib.parse.parse_qsl(raw, keep_blank_values=True, encoding="latin-1")}

        def do_POST(self):
            path = urllib.parse.urlsplit(self.path).path
            form = self.read_form()
            if form is None:
                self.send(413, b"")
                return
            if path.endswith("/reply.php"):
                log("form reply: %s" % ", ".join("%s=%s" % kv for kv in form.items() if kv[0] != "Pass"))
                answer = html.escape(form.get("answer", ""))
                page = (f"<html><head>{STYLE}</head><body><h3>Answer sent</h3>"
                        f"<p>Maria will get your answer:</p><blockquote>{answer}</blockquote></body></html>")
                self.send(200, page.encode("utf-8"))
                return
            self.send(200, script.answer(form), "text/plain; charset=utf-8")

        def do_GET(self):
            parts = urllib.parse.urlsplit(self.path)
            if parts.path.endswith("/sunrise.png"):
                self.send(200, SUNRISE_PNG, "image/png")
            elif parts.path.endswith("/order.php"):
                query = dict(urllib.parse.parse_qsl(parts.query))
                number = html.escape(query.get("id", "?"))
                self.send(200, f"<html><body><h1>Order #{number}</h1><p>Demo shop.</p></body></html>"
                          .encode("utf-8"))
            else:
                self.send(200, b"<html><body><p>This is the Quorvel demo script. "
                               b"Quorvel polls it with POST requests.</p></body></html>")

    return Handler


def main():
    parser = argparse.ArgumentParser(description="Demo web script for Quorvel.")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--port-file", help="write the port chosen to this file once listening")
    parser.add_argument("--user", default="demo")
    parser.add_argument("--password", default="demo")
    parser.add_argument("--delay", type=int, help="send this Delay (seconds) with every message")
    parser.add_argument("--every", type=float, default=20.0,
                        help="a new order arrives every so many seconds (0: never)")
    parser.add_argument("--verbose", action="store_true", help="log every request")
    args = parser.parse_args()

    script = Script(args.user, args.password, args.delay, args.every)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(script, args.verbose))
    server.daemon_threads = True
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(port))
        os.replace(args.port_file + ".tmp", args.port_file)
    log(f"listening on http://127.0.0.1:{port}/script.php (user {args.user!r}, password {args.password!r})")
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
