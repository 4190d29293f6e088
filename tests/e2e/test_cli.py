"""The command line as a person and a script meet it: --help and --version,
failures through a pipe and at a terminal (the message bytes a script reads,
the line a person reads on stderr), and the in-place form, which touches no
file but the first input and keeps its permissions."""

import os, pty, pwd, shutil, stat, subprocess, unittest

from e2etools import KORVEL_BIN, Fixtures, KorvelTestCase, korvel, npages, qpdf_problem, read, write

FIX = Fixtures()
A, B = FIX.get("alpha-classic.pdf"), FIX.get("beta-objstm.pdf")
USAGE = ("Korvel version 1.00\n\nUsage:\nKorvel in1.pdf in2.pdf output.pdf\n"
         "will append in2.pdf onto in1.pdf and create output.pdf\nKorvel in1.pdf in2.pdf\n"
         "will append in2.pdf onto in1.pdf\n\nFor optimization of the destination document's structure\n"
         "to reduce its size add /s parameter\n\nNotes:\nIf the name of file contains space character itself,\n"
         "it must be enclosed in quotes.\n")
REPLACE_FAILED = "Can't replace the first input file; the result is in "


def at_terminal(args, cwd):
    """Runs korvel with standard output on a pseudo-terminal: (exit, the
    terminal's bytes, stderr)."""
    master, slave = pty.openpty()
    p = subprocess.Popen([KORVEL_BIN] + args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=slave, stderr=subprocess.PIPE)
    os.close(slave)
    out = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # EIO: the program has closed the terminal
            break
        if not chunk:
            break
        out += chunk
    os.close(master)
    err = p.stderr.read()
    p.stderr.close()
    return p.wait(), out.decode("latin-1"), err.decode("latin-1")


def unprivileged(test):
    """(preexec function, uid) to run korvel as an ordinary user: none
    needed when the tests are one already. root ignores permissions, so
    root runs korvel as "nobody", or the test is skipped."""
    if os.geteuid() != 0:
        return None, os.getuid()
    try:
        user = pwd.getpwnam("nobody")
    except KeyError:
        test.skipTest("running as root and there is no user 'nobody' to drop to")

    def drop():
        os.setgroups([])
        os.setgid(user.pw_gid)
        os.setuid(user.pw_uid)
    return drop, user.pw_uid


