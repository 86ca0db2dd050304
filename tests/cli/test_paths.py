"""Paths that name one file: every pair of a path a subcommand reads and a path it writes (and of
two paths it writes), given with the same spelling, through a symbolic link or a hard link, is
refused with status 1 before anything is written, every file staying byte for byte; the one
exception, an output that is its own input, replaces it in place with --force. Dangling output
links have the file they name created."""
import os
import unittest

from cli_support import KEYS, TempDirTest, data, run

K16, K32 = KEYS[128], KEYS[256]

# subcommand: (arguments with {option} place holders, the options it reads, the options it writes)
FORMS = {
    "enc": (["enc", "--mode", "ecb", "--key-file", "{--key-file}", "{input}", "-o", "{-o}"],
            ["input", "--key-file"], ["-o"]),
    "enc --format file": (["enc", "--format", "file", "--mode", "ecb", "--key-file", "{--key-file}", "{input}", "-o",
                           "{-o}"], ["input", "--key-file"], ["-o"]),
    "dec": (["dec", "--mode", "ecb", "--key-file", "{--key-file}", "{input}", "-o", "{-o}"],
            ["input", "--key-file"], ["-o"]),
    "gcm-enc": (["gcm-enc", "--key-file", "{--key-file}", "--aad", "{--aad}", "--tag", "{--tag}", "{input}", "-o",
                 "{-o}"], ["input", "--key-file", "--aad"], ["-o", "--tag"]),
    "gcm-dec": (["gcm-dec", "--key-file", "{--key-file}", "--aad", "{--aad}", "--tag", "{--tag}", "{input}", "-o",
                 "{-o}"], ["input", "--key-file", "--aad", "--tag"], ["-o"]),
    "aead-enc": (["aead-enc", "--alg", "gcm-siv", "--key-file", "{--key-file}", "--aad", "{--aad}", "{input}", "-o",
                  "{-o}"], ["input", "--key-file", "--aad"], ["-o"]),
    "aead-dec": (["aead-dec", "--alg", "gcm-siv", "--key-file", "{--key-file}", "--aad", "{--aad}", "{input}", "-o",
                  "{-o}"], ["input", "--key-file", "--aad"], ["-o"]),
    "seal --key-file": (["seal", "--key-file", "{--key-file}", "{input}", "-o", "{-o}"], ["input", "--key-file"],
                        ["-o"]),
    "seal --passphrase-file": (["seal", "--kdf-memory", "8", "--kdf-passes", "1", "--passphrase-file",
                                "{--passphrase-file}", "{input}", "-o", "{-o}"], ["input", "--passphrase-file"], ["-o"]),
    "open --key-file": (["open", "--key-file", "{--key-file}", "{input}", "-o", "{-o}"], ["input", "--key-file"],
                        ["-o"]),
    "open --passphrase-file": (["open", "--passphrase-file", "{--passphrase-file}", "{input}", "-o", "{-o}"],
                               ["input", "--passphrase-file"], ["-o"]),
}


