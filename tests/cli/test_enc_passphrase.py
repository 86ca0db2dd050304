"""enc / dec with a passphrase against `openssl enc`, both ways, byte for byte: every mode and key
size, -pbkdf2 with each digest and two iteration counts, the legacy derivation with MD5 and
SHA-256, -nosalt, base64 with and without -A (and CRLF lines), lengths 0, 1, 15, 16, 17 and 1 MiB.
The cross product is sampled: every mode meets every derivation, and the key size, salt, base64
and length choices rotate over those rows (each mode gets each key size). Then wrong passphrases, the terminal, and usage errors."""
import itertools
import os
import unittest

from cli_support import TempDirTest, data, openssl, run
from test_seal import run_on_terminal

MODES = ["ecb", "cbc", "cfb", "cfb8", "ofb", "ctr"]
BITS = [128, 192, 256]
# (our options, openssl's options): PBKDF2 with each digest at the default and a small count, and
# the legacy one-iteration derivation.
# (The default count, 10,000, with SHA-256 only: the others take a small count and a smaller one.)
KDFS = [(["--pbkdf2", "--md", md] + (["--iter", it] if it else []),
         ["-pbkdf2", "-md", md] + (["-iter", it] if it else []))
        for md, counts in (("sha1", ("1000", "3")), ("sha256", (None, "3")), ("sha512", ("1000", "3")))
        for it in counts]
KDFS += [(["--legacy-kdf", "--md", md], ["-md", md]) for md in ("md5", "sha256")]
SALTS = [([], []), (["--nosalt"], ["-nosalt"])]
BASE64 = [([], []), (["-a"], ["-a"]), (["-a", "-A"], ["-a", "-A"])]
LENGTHS = [0, 1, 15, 16, 17]
MIB = 1 << 20
PASSPHRASE = b"correct horse battery"


