"""AESCCM, AESOCB3, AESEAX, AESXTS and key wrap of orvoaes against cryptography on random tables
(EAX, which cryptography lacks, against the first vector of its authors' paper and round trips):
the same bytes, the same exception classes for bad arguments, InvalidTag / InvalidUnwrap for
damaged inputs with an _into buffer left as it was."""
import random
import unittest

import orvoaes
from support import result_class
from cryptography.hazmat.primitives import keywrap
from cryptography.hazmat.primitives.ciphers import Cipher, aead, algorithms, modes

RNG = random.Random(3610)
LENGTHS = (0, 1, 15, 16, 17, 64, 255, 4096, 5000)


def rand(n):
    return RNG.randbytes(n)


class CCMAndOCBTest(unittest.TestCase):
    def test_equal_to_cryptography_and_back(self):
        for i in range(80):
            key, data, aad = rand(RNG.choice((16, 24, 32))), rand(RNG.choice(LENGTHS)), RNG.choice((None, rand(20)))
            if i % 2:
                tag = RNG.choice((4, 6, 8, 10, 12, 14, 16))
                nonce = rand(RNG.choice((7, 10, 13)))
                ours, theirs = orvoaes.AESCCM(key, tag_length=tag), aead.AESCCM(key, tag_length=tag)
            else:
                nonce = rand(RNG.choice((12, 13, 15)))
                ours, theirs = orvoaes.AESOCB3(key), aead.AESOCB3(key)
            with self.subTest(i=i, cls=type(ours).__name__, nonce=len(nonce), data=len(data)):
                want = theirs.encrypt(nonce, data, aad)
                self.assertEqual(ours.encrypt(nonce, bytearray(data), aad), want)
                self.assertEqual(ours.decrypt(nonce, want, aad), data)
                damaged = bytearray(want)
                damaged[RNG.randrange(len(damaged))] ^= 2
                buf = bytearray(b"\x33" * len(data))
                self.assertRaises(orvoaes.InvalidTag, ours.decrypt_into, nonce, bytes(damaged), aad, buf)
                self.assertEqual(buf, bytearray(b"\x33" * len(data)))

    def test_bad_arguments_as_cryptography(self):
        key = rand(16)
        for tag in (3, 5, 17, 18, 0):
            self.assertIs(result_class(lambda: orvoaes.AESCCM(key, tag)), result_class(lambda: aead.AESCCM(key, tag)))
        for k in (rand(15), rand(48)):
            for name in ("AESCCM", "AESOCB3"):
                self.assertIs(result_class(lambda: getattr(orvoaes, name)(k)), result_class(lambda: getattr(aead, name)(k)))
        ccm, tccm = orvoaes.AESCCM(key), aead.AESCCM(key)
        ocb, tocb = orvoaes.AESOCB3(key), aead.AESOCB3(key)
        for nonce in (rand(6), rand(7), rand(13), rand(14)):
            self.assertIs(result_class(lambda: ccm.encrypt(nonce, b"x", None)), result_class(lambda: tccm.encrypt(nonce, b"x", None)))
        for nonce in (rand(11), rand(12), rand(15), rand(16)):
            self.assertIs(result_class(lambda: ocb.encrypt(nonce, b"x", None)), result_class(lambda: tocb.encrypt(nonce, b"x", None)))
        # A 13-byte nonce leaves two bytes to count the data: 65535 bytes at most. (cryptography
        # fails on 65535, a valid message, with an OpenSSL error and lets 65536 through to one.)
        nonce = rand(13)
        self.assertEqual(ccm.decrypt(nonce, ccm.encrypt(nonce, bytes(65535), None), None), bytes(65535))
        self.assertRaises(ValueError, ccm.encrypt, nonce, bytes(65536), None)
        self.assertIs(result_class(lambda: ccm.encrypt(nonce, bytes(70000), None)),
                      result_class(lambda: tccm.encrypt(nonce, bytes(70000), None)))


