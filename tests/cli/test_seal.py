"""seal / open of format version 1 (--format-version 1; version 2 has test_seal_v2.py): round trips with a passphrase (descriptor, file, terminal) and a key file,
through files and pipes; a wrong passphrase, a flipped bit anywhere and a truncated file fail
with the right status and leave no output; Argon2id parameters bounded and interruptible; a
file rewritten while it is opened releases nothing unverified."""
import os
import pty
import select
import signal
import struct
import subprocess
import threading
import time
import unittest

from cli_support import CHUNK, TempDirTest, data, run

FAST_KDF = ["--kdf-memory", "8", "--kdf-passes", "1"]  # keeps the tests quick; the format records them
HEADER = 35
V1 = ["--format-version", "1"]


class Seal(TempDirTest):
    def seal(self, plain, passphrase=b"correct horse", extra=()):
        self.path("pw", passphrase + b"\n")
        run(["seal", "--passphrase-file", self.path("pw"), *FAST_KDF, *V1, *extra, self.path("p", plain), "-o",
             self.path("s"), "-f"], check=0)
        return self.read("s")

    def open(self, sealed, passphrase=b"correct horse", out=None):
        self.path("pw", passphrase + b"\n")
        args = ["open", "--passphrase-file", self.path("pw"), self.path("s", sealed)]
        return run(args + (["-o", out] if out else []), env=self.env)

    def test_round_trips_and_layout(self):
        for n in (0, 1, CHUNK + 1):
            with self.subTest(n=n):
                plain = data(n, n)
                sealed = self.seal(plain)
                self.assertEqual(len(sealed), HEADER + 12 + n + 16)
                magic, version, source, passes, memory, lanes = struct.unpack(">8sBBIIB", sealed[:19])
                self.assertEqual((magic, version, source, passes, memory, lanes), (b"ORVOSEAL", 1, 1, 1, 8192, 1))
                self.assertNotEqual(sealed, self.seal(plain))  # fresh salt and IV
                p = self.open(sealed)
                self.assertEqual((p.returncode, p.stdout), (0, plain))

    def test_pipes_and_passphrase_descriptor(self):
        plain = data(CHUNK * 2 + 3)
        r, w = os.pipe()
        os.write(w, b"from a descriptor\n")
        os.close(w)
        sealed = run(["seal", "--passphrase-fd", str(r), *FAST_KDF, *V1], stdin=plain, check=0, pass_fds=(r,)).stdout
        os.close(r)
        self.path("pw", b"from a descriptor")  # no line break: the same passphrase
        out = run(["open", "--passphrase-file", self.path("pw")], stdin=sealed, check=0, env=self.env).stdout
        self.assertEqual(out, plain)
        self.assertNoLeftovers("pw")

    def test_key_file(self):
        run(["keygen", "-o", self.path("k")], check=0)
        self.assertEqual(os.stat(self.path("k")).st_mode & 0o777, 0o600)
        plain = data(5000)
        sealed = run(["seal", "--key-file", self.path("k"), *V1], stdin=plain, check=0).stdout
        self.assertEqual(run(["open", "--key-file", self.path("k")], stdin=sealed, check=0).stdout, plain)
        run(["keygen", "-o", self.path("k"), "-f"], check=0)
        self.assertEqual(run(["open", "--key-file", self.path("k")], stdin=sealed).returncode, 3)
        self.assertEqual(run(["open", "--passphrase-file", self.path("k")], stdin=sealed).returncode, 2)

    def test_wrong_passphrase_damage_and_truncation(self):
        plain = data(3000)
        sealed = self.seal(plain)
        bad = {
            "wrong passphrase": (sealed, b"Correct horse", 3),
            "salt bit": (flip(sealed, 20), None, 3),
            "memory bit": (flip(sealed, 17), None, 3),
            "version": (flip(sealed, 8), None, 3),
            "key source byte": (flip(sealed, 9), None, 3),
            "key source to key file": (sealed[:9] + b"\x02" + sealed[10:], None, 3),
            "magic": (flip(sealed, 0), None, 1),
            "iv bit": (flip(sealed, HEADER + 3), None, 3),
            "body bit": (flip(sealed, HEADER + 12 + 1500), None, 3),
            "tag bit": (flip(sealed, len(sealed) - 1), None, 3),
            "truncated body": (sealed[:-17], None, 3),
            "truncated header": (sealed[:40], None, 1),
        }
        for name, (content, passphrase, status) in bad.items():
            with self.subTest(name):
                p = self.open(content, passphrase or b"correct horse", out=self.path("out"))
                self.assertEqual(p.returncode, status, p.stderr)
                self.assertNotIn(b"horse", p.stderr)
                self.assertNoLeftovers("pw", "s", "p")

    def test_passphrase_asked_twice_on_the_terminal(self):
        for answers, status in (([b"tty secret", b"tty secret"], 0), ([b"tty secret", b"other"], 1)):
            with self.subTest(status=status):
                p = run_on_terminal(["seal", *FAST_KDF, *V1, "-o", self.path("s"), "-f", self.path("p", b"hello")], answers)
                self.assertEqual(p[0], status)
                self.assertNotIn(b"tty secret", p[1].replace(b"Passphrase", b""))  # echo is off
        self.path("pw", b"tty secret")
        self.assertEqual(run(["open", "--passphrase-file", self.path("pw"), self.path("s")], check=0).stdout, b"hello")


