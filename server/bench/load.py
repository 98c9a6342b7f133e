#!/usr/bin/env python3
"""Load client for the reference script: N simulated clients poll as the real client does while a
publisher posts through the API at a steady rate. Reports delivery latency (from the API call's
return to the answer that carries the message), API latency, lost, duplicated and out-of-order
messages, errors, and the memory (PSS) and CPU of the deployment per waiting client.

Loopback only, bounded in count and time. It starts its own deployment (stack.py) unless --url
points at one already running on 127.0.0.0/8.

    python3 server/bench/load.py --deployment nchan --clients 1000 --rate 20 --seconds 20
"""

import argparse
import asyncio
import ipaddress
import json
import os
import random
import statistics
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stack  # noqa: E402

STALL_SECONDS = 60  # the real client's stall time-out


def field_list(body):
    """Decodes a field list as the client does: never fails, stops at the first bad length."""
    strings = []
    if not body or not body[:1].isdigit() or body[:1] == b"0":
        return {}
    width = int(body[:1])
    pos = 1
    while pos + width <= len(body):
        text = body[pos:pos + width].strip(b" ")
        if not text.isdigit():
            break
        length = int(text)
        pos += width
        if length == 10 ** width - 1:
            length = len(body) - pos
        strings.append(body[pos:pos + length])
        pos += length
    if len(strings) % 2:
        strings.append(b"")
    return {strings[i]: strings[i + 1] for i in range(0, len(strings), 2)}


class HttpConnection:
    """One kept-alive HTTP/1.1 connection, as the client's transport keeps it."""

    def __init__(self, host, port, source=None):
        self.host, self.port, self.source = host, port, source
        self.reader = self.writer = None

    async def request(self, method, path, body, headers):
        for attempt in (0, 1):
            fresh = self.writer is None
            if fresh:
                local = (self.source, 0) if self.source else None
                self.reader, self.writer = await asyncio.open_connection(self.host, self.port, local_addr=local)
            head = f"{method} {path} HTTP/1.1\r\nHost: {self.host}:{self.port}\r\nContent-Length: {len(body)}\r\n"
            head += "".join(f"{k}: {v}\r\n" for k, v in headers.items()) + "\r\n"
            try:
                self.writer.write(head.encode() + body)
                await self.writer.drain()
                return await self._answer()
            except (ConnectionError, asyncio.IncompleteReadError) as error:
                self.close()
                # A kept connection the server closed while idle: once more on a new one.
                if fresh or attempt == 1 or getattr(error, "partial", b"x") != b"":
                    raise
        raise ConnectionError("unreachable")

    async def _answer(self):
        status_line = await self.reader.readuntil(b"\r\n")
        status = int(status_line.split()[1])
        length, chunked, close = None, False, False
        while True:
            line = await self.reader.readuntil(b"\r\n")
            if line == b"\r\n":
                break
            name, _, value = line.decode("latin-1").partition(":")
            name, value = name.strip().lower(), value.strip().lower()
            if name == "content-length":
                length = int(value)
            elif name == "transfer-encoding" and "chunked" in value:
                chunked = True
            elif name == "connection" and value == "close":
                close = True
        if chunked:
            body = b""
            while True:
                size = int((await self.reader.readuntil(b"\r\n")).split(b";")[0], 16)
                body += await self.reader.readexactly(size)
                await self.reader.readuntil(b"\r\n")
                if size == 0:
                    break
        elif length is not None:
            body = await self.reader.readexactly(length)
        else:
            body = await self.reader.read()
            close = True
        if close:
            self.close()
        return status, body

    def close(self):
        if self.writer is not None:
            self.writer.close()
        self.reader = self.writer = None


