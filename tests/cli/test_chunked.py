"""orvoaes chunked-enc / chunked-dec against the Python model of the format (tests/chunked) and the
published vectors: byte equality from files and pipes, ranges, damaged messages (exit 3, nothing
named written, only verified chunks on a pipe), usage errors."""
import hashlib
import json
import os
import sys
import unittest
import zlib

from cli_support import TempDirTest, data, run

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "chunked"))
import chunked_oracle as oracle  # noqa: E402

CHUNK, SEALED, HEADER = 16384, 16400, 56
LENGTHS = [0, 1, CHUNK - 1, CHUNK, CHUNK + 1, 2 * CHUNK, 2 * CHUNK + 1, 700001]
KEYS = {128: bytes(range(16)), 256: bytes(range(100, 132))}
SALT = bytes(range(24))


def args(suite, context, *more):
    return ["--suite", str(suite), "-K", KEYS[suite].hex(), "--context", context.hex(), "-q", *more]


class ChunkedModelTest(TempDirTest):
    def test_encrypt_and_decrypt_equal_the_model_from_files_and_pipes(self):
        for suite in (128, 256):
            for context in (b"", b"backup v1"):
                for n in LENGTHS:
                    with self.subTest(suite=suite, context=context, n=n):
                        plain = data(n, seed=n + suite)
                        expected = oracle.encrypt(suite, KEYS[suite], SALT, context, plain)
                        src = self.path("plain", plain)
                        enc = args(suite, context, "--salt", SALT.hex())
                        run(["chunked-enc", *enc, src, "-o", self.path("sealed")], check=0, env=self.env)
                        self.assertEqual(self.read("sealed"), expected)
                        piped = run(["chunked-enc", *enc, "-o", "-"], stdin=plain, check=0, env=self.env)
                        self.assertEqual(piped.stdout, expected)
                        run(["chunked-dec", *args(suite, context), self.path("sealed"), "-o", self.path("opened"),
                             "-f"], check=0, env=self.env)
                        self.assertEqual(self.read("opened"), plain)
                        piped = run(["chunked-dec", *args(suite, context)], stdin=expected, check=0, env=self.env)
                        self.assertEqual(piped.stdout, plain)
                        os.remove(self.path("sealed"))
        self.assertNoLeftovers("plain", "opened")

    def test_drawn_salt_opens_with_the_model(self):
        plain = data(40000)
        sealed = run(["chunked-enc", *args(256, b"x"), "-o", "-"], stdin=plain, check=0, env=self.env).stdout
        again = run(["chunked-enc", *args(256, b"x"), "-o", "-"], stdin=plain, check=0, env=self.env).stdout
        self.assertNotEqual(sealed[:24], again[:24])
        self.assertEqual(oracle.decrypt(256, KEYS[256], b"x", sealed), plain)

    def test_published_vectors(self):
        with open(os.path.join(os.path.dirname(__file__), "chunked_vectors.json")) as f:
            vectors = json.load(f)["tests"]
        for v in vectors:
            with self.subTest(suite=v["suite"], tcId=v["tcId"]):
                cipher = zlib.decompressobj().decompress(bytes.fromhex(v["ctZlib"]))
                p = run(["chunked-dec", "--suite", str(v["suite"]), "-K", v["key"], "-q"], stdin=cipher,
                        check=0, env=self.env)
                self.assertEqual(len(p.stdout), v["msgLength"])
                self.assertEqual(hashlib.sha512(p.stdout).hexdigest(), v["msgSha512"])


class ChunkedRangeTest(TempDirTest):
    def test_ranges_from_a_file_and_a_pipe(self):
        plain = data(5 * CHUNK + 300, seed=5)
        sealed = oracle.encrypt(128, KEYS[128], SALT, b"c", plain)
        src = self.path("sealed", sealed)
        ranges = [(0, 10), (CHUNK - 5, 10), (3 * CHUNK + 7, 2 * CHUNK), (len(plain) - 1, 5), (len(plain), 5),
                  (len(plain) + 100, 5), (100, 0), (2 * CHUNK, None)]
        for offset, length in ranges:
            with self.subTest(offset=offset, length=length):
                extra = ["--offset", str(offset)] + ([] if length is None else ["--length", str(length)])
                end = len(plain) if length is None else offset + length
                from_file = run(["chunked-dec", *args(128, b"c"), *extra, src], check=0, env=self.env)
                self.assertEqual(from_file.stdout, plain[offset:end])
                piped = run(["chunked-dec", *args(128, b"c"), *extra], stdin=sealed, check=0, env=self.env)
                self.assertEqual(piped.stdout, plain[offset:end])

    def test_range_checks_only_what_it_reads(self):
        """A damaged chunk outside the range is not read from a file; the end is checked when the
        range reaches it, and a pipe is checked whole."""
        plain = data(4 * CHUNK + 10, seed=6)
        sealed = bytearray(oracle.encrypt(128, KEYS[128], SALT, b"", plain))
        sealed[HEADER + 3 * SEALED + 2] ^= 1  # chunk 3
        src = self.path("sealed", bytes(sealed))
        p = run(["chunked-dec", *args(128, b""), "--offset", "100", "--length", "1000", src], check=0, env=self.env)
        self.assertEqual(p.stdout, plain[100:1100])
        run(["chunked-dec", *args(128, b""), "--offset", str(3 * CHUNK), "--length", "5", src], check=3, env=self.env)
        run(["chunked-dec", *args(128, b""), "--offset", "100", "--length", "1000"], stdin=bytes(sealed), check=3,
            env=self.env)
        sealed = bytearray(oracle.encrypt(128, KEYS[128], SALT, b"", plain))
        sealed[-1] ^= 1  # the last chunk's tag
        src = self.path("sealed2", bytes(sealed))
        run(["chunked-dec", *args(128, b""), "--offset", "0", "--length", "10", src], check=0, env=self.env)
        run(["chunked-dec", *args(128, b""), "--offset", "0", src], check=3, env=self.env)


