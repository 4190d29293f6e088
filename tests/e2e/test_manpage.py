"""The manual page: groff reads it without a single warning, it has the
sections a reader looks for, it lists every message korvel can print (as
plain text, so a message copied from a terminal finds its entry), and
`make install` puts it under share/man/man1."""

import os, re, shutil, subprocess, tempfile, unittest

from e2etools import HERE, KORVEL_BIN, run

ROOT = os.path.join(HERE, "..", "..")
PAGE = os.path.join(ROOT, "doc", "korvel.1")


def messages():
    """The texts of src/base/Messages.h that go to standard output: the
    capitalised sentences (the reasons for stderr are lower-case clauses)."""
    with open(os.path.join(ROOT, "src", "base", "Messages.h"), encoding="utf-8") as f:
        texts = re.findall(r'constexpr const char\* k\w+\s*=\s*"((?:[^"\\]|\\.)*)"', f.read())
    return [t.replace("\\'", "'") for t in texts if t[:1].isupper()]


class ManualPage(unittest.TestCase):

    def test_lint_without_warnings(self):
        rc, out, err = run(["groff", "-man", "-ww", "-z", PAGE])
        self.assertEqual((rc, out, err), (0, "", ""))
        if shutil.which("man"):
            rc, out, err = run(["man", "--warnings", "-l", PAGE])
            self.assertEqual((rc, err), (0, ""))

    def test_sections_and_every_message(self):
        # Wide lines: a message in a tag never wraps; ASCII output shows a
        # hyphen or quote that would not copy as the byte korvel prints.
        rc, text, err = run(["groff", "-man", "-Tascii", "-P-cbou", "-rLL=400n", PAGE])
        self.assertEqual((rc, err), (0, ""))
        lines = {line.strip() for line in text.splitlines()}
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "DIAGNOSTICS", "EXAMPLES"):
            self.assertIn(section, lines)
        listed = messages()
        self.assertGreater(len(listed), 30)
        for message in listed:
            pattern = re.escape(message).replace("%d", r"\S+").replace("%s", r"\S+")
            self.assertTrue(any(re.fullmatch(pattern, line) for line in lines), "not in the manual page: " + message)
        for form in ("korvel in1.pdf in2.pdf output.pdf [/s]", "korvel in1.pdf in2.pdf [/s]"):
            self.assertIn(form, lines)
        self.assertRegex(" ".join(text.split()), r"output name of exactly temp\.tmp .* the result replaces in1\.pdf")

    def test_installed_under_share_man_man1(self):
        build = os.path.dirname(KORVEL_BIN)
        if not os.path.isfile(os.path.join(build, "cmake_install.cmake")):
            self.skipTest("KORVEL_BIN is not in a CMake build directory")
        prefix = tempfile.mkdtemp(prefix="korvel-install-")
        self.addCleanup(shutil.rmtree, prefix, True)
        rc, out, err = run(["cmake", "--install", build, "--prefix", prefix])
        self.assertEqual(rc, 0, err)
        with open(os.path.join(prefix, "share", "man", "man1", "korvel.1"), "rb") as f, open(PAGE, "rb") as g:
            self.assertEqual(f.read(), g.read())
        self.assertTrue(os.access(os.path.join(prefix, "bin", "korvel"), os.X_OK))


if __name__ == "__main__":
    unittest.main()
