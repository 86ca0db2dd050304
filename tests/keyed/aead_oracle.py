#!/usr/bin/env python3
"""Oracle tables for the keyed AEAD tests, printed as known-answer records ("Name = hex" lines,
records separated by blank lines).

  aead_oracle.py gcm-siv SEED   AES-GCM-SIV through cryptography's AESGCMSIV (48 and later)
  aead_oracle.py siv SEED       AES-SIV through cryptography's AESSIV, plain texts of 1 byte and up
  aead_oracle.py siv-empty SEED AES-SIV of empty plain texts (cryptography 48: 38 fails on them)
  aead_oracle.py xaes SEED      XAES-256-GCM written here over cryptography's AES-ECB and AESGCM
  aead_oracle.py xaes-stream N  the deterministic inputs of N accumulated XAES-256-GCM iterations:
                                the SHAKE-128 stream of an empty input, exactly as far as N
                                iterations read it (raw bytes)
  aead_oracle.py shake FILE     SHAKE-128 of the file's bytes, 32 bytes in hex
  aead_oracle.py xaes-accumulated N   the accumulated hash of N iterations computed here

Lengths are chosen at the limits (empty, around a block, around 16 KiB); the rest is random
from SEED, so a table is the same on every run.
"""
import hashlib
import random
import sys


def record(**fields):
    print("\n".join(f"{k} = {v.hex()}" for k, v in fields.items()))
    print()


def rand(r, n):
    return bytes(r.getrandbits(8) for _ in range(n))


PLAIN_LENGTHS = [0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 255, 256, 257, 16383, 16384, 16385]
AAD_LENGTHS = [0, 1, 12, 16, 17, 100, 1000]


def gcm_siv(seed):
    from cryptography.hazmat.primitives.ciphers.aead import AESGCMSIV
    r = random.Random(seed)
    lengths = PLAIN_LENGTHS + [r.randrange(0, 101) for _ in range(12)]
    for key_bytes in (16, 32):
        for i, n in enumerate(lengths):
            key, nonce = rand(r, key_bytes), rand(r, 12)
            plain, aad = rand(r, n), rand(r, AAD_LENGTHS[i % len(AAD_LENGTHS)])
            result = AESGCMSIV(key).encrypt(nonce, plain, aad)
            record(Key=key, Nonce=nonce, AAD=aad, Plaintext=plain, Result=result)


def siv(seed):
    from cryptography.hazmat.primitives.ciphers.aead import AESSIV
    r = random.Random(seed)
    # Empty plain texts are siv-empty's: cryptography 38 over OpenSSL 3.0 fails on them.
    lengths = PLAIN_LENGTHS[1:] + [r.randrange(1, 101) for _ in range(12)]
    strings = [0, 1, 15, 16, 17, 40]
    for key_bytes in (32, 48, 64):
        for i, n in enumerate(lengths):
            key, plain = rand(r, key_bytes), rand(r, n)
            ad = [rand(r, strings[(i + j) % len(strings)]) for j in range(i % 5)]
            out = AESSIV(key).encrypt(plain, ad)
            record(Key=key, **{f"AD{j + 1}": a for j, a in enumerate(ad)}, Plaintext=plain, Output=out)
    # The most strings S2V takes (126 besides the plain text).
    key, plain = rand(r, 32), rand(r, 20)
    ad = [rand(r, j % 20) for j in range(126)]
    record(Key=key, **{f"AD{j + 1}": a for j, a in enumerate(ad)}, Plaintext=plain, Output=AESSIV(key).encrypt(plain, ad))


def siv_empty(seed):
    from cryptography.hazmat.primitives.ciphers.aead import AESSIV
    r = random.Random(seed)
    for key_bytes in (32, 48, 64):
        for count in range(4):
            key = rand(r, key_bytes)
            ad = [rand(r, j * 8) for j in range(count)]
            record(Key=key, **{f"AD{j + 1}": a for j, a in enumerate(ad)}, Plaintext=b"", Output=AESSIV(key).encrypt(b"", ad))


def xaes_seal(key, nonce, plain, aad):
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
    from cryptography.hazmat.primitives.ciphers.aead import AESGCM
    enc = Cipher(algorithms.AES(key), modes.ECB()).encryptor()
    L = int.from_bytes(enc.update(bytes(16)), "big")
    K1 = ((L << 1) & ((1 << 128) - 1)) ^ (0x87 if L >> 127 else 0)
    k1 = K1.to_bytes(16, "big")
    kx = b"".join(enc.update(bytes(a ^ b for a, b in zip(bytes([0, i, 0x58, 0]) + nonce[:12], k1))) for i in (1, 2))
    return AESGCM(kx).encrypt(nonce[12:], plain, aad)


def xaes(seed):
    r = random.Random(seed)
    for i, n in enumerate(PLAIN_LENGTHS + [r.randrange(0, 101) for _ in range(12)]):
        key, nonce, plain, aad = rand(r, 32), rand(r, 24), rand(r, n), rand(r, AAD_LENGTHS[i % len(AAD_LENGTHS)])
        record(Key=key, Nonce=nonce, AAD=aad, Plaintext=plain, Result=xaes_seal(key, nonce, plain, aad))


class Stream:
    """Reads a SHAKE-128 stream of the empty input from the start."""

    def __init__(self, n):
        self.data, self.at = hashlib.shake_128(b"").digest(n), 0

    def read(self, n):
        self.at += n
        return self.data[self.at - n:self.at]


def iterations(count):
    s = Stream(count * (32 + 24 + 2 + 2 * 255))
    for _ in range(count):
        key, nonce = s.read(32), s.read(24)
        plain = s.read(s.read(1)[0])
        aad = s.read(s.read(1)[0])
        yield key, nonce, plain, aad
    yield s


def main():
    what, arg = sys.argv[1], sys.argv[2]
    if what == "gcm-siv":
        gcm_siv(int(arg))
    elif what == "siv":
        siv(int(arg))
    elif what == "siv-empty":
        siv_empty(int(arg))
    elif what == "xaes":
        xaes(int(arg))
    elif what == "xaes-stream":
        *_, s = iterations(int(arg))
        sys.stdout.buffer.write(s.data[:s.at])
    elif what == "shake":
        with open(arg, "rb") as f:
            print(hashlib.shake_128(f.read()).hexdigest(32))
    elif what == "xaes-accumulated":
        h = hashlib.shake_128()
        for item in iterations(int(arg)):
            if isinstance(item, tuple):
                h.update(xaes_seal(*item))
        print(h.hexdigest(32))


if __name__ == "__main__":
    main()
