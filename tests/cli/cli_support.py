"""Shared helpers of the orvoaes tests: run the built program, make temporary folders."""
import ctypes
import ctypes.util
import os
import random
import shutil
import subprocess
import tempfile
import time
import unittest

ORVOAES = os.environ.get("ORVOAES", "orvoaes")
CHUNK = 160000  # the stream engine's chunk size
LENGTHS = [0, 1, 15, 16, 17, CHUNK - 1, CHUNK, CHUNK + 17]
KEYS = {128: bytes(range(16)), 192: bytes(range(24)), 256: bytes(range(32))}
IV = bytes.fromhex("f0e0d0c0b0a090807060504030201000")


def run(args, stdin=b"", env=None, check=None, **kw):
    """Runs orvoaes with args; returns the CompletedProcess. check: the expected exit status."""
    p = subprocess.run([ORVOAES, *args], input=stdin, capture_output=True, env=env, **kw)
    if check is not None and p.returncode != check:
        raise AssertionError(f"orvoaes {' '.join(args)}: exit {p.returncode}, expected {check}\n"
                             f"{p.stderr.decode(errors='replace')}")
    return p


def wait_until_reading(p, at_least=1 << 20, timeout=60):
    """Waits until process p has installed its signal handlers and read at least `at_least` bytes,
    so a signal sent next meets the work rather than the dynamic loader (a loaded machine can take
    longer than any fixed sleep to start a process)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and p.poll() is None:
        try:
            with open(f"/proc/{p.pid}/status") as f:
                caught = next(int(line.split()[1], 16) for line in f if line.startswith("SigCgt:"))
            with open(f"/proc/{p.pid}/io") as f:
                read = next(int(line.split()[1]) for line in f if line.startswith("rchar:"))
        except (OSError, StopIteration):
            return
        if caught & (1 << (2 - 1)) and read >= at_least:  # SIGINT's bit
            return
        time.sleep(0.01)


def openssl(args, data):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def data(n, seed=1):
    """n reproducible random bytes."""
    return random.Random(seed).randbytes(n)


def evp_aead(mode, key, iv, plain, aad, tag_bytes):
    """AES-GCM or AES-OCB (mode "GCM" or "OCB") of OpenSSL's libcrypto through ctypes: cipher text
    then tag. Unlike cryptography's classes it takes every IV length the modes allow (GCM from 1
    byte, OCB 1 to 15) and OCB's short tags."""
    lib = ctypes.CDLL(ctypes.util.find_library("crypto"))
    lib.EVP_CIPHER_CTX_new.restype = ctypes.c_void_p
    lib.EVP_CIPHER_fetch.restype = ctypes.c_void_p
    ctx = ctypes.c_void_p(lib.EVP_CIPHER_CTX_new())
    cipher = ctypes.c_void_p(lib.EVP_CIPHER_fetch(None, f"AES-{len(key) * 8}-{mode}".encode(), None))
    out, n, tag = ctypes.create_string_buffer(len(plain) + 16), ctypes.c_int(0), ctypes.create_string_buffer(16)
    set_ivlen, get_tag, set_tag = 0x9, 0x10, 0x11  # EVP_CTRL_AEAD_*
    try:
        assert lib.EVP_EncryptInit_ex(ctx, cipher, None, None, None) == 1
        assert lib.EVP_CIPHER_CTX_ctrl(ctx, set_ivlen, len(iv), None) == 1
        if mode == "OCB":
            assert lib.EVP_CIPHER_CTX_ctrl(ctx, set_tag, tag_bytes, None) == 1
        assert lib.EVP_EncryptInit_ex(ctx, None, None, key, iv) == 1
        if aad:
            assert lib.EVP_EncryptUpdate(ctx, None, ctypes.byref(n), aad, len(aad)) == 1
        assert lib.EVP_EncryptUpdate(ctx, out, ctypes.byref(n), plain, len(plain)) == 1
        done = n.value
        assert lib.EVP_EncryptFinal_ex(ctx, ctypes.byref(out, done), ctypes.byref(n)) == 1
        assert lib.EVP_CIPHER_CTX_ctrl(ctx, get_tag, tag_bytes, tag) == 1
    finally:
        lib.EVP_CIPHER_CTX_free(ctx)
        lib.EVP_CIPHER_free(cipher)
    return out.raw[:done + n.value] + tag.raw[:tag_bytes]


class TempDirTest(unittest.TestCase):
    """Each test gets a folder of its own, and TMPDIR inside it so leftovers can be seen."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvoaes-test-")
        self.tmp = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmp)
        self.env = dict(os.environ, TMPDIR=self.tmp)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name, content=None):
        p = os.path.join(self.dir, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def assertNoLeftovers(self, *expected):
        """Only the named files remain in the folder, and nothing in TMPDIR."""
        self.assertEqual(sorted(os.listdir(self.tmp)), [])
        self.assertEqual(sorted(f for f in os.listdir(self.dir) if f != "tmp"), sorted(expected))