class HostileHeadersAndLimits(TempDirTest):
    def sealed_with(self, passes, memory_kib, lanes):
        """A sealed file whose header asks for these parameters (its tag is of course wrong)."""
        header = b"ORVOSEAL" + struct.pack(">BBIIB", 1, 1, passes, memory_kib, lanes) + bytes(16)
        return self.path("s", header + bytes(12) + b"body" + bytes(16))

    def test_parameters_above_the_limits_are_refused_at_once(self):
        self.path("pw", b"pass\n")
        cases = [((64, 4 << 20, 16), b"64 Argon2id passes, above the limit of 10"),
                 ((11, 8 << 10, 1), b"11 Argon2id passes, above the limit of 10 (--kdf-max-passes"),
                 ((3, 2048 << 10, 1), b"2048 MiB of Argon2id memory, above the limit of 1024 MiB (--kdf-max-memory"),
                 ((1, 64 << 10, 5), b"5 Argon2id lanes, above the limit of 4")]
        for (passes, memory, lanes), message in cases:
            with self.subTest(passes=passes, memory=memory, lanes=lanes):
                start = time.monotonic()
                p = run(["open", "--passphrase-file", self.path("pw"), self.sealed_with(passes, memory, lanes), "-o",
                         self.path("out")], env=self.env)
                self.assertLess(time.monotonic() - start, 2)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(message, p.stderr)
                self.assertNoLeftovers("pw", "s")
        # Raised limits let the derivation run; the made-up tag then fails.
        p = run(["open", "--passphrase-file", self.path("pw"), "--kdf-max-passes", "11", self.sealed_with(11, 8 << 10, 1)])
        self.assertEqual(p.returncode, 3, p.stderr)

    def test_seal_writes_only_what_open_accepts(self):
        self.path("pw", b"pass\n")
        src = self.path("p", b"hello")
        for extra in (["--kdf-passes", "11"], ["--kdf-memory", "1025"], ["--kdf-max-passes", "65"]):
            with self.subTest(extra=extra):
                p = run(["seal", "--passphrase-file", self.path("pw"), *extra, src, "-o", self.path("s")])
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertFalse(os.path.exists(self.path("s")))
        run(["seal", "--passphrase-file", self.path("pw"), "--kdf-memory", "8", "--kdf-passes", "11", "--kdf-max-passes",
             "11", src, "-o", self.path("s")], check=0)
        self.assertEqual(run(["open", "--passphrase-file", self.path("pw"), self.path("s")]).returncode, 1)
        self.assertEqual(run(["open", "--passphrase-file", self.path("pw"), "--kdf-max-passes", "11", self.path("s")],
                             check=0).stdout, b"hello")

    def test_ctrl_c_ends_the_derivation_at_once(self):
        from cli_support import ORVOAES, wait_until_reading
        self.path("pw", b"pass\n")
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig):
                p = subprocess.Popen([ORVOAES, "seal", "--passphrase-file", self.path("pw"), "--kdf-memory", "256",
                                      "--kdf-passes", "10", self.path("p", b"hello"), "-o", self.path("s")],
                                     stderr=subprocess.PIPE, env=self.env)
                wait_until_reading(p, at_least=0)
                time.sleep(0.4)  # into the derivation, which takes seconds (256 MiB, 10 passes)
                sent = time.monotonic()
                p.send_signal(sig)
                _, err = p.communicate(timeout=60)
                self.assertLess(time.monotonic() - sent, 1.5)
                self.assertEqual(p.returncode, 130, err)
                self.assertNoLeftovers("pw", "p")

    def test_seal_checks_input_and_output_before_asking(self):
        self.path("exists", b"keep")
        for args, named in ((["seal", self.path("absent"), "-o", self.path("s")], b"absent"),
                            (["seal", self.path("p", b"x"), "-o", self.path("exists")], b"--force")):
            with self.subTest(named=named):
                status, shown = run_on_terminal(args, [])
                self.assertEqual(status, 1, shown)
                self.assertIn(named, shown)
                self.assertNotIn(b"Passphrase", shown)
                self.assertEqual(self.read("exists"), b"keep")


