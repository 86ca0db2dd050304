"""Random cases of CCM, OCB3, key wrap (with and without padding) and XTS from Python's
cryptography package, printed as records (Kind: 0 CCM, 1 OCB3, 2 KW, 3 KWP, 4 XTS) for
CryptographyOracleTest.cpp to check the keyed API against. Argument: the random seed."""
import random
import sys

from cryptography.hazmat.primitives import keywrap
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.ciphers.aead import AESCCM, AESOCB3

rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 1)
LENGTHS = list(range(0, 101)) + [4095, 4096, 16383, 16384, 16385]
# Additional data lengths, the last two around where CCM's length encoding grows (used once each).
AADS = [0, 1, 15, 16, 17, 64]
LONG_AADS = {0: 65280, 50: 65279}


def rand(n):
    return rng.randbytes(n)


def emit(kind, **fields):
    print(f"Kind = {kind:02x}")
    for name, value in fields.items():
        print(f"{name} = {value.hex()}")
    print()


for key_bytes in (16, 24, 32):
    for i, n in enumerate(LENGTHS):
        key, plain, aad = rand(key_bytes), rand(n), rand(LONG_AADS.get(i, AADS[i % len(AADS)] if i % 2 else i % 40))
        nonce, tag = rand(7 + i % 7), 4 + 2 * ((i // 7) % 7)
        sealed = AESCCM(key, tag_length=tag).encrypt(nonce, plain, aad)
        emit(0, Key=key, Nonce=nonce, AAD=aad, Plaintext=plain, Ciphertext=sealed[:n], Tag=sealed[n:])
        nonce = rand(12 + i % 4)
        sealed = AESOCB3(key).encrypt(nonce, plain, aad)
        emit(1, Key=key, Nonce=nonce, AAD=aad, Plaintext=plain, Ciphertext=sealed[:n], Tag=sealed[n:])
    for n in list(range(16, 105, 8)) + [4096]:
        key, plain = rand(key_bytes), rand(n)
        emit(2, Key=key, Plaintext=plain, Ciphertext=keywrap.aes_key_wrap(key, plain))
    for n in list(range(1, 41)) + [63, 64, 65, 1000]:
        key, plain = rand(key_bytes), rand(n)
        emit(3, Key=key, Plaintext=plain, Ciphertext=keywrap.aes_key_wrap_with_padding(key, plain))

for key_bytes in (32, 64):
    for n in list(range(16, 101)) + [4096, 4111, 16384, 16400]:
        key, tweak, plain = rand(key_bytes), rand(16), rand(n)
        enc = Cipher(algorithms.AES(key), modes.XTS(tweak)).encryptor()
        emit(4, Key=key, Nonce=tweak, Plaintext=plain, Ciphertext=enc.update(plain) + enc.finalize())
