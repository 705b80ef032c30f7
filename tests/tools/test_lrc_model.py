#!/usr/bin/env python3
"""`lrctool dump --raw` against a second, independent reading of the grammar,
on the format's own examples and on many generated texts full of near-tags."""
import json
import os
import random
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lrc_model  # noqa: E402

LRCTOOL = sys.argv.pop(1) if len(sys.argv) > 1 else "lrctool"
PIECES = [b"[", b"]", b":", b".", b"-", b"0", b"1", b"12", b"345", b"00:01.00", b"ti", b"TI", b"ar", b"al",
          b"by", b"la", b"offset", b"Offset", b"x", b"abc", b" ", b"  ", b"\r", b"\n", b"\r\n", b"\t",
          b"\xc4\xe3", b"\x5b", b"\x5d", b"+", b"$", b"0x1F", b"[00:02.5]", b"[1:2:3.4]", b"[ti:", b"[offset:",
          b",", b"#", b"\x00", b"\xff", b"[-00:01.00]", b"[0.5x7]"]


def generated(rng):
    return b"".join(rng.choice(PIECES) for _ in range(rng.randint(0, 40)))


class ModelTest(unittest.TestCase):
    def check_batch(self, texts):
        # One lrctool process per text is slow; stdin one at a time but in bulk is fine here.
        for text in texts:
            out = subprocess.run([LRCTOOL, "dump", "--raw", "-"], input=text, capture_output=True, timeout=30)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(json.loads(out.stdout), lrc_model.dump(text), repr(text))

    def test_examples(self):
        self.check_batch([
            b"[al:Qerimo]\r\n[ar:Marevo]\r\n[ti:Song]\r\n[by:Tavrelo]\r\n[00:01.20]first\r\n[00:05.00]second\r\n",
            b"[00:01.00] [00:05.00]x", b"[0.5x7]q", b"[00 : 01 . 5]s", b"[ti:abc\r\n[00:01.00]x",
            b"[00:01.00]hello [ar:x] world\r\n[00:02.00]y", b"[0.5,ti:foo]bar[00:03.00]z",
            b"[1.2:ar:x]y", b"[0.5x-7]q", b"[0.5x7.8]q",
        ])

    def test_generated_texts(self):
        rng = random.Random(int(os.environ.get("LRC_MODEL_SEED", "20261208")))
        self.check_batch([generated(rng) for _ in range(int(os.environ.get("LRC_MODEL_CASES", "1500")))])


if __name__ == "__main__":
    unittest.main(verbosity=2)