class EAXTest(unittest.TestCase):
    def test_known_answer_and_round_trips(self):
        key = bytes.fromhex("233952DEE4D5ED5F9B9C6D6FF80FF478")
        nonce = bytes.fromhex("62EC67F9C3A4A407FCB2A8C49031A8B3")
        header = bytes.fromhex("6BFB914FD07EAE6B")
        self.assertEqual(orvoaes.AESEAX(key).encrypt(nonce, b"", header).hex().upper(), "E037830E8389F27B025A2D6527E79D01")
        for n in LENGTHS:
            g, nonce, data = orvoaes.AESEAX(rand(32)), rand(RNG.choice((0, 1, 16, 40))), rand(n)
            sealed = g.encrypt(nonce, data, b"h")
            self.assertEqual(g.decrypt(nonce, sealed, b"h"), data)
            self.assertRaises(orvoaes.InvalidTag, g.decrypt, nonce, sealed, b"H")


class XTSTest(unittest.TestCase):
    def test_equal_to_cryptography(self):
        for i in range(40):
            key = rand(RNG.choice((32, 64)))
            tweak, data = rand(16), rand(RNG.choice((16, 17, 31, 32, 100, 512, 4096, 5000)))
            with self.subTest(i=i, key=len(key), data=len(data)):
                enc = Cipher(algorithms.AES(key), modes.XTS(tweak)).encryptor()
                want = enc.update(data) + enc.finalize()
                x = orvoaes.AESXTS(key)
                self.assertEqual(x.encrypt(tweak, data), want)
                self.assertEqual(x.decrypt(tweak, want), data)
        x = orvoaes.AESXTS(rand(32))
        self.assertRaises(ValueError, x.encrypt, rand(16), rand(15))
        self.assertRaises(ValueError, x.encrypt, rand(15), rand(16))
        half = rand(16)
        self.assertRaises(ValueError, orvoaes.AESXTS, half + half)
        self.assertRaises(ValueError, orvoaes.AESXTS, rand(16))


class KeyWrapTest(unittest.TestCase):
    def test_equal_to_cryptography_and_refusals(self):
        for i in range(40):
            kek = rand(RNG.choice((16, 24, 32)))
            padded = i % 2 == 1
            key = rand(RNG.choice((1, 5, 8, 20, 33)) if padded else RNG.choice((16, 24, 32, 40)))
            wrap = keywrap.aes_key_wrap_with_padding if padded else keywrap.aes_key_wrap
            ours_wrap = orvoaes.aes_key_wrap_with_padding if padded else orvoaes.aes_key_wrap
            ours_unwrap = orvoaes.aes_key_unwrap_with_padding if padded else orvoaes.aes_key_unwrap
            with self.subTest(i=i, kek=len(kek), key=len(key), padded=padded):
                wrapped = wrap(kek, key)
                self.assertEqual(ours_wrap(kek, key), wrapped)
                self.assertEqual(ours_unwrap(kek, bytearray(wrapped)), key)
                damaged = bytearray(wrapped)
                damaged[RNG.randrange(len(damaged))] ^= 1
                self.assertRaises(orvoaes.InvalidUnwrap, ours_unwrap, kek, bytes(damaged))
        kek = rand(16)
        calls = [
            (orvoaes.aes_key_wrap, keywrap.aes_key_wrap, (kek, rand(15))),
            (orvoaes.aes_key_wrap, keywrap.aes_key_wrap, (kek, rand(20))),
            (orvoaes.aes_key_wrap, keywrap.aes_key_wrap, (rand(15), rand(16))),
            (orvoaes.aes_key_unwrap, keywrap.aes_key_unwrap, (kek, rand(16))),
            (orvoaes.aes_key_unwrap, keywrap.aes_key_unwrap, (kek, rand(25))),
            (orvoaes.aes_key_unwrap_with_padding, keywrap.aes_key_unwrap_with_padding, (kek, rand(8))),
        ]
        for ours, theirs, args in calls:
            with self.subTest(f=ours.__name__, args=[len(a) for a in args]):
                got, want = result_class(lambda: ours(*args)), result_class(lambda: theirs(*args))
                self.assertEqual(got.__name__, want.__name__)


if __name__ == "__main__":
    unittest.main()
