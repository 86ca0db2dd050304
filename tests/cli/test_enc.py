"""enc / dec against `openssl enc`: every mode and padding, three key sizes, lengths around a
block and the stream engine's chunk, through files, pipes and the IV-in-front layout."""
import itertools
import unittest

from cli_support import CHUNK, IV, KEYS, LENGTHS, TempDirTest, data, openssl, run

# (mode, padding): which combinations `openssl enc` writes. It never pads OFB and CTR.
OPENSSL_FORMS = [("ecb", "pkcs7"), ("cbc", "pkcs7"), ("ecb", "none"), ("cbc", "none"), ("ofb", "none"),
                 ("ctr", "none")]


def key_args(mode, padding, key, iv=IV):
    args = ["--mode", mode, "--padding", padding, "-K", key.hex()]
    return args + (["--iv", iv.hex()] if mode != "ecb" else [])


def openssl_args(mode, padding, key, decrypt=False, iv=IV):
    args = ["enc", f"-aes-{len(key) * 8}-{mode}", "-K", key.hex()] + (["-d"] if decrypt else [])
    args += ["-iv", iv.hex()] if mode != "ecb" else []
    return args + (["-nopad"] if padding == "none" else [])


def cases():
    for (mode, padding), bits, n in itertools.product(OPENSSL_FORMS, KEYS, LENGTHS):
        if padding == "none" and mode in ("ecb", "cbc") and n % 16:
            continue  # the block modes without padding take whole blocks only
        yield mode, padding, KEYS[bits], n


class OpenSSLInterop(TempDirTest):
    def test_both_ways_through_files(self):
        for mode, padding, key, n in cases():
            with self.subTest(mode=mode, padding=padding, bits=len(key) * 8, n=n):
                plain = data(n)
                expected = openssl(openssl_args(mode, padding, key), plain)
                src, out = self.path("p", plain), self.path("c")
                run(["enc", *key_args(mode, padding, key), src, "-o", out, "--force"], check=0)
                self.assertEqual(self.read("c"), expected)
                back = run(["dec", *key_args(mode, padding, key), self.path("o", expected), "-o", self.path("b"), "-f"],
                           check=0)
                self.assertEqual(back.stdout, b"")
                self.assertEqual(self.read("b"), plain)

    def test_pipes(self):
        for mode, padding in OPENSSL_FORMS:
            for n in (0, 17, CHUNK + 17):
                if padding == "none" and mode in ("ecb", "cbc"):
                    n -= n % 16
                with self.subTest(mode=mode, n=n):
                    key, plain = KEYS[256], data(n, 2)
                    cipher = run(["enc", *key_args(mode, padding, key)], stdin=plain, check=0).stdout
                    self.assertEqual(cipher, openssl(openssl_args(mode, padding, key), plain))
                    self.assertEqual(run(["dec", *key_args(mode, padding, key)], stdin=cipher, check=0).stdout, plain)

    def test_iv_in_front_is_the_iv_then_openssl_output(self):
        for mode in ("cbc", "ofb", "ctr"):
            padding = "pkcs7" if mode == "cbc" else "none"
            for n in (0, 15, CHUNK + 1):
                with self.subTest(mode=mode, n=n):
                    key, plain = KEYS[192], data(n, 3)
                    args = ["--mode", mode, "--padding", padding, "-K", key.hex(), "--iv-in-front"]
                    first = run(["enc", *args], stdin=plain, check=0).stdout
                    second = run(["enc", *args], stdin=plain, check=0).stdout
                    iv, body = first[:16], first[16:]
                    self.assertNotEqual(iv, second[:16])  # a fresh IV each time
                    self.assertEqual(body, openssl(openssl_args(mode, padding, key, iv=iv), plain))
                    theirs = iv + openssl(openssl_args(mode, padding, key, iv=iv), plain)
                    self.assertEqual(run(["dec", *args], stdin=theirs, check=0).stdout, plain)


class OwnLayouts(TempDirTest):
    def test_round_trips(self):
        # The padded keystream modes and the path-file format are this library's own layouts.
        forms = [["--mode", "ofb", "--padding", "pkcs7"], ["--mode", "ctr", "--padding", "pkcs7"],
                 ["--format", "file", "--mode", "ctr"], ["--format", "file", "--mode", "cbc", "--iv-in-front"],
                 ["--key-text", "sixteen byte key", "--mode", "ecb"]]
        for form, n in itertools.product(forms, (0, 1, 16, CHUNK + 3)):
            with self.subTest(form=form, n=n):
                key = [] if "--key-text" in form else ["-K", KEYS[128].hex()]
                iv = [] if "--iv-in-front" in form or "ecb" in form else ["--iv", IV.hex()]
                plain = data(n, 4)
                cipher = run(["enc", *form, *key, *iv], stdin=plain, check=0).stdout
                self.assertEqual(run(["dec", *form, *key, *iv], stdin=cipher, check=0).stdout, plain)

    def test_path_file_format_matches_openssl_in_cbc(self):
        key, plain = KEYS[256], data(CHUNK + 5, 5)
        args = ["--format", "file", "--mode", "cbc", "-K", key.hex(), "--iv", IV.hex()]
        run(["enc", *args, self.path("p", plain), "-o", self.path("c")], check=0)
        self.assertEqual(self.read("c"), openssl(openssl_args("cbc", "pkcs7", key), plain))
        self.assertNoLeftovers("p", "c")


class Failures(TempDirTest):
    def test_wrong_usage_exits_2(self):
        k = KEYS[128].hex()
        for args in (["enc"], ["enc", "-K", k], ["enc", "-K", k[:-2], "--mode", "ecb"],
                     ["enc", "-K", k[:-1] + "g", "--mode", "ecb"], ["enc", "-K", k, "--iv", "00"],
                     ["enc", "--mode", "xts", "-K", k], ["enc", "-K", k, "--iv", IV.hex(), "--iv-in-front"],
                     ["frobnicate"]):
            with self.subTest(args=args):
                p = run(args)
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertNotIn(k[:-2].encode(), p.stderr)

    def test_bad_padding_fails_and_writes_nothing(self):
        args = ["--mode", "cbc", "-K", KEYS[128].hex(), "--iv", IV.hex()]
        cipher = openssl(openssl_args("cbc", "pkcs7", KEYS[256]), data(100))  # another key
        p = run(["dec", *args, self.path("c", cipher), "-o", self.path("out")], env=self.env)
        self.assertEqual(p.returncode, 1)
        self.assertIn(b"padding", p.stderr)
        self.assertIn(self.path("c").encode(), p.stderr)
        self.assertNoLeftovers("c")

    def test_missing_input_names_the_file(self):
        p = run(["enc", "--mode", "ecb", "-K", KEYS[128].hex(), self.path("absent"), "-o", self.path("out")])
        self.assertEqual(p.returncode, 1)
        self.assertIn(b"absent", p.stderr)
        self.assertNoLeftovers()


if __name__ == "__main__":
    unittest.main()