class CommandLine(KorvelTestCase):

    def setUp(self):
        super().setUp()
        self.a, self.b = self.copy_in(A, "a.pdf"), self.copy_in(B, "b.pdf")
        write(os.path.join(self.dir, "junk.pdf"), b"%!PS\nshowpage\n" * 40)

    def test_help_and_version(self):
        for args, out in (([], USAGE), (["--help"], USAGE), (["-h"], USAGE), (["--version"], "Korvel version 1.00\n")):
            with self.subTest(args=args):
                self.assertEqual(korvel(args, self.dir), (0, out, ""))
                self.assertEqual(at_terminal(args, self.dir), (0, out.replace("\n", "\r\n"), ""))

    def test_failures_through_a_pipe_and_at_a_terminal(self):
        # (arguments, message, what the stderr line must hold)
        rows = [(["a.pdf"], "Wrong program parameteres", ["korvel --help"]),
                (["a", "/s", "c", "d", "e"], "Wrong program parameteres", ["/s can only come last", "korvel --help"]),
                (["missing.pdf", "b.pdf"], "Can't open file", ["missing.pdf: No such file or directory"]),
                (["a.pdf", "junk.pdf", "out.pdf"], "PDF file was damaged", ["junk.pdf: "]),
                (["a.pdf", "b.pdf", "b.pdf"], "Output file must differ from input files", ["b.pdf: "]),
                (["a.pdf", "b.pdf", "no/out.pdf"], "File open error", ["no/out.pdf: ", "No such file or directory"])]
        before = self.snapshot()
        for args, message, context in rows:
            with self.subTest(args=args):
                for run, tail in ((korvel, ""), (at_terminal, "\r\n")):
                    status, out, err = run(args, self.dir)
                    self.assertEqual((status, out), (1, message + tail))
                    self.assertRegex(err, r"^korvel: [^\n]+\n$")
                    for piece in context:
                        self.assertIn(piece, err)
                self.assertEqual(self.snapshot(), before)
        # A success prints nothing anywhere, at a terminal either.
        self.assertEqual(at_terminal(["a.pdf", "b.pdf", "out.pdf"], self.dir), (0, "", ""))

    def test_temp_tmp_survives_every_form(self):
        docs = os.path.join(self.dir, "docs")
        os.mkdir(docs)
        write(os.path.join(self.dir, "temp.tmp"), "notes in the current directory\n")
        write(os.path.join(docs, "temp.tmp"), "notes beside the first input\n")
        forms = [["a.pdf", "b.pdf"], ["a.pdf", "b.pdf", "/s"], ["a.pdf", "b.pdf", "temp.tmp"],
                 ["a.pdf", "b.pdf", "out.pdf"], ["a.pdf", "b.pdf", "out.pdf", "/s"]]
        for first in ("a.pdf", "docs/a.pdf"):
            for args in forms:
                with self.subTest(first=first, args=args):
                    self.copy_in(A, first)
                    args = [first] + args[1:]
                    before = self.snapshot(), self.snapshot(docs)
                    self.assertSucceeded(korvel(args, self.dir))
                    result = os.path.join(self.dir, "out.pdf" if "out.pdf" in args else first)
                    self.assertIsNone(qpdf_problem(result))
                    self.assertEqual(npages(result), npages(A) + npages(B))
                    changed = {"out.pdf", first, "docs"}
                    self.assertEqual({n: d for n, d in self.snapshot().items() if n not in changed},
                                     {n: d for n, d in before[0].items() if n not in changed})
                    self.assertEqual({n: d for n, d in self.snapshot(docs).items() if n != "a.pdf"},
                                     {n: d for n, d in before[1].items() if n != "a.pdf"})
                    if os.path.exists(os.path.join(self.dir, "out.pdf")):
                        os.remove(os.path.join(self.dir, "out.pdf"))

    def test_permissions_are_kept(self):
        for mode in (0o600, 0o640, 0o444):
            with self.subTest(mode=oct(mode)):
                self.copy_in(A, "a.pdf")
                os.chmod(self.a, mode)
                self.assertSucceeded(korvel(["a.pdf", "b.pdf"], self.dir))
                self.assertEqual(stat.S_IMODE(os.stat(self.a).st_mode), mode)
                self.assertEqual(npages(self.a), npages(A) + npages(B))
        # An existing output keeps its mode; a new one gets 0666 less the umask.
        out = os.path.join(self.dir, "out.pdf")
        write(out, "older output")
        os.chmod(out, 0o600)
        self.assertSucceeded(korvel(["b.pdf", "b.pdf", "out.pdf"], self.dir))
        self.assertEqual(stat.S_IMODE(os.stat(out).st_mode), 0o600)
        os.remove(out)
        self.assertSucceeded(korvel(["b.pdf", "b.pdf", "out.pdf"], self.dir, lambda: os.umask(0o027)))
        self.assertEqual(stat.S_IMODE(os.stat(out).st_mode), 0o640)
        if os.geteuid() == 0:  # only root may keep another user's ownership
            self.copy_in(A, "a.pdf")
            os.chown(self.a, 65534, 65534)
            self.assertSucceeded(korvel(["a.pdf", "b.pdf"], self.dir))
            self.assertEqual((os.stat(self.a).st_uid, os.stat(self.a).st_gid), (65534, 65534))

    def test_in_place_from_a_read_only_directory(self):
        drop, uid = unprivileged(self)
        os.chmod(self.dir, 0o755)
        docs, locked = os.path.join(self.dir, "docs"), os.path.join(self.dir, "locked")
        os.mkdir(docs)
        os.mkdir(locked)
        first = self.copy_in(A, "docs/a.pdf")
        for path in (docs, first):
            os.chown(path, uid, -1)
        os.chmod(locked, 0o555)
        self.assertSucceeded(korvel(["../docs/a.pdf", "../b.pdf"], locked, drop))
        self.assertEqual(npages(first), npages(A) + npages(B))
        self.assertEqual(sorted(os.listdir(docs)), ["a.pdf"])
        self.assertEqual(os.listdir(locked), [])

    def test_result_kept_where_replacing_fails(self):
        # A sticky directory lets anyone create files but replace only their
        # own: the first input belongs to somebody else, so the rename fails.
        if os.geteuid() != 0:
            self.skipTest("needs a first input owned by another user, which only root can set up")
        drop, _ = unprivileged(self)
        os.chmod(self.dir, 0o755)
        shared = os.path.join(self.dir, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        first = self.copy_in(A, "shared/a.pdf")
        for left, taken in (("temp.tmp", []), ("temp-1.tmp", ["temp.tmp"])):
            with self.subTest(left=left):
                notes = {n: read(os.path.join(shared, n)) for n in taken}
                status, out, err = korvel(["shared/a.pdf", "b.pdf"], self.dir, drop)
                self.assertEqual((status, out), (1, REPLACE_FAILED + ("temp.tmp" if not taken else "shared/" + left)))
                self.assertRegex(err, r"^korvel: shared/a\.pdf: [^\n]*Operation not permitted; the result is in "
                                      r"shared/%s\n$" % left.replace(".", r"\."))
                self.assertEqual(read(first), read(A))
                self.assertEqual({n: read(os.path.join(shared, n)) for n in taken}, notes)
                result = os.path.join(shared, left)
                self.assertIsNone(qpdf_problem(result))
                self.assertEqual(npages(result), npages(A) + npages(B))
                self.assertEqual(sorted(os.listdir(shared)), sorted(["a.pdf", left] + taken))


if __name__ == "__main__":
    unittest.main()
