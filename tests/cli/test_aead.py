"""aead-enc / aead-dec against independent implementations: Python cryptography's AESGCM (nonces
of 1 to 16 bytes, short tags) and AESSIV (several additional-data strings, a nonce as the last),
AESGCMSIV of the pyenv Python (cryptography 48) when it is installed, and XAES-256-GCM written in
tests/keyed/aead_oracle.py over cryptography's AES and AESGCM. A random nonce goes in front and
comes back out; a flipped bit fails with status 3 and writes nothing; wrong keys, nonces, tag
lengths and additional data are usage errors (status 2)."""
import itertools
import os
import subprocess
import sys
import unittest

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM, AESSIV

from cli_support import TempDirTest, data, run

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keyed"))
from aead_oracle import xaes_seal  # noqa: E402

PYENV = "/root/.pyenv/versions/3.11.7/bin/python3"
LENGTHS = (0, 1, 17, 1000)


def gcm(key, nonce, plain, aad, tag_bytes):
    e = Cipher(algorithms.AES(key), modes.GCM(nonce)).encryptor()
    if aad:
        e.authenticate_additional_data(aad)
    c = e.update(plain) + e.finalize()
    return c + e.tag[:tag_bytes]


def gcm_siv(key, nonce, plain, aad):
    code = ("import sys; from cryptography.hazmat.primitives.ciphers.aead import AESGCMSIV as A; "
            "k, n, p, a = (bytes.fromhex(x) for x in sys.argv[1:]); "
            "sys.stdout.write(A(k).encrypt(n, p, a).hex())")
    out = subprocess.run([PYENV, "-c", code, key.hex(), nonce.hex(), plain.hex(), aad.hex()], capture_output=True,
                         check=True).stdout
    return bytes.fromhex(out.decode())


