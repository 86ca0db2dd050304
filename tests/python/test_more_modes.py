"""The further AEAD classes of orvoaes against cryptography on random tables: AESGCMSIV (where
the interpreter's cryptography has it), AESSIV, and XAES256GCM against its definition built from
cryptography's CMAC and AESGCM; wrong tags raise InvalidTag and an _into buffer keeps its bytes;
bad arguments raise what cryptography raises."""
import random
import unittest

import orvoaes
from support import result_class
from cryptography.hazmat.primitives import cmac
from cryptography.hazmat.primitives.ciphers import aead, algorithms

RNG = random.Random(4048)
LENGTHS = (0, 1, 15, 16, 17, 64, 255, 4096, 5000, 70000)


def rand(n):
    return RNG.randbytes(n)


def xaes_reference(key, nonce, data, aad):
    """XAES-256-GCM from its definition: the message key is CMAC(K, 0x0001 'X' 0x00 || N[:12])
    followed by CMAC(K, 0x0002 'X' 0x00 || N[:12]) (one block each), then AES-256-GCM with N[12:]."""
    halves = []
    for i in (1, 2):
        c = cmac.CMAC(algorithms.AES(key))
        c.update(bytes([0, i]) + b"X\x00" + nonce[:12])
        halves.append(c.finalize())
    return aead.AESGCM(b"".join(halves)).encrypt(nonce[12:], data, aad)


class AEADTableMixin:
    """Random tables against a reference, wrong tags, _into buffers; set by the subclasses."""

    ours = None  # the class under test
    key_sizes = ()
    nonce_sizes = ()

    def reference(self, key, nonce, data, aad):
        raise NotImplementedError

    def test_equal_to_reference_and_back(self):
        for i in range(50):
            key, nonce = rand(RNG.choice(self.key_sizes)), rand(RNG.choice(self.nonce_sizes))
            data, aad = rand(RNG.choice(LENGTHS)), RNG.choice((None, b"", rand(33)))
            with self.subTest(i=i, key=len(key), data=len(data)):
                want = self.reference(key, nonce, data, aad)
                g = self.ours(bytearray(key))
                self.assertEqual(g.encrypt(memoryview(nonce), data, aad), want)
                self.assertEqual(g.decrypt(nonce, bytearray(want), aad), data)
                buf = bytearray(len(want))
                g.encrypt_into(nonce, data, aad, buf)
                self.assertEqual(bytes(buf), want)

    def test_wrong_tag_raises_and_into_keeps_its_bytes(self):
        key, nonce = rand(self.key_sizes[-1]), rand(self.nonce_sizes[0])
        g = self.ours(key)
        for n in (0, 20, 5000):
            sealed = bytearray(g.encrypt(nonce, rand(n), b"ad"))
            sealed[RNG.randrange(len(sealed))] ^= 4
            self.assertRaises(orvoaes.InvalidTag, g.decrypt, nonce, bytes(sealed), b"ad")
            buf = bytearray(b"\x5a" * n)
            self.assertRaises(orvoaes.InvalidTag, g.decrypt_into, nonce, bytes(sealed), b"ad", buf)
            self.assertEqual(buf, bytearray(b"\x5a" * n))
        self.assertRaises(orvoaes.InvalidTag, g.decrypt, nonce, rand(15), None)


