"""wrap / unwrap (kw, kwp) and enc/dec --mode xts against Python cryptography: every key size,
lengths at the limits, sector-wise images; a damaged or foreign wrapping exits 3 with nothing
written; refused keys, tweaks and lengths exit 2 or 1."""
import os
import unittest

from cryptography.hazmat.primitives import keywrap
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

from cli_support import KEYS, TempDirTest, data, run


def xts(key, tweak, plain):
    e = Cipher(algorithms.AES(key), modes.XTS(tweak)).encryptor()
    return e.update(plain) + e.finalize()


class KeyWrap(TempDirTest):
    def test_both_ways_against_cryptography(self):
        for bits, kek in KEYS.items():
            for alg, lengths, theirs, unwrap in (
                    ("kw", (16, 24, 32, 64), keywrap.aes_key_wrap, keywrap.aes_key_unwrap),
                    ("kwp", (1, 7, 8, 9, 20, 32, 100), keywrap.aes_key_wrap_with_padding,
                     keywrap.aes_key_unwrap_with_padding)):
                for n in lengths:
                    with self.subTest(bits=bits, alg=alg, n=n):
                        key = data(n, bits + n)
                        wrapped = run(["wrap", "--alg", alg, "-K", kek.hex()], stdin=key, check=0).stdout
                        self.assertEqual(wrapped, theirs(kek, key))
                        run(["unwrap", "--alg", alg, "-K", kek.hex(), self.path("w", wrapped), "-o",
                                    self.path("k"), "-f"], check=0)
                        self.assertEqual(self.read("k"), unwrap(kek, wrapped))
                        self.assertEqual(self.read("k"), key)

    def test_key_encryption_key_from_a_file(self):
        kek, key = KEYS[256], data(32)
        run(["wrap", "--key-file", self.path("kek", kek), self.path("key", key), "-o", self.path("w")], check=0)
        self.assertEqual(self.read("w"), keywrap.aes_key_wrap(kek, key))

    def test_damage_or_another_key_exits_3_and_writes_nothing(self):
        kek, key = KEYS[128], data(24)
        for alg, wrapped in (("kw", keywrap.aes_key_wrap(kek, key)), ("kwp", keywrap.aes_key_wrap_with_padding(kek, key))):
            cases = {"byte 0": (0, kek), "last byte": (len(wrapped) - 1, kek), "other key": (None, bytes(range(16, 32)))}
            for where, (at, k) in cases.items():
                with self.subTest(alg=alg, where=where):
                    bad = bytearray(wrapped)
                    if at is not None:
                        bad[at] ^= 0x10
                    p = run(["unwrap", "--alg", alg, "-K", k.hex(), self.path("in", bytes(bad)), "-o",
                             self.path("out")], check=3)
                    self.assertIn(b"integrity check failed", p.stderr)
                    self.assertFalse(os.path.exists(self.path("out")))
                    self.assertEqual(run(["unwrap", "--alg", alg, "-K", k.hex()], stdin=bytes(bad), check=3).stdout, b"")

    def test_refused_lengths(self):
        kek = KEYS[128].hex()
        for args, stdin, status in ((["wrap"], data(20), 1), (["wrap"], data(8), 1), (["wrap", "--alg", "kwp"], b"", 1),
                                    (["unwrap"], data(16), 1), (["unwrap", "--alg", "kwp"], data(12), 1),
                                    (["wrap", "--alg", "gcm"], data(16), 2)):
            with self.subTest(args=args, n=len(stdin)):
                self.assertEqual(run([*args, "-K", kek], stdin=stdin, check=status).stdout, b"")


class XTS(TempDirTest):
    TWEAK = bytes.fromhex("0f0e0d0c0b0a09080706050403020100")

    def test_one_data_unit_against_cryptography(self):
        for key_bytes in (32, 64):
            key = data(key_bytes, key_bytes)
            for n in (16, 17, 31, 32, 100, 4096, 4111, 1 << 20):
                with self.subTest(key_bytes=key_bytes, n=n):
                    plain = data(n, n)
                    args = ["-m", "xts", "-K", key.hex(), "--iv", self.TWEAK.hex()]
                    cipher = run(["enc", *args], stdin=plain, check=0).stdout
                    self.assertEqual(cipher, xts(key, self.TWEAK, plain))
                    self.assertEqual(run(["dec", *args, self.path("c", cipher)], check=0).stdout, plain)

    def test_two_aes_192_keys(self):
        key, plain = data(48, 5), data(1000, 6)
        args = ["-m", "xts", "-K", key.hex(), "--iv", self.TWEAK.hex()]
        cipher = run(["enc", *args], stdin=plain, check=0).stdout
        self.assertEqual(len(cipher), len(plain))
        self.assertNotEqual(cipher, plain)
        self.assertEqual(run(["dec", *args], stdin=cipher, check=0).stdout, plain)

    def test_sectors_are_units_under_their_numbers(self):
        key = data(64, 7)
        for sector, first, count in ((512, 0, 5), (4096, 1000, 300), (520, 2**64 - 2, 2)):
            with self.subTest(sector=sector, first=first):
                plain = data(sector * count, sector)
                expected = b"".join(xts(key, (first + k).to_bytes(16, "little"), plain[k * sector:(k + 1) * sector])
                                    for k in range(count))
                args = ["-m", "xts", "-K", key.hex(), "--sector-size", str(sector)]
                if first:
                    args += ["--iv", first.to_bytes(16, "little").hex()]
                run(["enc", *args, self.path("img", plain), "-o", self.path("enc"), "-f"], check=0)
                self.assertEqual(self.read("enc"), expected)
                self.assertEqual(run(["dec", *args, self.path("enc")], check=0).stdout, plain)

    def test_refused(self):
        good = data(32, 1).hex()
        same = (data(16, 2) * 2).hex()
        cases = [(["-K", good], data(32), 2, "no tweak"),
                 (["-K", data(16, 1).hex(), "--iv", self.TWEAK.hex()], data(32), 2, "key of 16 bytes"),
                 (["-K", same, "--iv", self.TWEAK.hex()], data(32), 1, "equal halves"),
                 (["-K", good, "--iv", self.TWEAK.hex()], data(15), 1, "15 bytes"),
                 (["-K", good, "--iv", self.TWEAK.hex(), "--padding", "pkcs7"], data(32), 2, "padding"),
                 (["-K", good, "--sector-size", "512"], data(1000), 1, "not whole sectors"),
                 (["-K", good, "--sector-size", "8"], data(64), 2, "sector of 8 bytes")]
        for args, stdin, status, what in cases:
            with self.subTest(what):
                self.assertEqual(run(["enc", "-m", "xts", *args], stdin=stdin, check=status).stdout, b"")


if __name__ == "__main__":
    unittest.main()
