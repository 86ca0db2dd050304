"""seal / open / rekey / inspect of format version 2: the whole file checked against an
independent model (Python's AES-GCM, HKDF, HMAC and the chunked-encryption model); round trips
through files, pipes, a FIFO and tar; a flipped bit anywhere fails with status 3 and leaves no
output; rekey keeps every payload byte; version 1 files made by the model open; armor with LF and
CRLF."""
import hashlib
import hmac
import os
import struct
import subprocess
import sys
import threading
import time
import unittest

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF

from cli_support import ORVOAES, TempDirTest, data, run

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "chunked"))
import chunked_oracle as oracle  # noqa: E402

FAST_KDF = ["--kdf-memory", "1", "--kdf-passes", "1"]
CHUNK, SEALED = 16384, 16400
FIXED, SLOT, MAC = 26, 86, 32
KEY = bytes(range(200, 232))


def parse(sealed):
    """The header's fields by the documented layout, and the payload."""
    assert sealed[:9] == b"ORVOSEAL\x02"
    n = sealed[25]
    slots = []
    for i in range(n):
        s = sealed[FIXED + i * SLOT:FIXED + (i + 1) * SLOT]
        kind, passes, memory, lanes = struct.unpack(">BIIB", s[:10])
        slots.append(dict(kind=kind, passes=passes, memory=memory, lanes=lanes, params=s[:26], nonce=s[26:38],
                          wrapped=s[38:86]))
    end = FIXED + n * SLOT
    return dict(context=sealed[:25], file_id=sealed[9:25], slots=slots, body=sealed[:end],
                mac=sealed[end:end + MAC], payload=sealed[end + MAC:])


def model_open(sealed, key_file_key):
    """Opens a version 2 file with a key file by the documented layout alone."""
    h = parse(sealed)
    for s in h["slots"]:
        if s["kind"] != 2:
            continue
        file_key = AESGCM(key_file_key).decrypt(s["nonce"], s["wrapped"], h["context"] + s["params"])
        mac_key = HKDF(hashes.SHA256(), 32, h["file_id"], b"orvoaes sealed file v2 header").derive(file_key)
        assert hmac.compare_digest(hmac.new(mac_key, h["body"], hashlib.sha256).digest(), h["mac"])
        return oracle.decrypt(256, file_key, h["context"], h["payload"])
    raise AssertionError("no key-file slot")


def model_seal_v1(key, plain):
    """A version 1 file with a key file, made from its documented layout (not by orvoaes)."""
    header = b"ORVOSEAL" + struct.pack(">BBIIB", 1, 2, 0, 0, 0) + bytes(range(16))
    iv = bytes(range(40, 52))
    return header + iv + AESGCM(key).encrypt(iv, plain, header)


def flip(b, at):
    b = bytearray(b)
    b[at] ^= 0x01
    return bytes(b)


