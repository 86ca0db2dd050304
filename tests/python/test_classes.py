"""orvoaes against cryptography on random tables: AESGCM (one-shot and _into), CMAC and the block
modes give the same bytes, raise the same exception classes for the same bad arguments, and a
wrong tag raises InvalidTag with nothing written into an _into buffer.

Run by CTest with each configured interpreter (PYTHONPATH names the built module)."""
import os
import random
import unittest

import orvoaes
from cryptography import exceptions as cx
from cryptography.hazmat.primitives import cmac
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

try:  # the newer home of OFB and CFB
    from cryptography.hazmat.decrepit.ciphers.modes import CFB, CFB8, OFB
except ImportError:
    CFB, CFB8, OFB = modes.CFB, modes.CFB8, modes.OFB

RNG = random.Random(2027)


def rand(n):
    return RNG.randbytes(n)


def as_kind(data, kind):
    """data as bytes, bytearray, memoryview, or a memoryview slice into a larger buffer."""
    if kind == "bytes":
        return bytes(data)
    if kind == "bytearray":
        return bytearray(data)
    if kind == "memoryview":
        return memoryview(bytes(data))
    return memoryview(b"x" * 3 + bytes(data) + b"y" * 5)[3 : 3 + len(data)]


KINDS = ("bytes", "bytearray", "memoryview", "slice")
LENGTHS = (0, 1, 15, 16, 17, 63, 64, 255, 1024, 4095, 4096, 4097, 70000)


def outcome(f):
    """The result of f(), or the class of the exception it raised."""
    try:
        return f()
    except Exception as e:  # noqa: BLE001 - the class is the result
        return type(e)


def kind_of(result):
    """The exception class of an outcome, or the type of a result."""
    return result if isinstance(result, type) else type(result)


