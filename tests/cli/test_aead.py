"""aead-enc / aead-dec against independent implementations: Python cryptography's AESGCM (nonces
of 1 to 16 bytes, short tags) and AESSIV (several additional-data strings, a nonce as the last),
AESGCMSIV of the pyenv Python (cryptography 48) when it is installed, XAES-256-GCM written in
tests/keyed/aead_oracle.py over cryptography's AES and AESGCM, AESCCM, AESOCB3 (and OpenSSL's
libcrypto for the OCB nonces and tags cryptography 38 refuses) and the EAX paper's vectors. A random nonce goes in front and
comes back out; a flipped bit fails with status 3 and writes nothing; wrong keys, nonces, tag
lengths and additional data are usage errors (status 2)."""
import itertools
import os
import subprocess
import sys
import unittest

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESCCM, AESOCB3, AESSIV

from cli_support import TempDirTest, data, evp_aead, run

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keyed"))
from aead_oracle import xaes_seal  # noqa: E402

PYENV = "/root/.pyenv/versions/3.11.7/bin/python3"
LENGTHS = (0, 1, 17, 1000)
EAX_VECTORS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "eax.vec")


def vectors(path):
    """The records of a known-answer file: dicts of bytes by field name."""
    records, record = [], {}
    with open(path) as f:
        for line in [*f, ""]:
            line = line.strip()
            if line.startswith("#"):
                continue
            if not line:
                if record:
                    records.append(record)
                record = {}
                continue
            name, _, value = line.partition("=")
            record[name.strip()] = bytes.fromhex(value.strip())
    return records


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


    def test_ccm_nonces_and_tags_at_their_limits(self):
        # Every key size, nonce and tag limit; the lengths (around a block, 16 KiB) taken in turn.
        lengths = itertools.cycle((*LENGTHS, 16385))
        for key_bytes, nonce_bytes, tag_bits in itertools.product((16, 24, 32), (7, 13), (32, 128)):
            n = next(lengths)
            with self.subTest(key=key_bytes, nonce=nonce_bytes, tag_bits=tag_bits, n=n):
                key, nonce, plain, aad = data(key_bytes, 40), data(nonce_bytes, 41), data(n, 42), data(n % 50, 43)
                args = ["--alg", "ccm", "-K", key.hex(), "--nonce", nonce.hex(), "--tag-bits", str(tag_bits)]
                args += ["--aad-hex", aad.hex()] if aad else []
                self.seal_and_open(args, plain, AESCCM(key, tag_length=tag_bits // 8).encrypt(nonce, plain, aad or None))

    def test_ocb_nonces_and_tags(self):
        # cryptography 38 takes nonces of 12 to 15 bytes and 128-bit tags; libcrypto the rest.
        lengths = itertools.cycle((*LENGTHS, 16385))
        for key_bytes, nonce_bytes, tag_bits in itertools.product((16, 24, 32), (1, 12, 15), (32, 96, 128)):
            n = next(lengths)
            with self.subTest(key=key_bytes, nonce=nonce_bytes, tag_bits=tag_bits, n=n):
                key, nonce, plain, aad = data(key_bytes, 50), data(nonce_bytes, 51), data(n, 52), data(33, 53)
                args = ["--alg", "ocb", "-K", key.hex(), "--nonce", nonce.hex(), "--tag-bits", str(tag_bits),
                        "--aad-hex", aad.hex()]
                theirs = (AESOCB3(key).encrypt(nonce, plain, aad) if tag_bits == 128 and nonce_bytes >= 12
                          else evp_aead("OCB", key, nonce, plain, aad, tag_bits // 8))
                self.seal_and_open(args, plain, theirs)

    def test_eax_published_vectors_and_short_tags(self):
        # An EAX tag of t bytes is the first t bytes of the full one.
        for i, v in enumerate(vectors(EAX_VECTORS)):
            for tag_bits in (128, 32):
                with self.subTest(vector=i, tag_bits=tag_bits):
                    args = ["--alg", "eax", "-K", v["Key"].hex(), "--nonce", v["Nonce"].hex(), "--tag-bits",
                            str(tag_bits), "--aad-hex", v["AAD"].hex()]
                    self.seal_and_open(args, v["Plaintext"], v["Ciphertext"] + v["Tag"][:tag_bits // 8])


class NonceInFrontAndFailures(TempDirTest):
    CASES = {"gcm": (32, 12, 16), "gcm-siv": (16, 12, 16), "xaes-256-gcm": (32, 24, 16), "siv": (64, 16, 16),
             "ccm": (16, 11, 16), "ocb": (24, 12, 16), "eax": (32, 16, 16)}

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

    def test_nonce_bytes_in_front(self):
        plain = data(70000, 22)
        for alg, nonce_bytes in (("gcm", 1), ("gcm", 16), ("ccm", 7), ("ocb", 15), ("eax", 1), ("siv", 3)):
            with self.subTest(alg=alg, nonce_bytes=nonce_bytes):
                args = ["--alg", alg, "-K", data(32, 23).hex(), "--nonce-bytes", str(nonce_bytes)]
                sealed = run(["aead-enc", *args, self.path("p", plain)], check=0).stdout
                self.assertEqual(len(sealed), nonce_bytes + len(plain) + 16)
                self.assertEqual(run(["aead-dec", *args, self.path("c", sealed)], check=0).stdout, plain)
                # The layout is nonce || the rest: the rest opens with the nonce given.
                nonce_args = ["--alg", alg, "-K", data(32, 23).hex(), "--nonce", sealed[:nonce_bytes].hex()]
                rest = self.path("r", sealed[nonce_bytes:])
                self.assertEqual(run(["aead-dec", *nonce_args, rest], check=0).stdout, plain)

    def test_ccm_message_longer_than_its_nonce_counts(self):
        # A 13-byte nonce leaves 2 bytes to count the data: 65535 bytes at most.
        args = ["--alg", "ccm", "-K", "00" * 16, "--nonce", "00" * 13]
        run(["aead-enc", *args, self.path("p", bytes(65535))], check=0)
        p = run(["aead-enc", *args, self.path("p", bytes(65536)), "-o", self.path("out")], env=self.env)
        self.assertEqual(p.returncode, 1)
        self.assertIn(b"shorter nonce", p.stderr)
        self.assertFalse(os.path.exists(self.path("out")))

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
            ["--alg", "gcm", "-K", "00" * 16, "--nonce", ""],
            ["--alg", "gcm", "-K", "00" * 16, "--nonce-bytes", "4097"],
            ["--alg", "gcm", "-K", "00" * 16, "--nonce", "00", "--nonce-bytes", "1"],
            ["--alg", "ccm", "-K", "00" * 16, "--nonce", "00" * 6],
            ["--alg", "ccm", "-K", "00" * 16, "--nonce", "00" * 14],
            ["--alg", "ccm", "-K", "00" * 16, "--nonce-bytes", "6"],
            ["--alg", "ccm", "-K", "00" * 16, "--tag-bits", "40"],
            ["--alg", "ccm", "-K", "00" * 64],
            ["--alg", "ocb", "-K", "00" * 16, "--nonce", ""],
            ["--alg", "ocb", "-K", "00" * 16, "--nonce", "00" * 16],
            ["--alg", "ocb", "-K", "00" * 16, "--tag-bits", "24"],
            ["--alg", "eax", "-K", "00" * 16, "--tag-bits", "136"],
            ["--alg", "gcm-siv", "-K", "00" * 16, "--nonce-bytes", "16"],
        ]
        for args in cases:
            with self.subTest(args=args):
                self.assertEqual(run(["aead-enc", *args, p]).returncode, 2)


if __name__ == "__main__":
    unittest.main()
