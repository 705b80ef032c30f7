#!/usr/bin/env python3
"""lrctool's document commands, run as a separate program on real files."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

LRCTOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "lrctool"

SONG = (b"[ti:\xc4\xe3\xba\xc3]\r\n[ar:Singer]\r\n[offset:-250]\r\n"
        b"[00:01.00]Line one\r\n[00:05.00][00:09.50]Line \"two\"\r\n[00:12.00]")


def run(*args, stdin=None, cwd=None):
    return subprocess.run([LRCTOOL, *args], input=stdin, capture_output=True, cwd=cwd, timeout=60)


class LrcToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.song = os.path.join(self.dir.name, "song.lrc")
        with open(self.song, "wb") as f:
            f.write(SONG)

    def tearDown(self):
        self.dir.cleanup()

    def test_dump_decodes_for_reading_and_raw_keeps_bytes(self):
        out = run("dump", self.song)
        self.assertEqual(out.returncode, 0, out.stderr)
        doc = json.loads(out.stdout)
        self.assertEqual(doc["title"], "你好")  # GB18030 bytes shown decoded
        self.assertEqual(doc["artist"], "Singer")
        self.assertEqual(doc["offset"], -250)
        self.assertEqual([(l["time"], l["end"], l["label"], l["text"]) for l in doc["lines"]], [
            (1000, 4999, "01.00", "Line one"),
            (5000, 9499, "05.00", 'Line "two"'),
            (9500, 11999, "09.50", 'Line "two"'),
            (12000, 2147483646, "12.00", ""),
        ])
        raw = json.loads(run("dump", "--raw", self.song).stdout)
        self.assertEqual(raw["title"].encode("latin-1"), b"\xc4\xe3\xba\xc3")

        # Every byte value survives the raw form; UTF-8 text is shown as it is.
        every = bytes(range(256))
        with open(self.song, "wb") as f:
            f.write(b"[00:01.00]x" + every.replace(b"\r", b"") + b"y\r\n[00:02.00]\xe4\xb8\xad\xe6\x96\x87")
        raw = json.loads(run("dump", "--raw", self.song).stdout)
        self.assertEqual(raw["lines"][0]["text"].encode("latin-1"), b"x" + every.replace(b"\r", b"") + b"y")
        self.assertEqual(json.loads(run("dump", self.song).stdout)["lines"][1]["text"], "中文")

    def test_text_and_standard_input(self):
        out = run("text", "-", stdin=SONG)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(out.stdout, b"[Ti:\xc4\xe3\xba\xc3]\r\n[Ar:Singer]\r\n[Offset:-250]\r\n"
                                     b"[01.00]Line one\r\n[05.00][09.50]Line \"two\"\r\n[12.00]\r\n")
        self.assertEqual(run("text", "-", stdin=b"").stdout, b"")

    def test_at_positions_in_order(self):
        out = run("at", self.song, "999", "1000", "9600", "-5", "2147483647")
        self.assertEqual(out.returncode, 0, out.stderr)
        rows = [json.loads(line) for line in out.stdout.splitlines()]
        self.assertEqual(rows, [
            {"pos": 999, "start": 0, "end": 2147483647, "shown": False, "text": ""},
            {"pos": 1000, "start": 1000, "end": 4999, "shown": True, "text": "Line one"},
            {"pos": 9600, "start": 9500, "end": 11999, "shown": True, "text": 'Line "two"'},
            {"pos": -5, "start": 0, "end": 2147483647, "shown": False, "text": ""},
            {"pos": 2147483647, "start": 0, "end": 2147483647, "shown": True, "text": ""},
        ])

    def test_extract_writes_segment_and_scratch_file(self):
        out = run("extract", self.song, "2000", "10000", cwd=self.dir.name)
        self.assertEqual(out.returncode, 0, out.stderr)
        expected = (b"[Ti:\xc4\xe3\xba\xc3]\r\n[Ar:Singer]\r\n[Offset:-250]\r\n"
                    b"[00:00.00]Line one\r\n[00:03.00][00:07.50]Line \"two\"\r\n")
        self.assertEqual(out.stdout, expected)
        with open(os.path.join(self.dir.name, "kkk.lrc"), "rb") as f:
            self.assertEqual(f.read(), expected)

    def test_errors_are_clear_and_non_zero(self):
        missing = run("dump", os.path.join(self.dir.name, "missing.lrc"))
        self.assertEqual(missing.returncode, 1)
        self.assertIn(b"Cannot open file", missing.stderr)
        self.assertEqual(missing.stdout, b"")
        self.assertEqual(run("at", self.song, "12x").returncode, 2)
        self.assertEqual(run("at", self.song, "99999999999").returncode, 2)
        self.assertEqual(run("extract", self.song, "1").returncode, 2)
        self.assertEqual(run("nonsense").returncode, 2)
        self.assertEqual(run("dump", self.dir.name).returncode, 1)  # a folder
        self.assertEqual(run("--help").returncode, 0)

    def test_random_and_huge_inputs(self):
        random_bytes = os.urandom(200000)
        for command in ("dump", "text"):
            self.assertEqual(run(command, "-", stdin=random_bytes).returncode, 0)
        huge = b"".join(b"[%02d:%02d.%02d]line %d\r\n" % (i // 6000, i // 100 % 60, i % 100, i)
                        for i in range(200000))
        out = run("dump", "-", stdin=huge)
        self.assertEqual(out.returncode, 0)
        self.assertEqual(len(json.loads(out.stdout)["lines"]), 200000)


if __name__ == "__main__":
    unittest.main(verbosity=2)