class AESGCMTest(unittest.TestCase):
    def test_equal_to_cryptography_on_random_table(self):
        for i in range(120):
            key = rand(RNG.choice((16, 24, 32)))
            nonce = rand(RNG.choice((8, 12, 12, 12, 16, 60, 128)))
            data = rand(RNG.choice(LENGTHS))
            aad = RNG.choice((None, b"", rand(RNG.choice((1, 16, 33, 300)))))
            kind = KINDS[i % len(KINDS)]
            ours, theirs = orvoaes.AESGCM(as_kind(key, kind)), AESGCM(key)
            with self.subTest(i=i, key=len(key), nonce=len(nonce), data=len(data), kind=kind):
                sealed = theirs.encrypt(nonce, data, aad)
                a = None if aad is None else as_kind(aad, kind)
                got = ours.encrypt(as_kind(nonce, kind), as_kind(data, kind), a)
                self.assertIs(type(got), bytes)
                self.assertEqual(got, sealed)
                self.assertEqual(ours.decrypt(as_kind(nonce, kind), as_kind(sealed, kind), a), data)
                buf = bytearray(len(data) + 16)
                self.assertEqual(ours.encrypt_into(nonce, as_kind(data, kind), aad, buf), len(buf))
                self.assertEqual(bytes(buf), sealed)
                back = bytearray(len(data))
                self.assertEqual(ours.decrypt_into(nonce, sealed, aad, memoryview(back)), len(data))
                self.assertEqual(bytes(back), data)

    def test_in_place_into_the_same_memory(self):
        g = orvoaes.AESGCM(bytes(range(32)))
        nonce, data = rand(12), rand(5000)
        buf = bytearray(data + bytes(16))
        g.encrypt_into(nonce, memoryview(buf)[: len(data)], None, buf)
        self.assertEqual(bytes(buf), AESGCM(bytes(range(32))).encrypt(nonce, data, None))
        sealed = bytes(buf)
        # A buffer that overlaps the data at another offset is refused.
        with self.assertRaises(ValueError):
            g.encrypt_into(nonce, memoryview(buf)[1 : 1 + len(data)], None, buf)
        back = bytearray(len(data))
        g.decrypt_into(nonce, sealed, None, back)
        self.assertEqual(bytes(back), data)

    def test_wrong_tag_raises_invalid_tag_and_writes_nothing(self):
        key, nonce, aad = rand(16), rand(12), b"header"
        g = orvoaes.AESGCM(key)
        for n in (0, 1, 16, 100, 5000):
            sealed = g.encrypt(nonce, rand(n), aad)
            flipped = bytearray(sealed)
            flipped[RNG.randrange(len(flipped))] ^= 0x10
            cases = {
                "changed byte": (nonce, bytes(flipped), aad),
                "other aad": (nonce, sealed, b"Header"),
                "no aad": (nonce, sealed, None),
                "other nonce": (rand(12), sealed, aad),
                "tag cut": (nonce, sealed[:-1], aad),
            }
            for what, (nn, ct, ad) in cases.items():
                with self.subTest(n=n, what=what):
                    self.assertRaises(orvoaes.InvalidTag, g.decrypt, nn, ct, ad)
                    if len(ct) < 16:
                        continue
                    buf = bytearray(b"\xa5" * (len(ct) - 16))
                    self.assertRaises(orvoaes.InvalidTag, g.decrypt_into, nn, ct, ad, buf)
                    self.assertEqual(buf, bytearray(b"\xa5" * (len(ct) - 16)))
        for short in (b"", b"x" * 15):
            self.assertRaises(orvoaes.InvalidTag, g.decrypt, nonce, short, None)
        self.assertTrue(issubclass(orvoaes.InvalidTag, Exception))

    def test_bad_arguments_raise_what_cryptography_raises(self):
        key = rand(16)
        for k in (b"", rand(15), rand(17), rand(31), rand(64), "k" * 16, None, 16):
            with self.subTest(key=k):
                self.assertIs(outcome(lambda: orvoaes.AESGCM(k)), outcome(lambda: AESGCM(k)))
        ours, theirs = orvoaes.AESGCM(key), AESGCM(key)
        calls = [
            (b"", b"data", None), (rand(7), b"data", None), (rand(129), b"data", None), (rand(8), b"d", None),
            ("n" * 12, b"data", None), (None, b"data", None), (rand(12), "data", None), (rand(12), None, None),
            (rand(12), 5, None), (rand(12), b"data", "aad"), (rand(12), b"data", 7),
        ]
        for args in calls:
            with self.subTest(args=args):
                want = kind_of(outcome(lambda: theirs.encrypt(*args)))
                self.assertIs(kind_of(outcome(lambda: ours.encrypt(*args))), want)
        # Arguments by name, missing, repeated or unknown.
        nonce = rand(12)
        sealed = theirs.encrypt(nonce, b"data", b"ad")
        self.assertEqual(ours.encrypt(associated_data=b"ad", data=b"data", nonce=nonce), sealed)
        self.assertEqual(ours.decrypt(nonce, sealed, associated_data=b"ad"), b"data")
        for call in (
            lambda g: g.encrypt(nonce, b"data"),
            lambda g: g.encrypt(nonce, b"data", None, None),
            lambda g: g.encrypt(nonce, b"data", None, nonce=nonce),
            lambda g: g.decrypt(nonce, sealed, aad=b"ad"),
        ):
            self.assertIs(outcome(lambda: call(ours)), outcome(lambda: call(theirs)))
        self.assertRaises(TypeError, orvoaes.AESGCM.encrypt, object(), nonce, b"data", None)
        self.assertRaises(TypeError, orvoaes.AESGCM.__new__(orvoaes.AESGCM).encrypt, nonce, b"data", None)
        for bits in (128, 192, 256, 0, 100, 512, "128", 128.0, None):
            with self.subTest(bits=bits):
                got, want = outcome(lambda: orvoaes.AESGCM.generate_key(bits)), outcome(lambda: AESGCM.generate_key(bits))
                if isinstance(want, bytes):
                    self.assertEqual((type(got), len(got)), (bytes, len(want)))
                else:
                    self.assertIs(got, want)
        self.assertNotEqual(orvoaes.AESGCM.generate_key(128), orvoaes.AESGCM.generate_key(128))
        # The _into forms: a buffer of another length is a ValueError, a read-only one a TypeError.
        nonce = rand(12)
        for size in (19, 21, 0):
            self.assertRaises(ValueError, ours.encrypt_into, nonce, b"abcd", None, bytearray(size))
        self.assertRaises(TypeError, ours.encrypt_into, nonce, b"abcd", None, bytes(20))
        # ... by name as well, and on an object whose constructor has not run.
        buf, back = bytearray(20), bytearray(4)
        self.assertEqual(ours.encrypt_into(buf=buf, associated_data=b"ad", data=b"abcd", nonce=nonce), 20)
        self.assertEqual(ours.decrypt_into(nonce, bytes(buf), associated_data=b"ad", buf=back), 4)
        self.assertEqual(back, b"abcd")
        self.assertRaises(TypeError, ours.encrypt_into, nonce, b"abcd", None)
        self.assertRaises(TypeError, ours.encrypt_into, nonce, b"abcd", None, bytearray(20), out=buf)
        self.assertRaises(TypeError, orvoaes.AESGCM.__new__(orvoaes.AESGCM).decrypt_into, nonce, bytes(buf), None, back)
        sealed = ours.encrypt(nonce, b"abcd", None)
        self.assertRaises(ValueError, ours.decrypt_into, nonce, sealed, None, bytearray(5))
        self.assertRaises(TypeError, ours.decrypt_into, nonce, sealed, None, bytes(4))


