"""The two deployments of docs/server.md, started from server/deploy/ on loopback, on SQLite and
on a private PostgreSQL server: no message lost or duplicated under load, none late where nginx
holds the wait, the budget of polls held in PHP, the API beside held polls, the
internal locations out of reach, and delivery across two nodes that share Redis.

    python3 -m unittest discover -s server/bench -p 'test_*.py' -v
"""

import json
import os
import socket
import subprocess
import sys
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import load  # noqa: E402
import stack  # noqa: E402

CLIENTS = int(os.environ.get("QUORVEL_LOAD_CLIENTS", "300"))
WOKEN = b"15Again4Wake"  # NchanHold::WAKE_ANSWER, for a message too large to carry; a time-out answers 15Again11


def carried(body):
    """The Index and Title of the message an answer carries, or None."""
    fields = load.field_list(body)
    return (fields[b"Index"], fields[b"Title"]) if fields.get(b"Message") else None
# Time for a poll to pass PHP and wait in nginx before a post, also on a machine busy with builds.
REACH_NGINX_SECONDS = 1.5


def skip_unless_tools(nchan, redis=False, postgresql=False):
    missing = stack.missing_tools(nchan, redis, postgresql)
    return unittest.skipIf(missing, "not installed: " + " ".join(missing))


def http(method, url, body=None, headers=None, timeout=30):
    request = urllib.request.Request(url, data=body, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def post_message(base, to, title):
    return http("POST", base + "/api.php/messages", json.dumps({"to": to, "title": title, "text": "x"}).encode(),
                {"Authorization": "Bearer " + stack.TOKEN, "Content-Type": "application/json"})


class RawPoll:
    """A poll on a socket of its own, sent now and read later."""

    def __init__(self, port, user, index=0):
        body = f"User={user}&Pass=pw&Index={index}".encode()
        self.data = b""
        self.finished = False
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=60)
        self.socket.sendall(b"POST /poll.php HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                            + f"Content-Length: {len(body)}\r\n\r\n".encode() + body)

    def answered(self):
        """Whether the whole answer has arrived (without waiting). A poll held in PHP writes to
        its client while it waits, so its first bytes do not tell."""
        if not self.finished:
            self.socket.setblocking(False)
            try:
                while chunk := self.socket.recv(65536):
                    self.data += chunk
                self.finished = True
            except BlockingIOError:
                pass
            finally:
                self.socket.setblocking(True)
        return self.finished

    def body(self):
        while not self.finished:
            chunk = self.socket.recv(65536)
            self.data += chunk
            self.finished = chunk == b""
        self.socket.close()
        head, _, body = self.data.partition(b"\r\n\r\n")
        assert head.split()[1] == b"200", head
        return body


class LoadTest(unittest.TestCase):
    @skip_unless_tools(nchan=True, redis=True)
    def test_every_message_arrives_exactly_once_in_order(self):
        deployments = [
            ("nchan", ["--hold", "10"]),
            # Two workers share the channels between them: no wake-up may go astray there either.
            ("nchan", ["--hold", "10", "--nginx-workers", "2"]),
            ("nchan-2nodes", ["--hold", "10"]),
            # More clients than the poll pool: the rest fall back to their timer.
            ("php", ["--hold", "10", "--poll-children", "40", "--timer", "2"]),
        ]
        for deployment, extra in deployments:
            with self.subTest(deployment=deployment, options=" ".join(extra)):
                report = load.measure(["--deployment", deployment, "--clients", str(CLIENTS), "--rate", "20",
                                       "--seconds", "5", "--fanout", "3", "--limit", "240"] + extra)
                self.assertEqual({}, load.faults(report), json.dumps(report))
                self.assertEqual(report["deliveries_expected"], report["delivered"])
                if deployment != "php":
                    # A wait not woken would deliver at the next poll, after the 10 s hold.
                    self.assertEqual(0, report["late"], "every wait was woken: " + json.dumps(report))

    @skip_unless_tools(nchan=True, postgresql=True)
    def test_on_postgresql_every_message_arrives_exactly_once(self):
        # A private server the stack starts; PHP keeps one connection per worker.
        deployments = [
            ("nchan", ["--hold", "10", "--nginx-workers", "2"]),
            ("php", ["--hold", "10", "--poll-children", "40", "--timer", "2"]),
        ]
        for deployment, extra in deployments:
            with self.subTest(deployment=deployment):
                report = load.measure(["--deployment", deployment, "--database", "postgresql", "--clients",
                                       str(CLIENTS), "--rate", "20", "--seconds", "5", "--fanout", "3", "--limit", "240"]
                                      + extra)
                self.assertEqual({}, load.faults(report), json.dumps(report))
                self.assertEqual(report["deliveries_expected"], report["delivered"])
                self.assertIn("postgresql", report["pss_mib"], "the server's memory is counted")
                if deployment != "php":
                    self.assertEqual(0, report["late"], "every wait was woken: " + json.dumps(report))


@skip_unless_tools(nchan=False)
class PhpOnlyTest(unittest.TestCase):
    def test_polls_beyond_the_budget_are_answered_at_once_and_the_api_is_not_held_up(self):
        # A poll pool of 4: three polls held, the others answered with the empty body.
        with stack.Stack(nchan=False, users=7, hold_seconds=6, poll_children=4) as deployment:
            node = deployment.nodes[0]
            polls = []
            for number in range(1, 7):
                polls.append(RawPoll(node.port, f"u{number}"))
                time.sleep(0.2)
            held = [poll for poll in polls if not poll.answered()]
            status, _ = post_message(node.url, "u7", "posted while polls are held")
            self.assertEqual(201, status)
            self.assertEqual([], [poll for poll in held if poll.answered()], "the API answered before any held poll")
            # A held poll's answer may come with wider length fields (it wrote to its client
            # meanwhile), so the answers are compared as the client reads them.
            answers = sorted(sorted((k, v) for k, v in load.field_list(poll.body()).items() if k) for poll in polls)
            self.assertEqual(3, len(held))
            self.assertEqual([[]] * 3 + [[(b"Again", b"1")]] * 3, answers)


    def test_a_poll_that_waited_too_long_for_a_worker_is_answered_at_once_and_its_message_comes_next(self):
        # Two workers, both held: the polls behind them wait in the pool's queue until a hold ends.
        config = {"poll_queue_seconds": 2}
        with stack.Stack(nchan=False, users=4, hold_seconds=6, poll_children=2, max_held_polls=2,
                         config=config) as deployment:
            node = deployment.nodes[0]
            held = [RawPoll(node.port, "u1"), RawPoll(node.port, "u2")]
            time.sleep(1)
            self.assertEqual(201, post_message(node.url, "u4", "pending while queued")[0])
            queued = [RawPoll(node.port, "u3"), RawPoll(node.port, "u4")]
            answers = [load.field_list(poll.body()) for poll in held + queued]
            self.assertEqual([{b"Again": b"1"}] * 2, [{k: v for k, v in a.items() if k} for a in answers[:2]])
            self.assertEqual([{}, {}], answers[2:], "late already: the empty answer, not a hold")
            answer = load.field_list(RawPoll(node.port, "u4").body())
            self.assertEqual(b"pending while queued", answer.get(b"Title"), "the message comes with the next poll")


@skip_unless_tools(nchan=True)
class NchanTest(unittest.TestCase):
    def test_the_wait_and_the_wake_up_are_internal(self):
        with stack.Stack(nchan=True, users=1, hold_seconds=2) as deployment:
            base = deployment.nodes[0].url
            for path in ("/quorvel-wait/u1i0", "/wait/u1i0", "/wake/u1i0", "/config.php", "/../src/App.php"):
                for method in ("GET", "POST"):
                    with self.subTest(path=path, method=method):
                        status, _ = http(method, base + path, b"x" if method == "POST" else None)
                        self.assertIn(status, (400, 404))

    def test_an_idle_wait_ends_with_the_idle_answer_and_a_post_ends_it_at_once(self):
        with stack.Stack(nchan=True, users=2, hold_seconds=2) as deployment:
            node = deployment.nodes[0]
            self.assertEqual(b"15Again11", RawPoll(node.port, "u1").body())
            waiting = RawPoll(node.port, "u1")
            other = RawPoll(node.port, "u2")
            time.sleep(REACH_NGINX_SECONDS)
            self.assertEqual(201, post_message(node.url, "u1", "wake")[0])
            self.assertEqual((b"1", b"wake"), carried(waiting.body()), "the wake-up carries the message")
            self.assertTrue(waiting.socket._closed)
            self.assertFalse(other.answered(), "only the recipient's wait ends")
            self.assertIn(b"wake", RawPoll(node.port, "u1").body())
            self.assertEqual(b"15Again11", other.body())
            # Too large to ride along: the plain wake-up, and the next poll fetches it.
            waiting = RawPoll(node.port, "u2")
            time.sleep(REACH_NGINX_SECONDS)
            status, _ = http("POST", node.url + "/api.php/messages",
                             json.dumps({"to": "u2", "title": "large", "html": "x" * 9000}).encode(),
                             {"Authorization": "Bearer " + stack.TOKEN, "Content-Type": "application/json"})
            self.assertEqual(201, status)
            self.assertEqual(WOKEN, waiting.body())
            self.assertEqual((b"1", b"large"), carried(RawPoll(node.port, "u2").body()))

    def test_two_clients_of_one_user_are_both_woken_and_both_get_the_message(self):
        hold = 10
        cases = [
            ("one worker", 1, False),
            ("two workers", 2, False),
            # The first waits in one turn's channel, the second in the next one's.
            ("two workers, the second client in the next turn", 2, True),
        ]
        for name, workers, next_turn in cases:
            with self.subTest(name), stack.Stack(nchan=True, users=1, hold_seconds=hold, nginx_workers=workers) as deployment:
                node = deployment.nodes[0]
                if next_turn:
                    # Start 2.5 s before a turn ends, so that both still wait when the post comes.
                    time.sleep((hold - 2.5 - time.time() % hold) % hold)
                first = RawPoll(node.port, "u1")
                if next_turn:
                    time.sleep(2.5 + 0.05)
                second = RawPoll(node.port, "u1")
                time.sleep(REACH_NGINX_SECONDS)
                self.assertEqual(201, post_message(node.url, "u1", "for both")[0])
                self.assertEqual([(b"1", b"for both")] * 2, [carried(first.body()), carried(second.body())])
                for _ in range(2):
                    answer = load.field_list(RawPoll(node.port, "u1", 0).body())
                    self.assertEqual((b"1", b"for both"), (answer[b"Index"], answer[b"Title"]))

    def test_a_wake_up_published_before_the_wait_begins_answers_it_at_once(self):
        """The one gap a wake-up could fall into: after the poll's look-up found nothing and before
        nginx subscribes. Here the post commits and publishes exactly there (a hold that posts
        first, then hands on as poll.php does), and the wait begins only afterwards."""
        cases = [
            ("the poll's own user", "u1", (b"1", b"between")),
            ("another user", "u2", None),
        ]
        for name, recipient, expected in cases:
            with self.subTest(name), stack.Stack(nchan=True, users=2, hold_seconds=10) as deployment:
                node = deployment.nodes[0]
                channel = self.poll_with_a_post_between(node, recipient)
                self.assertRegex(channel, r"^u1i0t[01]$")
                answer = self.wait_on(node, channel, seconds=3)
                self.assertEqual(expected, answer if answer is None else carried(answer))
                answer = load.field_list(RawPoll(node.port, "u1", 0).body()) if expected else {}
                if expected:
                    self.assertEqual((b"1", b"between"), (answer[b"Index"], answer[b"Title"]),
                                     "a client whose answer was lost gets it with its next poll")

    @staticmethod
    def poll_with_a_post_between(node, recipient):
        """Answers a poll of u1 at Index 0 with PHP's own classes; gives the channel it hands on to."""
        script = os.path.join(node.dir, "between.php")
        with open(script, "w") as f:
            f.write("""<?php
declare(strict_types=1);
require %s;
use Quorvel\\Server\\{App, ClientLine, Hold, Http, NchanHold, Poller};
$app = App::fromEnvironment();
$channel = '';
$handOn = new NchanHold('/quorvel-wait/', null, '/wake/', function (string $header) use (&$channel): void {
    $channel = substr($header, strlen('X-Accel-Redirect: /quorvel-wait/'));
});
$postFirst = new class ($app, $handOn, $argv[1]) implements Hold {
    public function __construct(private App $app, private NchanHold $handOn, private string $to)
    {
    }
    public function hold(int $userId, int $index, int $lastIndex, float $seconds, string $address, ?ClientLine $line): string
    {
        $this->app->messages->post([$this->to], 'between', '', '<p>x</p>');
        return $this->handOn->hold($userId, $index, $lastIndex, $seconds, $address, $line);
    }
};
$poller = new Poller($app->db, $app->config, $app->accounts, $app->messages, $postFirst);
$answer = $poller->answer(Http::formPairs('User=u1&Pass=pw&Index=0'), '127.0.0.1');
echo $answer === '' ? $channel : 'answered: ' . $answer;
""" % repr(os.path.join(stack.SERVER, "src", "autoload.php")))
        done = subprocess.run(["php", script, recipient], capture_output=True, text=True, timeout=60,
                              env=dict(os.environ, QUORVEL_CONFIG=os.path.join(node.dir, "config.php")))
        if done.returncode != 0:
            raise AssertionError(done.stdout + done.stderr)
        return done.stdout

    @staticmethod
    def wait_on(node, channel, seconds):
        """Waits on a channel as nginx's hop does; gives the answer's body, or None when none came."""
        with socket.socket(socket.AF_UNIX) as waiter:
            waiter.settimeout(seconds)
            waiter.connect(os.path.join(node.dir, "nchan.sock"))
            waiter.sendall(f"GET /wait/{channel} HTTP/1.1\r\nHost: quorvel\r\nConnection: close\r\n\r\n".encode())
            data = b""
            try:
                while chunk := waiter.recv(65536):
                    data += chunk
            except socket.timeout:
                return None
        head, _, body = data.partition(b"\r\n\r\n")
        return body if b" 200 " in head.split(b"\r\n")[0] + b" " else head


if __name__ == "__main__":
    unittest.main()
