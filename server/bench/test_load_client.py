"""The load client's reading of answers: it must count a message exactly when the real client
would store one, or its lost and duplicate counts mean nothing."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
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


if __name__ == "__main__":
    unittest.main()
