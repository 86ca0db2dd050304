"""An independent model of chunked encryption v1 (Cobblestone-128 and -256), written from the
format's description over the `cryptography` package's HKDF-Expand and AES-GCM, for the tests.

As a program:
  chunked_oracle.py encrypt SUITE KEY SALT CONTEXT   (hex arguments; plain text on stdin)
  chunked_oracle.py decrypt SUITE KEY CONTEXT        (cipher text on stdin; exit 3 if refused)
  chunked_oracle.py batch FOLDER
The batch form reads FOLDER/cases, one case a line: NAME SUITE KEY SALT CONTEXT (CONTEXT "-" for
empty), encrypts FOLDER/NAME.plain into FOLDER/NAME.cipher, and prints nothing.
"""
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDFExpand

CHUNK = 16384
TAG = 16
SALT = 24
COMMITMENT = 32
HEADER = SALT + COMMITMENT
MAX_CHUNKS = 1 << 38
NAMES = {128: b"AEAD_AES_128_GCM", 256: b"AEAD_AES_256_GCM"}


class Refused(Exception):
    pass


def derive(suite, key, salt, context):
    """(AEAD key, base nonce, commitment) of one message."""
    if len(key) != suite // 8:
        raise ValueError("key length")
    info = b"c2sp.org/chunked-encryption@v1+" + NAMES[suite] + b"\x00" + salt + context
    okm = HKDFExpand(hashes.SHA512(), len(key) + 12 + COMMITMENT, info).derive(key)
    return okm[:len(key)], okm[len(key):len(key) + 12], okm[len(key) + 12:]


def nonce(base, k):
    return (int.from_bytes(base, "big") ^ k).to_bytes(12, "big")


def encrypt(suite, key, salt, context, plain):
    aead_key, base, commitment = derive(suite, key, salt, context)
    gcm = AESGCM(aead_key)
    out = [salt, commitment]
    # Full chunks, then the last one, always shorter (empty when the length is a multiple).
    full = len(plain) // CHUNK
    for k in range(full + 1):
        out.append(gcm.encrypt(nonce(base, k), plain[k * CHUNK:(k + 1) * CHUNK], None))
    return b"".join(out)


def decrypt(suite, key, context, cipher):
    if len(cipher) < HEADER:
        raise Refused("truncated header")
    aead_key, base, commitment = derive(suite, key, cipher[:SALT], context)
    if cipher[SALT:HEADER] != commitment:
        raise Refused("commitment")
    gcm = AESGCM(aead_key)
    body = cipher[HEADER:]
    full, last = divmod(len(body), CHUNK + TAG)
    if last < TAG:
        raise Refused("truncated")
    if full >= MAX_CHUNKS:
        raise Refused("too many chunks")
    out = []
    for k in range(full + 1):
        sealed = body[k * (CHUNK + TAG):(k + 1) * (CHUNK + TAG)]
        try:
            out.append(gcm.decrypt(nonce(base, k), sealed, None))
        except Exception as e:  # InvalidTag
            raise Refused(f"chunk {k}") from e
    return b"".join(out)


def batch(folder):
    with open(f"{folder}/cases") as f:
        for line in f:
            name, suite, key, salt, context = line.split()
            with open(f"{folder}/{name}.plain", "rb") as p:
                plain = p.read()
            cipher = encrypt(int(suite), bytes.fromhex(key), bytes.fromhex(salt),
                             b"" if context == "-" else bytes.fromhex(context), plain)
            with open(f"{folder}/{name}.cipher", "wb") as c:
                c.write(cipher)


def main(argv):
    if argv[1] == "batch":
        batch(argv[2])
        return 0
    suite = int(argv[2])
    args = [bytes.fromhex(a) for a in argv[3:]]
    data = sys.stdin.buffer.read()
    try:
        out = encrypt(suite, *args, data) if argv[1] == "encrypt" else decrypt(suite, *args, data)
    except Refused as e:
        print(f"refused: {e}", file=sys.stderr)
        return 3
    sys.stdout.buffer.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
