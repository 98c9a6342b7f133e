"""The load client's reading of answers: it must count a message exactly when the real client
would store one, or its lost and duplicate counts mean nothing."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import delivery_stages  # noqa: E402
import load  # noqa: E402


class FieldListTest(unittest.TestCase):
    def test_the_worked_examples_of_the_protocol(self):
        cases = [
            (b"15Delay210", {b"Delay": b"10"}),
            (b"205Index024206Header05Hello05Title03Hi!07Message99HelloWorld",
             {b"Index": b"42", b"Header": b"Hello", b"Title": b"Hi!", b"Message": b"HelloWorld"}),
            (b"205Title09Order 123", {b"Title": b"Order 123"}),
            (b"3  5Delay  230", {b"Delay": b"30"}),
            (b"15Title9", {b"Title": b""}),
            (b"15Again11", {b"Again": b"1"}),
            (b"", {}),
            (b"<html>502 Bad Gateway</html>", {}),
            (b"15Title", {b"Title": b""}),
            (b"15Titlex3abc", {b"Title": b""}),
        ]
        for body, expected in cases:
            with self.subTest(body=body):
                self.assertEqual(expected, load.field_list(body))


class DeliveryStagesTest(unittest.TestCase):
    """The split of a traced run's logs: each stage from the right lines, idle waits left out."""

    def test_a_woken_wait_is_split_into_its_stages(self):
        public = [
            # end time, id, client, uri, status, seconds, upstream connect, header, response, status
            "100.000 a1 127.1.0.1:5000 /api.php/messages 201 0.010 0.000 0.009 0.009 201",
            "100.250 w1 127.1.0.2:6000 /quorvel-wait/u7i3t1 200 9.000 0.000 : 0.001 0.002 : 8.9 0.002 : 8.9 200 : 200",
            "100.300 p1 127.1.0.2:6000 /poll.php 200 0.020 0.000 0.015 0.020 200",
            # an idle wait of another user: no publish for it
            "101.000 w2 127.1.0.3:7000 /quorvel-wait/u8i0t0 200 25.000 0.000 : 0.001 0.002 : 25.0 0.002 : 25.0 200 : 504",
            "101.010 p2 127.1.0.3:7000 /poll.php 200 0.005 0.000 0.004 0.005 200",
        ]
        internal = ["100.200 x1 unix: /wake/u7i3t0 201 0.000 - - - -",
                    "100.201 x2 unix: /wake/u7i3t1 201 0.000 - - - -"]
        with tempfile.TemporaryDirectory() as folder:
            for name, lines in (("nginx-access.log", public), ("nginx-internal.log", internal)):
                with open(os.path.join(folder, name), "w") as f:
                    f.write("\n".join(lines) + "\n")
            found = delivery_stages.stages(folder)
        expected = {
            "api end to publish": 0.200,
            "publish to the wait's end": 0.050,
            "wait's end to the next poll": 0.030,
            "next poll in nginx and PHP": 0.020,
            "of it, to PHP's first byte": 0.015,
            "api end to the next poll's end": 0.300,
        }
        self.assertEqual(set(expected), set(found))
        for name, seconds in expected.items():
            with self.subTest(name):
                self.assertEqual(1, len(found[name]), found[name])
                self.assertAlmostEqual(seconds, found[name][0], places=6)


if __name__ == "__main__":
    unittest.main()
