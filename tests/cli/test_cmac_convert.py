"""cmac / cmac-verify against `openssl mac`; convert, rand and keygen."""
import base64
import itertools
import unittest

from cli_support import CHUNK, KEYS, TempDirTest, data, openssl, run


class Cmac(TempDirTest):
    def test_equals_openssl_mac(self):
        for bits, n in itertools.product((128, 256), (0, 1, 16, 17, CHUNK + 1)):
            with self.subTest(bits=bits, n=n):
                key, msg = KEYS[bits], data(n, n)
                src = self.path("m", msg)
                theirs = openssl(["mac", "-cipher", f"AES-{bits}-CBC", "-macopt", f"hexkey:{key.hex()}", "-in", src,
                                  "CMAC"], b"").strip()
                ours = run(["cmac", "-K", key.hex(), src], check=0).stdout.strip()
                self.assertEqual(ours, theirs.upper())
                self.assertEqual(run(["cmac", "-K", key.hex(), "--tag-bits", "64"], stdin=msg, check=0).stdout.strip(),
                                 theirs.upper()[:16])
                run(["cmac-verify", "-K", key.hex(), "--tag", theirs.decode().lower(), src], check=0)

    def test_verify_mismatch_is_status_3(self):
        key, msg = KEYS[128], b"message"
        tag = run(["cmac", "-K", key.hex()], stdin=msg, check=0).stdout.strip().decode()
        wrong = tag[:-1] + ("0" if tag[-1] != "0" else "1")
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag", wrong], stdin=msg).returncode, 3)
        # The verified length is --tag-bits (128 unless given), never the given tag's: a shorter
        # tag needs --tag-bits saying so, and nothing below 32 bits is accepted.
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag", tag[:8]], stdin=msg).returncode, 2)
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag-bits", "32", "--tag", tag[:8]], stdin=msg).returncode, 0)
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag-bits", "32", "--tag", tag[:6] + "00"],
                             stdin=msg).returncode, 3 if tag[6:8] != "00" else 0)
        for short in (tag[:2], tag[:6]):  # one byte, three bytes
            for bits in ([], ["--tag-bits", str(len(short) * 4)]):
                with self.subTest(tag=short, bits=bits):
                    p = run(["cmac-verify", "-K", key.hex(), *bits, "--tag", short], stdin=msg + b"changed")
                    self.assertEqual(p.returncode, 2, p.stderr)
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag", tag], stdin=msg + b"!").returncode, 3)
        self.assertEqual(run(["cmac-verify", "-K", key.hex(), "--tag", "zz"], stdin=msg).returncode, 2)


class Convert(unittest.TestCase):
    def test_table(self):
        raw = bytes(range(250, 256)) + b"\x00abc"
        cases = [
            ("raw", "hex", raw, raw.hex().upper().encode() + b"\n"),
            ("hex", "raw", raw.hex().encode() + b"\n", raw),
            ("raw", "base64", raw, base64.b64encode(raw) + b"\n"),
            ("base64", "base64url", base64.b64encode(raw), base64.urlsafe_b64encode(raw) + b"\n"),
            ("base64url", "base32", base64.urlsafe_b64encode(raw) + b"\n", base64.b32encode(raw) + b"\n"),
            ("base32", "raw", base64.b32encode(raw), raw),
            ("dec", "base58", b"0\n", b"1\n"),
            ("dec", "base58", b"18446744073709551615\n", b"JPwcyDCgEup\n"),
            ("base58", "dec", b"JPwcyDCgEup", b"18446744073709551615\n"),
            ("hex", "dec", b"ffffffffffffffffffffffffffffffff", b"340282366920938463463374607431768211455\n"),
        ]
        for source, target, given, expected in cases:
            with self.subTest(source=source, target=target, given=given):
                self.assertEqual(run(["convert", "--from", source, "--to", target], stdin=given, check=0).stdout,
                                 expected)

    def test_bad_input_and_unknown_pairs(self):
        for source, target, given, status in (("hex", "raw", b"abc", 1), ("hex", "raw", b"zz", 1),
                                              ("base64", "raw", b"a=b=", 1), ("dec", "base58", b"18446744073709551616", 1),
                                              ("base58", "dec", b"0OIl", 1), ("raw", "dec", b"x", 2),
                                              ("hex", "yaml", b"00", 2)):
            with self.subTest(source=source, target=target, given=given):
                p = run(["convert", "--from", source, "--to", target], stdin=given)
                self.assertEqual(p.returncode, status, p.stderr)


class Random(unittest.TestCase):
    def test_rand_and_keygen(self):
        a = run(["rand", "32"], check=0).stdout.strip()
        self.assertEqual(len(bytes.fromhex(a.decode())), 32)
        self.assertNotEqual(a, run(["rand", "32"], check=0).stdout.strip())
        self.assertEqual(len(base64.b64decode(run(["rand", "7", "--format", "base64"], check=0).stdout)), 7)
        for bits in (128, 192, 256):
            key = run(["keygen", "--bits", str(bits)], check=0).stdout.strip()
            self.assertEqual(len(bytes.fromhex(key.decode())) * 8, bits)
        self.assertEqual(run(["rand", "0"]).returncode, 2)
        self.assertEqual(run(["keygen", "--bits", "100"]).returncode, 2)


if __name__ == "__main__":
    unittest.main()
