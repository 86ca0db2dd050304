"""What every subcommand shares: --help and --version, existing outputs kept without --force,
outputs whole or absent (read-only folder, file-size limit, Ctrl-C, SIGKILL, a failed pair
commit), refusals made before any work, and the progress bar on a terminal only, fitting it."""
import fcntl
import os
import pty
import resource
import select
import shutil
import signal
import struct
import subprocess
import termios
import time
import unittest

from cli_support import IV, KEYS, ORVOAES, TempDirTest, run, wait_until_reading

SUBCOMMANDS = ["enc", "dec", "gcm-enc", "gcm-dec", "aead-enc", "aead-dec", "seal", "open", "cmac", "cmac-verify", "convert", "rand", "keygen"]
KEY = ["-K", KEYS[128].hex()]
# The portable kernel is slow enough for a 64 MiB input to be interrupted or drawn mid-way.
SLOW = dict(os.environ, ORVOAES_KERNEL="portable")


def big_file(path, mib):
    with open(path, "wb") as f:
        f.truncate(mib << 20)
    return path


class Shared(TempDirTest):
    def test_help_and_version(self):
        for sub in SUBCOMMANDS:
            with self.subTest(sub):
                helped = run([sub, "--help"], check=0).stdout
                self.assertIn(b"Example:", helped)
                self.assertIn(f"orvoaes {sub}".encode(), helped)
                self.assertTrue(run([sub, "--version"], check=0).stdout.startswith(b"orvoaes "))

    def test_existing_output_needs_force(self):
        forms = [["enc", "--mode", "ecb", *KEY], ["enc", "--format", "file", "--mode", "ecb", *KEY],
                 ["gcm-enc", *KEY], ["keygen"]]
        for form in forms:
            with self.subTest(form=form):
                src, out = self.path("in", b"plain"), self.path("out", b"precious")
                args = form + ([] if form == ["keygen"] else [src]) + ["-o", out]
                p = run(args, env=self.env)
                self.assertEqual(p.returncode, 1)
                self.assertIn(b"--force", p.stderr)
                self.assertEqual(self.read("out"), b"precious")
                run(args + ["--force"], check=0, env=self.env)
                self.assertNotEqual(self.read("out"), b"precious")
                self.assertNoLeftovers("in", "out")

    def test_read_only_folder(self):
        ro = self.path("ro")
        os.mkdir(ro)
        os.chmod(ro, 0o555)
        src = self.path("in", b"x" * 100)
        os.chmod(self.dir, 0o755)
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.getuid() == 0 else []
        if as_user and not shutil.which("setpriv"):
            self.skipTest("running as root without setpriv")
        for form in (["enc", "--mode", "ecb"], ["enc", "--format", "file", "--mode", "ecb"]):
            with self.subTest(form=form):
                p = subprocess.run([*as_user, ORVOAES, *form, *KEY, src, "-o", os.path.join(ro, "out")],
                                   capture_output=True)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(b"ro/out", p.stderr)
                self.assertEqual(os.listdir(ro), [])

    def test_file_size_limit(self):
        src = self.path("in", b"y" * 300000)

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (100000, 100000))

        forms = [["enc", "--mode", "cbc", "--iv", IV.hex(), *KEY], ["enc", "--format", "file", "--mode", "ecb", *KEY],
                 ["gcm-enc", *KEY], ["seal", "--key-file", self.path("k", bytes(32))],
                 ["enc", "--format", "file", "--mode", "ecb", *KEY, "-o", "-"]]  # its staging file is limited too
        for form in forms:
            with self.subTest(form=form):
                out = [] if "-o" in form else ["-o", self.path("out")]
                p = subprocess.run([ORVOAES, *form, src, *out], capture_output=True, preexec_fn=limit, env=self.env)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(b"File too large", p.stderr)  # the system's reason, not a bare status
                self.assertNotIn(b"Unknown error", p.stderr)
                self.assertNoLeftovers("in", "k")

    def test_ctrl_c_leaves_nothing(self):
        src = big_file(self.path("big"), 128)
        forms = [["enc", "--mode", "cbc", "--iv", IV.hex(), *KEY, src], ["gcm-enc", *KEY, src],
                 ["seal", "--key-file", self.path("k", bytes(32)), src]]
        for form in forms:
            for target in (["-o", self.path("out")], ["-o", self.path("big"), "--force"]):
                with self.subTest(form=form[0], target=target[1]):
                    p = subprocess.Popen([ORVOAES, *form, *target], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                         env=dict(SLOW, TMPDIR=self.tmp))
                    wait_until_reading(p)  # into the work, well before the end of 128 MiB on the portable kernel
                    p.send_signal(signal.SIGINT)
                    _, err = p.communicate(timeout=120)
                    self.assertEqual(p.returncode, 130, err)
                    self.assertEqual(os.path.getsize(src), 128 << 20)
                    self.assertNoLeftovers("big", "k")

    def test_ctrl_c_while_reading_standard_input(self):
        r, w = os.pipe()
        p = subprocess.Popen([ORVOAES, "enc", "--mode", "ecb", *KEY, "-o", self.path("out")], stdin=r,
                             stderr=subprocess.PIPE, env=self.env)
        os.close(r)
        os.write(w, b"z" * 100000)  # and the pipe stays open
        wait_until_reading(p, at_least=100000)
        p.send_signal(signal.SIGINT)
        _, err = p.communicate(timeout=60)
        os.close(w)
        self.assertEqual(p.returncode, 130, err)
        self.assertNoLeftovers()