class ChunkedDamageTest(TempDirTest):
    def setUp(self):
        super().setUp()
        self.plain = data(3 * CHUNK + 50, seed=7)
        self.sealed = oracle.encrypt(256, KEYS[256], SALT, b"ctx", self.plain)

    def damaged(self):
        s = self.sealed
        flip = lambda at: s[:at] + bytes([s[at] ^ 4]) + s[at + 1:]  # noqa: E731
        return {
            "salt": flip(1), "commitment": flip(40), "chunk 0": flip(HEADER + 5), "chunk 1 tag": flip(HEADER + 2 * SEALED - 1),
            "last chunk": flip(len(s) - 20), "cut after chunk 1": s[:HEADER + 2 * SEALED],
            "cut inside a tag": s[:len(s) - 5], "cut inside the header": s[:20], "byte appended": s + b"\0",
            "chunk appended": s + s[HEADER:HEADER + SEALED],
            "chunks swapped": s[:HEADER] + s[HEADER + SEALED:HEADER + 2 * SEALED] + s[HEADER:HEADER + SEALED] +
            s[HEADER + 2 * SEALED:],
        }

    def test_every_damage_exits_3(self):
        for name, cipher in self.damaged().items():
            with self.subTest(name):
                src = self.path("bad", cipher)
                p = run(["chunked-dec", *args(256, b"ctx"), src, "-o", self.path("out")], check=3, env=self.env)
                self.assertIn(b"authentication failed", p.stderr)
                self.assertFalse(os.path.exists(self.path("out")))
                p = run(["chunked-dec", *args(256, b"ctx")], stdin=cipher, check=3, env=self.env)
                # A pipe gets whole verified chunks only, and only those before the damage.
                self.assertEqual(len(p.stdout) % CHUNK, 0)
                self.assertEqual(p.stdout, self.plain[:len(p.stdout)])
        self.assertNoLeftovers("bad")

    def test_wrong_key_or_context(self):
        src = self.path("sealed", self.sealed)
        run(["chunked-dec", *args(256, b"cty"), src], check=3, env=self.env)
        other = bytes(32)
        p = run(["chunked-dec", "--suite", "256", "-K", other.hex(), "--context", b"ctx".hex(), src], check=3,
                env=self.env)
        self.assertEqual(p.stdout, b"")

    def test_existing_output_needs_force(self):
        src = self.path("sealed", self.sealed)
        self.path("out", b"old")
        run(["chunked-dec", *args(256, b"ctx"), src, "-o", self.path("out")], check=1, env=self.env)
        self.assertEqual(self.read("out"), b"old")
        run(["chunked-dec", *args(256, b"ctx"), src, "-o", self.path("out"), "--force"], check=0, env=self.env)
        self.assertEqual(self.read("out"), self.plain)


class ChunkedUsageTest(TempDirTest):
    def test_usage_errors_exit_2(self):
        src = self.path("plain", b"abc")
        cases = {
            "16-byte key for suite 256": ["chunked-enc", "--suite", "256", "-K", KEYS[128].hex(), src],
            "32-byte key for suite 128": ["chunked-dec", "--suite", "128", "-K", KEYS[256].hex(), src],
            "24-byte key": ["chunked-enc", "-K", bytes(24).hex(), src],
            "suite 192": ["chunked-enc", "--suite", "192", "-K", bytes(24).hex(), src],
            "short salt": ["chunked-enc", "-K", KEYS[128].hex(), "--salt", "00" * 23, src],
            "odd context": ["chunked-enc", "-K", KEYS[128].hex(), "--context", "abc", src],
            "negative offset": ["chunked-dec", "-K", KEYS[128].hex(), "--offset", "-1", src],
        }
        for name, argv in cases.items():
            with self.subTest(name):
                p = run([*argv, "-o", self.path("out")], check=2, env=self.env)
                self.assertNotIn(KEYS[256].hex().encode(), p.stderr)
                self.assertFalse(os.path.exists(self.path("out")))


if __name__ == "__main__":
    unittest.main()