class Run:
    def __init__(self, args, poll_urls, api_url):
        self.args = args
        self.poll_urls = poll_urls
        self.api_url = api_url
        self.expected = {}      # (user, seq) -> API return time
        self.received = {}      # (user, seq) -> arrival time
        self.duplicates = 0
        self.out_of_order = 0
        self.errors = {}
        self.api_latency = []
        self.polls = 0
        self.timer_waits = 0
        self.wakes = 0
        self.idle_answers = 0
        self.first_polls = 0
        self.slowest_poll = 0.0  # seconds, of the polls that were answered
        self.stop = False

    def source_address(self, number, host):
        """Clients come from their own loopback addresses, a few to each, as customers come from
        theirs: the site's per-address limits see them as it sees real ones."""
        if not host.startswith("127.") or self.args.clients_per_address <= 0:
            return None
        group = number // self.args.clients_per_address
        return f"127.1.{group // 250 % 256}.{1 + group % 250}"

    def error(self, kind):
        self.errors[kind] = self.errors.get(kind, 0) + 1

    async def client(self, number):
        user = f"u{number}"
        url = urllib.parse.urlsplit(self.poll_urls[number % len(self.poll_urls)])
        connection = HttpConnection(url.hostname, url.port, self.source_address(number, url.hostname))
        headers = {"Content-Type": "application/x-www-form-urlencoded", "User-Agent": "WinHTTP", "Accept": "text/html, */*"}
        index = 0
        first = True
        try:
            while not self.stop:
                body = f"User={user}&Pass=pw&Index={index}".encode()
                self.polls += 1
                if first:
                    self.first_polls += 1
                    first = False
                asked = time.monotonic()
                try:
                    status, answer = await asyncio.wait_for(connection.request("POST", url.path, body, headers), STALL_SECONDS)
                    self.slowest_poll = max(self.slowest_poll, time.monotonic() - asked)
                except asyncio.TimeoutError:
                    self.error("poll time-out")
                    connection.close()
                    continue
                except (OSError, asyncio.IncompleteReadError, ValueError, IndexError) as error:
                    self.error("poll " + type(error).__name__)
                    connection.close()
                    await asyncio.sleep(self.args.timer)
                    continue
                now = time.monotonic()
                if status != 200:
                    self.error(f"poll status {status}")
                    await asyncio.sleep(self.args.timer)
                    continue
                fields = field_list(answer)
                if fields.get(b"Deny"):
                    self.error("poll refused")
                    await asyncio.sleep(self.args.timer)
                    continue
                if all(fields.get(name) for name in (b"Index", b"Header", b"Title", b"Message")):
                    idx = int(fields[b"Index"])
                    seq = int(fields[b"Title"].split(b" ")[1])
                    if idx <= index:
                        self.out_of_order += 1
                    index = max(index, idx)
                    if (user, seq) in self.received:
                        self.duplicates += 1
                    else:
                        self.received[(user, seq)] = now
                # Told apart by their fields: a held poll's answer may come with wider length fields.
                if fields.get(b"Again") == b"Wake":
                    self.wakes += 1
                elif fields.get(b"Again") == b"1":
                    self.idle_answers += 1
                if len(answer.strip(bytes(range(33)))) <= 1:
                    self.timer_waits += 1
                    await asyncio.sleep(self.args.timer)
        finally:
            connection.close()

    async def publisher(self, count, deadline):
        url = urllib.parse.urlsplit(self.api_url)
        connection = HttpConnection(url.hostname, url.port)
        headers = {"Authorization": f"Bearer {stack.TOKEN}", "Content-Type": "application/json"}
        start = time.monotonic()
        rng = random.Random(7)
        for seq in range(count):
            await asyncio.sleep(max(0.0, start + seq / self.args.rate - time.monotonic()))
            if time.monotonic() > deadline:
                self.error("api calls not made: the run's time limit")
                break
            if self.args.to_everyone:
                users = [f"u{number}" for number in range(1, self.args.clients + 1)]
                to = "*"
            else:
                users = [f"u{rng.randint(1, self.args.clients)}" for _ in range(self.args.fanout)]
                to = users
            body = json.dumps({"to": to, "title": f"load {seq}", "html": f"<p>message {seq}</p>"}).encode()
            sent = time.monotonic()
            try:
                status, answer = await asyncio.wait_for(connection.request("POST", url.path + "/messages", body, headers), 60)
            except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError) as error:
                self.error("api " + type(error).__name__)
                connection.close()
                continue
            returned = time.monotonic()
            if status != 201:
                self.error(f"api status {status}")
                continue
            self.api_latency.append(returned - sent)
            for user in set(users):
                self.expected[(user, seq)] = returned
        connection.close()
        return time.monotonic() - start


def percentile(values, share):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def usage(deployment):
    """{name: (PSS KiB, CPU seconds)} of the deployment's processes."""
    found = {}
    if deployment is None:
        return found
    for name, pids in deployment.processes().items():
        found[name] = (sum(stack.pss_kib(p) for p in pids), sum(stack.cpu_seconds(p) for p in pids))
    return found