def rows():
    for i, (mode, kdf) in enumerate(itertools.product(MODES, KDFS)):
        yield mode, BITS[i % 3], kdf, SALTS[(i + i // len(KDFS)) % 2], BASE64[i // 2 % 3], LENGTHS[i % 5]


class OpenSSLPassphraseFiles(TempDirTest):
    def setUp(self):
        super().setUp()
        self.pw = self.path("pw", PASSPHRASE + b"\n")

    def ours(self, encrypt, mode, bits, options, src):
        args = ["enc" if encrypt else "dec", "--mode", mode, "--key-bits", str(bits), "--passphrase-file", self.pw]
        return run([*args, *options, "-q", self.path("src", src)], check=0).stdout

    def theirs(self, encrypt, mode, bits, options, src):
        args = ["enc", f"-aes-{bits}-{mode}", "-pass", f"file:{self.pw}"] + ([] if encrypt else ["-d"])
        return openssl([*args, *options], src)

    def check_row(self, mode, bits, kdf, salt, base64, n):
        plain = data(n, n + bits)
        ours_opts, theirs_opts = kdf[0] + salt[0] + base64[0], kdf[1] + salt[1] + base64[1]
        # openssl enc -e, then orvoaes dec
        made = self.theirs(True, mode, bits, theirs_opts, plain)
        self.assertEqual(self.ours(False, mode, bits, ours_opts, made), plain)
        # orvoaes enc, then openssl enc -d
        ours = self.ours(True, mode, bits, ours_opts, plain)
        self.assertEqual(self.theirs(False, mode, bits, theirs_opts, ours), plain)
        # and the same bytes as openssl writes with that salt (it leaves its header out when given -S)
        if not salt[0]:
            raw = ours
            if base64[0]:
                raw = openssl(["base64", "-d", "-A"], ours.replace(b"\n", b""))
            self.assertEqual(raw[:8], b"Salted__")
            again = self.theirs(True, mode, bits, theirs_opts[:len(kdf[1])] + ["-S", raw[8:16].hex()], plain)
            self.assertEqual(raw[16:], again)
        else:
            self.assertEqual(ours, made)  # no salt: key and IV depend on the passphrase alone

    def test_table_both_ways(self):
        for mode, bits, kdf, salt, base64, n in rows():
            with self.subTest(mode=mode, bits=bits, kdf=kdf[0], salt=salt[0], base64=base64[0], n=n):
                self.check_row(mode, bits, kdf, salt, base64, n)

    def test_one_mebibyte(self):
        for mode, base64 in zip(MODES, itertools.cycle(BASE64)):
            with self.subTest(mode=mode, base64=base64[0]):
                self.check_row(mode, 256, KDFS[1], SALTS[0], base64, MIB + 5)

    def test_base64_lines_and_crlf(self):
        plain = data(1000, 7)
        made = self.theirs(True, "cbc", 256, ["-pbkdf2", "-a"], plain)
        lines = made.split(b"\n")
        self.assertTrue(all(len(line) == 64 for line in lines[:-2]) and lines[-1] == b"", lines[-2:])
        ours = self.ours(True, "cbc", 256, ["-a"], plain)
        self.assertEqual([len(line) for line in ours.split(b"\n")], [len(line) for line in lines])
        one = self.ours(True, "cbc", 256, ["-a", "-A"], plain)
        self.assertNotIn(b"\n", one)
        for text in (made.replace(b"\n", b"\r\n"), one, made.replace(b"\n", b"\r\n") + b"\r\n"):
            self.assertEqual(self.ours(False, "cbc", 256, ["-a"], text), plain)

    def test_raw_keys_in_cfb_modes_and_base64(self):
        key, iv = bytes(range(32)), bytes(range(16, 32))
        for mode, n in itertools.product(("cfb", "cfb8"), (0, 1, 17, 100000)):
            with self.subTest(mode=mode, n=n):
                plain = data(n, 9)
                ours = run(["enc", "--mode", mode, "-K", key.hex(), "--iv", iv.hex()], stdin=plain, check=0).stdout
                self.assertEqual(ours, openssl(["enc", f"-aes-256-{mode}", "-K", key.hex(), "-iv", iv.hex()], plain))
                back = run(["dec", "--mode", mode, "-K", key.hex(), "--iv", iv.hex()], stdin=ours, check=0).stdout
                self.assertEqual(back, plain)
        plain = data(300, 10)
        ours = run(["enc", "--mode", "cbc", "-a", "-K", key.hex(), "--iv", iv.hex()], stdin=plain, check=0).stdout
        self.assertEqual(ours, openssl(["enc", "-aes-256-cbc", "-a", "-K", key.hex(), "-iv", iv.hex()], plain))


class Failures(TempDirTest):
    def test_wrong_passphrase_is_refused_and_writes_nothing(self):
        pw, other = self.path("pw", PASSPHRASE), self.path("other", b"incorrect horse")
        refused = 0
        for i, (mode, kdf) in enumerate(itertools.product(("ecb", "cbc"), KDFS)):
            # A fixed salt: a wrong key gives valid padding about once in 256 tries, and none of
            # these does (openssl leaves out the header when it is given the salt).
            salt = bytes([i]) * 8
            made = openssl(["enc", f"-aes-256-{mode}", "-pass", f"file:{pw}", "-S", salt.hex(), *kdf[1]], data(100, i))
            p = run(["dec", "--mode", mode, "--passphrase-file", other, *kdf[0],
                     self.path("c", b"Salted__" + salt + made), "-o", self.path("out")], env=self.env)
            self.assertEqual(p.returncode, 3, p.stderr)
            self.assertIn(b"wrong passphrase", p.stderr)
            self.assertNotIn(b"horse", p.stderr)
            refused += 1
            self.assertNoLeftovers("pw", "other", "c")
        self.assertEqual(refused, 2 * len(KDFS))
        # To standard output as well: the padded plain text is held back until its padding checked.
        big = openssl(["enc", "-aes-256-cbc", "-pbkdf2", "-pass", f"file:{pw}", "-S", "00" * 8], data(3 << 20, 3))
        p = run(["dec", "--passphrase-file", other, "-"], stdin=b"Salted__" + bytes(8) + big, env=self.env)
        self.assertEqual((p.returncode, p.stdout), (3, b""), p.stderr)
        self.assertNoLeftovers("pw", "other", "c")

    def test_missing_header_and_damaged_base64(self):
        pw = self.path("pw", PASSPHRASE)
        nosalt = openssl(["enc", "-aes-256-cbc", "-pbkdf2", "-nosalt", "-pass", f"file:{pw}"], data(40))
        base64 = openssl(["enc", "-aes-256-cbc", "-pbkdf2", "-a", "-pass", f"file:{pw}"], data(40))
        for content, options, words in ((nosalt, [], b"Salted__"), (b"Salt", [], b"too short"),
                                        (base64[:-3] + b"\n", ["-a"], b"base64"),
                                        (base64.replace(b"U2", b"U*"), ["-a"], b"base64"),
                                        (base64 + b"QUJD\n", ["-a"], b"base64")):
            with self.subTest(content=content[:20], options=options):
                p = run(["dec", "--passphrase-file", pw, *options, self.path("c", content), "-o", self.path("out")],
                        env=self.env)
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(words, p.stderr)
                self.assertNoLeftovers("pw", "c")

    def test_usage_errors(self):
        pw, k = self.path("pw", PASSPHRASE), bytes(16).hex()
        for args in (["--pbkdf2", "--legacy-kdf"], ["--legacy-kdf", "--iter", "5"], ["--md", "md5"],
                     ["--key-bits", "100"], ["--iv", "00" * 16], ["--salt", "0102"], ["--nosalt", "--salt", "00" * 8],
                     ["-K", k, "--pbkdf2"], ["-K", k, "--key-bits", "128"], ["-K", k, "--passphrase-file", pw],
                     ["-A"], ["--format", "file"], ["--iter", "0"]):
            with self.subTest(args=args):
                extra = [] if "-K" in args or "--passphrase-file" in args else ["--passphrase-file", pw]
                p = run(["enc", "--mode", "cbc", *extra, *args], stdin=b"x")
                self.assertEqual(p.returncode, 2, p.stderr)

    def test_legacy_derivation_warns_when_encrypting(self):
        pw = self.path("pw", PASSPHRASE)
        p = run(["enc", "--legacy-kdf", "--passphrase-file", pw], stdin=b"x", check=0)
        self.assertIn(b"warning", p.stderr)
        self.assertNotIn(b"warning", run(["enc", "--passphrase-file", pw], stdin=b"x", check=0).stderr)

    def test_passphrase_asked_twice_on_the_terminal_without_echo(self):
        for answers, status in (([b"tty secret", b"tty secret"], 0), ([b"tty secret", b"other"], 1)):
            with self.subTest(status=status):
                out = self.path("c")
                code, shown = run_on_terminal(["enc", "-f", "-q", self.path("p", b"hello"), "-o", out], answers)
                self.assertEqual(code, status)
                self.assertNotIn(b"tty secret", shown)
        self.path("pw", b"tty secret")
        self.assertEqual(openssl(["enc", "-d", "-aes-256-cbc", "-pbkdf2", "-pass", f"file:{self.path('pw')}",
                                  "-in", self.path("c")], b""), b"hello")
        code, _ = run_on_terminal(["dec", "-f", "-q", self.path("c"), "-o", self.path("back")], [b"tty secret"])
        self.assertEqual(code, 0)
        self.assertEqual(self.read("back"), b"hello")


if __name__ == "__main__":
    unittest.main()
