#!/usr/bin/env python3
"""A complete Quorvel web script in Python, the protocol of docs/protocol.md and nothing else.

    quorvel_script.py PORT USER PASSWORD     (PORT 0: a free one, printed on the first line)

The Script URL is http://127.0.0.1:PORT/ (any path). The site adds a message with a POST to
/post (fields title, message); forms in messages may post to /reply. One user, messages in memory.
"""
import sys, threading, urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

def field_list(pairs):  # width d: every length at most 10**d - 2, so none reads as the rest marker
    strings = [s.encode() for pair in pairs for s in pair]
    d = next(d for d in range(1, 10) if max(map(len, strings)) <= 10**d - 2)
    return str(d).encode() + b"".join(str(len(s)).zfill(d).encode() + s for s in strings)

USER, PASSWORD = sys.argv[2], sys.argv[3]
messages, arrived = [], threading.Condition()  # messages[i] has Index i + 1

class Script(BaseHTTPRequestHandler):
    def do_POST(self):
        raw = self.rfile.read(min(int(self.headers.get("Content-Length") or 0), 1 << 20))
        form = dict(urllib.parse.parse_qsl(raw.decode("ascii", "replace"), keep_blank_values=True))
        if self.path == "/post":  # the site's own code adds a message
            with arrived:
                messages.append((form["title"], form["message"])); arrived.notify_all()
            body = b"posted %d" % len(messages)
        elif (form.get("User"), form.get("Pass")) != (USER, PASSWORD):
            body = field_list([("Deny", "Unknown user name or wrong password.")])
            if self.path == "/reply": body = b"<p>Not accepted: wrong user name or password.</p>"
        elif self.path == "/reply":  # a form in a message was submitted
            fields = {k: v for k, v in form.items() if k not in ("User", "Pass")}
            print("reply:", fields, flush=True)
            body = ("<p>Thank you, received: %s</p>" % ", ".join(sorted(fields))).encode()
        else:  # a poll: the first message above Index, held up to 25 s (long polling)
            index = int(form["Index"]) if form.get("Index", "").isdigit() else 0
            with arrived:
                if arrived.wait_for(lambda: len(messages) > index, timeout=25):
                    title, html = messages[index]
                    body = field_list([("Index", str(index + 1)), ("Header", title), ("Title", title), ("Message", html)])
                else:
                    body = field_list([("Again", "1")])  # no message, but more than one byte: poll again at once
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass

server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Script)
print(server.server_address[1], flush=True)
server.serve_forever()