async def run_load(args, deployment, poll_urls, api_url):
    run = Run(args, poll_urls, api_url)
    # Whatever happens, a report comes before the hard limit: posting and draining stop here.
    deadline = time.monotonic() + args.limit - 70
    idle = usage(deployment)
    clients = []
    ramp_start = time.monotonic()
    # Come online at a bounded pace, as clients do, so the listen queues never overflow.
    for number in range(1, args.clients + 1):
        clients.append(asyncio.ensure_future(run.client(number)))
        if number % 50 == 0:
            await asyncio.sleep(max(0.0, ramp_start + number / args.ramp_rate - time.monotonic()))
    while run.first_polls < args.clients and time.monotonic() - ramp_start < args.ramp_limit:
        await asyncio.sleep(0.1)
    await asyncio.sleep(args.settle)
    # Every client waiting in nginx: PHP has answered all first polls and is down to the idle
    # re-polls. (Polls held in PHP keep looking for messages: there the settling time must do.)
    settle_end = time.monotonic() + 60
    while deployment is not None and deployment.nchan and time.monotonic() < settle_end:
        before = usage(deployment).get("php-fpm", (0, 0))[1]
        await asyncio.sleep(1)
        if usage(deployment).get("php-fpm", (0, 0))[1] - before < 0.05 + args.clients / args.hold * 0.004:
            break
    waiting = usage(deployment)
    messages = int(args.rate * args.seconds)
    cpu_before = {k: v[1] for k, v in waiting.items()}
    publish_seconds = await run.publisher(messages, deadline)
    busy = usage(deployment)
    # Drain: every message must arrive within a hold plus the client's timer.
    drain_end = min(time.monotonic() + args.drain, deadline + 60)
    while time.monotonic() < drain_end and any(key not in run.received for key in run.expected):
        await asyncio.sleep(0.1)
    run.stop = True
    for task in clients:
        task.cancel()
    await asyncio.gather(*clients, return_exceptions=True)

    latencies = [run.received[k] - t for k, t in run.expected.items() if k in run.received]
    # Later than the bound: with nginx holding the wait, a wait that was not woken (the message
    # came with a later poll); with PHP alone, also a client sent to its timer.
    late = sum(1 for latency in latencies if latency > args.late_after)
    lost = sum(1 for k in run.expected if k not in run.received)
    unexpected = sum(1 for k in run.received if k not in run.expected)
    pss_idle = sum(v[0] for v in idle.values())
    pss_waiting = sum(v[0] for v in waiting.values())
    report = {
        "deployment": args.deployment,
        "database": args.database,
        "clients": args.clients,
        "messages_posted": len(run.api_latency),
        "deliveries_expected": len(run.expected),
        "delivered": len(latencies),
        "lost": lost,
        "late": late,
        "late_after_s": args.late_after,
        "duplicated": run.duplicates,
        "out_of_order": run.out_of_order,
        "unexpected": unexpected,
        "errors": run.errors,
        "polls": run.polls,
        "empty_answers": run.timer_waits,
        "wake_answers": run.wakes,
        "idle_answers": run.idle_answers,
        "slowest_poll_s": round(run.slowest_poll, 1),
        "publish_rate": round(len(run.api_latency) / publish_seconds, 1) if publish_seconds else 0,
        "delivery_ms": {"median": ms(statistics.median(latencies) if latencies else float("nan")),
                        "p95": ms(percentile(latencies, 0.95)), "max": ms(max(latencies, default=float("nan")))},
        "api_ms": {"median": ms(statistics.median(run.api_latency) if run.api_latency else float("nan")),
                   "p95": ms(percentile(run.api_latency, 0.95)), "max": ms(max(run.api_latency, default=float("nan")))},
        "pss_mib": {name: round(v[0] / 1024, 1) for name, v in waiting.items()},
        "pss_kib_per_waiting_client": round((pss_waiting - pss_idle) / args.clients, 1) if args.clients else 0,
        "cores_while_publishing": {name: round((busy[name][1] - cpu_before.get(name, 0)) / publish_seconds, 2)
                                   for name in busy} if publish_seconds else {},
    }
    return report