class CMACTest(unittest.TestCase):
    def test_equal_to_cryptography_in_pieces_with_copies(self):
        for i in range(60):
            key = rand(RNG.choice((16, 24, 32)))
            msg = rand(RNG.choice(LENGTHS))
            cuts = sorted(RNG.randrange(len(msg) + 1) for _ in range(3))
            kind = KINDS[i % len(KINDS)]
            with self.subTest(i=i, key=len(key), msg=len(msg), cuts=cuts):
                theirs = cmac.CMAC(algorithms.AES(key))
                theirs.update(msg)
                want = theirs.finalize()
                # The key as bytes, or as cryptography's algorithm object.
                ours = orvoaes.CMAC(as_kind(key, kind) if i % 2 else algorithms.AES(key))
                at, copies = 0, []
                for c in cuts + [len(msg)]:
                    ours.update(as_kind(msg[at:c], kind))
                    copies.append((c, ours.copy()))
                    at = c
                self.assertEqual(ours.finalize(), want)
                for c, copy in copies:
                    copy.update(msg[c:])
                    copy.verify(want)

    def test_verification_and_finalized_contexts(self):
        key, msg = rand(16), rand(40)
        ref = cmac.CMAC(algorithms.AES(key))
        ref.update(msg)
        tag = ref.finalize()
        for bad in (tag[:8], tag[:15], bytes(16), tag[:-1] + bytes([tag[-1] ^ 1]), tag + b"\0"):
            with self.subTest(bad=bad):
                c = orvoaes.CMAC(key)
                c.update(msg)
                self.assertRaises(orvoaes.InvalidSignature, c.verify, bad)
                self.assertRaises(orvoaes.AlreadyFinalized, c.update, b"")
        c = orvoaes.CMAC(key)
        c.update(msg)
        c.finalize()
        for f in (lambda: c.update(b"x"), c.finalize, c.copy, lambda: c.verify(tag)):
            self.assertRaises(orvoaes.AlreadyFinalized, f)
        for k in (rand(15), b"", "k" * 16):
            with self.subTest(key=k):
                self.assertIs(outcome(lambda: orvoaes.CMAC(k)), outcome(lambda: algorithms.AES(k)))


class BlockModesTest(unittest.TestCase):
    MODES = {
        "ECB": (orvoaes.AESECB, lambda iv: modes.ECB(), True),
        "CBC": (orvoaes.AESCBC, modes.CBC, True),
        "OFB": (orvoaes.AESOFB, OFB, False),
        "CTR": (orvoaes.AESCTR, modes.CTR, False),
        "CFB": (orvoaes.AESCFB, CFB, False),
        "CFB8": (orvoaes.AESCFB8, CFB8, False),
    }

    def test_equal_to_cryptography_on_random_table(self):
        for name, (ours_cls, mode, whole) in self.MODES.items():
            for i in range(40):
                key, iv = rand(RNG.choice((16, 24, 32))), rand(16)
                n = RNG.choice(LENGTHS)
                if whole:
                    n -= n % 16
                data, kind = rand(n), KINDS[i % len(KINDS)]
                with self.subTest(mode=name, i=i, n=n, kind=kind):
                    cipher = Cipher(algorithms.AES(key), mode(iv))
                    enc = cipher.encryptor()
                    want = enc.update(data) + enc.finalize()
                    ours = ours_cls(as_kind(key, kind))
                    head = () if name == "ECB" else (as_kind(iv, kind),)
                    self.assertEqual(ours.encrypt(*head, as_kind(data, kind)), want)
                    self.assertEqual(ours.decrypt(*head, want), data)
                    buf = bytearray(data)
                    self.assertEqual(ours.encrypt_into(*head, buf, buf), n)
                    self.assertEqual(bytes(buf), want)
                    ours.decrypt_into(*head, bytes(buf), buf)
                    self.assertEqual(bytes(buf), data)

    def test_bad_lengths(self):
        key = rand(16)
        for name, (ours_cls, _, whole) in self.MODES.items():
            ours = ours_cls(key)
            head = () if name == "ECB" else (rand(16),)
            with self.subTest(mode=name):
                if whole:
                    self.assertRaises(ValueError, ours.encrypt, *head, rand(17))
                    self.assertRaises(ValueError, ours.decrypt, *head, rand(15))
                if name != "ECB":
                    self.assertRaises(ValueError, ours.encrypt, rand(15), rand(16))
                    self.assertRaises(ValueError, ours.encrypt, rand(17), rand(16))
                self.assertRaises(ValueError, ours.encrypt_into, *head, rand(32), bytearray(31))
                self.assertRaises(TypeError, ours.encrypt_into, *head, rand(32), bytes(32))
                self.assertRaises(ValueError, ours_cls, rand(20))
                self.assertRaises(TypeError, ours.encrypt, *head, "text" * 4)


if __name__ == "__main__":
    unittest.main()
