"""Shared helpers of the orvoaes tests: run the built program, make temporary folders."""
import os
import random
import shutil
import subprocess
import tempfile
import unittest

ORVOAES = os.environ.get("ORVOAES", "orvoaes")
CHUNK = 160000  # the stream engine's chunk size
LENGTHS = [0, 1, 15, 16, 17, CHUNK - 1, CHUNK, CHUNK + 17]
KEYS = {128: bytes(range(16)), 192: bytes(range(24)), 256: bytes(range(32))}
IV = bytes.fromhex("f0e0d0c0b0a090807060504030201000")


def run(args, stdin=b"", env=None, check=None, **kw):
    """Runs orvoaes with args; returns the CompletedProcess. check: the expected exit status."""
    p = subprocess.run([ORVOAES, *args], input=stdin, capture_output=True, env=env, **kw)
    if check is not None and p.returncode != check:
        raise AssertionError(f"orvoaes {' '.join(args)}: exit {p.returncode}, expected {check}\n"
                             f"{p.stderr.decode(errors='replace')}")
    return p


def openssl(args, data):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def data(n, seed=1):
    """n reproducible random bytes."""
    return random.Random(seed).randbytes(n)


class TempDirTest(unittest.TestCase):
    """Each test gets a folder of its own, and TMPDIR inside it so leftovers can be seen."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvoaes-test-")
        self.tmp = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmp)
        self.env = dict(os.environ, TMPDIR=self.tmp)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name, content=None):
        p = os.path.join(self.dir, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def assertNoLeftovers(self, *expected):
        """Only the named files remain in the folder, and nothing in TMPDIR."""
        self.assertEqual(sorted(os.listdir(self.tmp)), [])
        self.assertEqual(sorted(f for f in os.listdir(self.dir) if f != "tmp"), sorted(expected))