def ms(seconds):
    return round(seconds * 1000, 1)


def loopback(url):
    host = urllib.parse.urlsplit(url).hostname or ""
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return host == "localhost"


def measure(argv=None):
    """Runs the load the arguments describe; gives the report."""
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--deployment", choices=["nchan", "nchan-2nodes", "php"], default="nchan")
    parser.add_argument("--database", choices=["sqlite", "postgresql"], default="sqlite",
                        help="postgresql: a private server started for the run")
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--rate", type=float, default=10, help="posts per second")
    parser.add_argument("--seconds", type=float, default=10, help="how long to post")
    parser.add_argument("--fanout", type=int, default=1, help="recipients per post")
    parser.add_argument("--to-everyone", action="store_true", help='every post to "*", every user')
    parser.add_argument("--timer", type=float, default=5, help="the client's poll interval, seconds")
    parser.add_argument("--hold", type=int, default=25, help="long_poll_seconds")
    parser.add_argument("--poll-children", type=int, default=None, help="the poll pool's size")
    parser.add_argument("--nginx-workers", type=int, default=1)
    parser.add_argument("--php-cores", type=float, default=None,
                        help="a busy machine: PHP-FPM gets at most this many cores (needs root and cgroup v1's cpu)")
    parser.add_argument("--clients-per-address", type=int, default=10,
                        help="clients sharing one loopback source address (0: all from the system's choice)")
    parser.add_argument("--max-held-polls", type=int, default=None)
    parser.add_argument("--late-after", type=float, default=2.0,
                        help="a delivery later than this many seconds counts as late")
    parser.add_argument("--settle", type=float, default=2)
    parser.add_argument("--ramp-rate", type=float, default=250, help="clients coming online per second")
    parser.add_argument("--ramp-limit", type=float, default=180)
    parser.add_argument("--drain", type=float, default=None, help="seconds to wait for the last deliveries")
    parser.add_argument("--limit", type=float, default=600, help="the whole run's hard limit, seconds (at least 120)")
    parser.add_argument("--url", help="a running deployment's base URL on loopback (users u1..uN, password pw)")
    parser.add_argument("--check", action="store_true", help="exit 1 on any loss, duplicate, disorder or error")
    args = parser.parse_args(argv)
    deliveries = args.rate * args.seconds * (args.clients if args.to_everyone else args.fanout)
    if not 1 <= args.clients <= 12000 or deliveries > 200000 or not 120 <= args.limit <= 1800:
        parser.error("bounded: at most 12,000 clients, 200,000 deliveries and 30 minutes")
    if args.drain is None:
        args.drain = args.hold + args.timer + 10
    stack.raise_file_limit()

    deployment = None
    if args.url:
        if not loopback(args.url):
            parser.error("loopback addresses only")
        poll_urls = [args.url + "/poll.php"]
        api_url = args.url + "/api.php"
    else:
        nchan = args.deployment != "php"
        children = args.poll_children or (16 if nchan else 200)
        deployment = stack.Stack(nchan=nchan, nodes=2 if args.deployment == "nchan-2nodes" else 1, users=args.clients,
                                 hold_seconds=args.hold, poll_children=children, nginx_workers=args.nginx_workers,
                                 max_held_polls=args.max_held_polls, database=args.database, php_cores=args.php_cores)
        deployment.__enter__()
        # With several nodes every poll waits on the first and every post goes to the last.
        poll_urls = [deployment.nodes[0].url + "/poll.php"]
        api_url = deployment.nodes[-1].url + "/api.php"
    try:
        report = asyncio.run(asyncio.wait_for(run_load(args, deployment, poll_urls, api_url), args.limit))
    finally:
        if deployment is not None:
            deployment.__exit__(None, None, None)
    report["check"] = args.check
    return report


def faults(report):
    """What a run may not show at any load: loss, duplicates, disorder, errors, nothing delivered."""
    found = {key: report[key] for key in ("lost", "duplicated", "out_of_order", "unexpected") if report[key]}
    if report["errors"]:
        found["errors"] = report["errors"]
    if report["delivered"] == 0:
        found["delivered"] = 0
    return found


def main(argv=None):
    report = measure(argv)
    print(json.dumps(report, indent=1))
    return 1 if report.pop("check") and faults(report) else 0


if __name__ == "__main__":
    sys.exit(main())