class SealV2(TempDirTest):
    def setUp(self):
        super().setUp()
        self.key = self.path("k", KEY)
        self.pw = self.path("pw", b"correct horse\n")

    def seal(self, plain, *extra):
        return run(["seal", "-q", *extra, "-o", "-"], stdin=plain, check=0).stdout

    def test_layout_against_the_model_for_every_thread_count(self):
        for n in (0, 1, CHUNK - 1, CHUNK, CHUNK + 1, 5 * CHUNK + 7, 700001):
            plain = data(n, n)
            for threads in ("1", "2", "3"):
                with self.subTest(n=n, threads=threads):
                    sealed = self.seal(plain, "--key-file", self.key, "--threads", threads)
                    self.assertEqual(model_open(sealed, KEY), plain)
                    self.assertEqual(len(parse(sealed)["payload"]), 56 + n // CHUNK * SEALED + n % CHUNK + 16)
                    for t in ("1", "4"):
                        p = run(["open", "--key-file", self.key, "--threads", t], stdin=sealed, check=0)
                        self.assertEqual(p.stdout, plain)
        sealed = self.seal(b"x", "--passphrase-file", self.pw, *FAST_KDF)
        (slot,) = parse(sealed)["slots"]
        self.assertEqual((slot["kind"], slot["passes"], slot["memory"], slot["lanes"]), (1, 1, 1024, 1))

    def test_files_pipes_fifo_and_tar(self):
        plain = data(3 * CHUNK + 5)
        src = self.path("p", plain)
        run(["seal", "-q", "--passphrase-file", self.pw, *FAST_KDF, src, "-o", self.path("s")], check=0)
        run(["open", "-q", "--passphrase-file", self.pw, self.path("s"), "-o", self.path("out")], check=0)
        self.assertEqual(self.read("out"), plain)
        with open(self.path("s"), "rb") as f:  # a file as standard input, and a pipe
            p = subprocess.run([ORVOAES, "open", "-q", "--passphrase-file", self.pw], stdin=f, capture_output=True)
        self.assertEqual((p.returncode, p.stdout), (0, plain))
        self.assertEqual(run(["open", "-q", "--passphrase-file", self.pw], stdin=self.read("s"), check=0).stdout, plain)
        # tar c dir | seal | open | tar x
        tree = os.path.join(self.dir, "tree")
        os.makedirs(os.path.join(tree, "sub"))
        for name, size in (("a", 0), ("sub/b", 100000), ("c", CHUNK)):
            with open(os.path.join(tree, name), "wb") as f:
                f.write(data(size, size))
        os.mkdir(self.path("x"))
        shell = (f"tar c -C {self.dir} tree | {ORVOAES} seal -q --key-file {self.key} | "
                 f"{ORVOAES} open -q --key-file {self.key} | tar x -C {self.path('x')}")
        subprocess.run(shell, shell=True, check=True)
        for name in ("a", "sub/b", "c"):
            with open(os.path.join(tree, name), "rb") as f, open(os.path.join(self.path("x"), "tree", name), "rb") as g:
                self.assertEqual(f.read(), g.read())

    def test_open_from_a_fifo_releases_verified_chunks_before_the_input_ends(self):
        plain = data(20 * CHUNK + 3)
        sealed = self.seal(plain, "--key-file", self.key)
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        p = subprocess.Popen([ORVOAES, "open", "-q", "--key-file", self.key, "--threads", "1", fifo],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        got = []
        reader = threading.Thread(target=lambda: got.extend(iter(lambda: os.read(p.stdout.fileno(), 1 << 16), b"")))
        reader.start()
        half = len(sealed) // 2
        with open(fifo, "wb") as w:
            w.write(sealed[:half])
            w.flush()
            deadline = time.monotonic() + 20
            while sum(map(len, got)) < 4 * CHUNK and time.monotonic() < deadline:  # the writer holds the rest
                time.sleep(0.05)
            early = b"".join(got)
            self.assertGreaterEqual(len(early), 4 * CHUNK)
            self.assertEqual(early, plain[:len(early)])
            w.write(sealed[half:])
        reader.join(timeout=30)
        p.wait(timeout=30)
        err = p.stderr.read()
        p.stdout.close()
        p.stderr.close()
        self.assertEqual((p.returncode, b"".join(got)), (0, plain), err)

    def test_a_flipped_bit_anywhere_fails_and_writes_nothing(self):
        plain = data(2 * CHUNK + 100)
        run(["seal", "-q", "--passphrase-file", self.pw, *FAST_KDF, "-o", self.path("s0"), self.path("p", plain)],
            check=0)
        self.path("pw2", b"second\n")
        run(["rekey", "-q", "--passphrase-file", self.pw, "--add", "--new-passphrase-file", self.path("pw2"), *FAST_KDF,
             self.path("s0"), "-o", self.path("s1")], check=0)
        sealed = self.read("s1")  # two passphrase slots: slot 2 is checked by the MAC only
        s1, s2, mac = FIXED, FIXED + SLOT, FIXED + 2 * SLOT
        pay = mac + MAC
        cases = {"version": 8, "file id": 12, "slot count": 25, "slot 1 kind": s1, "slot 1 passes": s1 + 4,
                 "slot 1 memory": s1 + 7, "slot 1 lanes": s1 + 9, "slot 1 salt": s1 + 15, "slot 1 nonce": s1 + 30,
                 "slot 1 wrapped key": s1 + 50, "slot 1 tag": s1 + 85, "slot 2 kind": s2, "slot 2 salt": s2 + 20,
                 "slot 2 wrapped key": s2 + 40, "slot 2 memory (within the limits)": s2 + 8, "MAC": mac + 7,
                 "payload salt": pay + 3, "commitment": pay + 40, "chunk 0": pay + 56 + 9, "chunk 1 tag": pay + 56 + 2 * SEALED - 1,
                 "last chunk": len(sealed) - 20, "last tag": len(sealed) - 1}
        damaged = {name: flip(sealed, at) for name, at in cases.items()}
        damaged.update({"cut in the header": sealed[:100], "cut at a chunk boundary": sealed[:pay + 56 + SEALED],
                        "cut in the last tag": sealed[:-3], "a byte appended": sealed + b"\0",
                        "cut after the header": sealed[:pay]})
        for name, content in damaged.items():
            with self.subTest(name):
                self.path("s", content)
                p = run(["open", "--passphrase-file", self.pw, self.path("s"), "-o", self.path("out")], env=self.env)
                self.assertEqual(p.returncode, 3, p.stderr)
                self.assertNotIn(b"horse", p.stderr)
                self.assertNoLeftovers("k", "pw", "pw2", "p", "s0", "s1", "s")
                # To a pipe: only a prefix of verified chunks, then status 3.
                p = run(["open", "--passphrase-file", self.pw, "--threads", "2"], stdin=content)
                self.assertEqual(p.returncode, 3, p.stderr)
                self.assertEqual(p.stdout, plain[:len(p.stdout)])
                self.assertEqual(len(p.stdout) % CHUNK, 0)
        # The second passphrase still opens it; the magic is what makes it a sealed file at all.
        p = run(["open", "-q", "--passphrase-file", self.path("pw2"), self.path("s1")], check=0)
        self.assertEqual(p.stdout, plain)
        self.assertEqual(run(["open", "--passphrase-file", self.pw], stdin=flip(sealed, 0)).returncode, 1)


class Rekey(TempDirTest):
    def test_rekey_keeps_the_payload_and_removed_slots_stop_working(self):
        plain = data(CHUNK + 9)
        key = self.path("k", KEY)
        pw1, pw2 = self.path("pw1", b"first\n"), self.path("pw2", b"second\n")
        run(["seal", "-q", "--passphrase-file", pw1, *FAST_KDF, self.path("p", plain), "-o", self.path("s")], check=0)
        payload = parse(self.read("s"))["payload"]
        steps = [(["--passphrase-file", pw1, "--add", "--new-key-file", key], [1, 2]),
                 (["--key-file", key, "--add", "--new-passphrase-file", pw2], [1, 2, 1]),
                 (["--passphrase-file", pw2, "--remove", "1"], [2, 1]),
                 (["--key-file", key, "--replace", "1", "--new-passphrase-file", pw1], [1, 1])]
        for args, kinds in steps:
            with self.subTest(args=args):
                run(["rekey", "-q", *FAST_KDF, *args, self.path("s"), "-o", self.path("s"), "--force"], check=0)
                h = parse(self.read("s"))
                self.assertEqual(h["payload"], payload)
                self.assertEqual([s["kind"] for s in h["slots"]], kinds)
        # The key-file slot was replaced: the key no longer opens it; slot 1's passphrase (pw1,
        # removed in step 3) came back only through the replacement.
        self.assertEqual(run(["open", "--passphrase-file", pw1, self.path("s")], check=0).stdout, plain)
        self.assertEqual(run(["open", "--passphrase-file", pw2, self.path("s")], check=0).stdout, plain)
        run(["rekey", "-q", "--passphrase-file", pw1, "--remove", "2", self.path("s"), "-o", self.path("t")], check=0)
        p = run(["open", "--passphrase-file", pw2, self.path("t"), "-o", self.path("out")])
        self.assertEqual(p.returncode, 3, p.stderr)
        self.assertFalse(os.path.exists(self.path("out")))
        self.assertEqual(run(["open", "--key-file", key, self.path("s")]).returncode, 2)  # no key-file slot left

    def test_refusals_leave_the_output_absent(self):
        key = self.path("k", KEY)
        other = self.path("k2", bytes(32))
        sealed = self.path("s", run(["seal", "-q", "--key-file", key], stdin=b"hello", check=0).stdout)
        cases = [(["--key-file", key, "--remove", "1"], 2, b"only key slot"),
                 (["--key-file", key, "--remove", "2"], 2, b"1 to 1"),
                 (["--key-file", key, "--add", "--remove", "1"], 2, b"exactly one"),
                 (["--key-file", other, "--add", "--new-key-file", key], 3, b"authentication failed"),
                 (["--key-file", key, "--add", "--new-key-file", key, "--kdf-max-passes", "65"], 2, b"kdf-max")]
        for args, status, message in cases:
            with self.subTest(args=args):
                p = run(["rekey", *args, sealed, "-o", self.path("out")])
                self.assertEqual(p.returncode, status, p.stderr)
                self.assertIn(message, p.stderr)
                self.assertFalse(os.path.exists(self.path("out")))
        for i in range(7):
            run(["rekey", "-q", "--key-file", key, "--add", "--new-key-file", key, sealed, "-o", sealed, "-f"], check=0)
        p = run(["rekey", "--key-file", key, "--add", "--new-key-file", key, sealed, "-o", self.path("out")])
        self.assertEqual(p.returncode, 2, p.stderr)
        self.assertIn(b"8 key slots already", p.stderr)
        p = run(["rekey", "--key-file", key, "--add", "--new-key-file", key, self.path("v1", model_seal_v1(KEY, b"x")),
                 "-o", self.path("out")])
        self.assertEqual(p.returncode, 1, p.stderr)


class InspectArmorVersion1(TempDirTest):
    def test_inspect(self):
        key = self.path("k", KEY)
        pw = self.path("pw", b"pw\n")
        sealed = self.path("s", run(["seal", "-q", "--passphrase-file", pw, "--kdf-memory", "2", "--kdf-passes", "2"],
                                    stdin=data(CHUNK + 1), check=0).stdout)
        run(["rekey", "-q", "--passphrase-file", pw, "--add", "--new-key-file", key, sealed, "-o", sealed, "-f"], check=0)
        for form in ([sealed], ["-"]):
            with self.subTest(form=form):
                out = run(["inspect", *form], stdin=self.read("s"), check=0).stdout.decode()
                self.assertIn("format version: 2\n", out)
                self.assertIn("key slots: 2\n", out)
                self.assertIn("slot 1: passphrase (Argon2id: 2 passes, 2048 KiB of memory, 1 lane)", out)
                self.assertIn("slot 2: key file", out)
                self.assertIn(f"payload: {CHUNK + 1} bytes", out)
        out = run(["inspect", self.path("v1", model_seal_v1(KEY, b"abc"))], check=0).stdout.decode()
        self.assertIn("format version: 1\nkey: key file\npayload: 3 bytes", out)

    def test_armor_lf_and_crlf(self):
        key = self.path("k", KEY)
        plain = data(2 * CHUNK + 77)
        armored = run(["seal", "-q", "--armor", "--key-file", key], stdin=plain, check=0).stdout
        lines = armored.split(b"\n")
        self.assertEqual((lines[0], lines[-2], lines[-1]), (b"-----BEGIN ORVOAES SEALED FILE-----",
                                                            b"-----END ORVOAES SEALED FILE-----", b""))
        self.assertTrue(all(len(line) == 64 for line in lines[1:-3]))
        import base64
        self.assertEqual(model_open(base64.b64decode(b"".join(lines[1:-2])), KEY), plain)
        crlf = armored.replace(b"\n", b"\r\n")
        for name, text in (("LF", armored), ("CRLF", crlf)):
            with self.subTest(name):
                self.assertEqual(run(["open", "--key-file", key], stdin=text, check=0).stdout, plain)
                self.assertEqual(run(["open", "--key-file", key, self.path("a", text)], check=0).stdout, plain)
                self.assertIn(b"(armored)", run(["inspect"], stdin=text, check=0).stdout)
        # rekey keeps the armor
        run(["rekey", "-q", "--key-file", key, "--add", "--new-key-file", key, self.path("a", crlf), "-o",
             self.path("b")], check=0)
        self.assertTrue(self.read("b").startswith(b"-----BEGIN"))
        self.assertEqual(run(["open", "--key-file", key, self.path("b")], check=0).stdout, plain)
        bad = {"a character outside base64": armored[:200] + b"*" + armored[201:],
               "no END line": armored[:armored.rindex(b"-----END")],
               "text after END": armored + b"more\n", "a changed base64 character": armored[:300] + (b"A" if armored[300:301] != b"A" else b"B") + armored[301:]}
        for name, text in bad.items():
            with self.subTest(name):
                p = run(["open", "--key-file", key, self.path("a", text), "-o", self.path("out")])
                self.assertEqual(p.returncode, 3, p.stderr)
                self.assertFalse(os.path.exists(self.path("out")))

    def test_version_1_files_open(self):
        key = self.path("k", KEY)
        for n in (0, 5, 100000):
            with self.subTest(n=n):
                plain = data(n)
                v1 = model_seal_v1(KEY, plain)
                self.assertEqual(run(["open", "--key-file", key, self.path("v1", v1)], check=0).stdout, plain)
                self.assertEqual(run(["open", "--key-file", key], stdin=v1, check=0).stdout, plain)  # a pipe
                p = run(["open", "--key-file", key, "-o", self.path("out")], stdin=flip(v1, len(v1) - 1))
                self.assertEqual(p.returncode, 3)
                self.assertFalse(os.path.exists(self.path("out")))


if __name__ == "__main__":
    unittest.main()
