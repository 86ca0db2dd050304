"""gcm-enc / gcm-dec against Python cryptography's AES-GCM: three key sizes, with and without
additional data, tags of 32 to 128 bits in a file or after the cipher text, the IV given or in
front, IVs of every length (below 8 bytes, which cryptography refuses, against OpenSSL's libcrypto
through ctypes); a damaged input or tag fails with status 3 and writes nothing."""
import itertools
import os
import unittest

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

from cli_support import CHUNK, KEYS, TempDirTest, data, evp_aead, run

IV12 = bytes.fromhex("cafebabefacedbaddecaf888")


def their_decrypt(key, iv, cipher, tag, aad):
    d = Cipher(algorithms.AES(key), modes.GCM(iv, tag, min_tag_length=4)).decryptor()
    if aad:
        d.authenticate_additional_data(aad)
    return d.update(cipher) + d.finalize()


class AgainstCryptography(TempDirTest):
    def test_known_iv_tag_in_a_file_or_appended(self):
        for bits, n, aad, tag_bits in itertools.product(KEYS, (0, 1, 17, CHUNK + 17), (b"", b"header"),
                                                         (128, 96, 32)):
            with self.subTest(bits=bits, n=n, aad=aad, tag_bits=tag_bits):
                key, plain = KEYS[bits], data(n, bits + n)
                expected = AESGCM(key).encrypt(IV12, plain, aad)
                cipher, tag = expected[:-16], expected[-16:][: tag_bits // 8]
                common = ["-K", key.hex(), "--iv", IV12.hex(), "--tag-bits", str(tag_bits), "-f"]
                common += ["--aad", self.path("a", aad)] if aad else []
                src = self.path("p", plain)
                run(["gcm-enc", *common, src, "-o", self.path("c"), "--tag", self.path("t")], check=0)
                self.assertEqual((self.read("c"), self.read("t")), (cipher, tag))
                appended = run(["gcm-enc", *common, src], check=0).stdout
                self.assertEqual(appended, cipher + tag)
                back = run(["gcm-dec", *common, self.path("ct", cipher + tag)], check=0).stdout
                self.assertEqual(back, plain)

    def test_iv_in_front(self):
        key, plain, aad = KEYS[256], data(1000), b"additional"
        out = run(["gcm-enc", "-K", key.hex(), "--aad", self.path("a", aad)], stdin=plain, check=0).stdout
        iv, cipher, tag = out[:12], out[12:-16], out[-16:]
        self.assertEqual(their_decrypt(key, iv, cipher, tag, aad), plain)
        theirs = os.urandom(12)
        ct = theirs + AESGCM(key).encrypt(theirs, plain, aad)
        self.assertEqual(run(["gcm-dec", "-K", key.hex(), "--aad", self.path("a")], stdin=ct, check=0).stdout, plain)

    def test_iv_of_every_length(self):
        # Lengths 1 to 7 (libcrypto as the oracle), 8, 16 and 60 (cryptography), and 12, which
        # takes the direct counter path; an in-front IV of the same length with --iv-bytes.
        key, aad = KEYS[192], b"hdr"
        for iv_bytes, n in itertools.product((1, 7, 8, 12, 16, 60), (0, 17, CHUNK + 17)):
            with self.subTest(iv_bytes=iv_bytes, n=n):
                iv, plain = data(iv_bytes, iv_bytes), data(n, n)
                sealed = (AESGCM(key).encrypt(iv, plain, aad) if iv_bytes >= 8 else evp_aead("GCM", key, iv, plain, aad, 16))
                common = ["-K", key.hex(), "--aad", self.path("a", aad)]
                self.assertEqual(run(["gcm-enc", *common, "--iv", iv.hex(), self.path("p", plain)], check=0).stdout, sealed)
                self.assertEqual(run(["gcm-dec", *common, "--iv", iv.hex(), self.path("c", sealed)], check=0).stdout, plain)
                front = ["--iv-bytes", str(iv_bytes)]
                self.assertEqual(run(["gcm-dec", *common, *front, self.path("c", iv + sealed)], check=0).stdout, plain)
                mine = run(["gcm-enc", *common, *front, self.path("p")], check=0).stdout
                self.assertEqual(len(mine), iv_bytes + n + 16)
                self.assertEqual(run(["gcm-dec", *common, *front, self.path("c", mine)], check=0).stdout, plain)
                bad = bytearray(iv + sealed)
                bad[0] ^= 1  # the IV itself is authenticated through J0
                p = run(["gcm-dec", *common, *front, self.path("bad", bytes(bad)), "-o", self.path("out")])
                self.assertEqual(p.returncode, 3, p.stderr)
                self.assertFalse(os.path.exists(self.path("out")))
        for args in (["--iv", ""], ["--iv-bytes", "0"], ["--iv-bytes", "4097"], ["--iv", "00", "--iv-bytes", "1"]):
            with self.subTest(args=args):
                self.assertEqual(run(["gcm-enc", "-K", key.hex(), *args], stdin=b"x").returncode, 2)

    def test_damage_fails_with_status_3_and_no_output(self):
        key, plain, aad = KEYS[128], data(CHUNK + 5), b"aad"
        good = IV12 + AESGCM(key).encrypt(IV12, plain, aad)
        damaged = {"iv": 0, "body": 12 + CHUNK // 2, "last byte of body": len(good) - 17, "tag": len(good) - 1}
        self.path("a", aad)
        for where, at in damaged.items():
            for target in ("file", "stdout"):
                with self.subTest(where=where, target=target):
                    bad = bytearray(good)
                    bad[at] ^= 0x04
                    args = ["gcm-dec", "-K", key.hex(), "--aad", self.path("a"), self.path("in", bytes(bad))]
                    p = run(args + (["-o", self.path("out")] if target == "file" else []), env=self.env)
                    self.assertEqual(p.returncode, 3, p.stderr)
                    self.assertEqual(p.stdout, b"")
                    self.assertNoLeftovers("a", "in")
        p = run(["gcm-dec", "-K", key.hex(), self.path("in", good), "-o", self.path("out")])  # additional data left out
        self.assertEqual(p.returncode, 3)

    def test_tag_bits_outside_32_to_128_are_refused(self):
        for bits in ("24", "136", "100"):
            with self.subTest(bits=bits):
                self.assertEqual(run(["gcm-enc", "-K", KEYS[128].hex(), "--tag-bits", bits], stdin=b"x").returncode, 2)


if __name__ == "__main__":
    unittest.main()