class Kills(TempDirTest):
    """A SIGKILL leaves nothing behind: outputs and copies are unnamed until they are complete."""

    def kill_during(self, args, delays, stdin=subprocess.DEVNULL, feed=None, keep=()):
        killed = 0
        for delay in delays:
            with self.subTest(args=args[:4], delay=delay):
                p = subprocess.Popen([ORVOAES, *args], stdin=stdin if feed is None else subprocess.PIPE,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     env=dict(SLOW, TMPDIR=self.tmp))
                if feed is not None:
                    p.stdin.write(feed)  # and the pipe stays open: the copy is still being made
                    p.stdin.flush()
                time.sleep(delay)
                p.kill()
                p.wait()
                if feed is not None:
                    p.stdin.close()
                if p.returncode == 0:
                    # Finished before the kill (a quiet, fast machine): this delay shows nothing, and
                    # the complete output it may have written goes before the next run.
                    for name in os.listdir(self.dir):
                        if name not in keep and name != "tmp":
                            os.unlink(os.path.join(self.dir, name))
                    continue
                self.assertEqual(p.returncode, -signal.SIGKILL)  # killed, not finished
                self.assertNoLeftovers(*keep)
                killed += 1
        self.assertGreater(killed, 0, f"{args[:4]} finished before every kill")

    def test_sigkill_leaves_nothing(self):
        src = big_file(self.path("big"), 128)
        key = self.path("k", bytes(32))
        self.kill_during(["enc", "--format", "file", "--mode", "ecb", *KEY, src, "-o", self.path("out")],
                         (0.05, 0.3, 0.8), keep=("big", "k"))
        self.kill_during(["seal", "--key-file", key, "-", "-o", self.path("out")], (0.05, 0.3), feed=b"p" * (8 << 20),
                         keep=("big", "k"))
        run(["enc", "--format", "file", "--mode", "ecb", *KEY, src, "-o", self.path("c")], check=0)
        self.kill_during(["dec", "--format", "file", "--mode", "ecb", *KEY, self.path("c"), "-o", "-"], (0.1, 0.5, 1.0),
                         keep=("big", "k", "c"))


class PairCommit(TempDirTest):
    def test_a_failed_tag_commit_leaves_output_and_tag_as_before(self):
        # The tag's place turns into a folder while the cipher text is made, so its rename fails
        # after the output's: the pair commit puts the earlier output back.
        src = big_file(self.path("big"), 128)
        out, tag = self.path("out", b"earlier output"), self.path("tag", b"earlier tag")
        p = subprocess.Popen([ORVOAES, "gcm-enc", *KEY, src, "-o", out, "--tag", tag, "--force"],
                             stderr=subprocess.PIPE, env=dict(SLOW, TMPDIR=self.tmp))
        wait_until_reading(p)
        os.rename(tag, self.path("tag.saved"))
        os.mkdir(tag)
        self.path("tag/inside", b"keeps the folder from being replaced")
        _, err = p.communicate(timeout=120)
        self.assertEqual(p.returncode, 1, err)
        self.assertIn(b"neither was changed", err)
        self.assertEqual(self.read("out"), b"earlier output")
        self.assertEqual(os.listdir(tag), ["inside"])
        os.unlink(self.path("tag/inside"))
        os.rmdir(tag)
        os.rename(self.path("tag.saved"), tag)
        self.assertEqual(self.read("tag"), b"earlier tag")
        self.assertNoLeftovers("big", "out", "tag")