class AgainstIndependentImplementations(TempDirTest):
    def seal_and_open(self, args, plain, expected):
        """aead-enc gives expected; aead-dec of it gives plain back."""
        src = self.path("p", plain)
        self.assertEqual(run(["aead-enc", *args, src], check=0).stdout, expected)
        self.assertEqual(run(["aead-dec", *args, self.path("c", expected)], check=0).stdout, plain)

    def test_gcm_nonce_lengths_and_tags(self):
        # (cryptography takes nonces of 8 bytes and up; a 1-byte one round-trips below.)
        for key_bytes, nonce_bytes, n, tag_bits in itertools.product((16, 24, 32), (8, 12, 16, 60), LENGTHS, (128, 32)):
            with self.subTest(key=key_bytes, nonce=nonce_bytes, n=n, tag_bits=tag_bits):
                key, nonce, plain, aad = data(key_bytes, 1), data(nonce_bytes, 2), data(n, 3), data(5, n)
                args = ["--alg", "gcm", "-K", key.hex(), "--nonce", nonce.hex(), "--aad-hex", aad.hex(),
                        "--tag-bits", str(tag_bits)]
                self.seal_and_open(args, plain, gcm(key, nonce, plain, aad, tag_bits // 8))
        args = ["--alg", "gcm", "-K", "00" * 16, "--nonce", "ab"]
        sealed = run(["aead-enc", *args, self.path("p", b"one-byte nonce")], check=0).stdout
        self.assertEqual(run(["aead-dec", *args, self.path("c", sealed)], check=0).stdout, b"one-byte nonce")

    @unittest.skipUnless(os.path.exists(PYENV), "the pyenv Python with cryptography 48 is not installed")
    def test_gcm_siv(self):
        for key_bytes, n in itertools.product((16, 32), LENGTHS):
            with self.subTest(key=key_bytes, n=n):
                key, nonce, plain, aad = data(key_bytes, 4), data(12, 5), data(n, 6), data(9, 7)
                key_file = self.path("k", key)
                args = ["--alg", "gcm-siv", "--key-file", key_file, "--nonce", nonce.hex(), "--aad", self.path("a", aad)]
                self.seal_and_open(args, plain, gcm_siv(key, nonce, plain, aad))

    def test_xaes_256_gcm(self):
        for n in LENGTHS:
            with self.subTest(n=n):
                key, nonce, plain, aad = data(32, 8), data(24, 9), data(n, 10), data(21, 11)
                args = ["--alg", "xaes-256-gcm", "-K", key.hex(), "--nonce", nonce.hex(), "--aad-hex", aad.hex()]
                self.seal_and_open(args, plain, xaes_seal(key, nonce, plain, aad))

    def test_siv_strings_in_order_and_the_nonce_last(self):
        # (cryptography 38 over OpenSSL 3.0 fails on empty plain texts: lengths from 1.)
        for key_bytes, n, strings in itertools.product((32, 48, 64), (1, 17, 1000), (0, 1, 3)):
            with self.subTest(key=key_bytes, n=n, strings=strings):
                key, plain, nonce = data(key_bytes, 12), data(n, 13), data(16, 14)
                ad = [data(s + 1, 15 + s) for s in range(strings)]
                args = ["--alg", "siv", "-K", key.hex(), *itertools.chain.from_iterable(("--aad-hex", a.hex()) for a in ad)]
                self.seal_and_open(args, plain, AESSIV(key).encrypt(plain, ad))
                self.seal_and_open([*args, "--nonce", nonce.hex()], plain, AESSIV(key).encrypt(plain, [*ad, nonce]))


class NonceInFrontAndFailures(TempDirTest):
    CASES = {"gcm": (32, 12, 16), "gcm-siv": (16, 12, 16), "xaes-256-gcm": (32, 24, 16), "siv": (64, 16, 16)}

    def test_random_nonce_in_front_round_trip(self):
        plain = data(333, 20)
        for alg, (key_bytes, nonce_bytes, tag_bytes) in self.CASES.items():
            with self.subTest(alg=alg):
                args = ["--alg", alg, "-K", data(key_bytes, 21).hex(), "--nonce-in-front", "--aad-hex", "abcd"]
                a = run(["aead-enc", *args, self.path("p", plain)], check=0).stdout
                b = run(["aead-enc", *args, self.path("p")], check=0).stdout
                self.assertEqual(len(a), nonce_bytes + len(plain) + tag_bytes)
                self.assertNotEqual(a[:nonce_bytes], b[:nonce_bytes])
                for sealed in (a, b):
                    self.assertEqual(run(["aead-dec", *args, self.path("c", sealed)], check=0).stdout, plain)

    def test_flipped_bits_fail_with_nothing_written(self):
        plain = data(100, 30)
        for alg, (key_bytes, nonce_bytes, tag_bytes) in self.CASES.items():
            args = ["--alg", alg, "-K", data(key_bytes, 31).hex(), "--aad-hex", "0102"]
            sealed = run(["aead-enc", *args, self.path("p", plain)], check=0).stdout
            for at in (0, nonce_bytes, len(sealed) - 1):
                with self.subTest(alg=alg, at=at):
                    bad = bytearray(sealed)
                    bad[at] ^= 0x04
                    p = run(["aead-dec", *args, self.path("bad", bytes(bad)), "-o", self.path("out")], env=self.env)
                    self.assertEqual(p.returncode, 3, p.stderr)
                    self.assertFalse(os.path.exists(self.path("out")))
                    self.assertEqual(os.listdir(self.tmp), [])
            with self.subTest(alg=alg, what="other additional data"):
                p = run(["aead-dec", *args[:-1], "0103", self.path("c", sealed), "-o", self.path("out")])
                self.assertEqual(p.returncode, 3)
                self.assertFalse(os.path.exists(self.path("out")))

    def test_usage_errors(self):
        p = self.path("p", b"x")
        cases = [
            ["--alg", "ocb3", "-K", "00" * 16],
            ["--alg", "gcm-siv", "-K", "00" * 24],
            ["--alg", "xaes-256-gcm", "-K", "00" * 16],
            ["--alg", "siv", "-K", "00" * 16],
            ["--alg", "gcm-siv", "-K", "00" * 16, "--nonce", "00" * 11],
            ["--alg", "xaes-256-gcm", "-K", "00" * 32, "--nonce", "00" * 12],
            ["--alg", "siv", "-K", "00" * 32, "--tag-bits", "96"],
            ["--alg", "gcm", "-K", "00" * 16, "--tag-bits", "24"],
            ["--alg", "gcm", "-K", "00" * 16, "--aad-hex", "00", "--aad-hex", "01"],
            ["--alg", "siv", "-K", "00" * 32, "--aad-hex", "00", "--aad", p],
            ["--alg", "gcm", "-K", "00" * 16, "--nonce", "00", "--nonce-in-front"],
        ]
        for args in cases:
            with self.subTest(args=args):
                self.assertEqual(run(["aead-enc", *args, p]).returncode, 2)


if __name__ == "__main__":
    unittest.main()
