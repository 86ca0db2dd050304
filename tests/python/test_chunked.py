"""orvoaes.Chunked against the tests' independent model of the chunked format
(tests/chunked/chunked_oracle.py, over cryptography's HKDF and AES-GCM): the same cipher text for
a given salt, in one call and in pieces, both suites; every refusal (another key or context, a
changed, dropped or cut chunk) is InvalidTag; files and the random-access reader."""
import os
import random
import sys
import tempfile
import unittest

import orvoaes

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "chunked"))
import chunked_oracle  # noqa: E402

RNG = random.Random(16384)
CHUNK = 16384
LENGTHS = (0, 1, CHUNK - 1, CHUNK, CHUNK + 1, 3 * CHUNK + 77)


def rand(n):
    return RNG.randbytes(n)


class ChunkedTest(unittest.TestCase):
    def test_equal_to_the_model_in_one_call_and_in_pieces(self):
        for suite in (128, 256):
            for n in LENGTHS:
                key, salt, context, plain = rand(suite // 8), rand(24), rand(n % 7), rand(n)
                with self.subTest(suite=suite, n=n):
                    want = chunked_oracle.encrypt(suite, key, salt, context, plain)
                    c = orvoaes.Chunked(key, context)
                    self.assertEqual(c.encrypt(memoryview(plain), salt), want)
                    self.assertEqual(c.decrypt(bytearray(want)), plain)
                    enc = c.encryptor(salt)
                    pieces, at = [], 0
                    for step in (1, 5000, CHUNK, 3 * CHUNK):
                        pieces.append(enc.update(plain[at:at + step]))
                        at += step
                    pieces.append(enc.update(plain[at:]))
                    pieces.append(enc.finalize())
                    self.assertEqual(b"".join(pieces), want)
                    dec, got = c.decryptor(), []
                    for i in range(0, len(want), 7000):
                        got.append(dec.update(want[i:i + 7000]))
                    got.append(dec.finalize())
                    self.assertEqual(b"".join(got), plain)
        c = orvoaes.Chunked(rand(32))
        self.assertNotEqual(c.encrypt(b"same"), c.encrypt(b"same"))  # a fresh salt each time

    def test_refusals_are_invalid_tag(self):
        key, context, plain = rand(16), b"ctx", rand(2 * CHUNK + 5)
        c = orvoaes.Chunked(key, context)
        sealed = c.encrypt(plain)
        changed = bytearray(sealed)
        changed[56 + CHUNK + 20] ^= 1
        cases = {
            "other key": (orvoaes.Chunked(rand(16), context), sealed),
            "other context": (orvoaes.Chunked(key, b"CTX"), sealed),
            "changed chunk": (c, bytes(changed)),
            "dropped chunk": (c, sealed[:56] + sealed[56 + CHUNK + 16:]),
            "cut after a full chunk": (c, sealed[:56 + CHUNK + 16]),
            "cut header": (c, sealed[:40]),
        }
        for what, (cc, data) in cases.items():
            with self.subTest(what=what):
                self.assertRaises(orvoaes.InvalidTag, cc.decrypt, data)
                dec = cc.decryptor()

                def feed():
                    dec.update(data)
                    dec.finalize()

                self.assertRaises(orvoaes.InvalidTag, feed)
        for key in (rand(24), rand(15)):
            self.assertRaises(ValueError, orvoaes.Chunked, key)
        self.assertRaises(ValueError, c.encrypt, b"x", rand(23))

    def test_files_and_reader(self):
        key, plain = rand(32), rand(5 * CHUNK + 123)
        c = orvoaes.Chunked(key, b"files")
        with tempfile.TemporaryDirectory() as d:
            src, enc, out = (os.path.join(d, n) for n in ("plain", "sealed", "back"))
            with open(src, "wb") as f:
                f.write(plain)
            c.encrypt_file(src, enc, threads=2)
            with open(enc, "rb") as f:
                sealed = f.read()
            self.assertEqual(c.decrypt(sealed), plain)
            c.decrypt_file(enc, out)
            with open(out, "rb") as f:
                self.assertEqual(f.read(), plain)
            reader = c.reader(enc)
            for offset, n in ((0, 10), (CHUNK - 3, 10), (4 * CHUNK, 2 * CHUNK), (len(plain) - 1, 5), (len(plain) + 9, 4)):
                self.assertEqual(reader.read_at(offset, n), plain[offset:offset + n], (offset, n))
            self.assertEqual(reader.size(), len(plain))
            # A damaged file: refused, and the earlier output is as it was.
            with open(enc, "r+b") as f:
                f.seek(56 + 3 * (CHUNK + 16) + 1)
                f.write(b"\xff")
            self.assertRaises(orvoaes.InvalidTag, c.decrypt_file, enc, out)
            with open(out, "rb") as f:
                self.assertEqual(f.read(), plain)
            self.assertRaises(orvoaes.InvalidTag, c.reader(enc).read_at, 3 * CHUNK, 1)
            self.assertRaises(OSError, c.encrypt_file, os.path.join(d, "missing"), out)
            self.assertRaises(OSError, c.reader, os.path.join(d, "missing"))


if __name__ == "__main__":
    unittest.main()