class RewrittenWhileRead(TempDirTest):
    def test_released_plain_text_always_verifies(self):
        # A byte in the middle of the cipher text flips back and forth while open or gcm-dec
        # decrypts to a pipe: whatever the timing, the output is the plain text (status 0) or
        # nothing (status 3).
        from cli_support import ORVOAES
        run(["keygen", "-o", self.path("k")], check=0)
        hexkey = self.read("k").hex()
        plain = data(6 << 20)
        forms = {"open": (["seal", "--key-file", self.path("k"), *V1], ["open", "--key-file", self.path("k")]),
                 "gcm-dec": (["gcm-enc", "-K", hexkey, "-o", "-"], ["gcm-dec", "-K", hexkey])}
        for name, (encrypt, decrypt) in forms.items():
            with self.subTest(name):
                sealed = run(encrypt, stdin=plain, check=0).stdout
                path = self.path("s", sealed)
                stop = threading.Event()

                def rewrite():
                    with open(path, "r+b") as f:
                        while not stop.is_set():
                            for byte in (sealed[3 << 20] ^ 1, sealed[3 << 20]):
                                f.seek(3 << 20)
                                f.write(bytes([byte]))
                                f.flush()

                writer = threading.Thread(target=rewrite)
                writer.start()
                outcomes = set()
                try:
                    for _ in range(40):  # until a run has read a flipped byte
                        if 3 in outcomes:
                            break
                        p = subprocess.run([ORVOAES, *decrypt, path], capture_output=True,
                                           env=dict(self.env, ORVOAES_KERNEL="portable"))
                        if p.returncode == 0:
                            self.assertTrue(p.stdout == plain, "released plain text that differs")
                        else:
                            self.assertEqual((p.returncode, p.stdout), (3, b""), p.stderr)
                        outcomes.add(p.returncode)
                finally:
                    stop.set()
                    writer.join()
                self.assertIn(3, outcomes)  # the flips were seen
                self.assertNoLeftovers("k", "s")


def flip(b, at):
    b = bytearray(b)
    b[at] ^= 0x01
    return bytes(b)


def run_on_terminal(args, answers):
    """Runs orvoaes on a pseudo-terminal, typing each answer after each prompt. Returns
    (exit status, what the terminal showed)."""
    from cli_support import ORVOAES
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(ORVOAES, [ORVOAES, *args])
    shown = b""
    for answer in answers:
        while not shown.rstrip().endswith(b":"):
            if not select.select([fd], [], [], 30)[0]:
                os.kill(pid, signal.SIGKILL)
                break
            chunk = os.read(fd, 1024)
            if not chunk:
                break
            shown += chunk
        os.write(fd, answer + b"\n")
        shown += b"|"
    try:
        while chunk := os.read(fd, 1024):
            shown += chunk
    except OSError:
        pass
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), shown


if __name__ == "__main__":
    unittest.main()