class CoincidingPaths(TempDirTest):
    def valid_files(self, form):
        """Files with which the form succeeds, so a missing check would show as a success."""
        plain = data(3000)
        files = {"--key-file": K32 if form.startswith(("seal", "open")) else K16, "--aad": b"header",
                 "--passphrase-file": b"pass phrase\n", "input": plain}
        key = ["-K", K16.hex()]
        if form == "dec":
            files["input"] = run(["enc", "--mode", "ecb", *key], stdin=plain, check=0).stdout
        elif form == "gcm-dec":
            run(["gcm-enc", *key, "--aad", self.path("a", b"header"), "--tag", self.path("t"), "-o", self.path("c")],
                stdin=plain, check=0)
            files["input"], files["--tag"] = self.read("c"), self.read("t")
        elif form == "aead-dec":
            files["input"] = run(["aead-enc", "--alg", "gcm-siv", *key, "--aad", self.path("a", b"header"), "-o", "-"],
                                 stdin=plain, check=0).stdout
        elif form.startswith("open"):
            source = ["--key-file", self.path("k", K32)] if "key" in form else [
                "--passphrase-file", self.path("pw", b"pass phrase\n"), "--kdf-memory", "8", "--kdf-passes", "1"]
            files["input"] = run(["seal", *source, "-o", "-"], stdin=plain, check=0).stdout
        elif form == "gcm-enc":
            files["--tag"] = b"earlier tag"
        return files

    def snapshot(self, folder):
        return {name: (os.readlink(p) if os.path.islink(p) else open(p, "rb").read())
                for name in os.listdir(folder) for p in [os.path.join(folder, name)]}

    def test_every_pair_is_refused(self):
        for form, (template, reads, writes) in FORMS.items():
            files = self.valid_files(form)
            pairs = [(w, o) for w in writes for o in reads + writes if o != w and (w, o) != ("-o", "input")]
            pairs = [p for i, p in enumerate(pairs) if (p[1], p[0]) not in pairs[:i]]  # each pair of writes once
            for (w, o), how in ((p, h) for p in pairs for h in ("same", "symlink", "hard link")):
                with self.subTest(form=form, written=w, other=o, how=how):
                    folder = os.path.join(self.dir, f"case{len(os.listdir(self.dir))}")
                    os.mkdir(folder)
                    paths = {}
                    for option in reads + writes:
                        paths[option] = os.path.join(folder, option.strip("-"))
                        if option in files and option != "-o":
                            with open(paths[option], "wb") as f:
                                f.write(files[option])
                    if not os.path.exists(paths[o]):  # an output that does not exist yet
                        with open(paths[o], "wb") as f:
                            f.write(b"earlier output")
                    if how == "same":
                        paths[w] = paths[o]
                    elif how == "symlink":
                        paths[w] = os.path.join(folder, "link")
                        os.symlink(paths[o], paths[w])
                    else:
                        paths[w] = os.path.join(folder, "hard")
                        os.link(paths[o], paths[w])
                    before = self.snapshot(folder)
                    args = [a.format(**paths) if a.startswith("{") else a for a in template]
                    p = run(args + ["--force"], env=self.env)
                    self.assertEqual(p.returncode, 1, p.stderr)
                    self.assertIn(f"{w} and {o} name the same file".encode(), p.stderr)
                    self.assertEqual(self.snapshot(folder), before)
                    self.assertEqual(os.listdir(self.tmp), [])

    def test_output_and_tag_that_do_not_exist_yet(self):
        # Without --force too: the output would otherwise be replaced by the tag.
        for how in ("same", "dangling link"):
            with self.subTest(how=how):
                x = self.path("x")
                other = x if how == "same" else self.path("link")
                if how != "same":
                    os.symlink(x, other)
                p = run(["gcm-enc", "-K", K16.hex(), "--tag", x, self.path("in", b"plain"), "-o", other])
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(b"-o and --tag name the same file", p.stderr)
                self.assertFalse(os.path.exists(x))

    def test_standard_input_counts_by_its_file(self):
        import subprocess
        from cli_support import ORVOAES
        with open(self.path("t", b"the only copy"), "rb") as stdin:
            p = subprocess.run([ORVOAES, "gcm-enc", "-K", K16.hex(), "--tag", self.path("t"), "--force", "-o",
                                self.path("c")], stdin=stdin, capture_output=True)
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn(b"--tag and input name the same file", p.stderr)
        self.assertEqual(self.read("t"), b"the only copy")
        self.assertFalse(os.path.exists(self.path("c")))

    def test_output_replacing_its_input_in_place(self):
        plain = data(5000)
        key = ["-K", K16.hex()]
        forms = [["enc", "--mode", "ecb", *key], ["enc", "--format", "file", "--mode", "ecb", *key],
                 ["gcm-enc", "--iv", "00" * 12, "--tag", self.path("t"), *key],
                 ["seal", "--key-file", self.path("k", K32)]]
        for form in forms:
            for how in ("same", "symlink"):
                with self.subTest(form=form[0:3], how=how):
                    src = self.path("in", plain)
                    out = src if how == "same" else self.path("link")
                    if how == "symlink" and not os.path.islink(out):
                        os.symlink(src, out)
                    p = run([*form, src, "-o", out], env=self.env)
                    self.assertEqual(p.returncode, 1)  # it exists: only with --force
                    self.assertEqual(self.read("in"), plain)
                    expected = run([*form, "-o", "-", "--force"], stdin=plain, check=0).stdout if form[0] != "seal" else None
                    run([*form, src, "-o", out, "--force"], check=0, env=self.env)
                    if expected is not None:
                        self.assertEqual(self.read("in"), expected)
                    else:
                        back = run(["open", "--key-file", self.path("k"), src], check=0).stdout
                        self.assertEqual(back, plain)
                    self.assertEqual(os.listdir(self.tmp), [])


class DanglingOutputLinks(TempDirTest):
    def test_the_named_file_is_created(self):
        for form in (["enc", "--mode", "ecb"], ["enc", "--format", "file", "--mode", "ecb"], ["gcm-enc"]):
            with self.subTest(form=form):
                target = self.path("target")
                if os.path.exists(target):
                    os.unlink(target)
                if not os.path.islink(self.path("link")):
                    os.symlink(target, self.path("link"))
                run([*form, "-K", K16.hex(), self.path("in", b"x" * 100), "-o", self.path("link")], check=0)
                self.assertTrue(os.path.islink(self.path("link")))
                self.assertGreaterEqual(len(self.read("target")), 100)

    def test_a_link_loop_is_an_open_failure(self):
        os.symlink(self.path("b"), self.path("a"))
        os.symlink(self.path("a"), self.path("b"))
        for form in (["enc", "--mode", "ecb"], ["enc", "--format", "file", "--mode", "ecb"]):
            with self.subTest(form=form):
                p = run([*form, "-K", K16.hex(), self.path("in", b"x"), "-o", self.path("a"), "--force"])
                self.assertEqual(p.returncode, 1, p.stderr)
                self.assertIn(self.path("a").encode(), p.stderr)


if __name__ == "__main__":
    unittest.main()