class Refusals(TempDirTest):
    def test_binary_output_to_a_terminal_needs_dash_o_dash(self):
        src = self.path("in", b"plain")
        for form in (["enc", "--mode", "ecb", *KEY], ["gcm-enc", *KEY], ["seal", "--key-file", self.path("k", bytes(32))]):
            with self.subTest(form=form[0]):
                status, screen = on_terminal([*form, src])
                self.assertEqual(status, 2, screen)
                self.assertIn(b"-o -", screen)
                status, screen = on_terminal([*form, src, "-o", "-"])
                self.assertEqual(status, 0, screen)
        status, screen = on_terminal(["dec", "--mode", "ecb", *KEY, self.path("c", run(["enc", "--mode", "ecb", *KEY],
                                                                                       stdin=b"hello", check=0).stdout)])
        self.assertEqual((status, screen.strip()), (0, b"hello"))  # plain text may go to the terminal

    def test_above_the_gcm_limit(self):
        big = self.path("huge")
        with open(big, "wb") as f:
            f.truncate((1 << 36) - 31)  # sparse: one byte more than one GCM message may hold
        for form in (["gcm-enc", *KEY, big, "-o", self.path("out")],
                     ["gcm-dec", *KEY, "--iv", "00" * 12, "--tag", self.path("t", bytes(16)), big, "-o", self.path("out")]):
            with self.subTest(form=form[0]):
                start = time.monotonic()
                p = run(form, env=self.env)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(b"64 GiB limit of one GCM message", p.stderr)
                self.assertIn(b"seal", p.stderr)
                self.assertLess(time.monotonic() - start, 5)
                self.assertNoLeftovers("huge", "t")


class ProgressBar(TempDirTest):
    def test_drawn_on_a_terminal_and_erased(self):
        src = big_file(self.path("big"), 16)
        for form in (["enc", "--mode", "cbc", "--iv", IV.hex(), *KEY], ["gcm-dec", *KEY, "--tag", self.path("t")],
                     ["cmac", *KEY]):
            with self.subTest(form=form[0]):
                if form[0] == "gcm-dec":
                    run(["gcm-enc", *KEY, src, "-o", self.path("g"), "--tag", self.path("t"), "-f"], check=0)
                    args = [*form, self.path("g")]
                else:
                    args = [*form, src]
                status, screen = on_terminal([*args, "-o", os.devnull] if form[0] != "cmac" else args)
                self.assertEqual(status, 0, screen)
                self.assertRegex(screen, rb"\r +\d+%  [\d.]+ [KMG]?i?B / 16\.0 MiB  .*/s  \d+:\d\d:\d\d left")
                self.assertIn(b"\r\x1b[K", screen[screen.rindex(b"left\x1b[K"):])  # erased after the last draw
                quiet_status, quiet_screen = on_terminal([*args, "-q", "-o", os.devnull] if form[0] != "cmac"
                                                         else [*args, "-q"])
                self.assertNotIn(b"%", quiet_screen)

    def test_fits_a_narrow_terminal(self):
        src = big_file(self.path("big"), 16)
        for columns in (30, 12, 4):
            with self.subTest(columns=columns):
                status, screen = on_terminal(["enc", "--mode", "cbc", "--iv", IV.hex(), *KEY, src, "-o", os.devnull],
                                             columns=columns)
                self.assertEqual(status, 0, screen)
                drawn = [line.split(b"\x1b[K")[0] for line in screen.split(b"\r") if line.strip(b"\x1b[K")]
                self.assertTrue(all(len(line) < columns for line in drawn), drawn)
                if columns == 30:
                    self.assertTrue(any(b"left" in line for line in drawn), screen)

    def test_absent_on_a_pipe(self):
        src = big_file(self.path("big"), 16)
        p = run(["enc", "--mode", "cbc", "--iv", IV.hex(), *KEY, src, "-o", os.devnull], env=SLOW, check=0)
        self.assertEqual(p.stderr, b"")


def on_terminal(args, columns=None):
    """Runs orvoaes with its standard error (and output) on a pseudo-terminal, on the slow
    kernel, that many columns wide when given. Returns (exit status, everything the terminal
    received)."""
    pid, fd = pty.fork()
    if pid == 0:
        if columns:
            fcntl.ioctl(1, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        os.environ["ORVOAES_KERNEL"] = "portable"
        os.execv(ORVOAES, [ORVOAES, *args])
    screen = b""
    while select.select([fd], [], [], 120)[0]:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        screen += chunk
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), screen


if __name__ == "__main__":
    unittest.main()
