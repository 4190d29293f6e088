"""What korvel does to the files around it: the in-place form touches no
file but the first input (an existing temp.tmp survives every form) and
keeps its permissions; outputs that are inputs are refused; failures leave
every file as it was."""

import os, pwd, resource, shutil, signal, stat, tempfile, unittest

from e2etools import Fixtures, KorvelTestCase, handmade, korvel, npages, qpdf_problem, read, renders, write

FIX = Fixtures()
A, B = FIX.get("alpha-classic.pdf"), FIX.get("beta-objstm.pdf")
REPLACE_FAILED = "Can't replace the first input file; the result is in "


def limit_writes():
    """Output writes fail part way: files are limited to 4 KiB."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


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


class Files(KorvelTestCase):

    def setUp(self):
        super().setUp()
        self.a, self.b = self.copy_in(A, "a.pdf"), self.copy_in(B, "b.pdf")

    def test_in_place_touches_only_the_first_input(self):
        docs = os.path.join(self.dir, "docs")
        os.mkdir(docs)
        write(os.path.join(self.dir, "temp.tmp"), "notes in the current directory\n")
        write(os.path.join(docs, "temp.tmp"), "notes beside the first input\n")
        # Run from elsewhere (another file system where there is one), the
        # result is still made beside the first input and renamed over it.
        other = tempfile.mkdtemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
        self.addCleanup(shutil.rmtree, other, True)
        forms = [[], ["/s"], ["temp.tmp"], ["out.pdf"], ["out.pdf", "/s"]]
        runs = [(self.dir, first, [first, "b.pdf"] + form) for first in ("a.pdf", "docs/a.pdf") for form in forms]
        for cwd, name, args in runs + [(other, "docs/a.pdf", [os.path.join(docs, "a.pdf"), self.b])]:
            with self.subTest(args=args):
                first = self.copy_in(A, name)
                before = self.snapshot(), self.snapshot(docs)
                self.assertSucceeded(korvel(args, cwd))
                result = os.path.join(self.dir, "out.pdf") if "out.pdf" in args else first
                self.assertIsNone(qpdf_problem(result))
                self.assertTrue(renders(result) == renders(A) + renders(B), "a page renders unlike its source")
                changed = {"out.pdf", "a.pdf", "docs"}
                self.assertEqual({n: d for n, d in self.snapshot().items() if n not in changed},
                                 {n: d for n, d in before[0].items() if n not in changed})
                self.assertEqual({n: d for n, d in self.snapshot(docs).items() if n != "a.pdf"},
                                 {n: d for n, d in before[1].items() if n != "a.pdf"})
                self.assertEqual(self.snapshot(other), {})
                if os.path.exists(os.path.join(self.dir, "out.pdf")):
                    os.remove(os.path.join(self.dir, "out.pdf"))
        # An input named temp.tmp is an input like any other: the in-place
        # form writes no file of that name.
        for first, second in (("temp.tmp", "b.pdf"), ("b.pdf", "temp.tmp")):
            with self.subTest(first=first, second=second):
                self.copy_in(A, "a.pdf"), self.copy_in(B, "b.pdf"), self.copy_in(A, "temp.tmp")
                before = self.snapshot()
                self.assertSucceeded(korvel([first, second], self.dir))
                result = os.path.join(self.dir, first)
                self.assertIsNone(qpdf_problem(result))
                self.assertEqual(npages(result), npages(A) + npages(B))
                self.assertEqual({n: d for n, d in self.snapshot().items() if n != first},
                                 {n: d for n, d in before.items() if n != first})

    def test_modes_and_owners(self):
        # A 0600 or 0640 first input keeps its mode in place (more modes are
        # CPdfOutputFileTest's); a new output gets 0666 less the umask.
        for mode in (0o600, 0o640):
            os.chmod(self.a, mode)
            self.assertSucceeded(korvel(["a.pdf", "b.pdf"], self.dir))
            self.assertEqual(stat.S_IMODE(os.stat(self.a).st_mode), mode)
        self.assertSucceeded(korvel(["b.pdf", "b.pdf", "out.pdf"], self.dir, lambda: os.umask(0o027)))
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.dir, "out.pdf")).st_mode), 0o640)
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

    def test_output_that_is_an_input_is_refused(self):
        os.link(self.a, os.path.join(self.dir, "hard.pdf"))
        os.symlink("b.pdf", os.path.join(self.dir, "sym.pdf"))
        self.copy_in(A, "temp.tmp")
        self.copy_in(B, "c.pdf")
        before = self.snapshot()
        # (The plain "a.pdf b.pdf a.pdf" and "./b.pdf" cases are test_cli's.)
        for args in (["a.pdf", "b.pdf", "hard.pdf"], ["a.pdf", "b.pdf", "sym.pdf"], ["sym.pdf", "a.pdf", "b.pdf"],
                     ["a.pdf", "b.pdf", "c.pdf", "b.pdf"], ["a.pdf", "b.pdf", "c.pdf", "./c.pdf", "/s"],
                     ["a.pdf", "b.pdf", "a.pdf", "c.pdf", "hard.pdf"]):
            with self.subTest(args=args):
                output = [a for a in args if a != "/s"][-1]
                self.assertFailedWith(korvel(args, self.dir), "Output file must differ from input files", [output])
                self.assertEqual(self.snapshot(), before)

    def test_failures_touch_nothing(self):
        os.mkdir(os.path.join(self.dir, "folder.pdf"))
        write(os.path.join(self.dir, "out.pdf"), "an older out.pdf that must survive\n")
        locked = os.path.join(self.dir, "locked")
        os.mkdir(locked, 0o500)
        if os.access(locked, os.W_OK):
            locked = "/proc"  # root writes where the permissions say no; not there
        # Files with nothing to rebuild a document from (damaged files that
        # can be rebuilt are test_damaged's).
        bad = {"half.pdf": read(B)[:600], "junk.pdf": b"%!PS\nshowpage\n" * 40, "empty.pdf": b"",
               "dict.pdf": handmade("X", patch={1: "[/Pages 2 0 R]"}),
               "outlines.pdf": handmade("X", patch={1: "<</Type/Catalog/Pages 2 0 R/Outlines 99 0 R>>"}),
               "deep.pdf": handmade("X", patch={9: "<</Type/Outlines/First " + "[" * 5000 + ">>"}),
               "noresources.pdf": handmade("X", patch={6: "<</Type/Page/Parent 3 0 R/Contents 7 0 R>>"})}
        for name, data in bad.items():
            write(os.path.join(self.dir, name), data)
        before = self.snapshot()
        for name in list(bad) + ["missing.pdf", "folder.pdf"]:
            for args in (["a.pdf", name, "out.pdf"], [name, "b.pdf", "out.pdf", "/s"], ["a.pdf", name]):
                with self.subTest(args=args):
                    self.assertFailedWith(korvel(args, self.dir), None, [name])
                    self.assertEqual(self.snapshot(), before)
        for args, limit, name in ((["a.pdf", "b.pdf", "out.pdf"], limit_writes, "out.pdf"),
                                  (["a.pdf", "b.pdf"], limit_writes, "a.pdf"),
                                  (["a.pdf", "b.pdf", os.path.join(locked, "out.pdf")], None, "out.pdf"),
                                  (["a.pdf", "b.pdf", "b.pdf/o"], None, "b.pdf/o")):
            with self.subTest(args=args, limit=bool(limit)):
                self.assertFailedWith(korvel(args, self.dir, limit), None, [name])
                self.assertEqual(self.snapshot(), before)
                self.assertFalse(os.path.exists(os.path.join(locked, "out.pdf")))


if __name__ == "__main__":
    unittest.main()