class AESGCMSIVTest(AEADTableMixin, unittest.TestCase):
    ours = orvoaes.AESGCMSIV
    key_sizes = (16, 32)
    nonce_sizes = (12,)

    def setUp(self):
        if not hasattr(aead, "AESGCMSIV"):
            self.skipTest("this cryptography has no AESGCMSIV")

    def reference(self, key, nonce, data, aad):
        return aead.AESGCMSIV(key).encrypt(nonce, data, aad)

    def test_bad_arguments(self):
        for key in (rand(15), rand(48), "k" * 16):
            self.assertIs(result_class(lambda: orvoaes.AESGCMSIV(key)), result_class(lambda: aead.AESGCMSIV(key)))
        # The standard defines AES-128 and AES-256 only; cryptography also takes 24 bytes.
        self.assertRaises(ValueError, orvoaes.AESGCMSIV, rand(24))
        ours, theirs = orvoaes.AESGCMSIV(rand(16)), None
        theirs = aead.AESGCMSIV(bytes(16))
        for nonce in (rand(11), rand(13), b"", "n" * 12):
            self.assertIs(result_class(lambda: ours.encrypt(nonce, b"x", None)), result_class(lambda: theirs.encrypt(nonce, b"x", None)))
        self.assertEqual(len(orvoaes.AESGCMSIV.generate_key(256)), 32)
        self.assertRaises(ValueError, orvoaes.AESGCMSIV.generate_key, 192)


class XAES256GCMTest(AEADTableMixin, unittest.TestCase):
    ours = orvoaes.XAES256GCM
    key_sizes = (32,)
    nonce_sizes = (24,)

    def reference(self, key, nonce, data, aad):
        return xaes_reference(key, nonce, data, aad)

    def test_bad_arguments(self):
        for key in (rand(16), rand(24), rand(33)):
            self.assertRaises(ValueError, orvoaes.XAES256GCM, key)
        g = orvoaes.XAES256GCM(rand(32))
        for nonce in (rand(12), rand(23), rand(25)):
            self.assertRaises(ValueError, g.encrypt, nonce, b"x", None)
        self.assertEqual(len(orvoaes.XAES256GCM.generate_key(256)), 32)


class AESSIVTest(unittest.TestCase):
    def test_equal_to_cryptography_and_back(self):
        for i in range(50):
            key = rand(RNG.choice((32, 48, 64)))
            data = rand(RNG.choice(LENGTHS[1:]))  # cryptography 38 cannot seal an empty message
            ad = RNG.choice((None, [], [rand(5)], [rand(16), b"", rand(40)]))
            with self.subTest(i=i, key=len(key), data=len(data), ad=None if ad is None else len(ad)):
                want = aead.AESSIV(key).encrypt(data, ad)
                g = orvoaes.AESSIV(key)
                self.assertEqual(g.encrypt(bytearray(data), ad), want)
                self.assertEqual(g.decrypt(want, ad), data)
        g = orvoaes.AESSIV(rand(32))
        self.assertEqual(g.decrypt(g.encrypt(b"", None), None), b"")

    def test_wrong_inputs(self):
        g = orvoaes.AESSIV(rand(32))
        sealed = bytearray(g.encrypt(b"message", [b"a", b"b"]))
        self.assertRaises(orvoaes.InvalidTag, g.decrypt, bytes(sealed), [b"a"])
        self.assertRaises(orvoaes.InvalidTag, g.decrypt, bytes(sealed), [b"b", b"a"])
        sealed[0] ^= 1
        self.assertRaises(orvoaes.InvalidTag, g.decrypt, bytes(sealed), [b"a", b"b"])
        self.assertRaises(orvoaes.InvalidTag, g.decrypt, rand(15), None)
        theirs = aead.AESSIV(bytes(32))
        for bad in (b"abc", (b"a",), [b"a", "b"]):
            self.assertIs(result_class(lambda: g.encrypt(b"x", bad)), result_class(lambda: theirs.encrypt(b"x", bad)))
        # S2V counts at most 126 associated strings (cryptography seals 127 too; we refuse).
        most = [rand(1) for _ in range(126)]
        self.assertEqual(orvoaes.AESSIV(bytes(32)).encrypt(b"x", most), theirs.encrypt(b"x", most))
        self.assertRaises(ValueError, g.encrypt, b"x", most + [b""])
        for key in (rand(16), rand(24), rand(65)):
            self.assertIs(result_class(lambda: orvoaes.AESSIV(key)), result_class(lambda: aead.AESSIV(key)))


if __name__ == "__main__":
    unittest.main()
