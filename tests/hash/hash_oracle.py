#!/usr/bin/env python3
"""Expected values for the hash tests, from hashlib, hmac and cryptography's HKDF and PBKDF2.

Prints one case per line: op kind iterations hex... ('-' for an empty byte string). The lengths sit
around the block sizes (64 and 128) and the digest sizes, where padding and key handling change.
"""
import hashlib
import hmac

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.kdf.hkdf import HKDF, HKDFExpand
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC

KINDS = {"md5": hashes.MD5, "sha1": hashes.SHA1, "sha256": hashes.SHA256, "sha512": hashes.SHA512}
LENGTHS = [0, 1, 3, 55, 56, 57, 63, 64, 65, 111, 112, 113, 119, 120, 127, 128, 129, 191, 192, 255, 256, 257, 1000]
KEY_LENGTHS = [0, 1, 20, 32, 63, 64, 65, 127, 128, 129, 300]


def data(n, seed):
    return bytes((i * 31 + seed * 7 + (i >> 8)) & 0xFF for i in range(n))


def h(b):
    return b.hex() if b else "-"


def emit(op, kind, iterations, *fields):
    print(op, kind, iterations, *(h(f) for f in fields))


for kind in KINDS:
    for n in LENGTHS:
        msg = data(n, 1)
        emit("digest", kind, 0, msg, hashlib.new(kind, msg).digest())
    for k in KEY_LENGTHS:
        for n in (0, 1, 64, 129):
            key, msg = data(k, 2), data(n, 3)
            emit("hmac", kind, 0, key, msg, hmac.new(key, msg, kind).digest())

for kind in ("sha256", "sha512", "sha1"):
    algo = KINDS[kind]
    size = algo.digest_size
    for salt_len, ikm_len, info_len, out_len in [
        (0, 22, 0, 42), (13, 22, 10, 42), (64, 80, 80, 82), (129, 1, 1, 1), (32, 64, 0, size),
        (16, 32, 30, size + 1), (0, 0, 0, 255 * size), (200, 300, 200, 2 * size - 1),
    ]:
        salt, ikm, info = data(salt_len, 4), data(ikm_len, 5), data(info_len, 6)
        prk = hmac.new(salt if salt else bytes(size), ikm, kind).digest()
        okm = HKDF(algorithm=algo(), length=out_len, salt=salt or None, info=info).derive(ikm)
        emit("hkdf", kind, 0, salt, ikm, info, prk, okm)
    for prk_len in (16, 32, 64, 100):  # Expand alone, keys of other lengths than the digest's
        prk, info = data(prk_len, 7), data(30, 8)
        for out_len in (1, size, 3 * size + 5):
            emit("expand", kind, 0, prk, info, HKDFExpand(algorithm=algo(), length=out_len, info=info).derive(prk))

for kind in KINDS:
    size = KINDS[kind].digest_size
    for pw_len, salt_len, iterations, out_len in [
        (8, 8, 1, size), (8, 8, 2, size), (0, 0, 3, 1), (64, 16, 5, size + 1), (65, 4, 4, 2 * size + 3),
        (129, 200, 2, 3 * size), (300, 1, 1000, size), (11, 16, 10000, 32), (63, 127, 7, 100),
    ]:
        pw, salt = data(pw_len, 9), data(salt_len, 10)
        out = PBKDF2HMAC(algorithm=KINDS[kind](), length=out_len, salt=salt, iterations=iterations).derive(pw)
        assert out == hashlib.pbkdf2_hmac(kind, pw, salt, iterations, out_len)
        emit("pbkdf2", kind, iterations, pw, salt, out)
