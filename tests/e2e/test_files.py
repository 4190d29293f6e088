"""What korvel does to the files around it: the in-place form, outputs that
are inputs, and failures, which must leave every file as it was."""

import os, resource, shutil, signal, tempfile, unittest

from e2etools import Fixtures, KorvelTestCase, handmade, korvel, npages, qpdf_problem, read, write

FIX = Fixtures()
A, B = FIX.get("alpha-classic.pdf"), FIX.get("beta-objstm.pdf")


def limit_writes():
    """Output writes fail part way: files are limited to 4 KiB."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


class Files(KorvelTestCase):

    def setUp(self):
        super().setUp()
        self.a, self.b = self.copy_in(A, "a.pdf"), self.copy_in(B, "b.pdf")

    def test_in_place(self):
        # Run from elsewhere (another file system where there is one), the
        # result is still made beside the first input and renamed over it.
        other = tempfile.mkdtemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
        self.addCleanup(shutil.rmtree, other, True)
        for cwd, args in ((self.dir, ["a.pdf", "b.pdf"]), (self.dir, ["a.pdf", "b.pdf", "/s"]),
                          (self.dir, ["a.pdf", "b.pdf", "temp.tmp"]), (other, [self.a, self.b])):
            with self.subTest(args=args):
                self.copy_in(A, "a.pdf")
                self.assertSucceeded(korvel(args, cwd))
                self.assertEqual(self.snapshot(other), {})
                self.assertEqual(sorted(self.snapshot()), ["a.pdf", "b.pdf"])
                self.assertEqual(read(self.b), read(B))
                self.judge(self.a, A, B)
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
        os.remove(os.path.join(self.dir, "temp.tmp"))
        # korvel's output is a good input.
        self.append(self.a, self.a)

    def test_output_that_is_an_input_is_refused(self):
        os.link(self.a, os.path.join(self.dir, "hard.pdf"))
        os.symlink("b.pdf", os.path.join(self.dir, "sym.pdf"))
        self.copy_in(A, "temp.tmp")
        before = self.snapshot()
        for args in (["a.pdf", "b.pdf", "a.pdf"], ["a.pdf", "b.pdf", "./b.pdf", "/s"], ["a.pdf", "b.pdf", "hard.pdf"],
                     ["a.pdf", "b.pdf", "sym.pdf"], ["sym.pdf", "a.pdf", "b.pdf"]):
            with self.subTest(args=args):
                self.assertFailedWith(korvel(args, self.dir), "Output file must differ from input files", [args[2]])
                self.assertEqual(self.snapshot(), before)

    def test_failures_touch_nothing(self):
        os.mkdir(os.path.join(self.dir, "folder.pdf"))
        write(os.path.join(self.dir, "out.pdf"), "an older out.pdf that must survive\n")
        # Files with nothing to rebuild a document from (damaged files that
        # can be rebuilt are test_damaged's).
        bad = {"half.pdf": read(B)[:600], "junk.pdf": b"%!PS\nshowpage\n" * 40, "empty.pdf": b"",
               "enc.pdf": read(FIX.get("alpha-encrypted.pdf")), "dict.pdf": handmade("X", patch={1: "[/Pages 2 0 R]"}),
               "outlines.pdf": handmade("X", patch={1: "<</Type/Catalog/Pages 2 0 R/Outlines 99 0 R>>"}),
               "deep.pdf": handmade("X", patch={9: "<</Type/Outlines/First " + "[" * 5000 + ">>"}),
               "noresources.pdf": handmade("X", patch={6: "<</Type/Page/Parent 3 0 R/Contents 7 0 R>>"})}
        for name, data in bad.items():
            write(os.path.join(self.dir, name), data)
        before = self.snapshot()
        for name in list(bad) + ["missing.pdf", "folder.pdf"]:
            message = "PDF file is protected by a password" if name == "enc.pdf" else None
            for args in (["a.pdf", name, "out.pdf"], [name, "b.pdf", "out.pdf", "/s"], ["a.pdf", name]):
                with self.subTest(args=args):
                    self.assertFailedWith(korvel(args, self.dir), message, [name])
                    self.assertEqual(self.snapshot(), before)
        for args, limit, name in ((["a.pdf", "b.pdf", "out.pdf"], limit_writes, "out.pdf"),
                                  (["a.pdf", "b.pdf"], limit_writes, "a.pdf"), (["a.pdf", "b.pdf", "folder.pdf"], None,
                                                                                 "folder.pdf")):
            with self.subTest(args=args, limit=bool(limit)):
                self.assertFailedWith(korvel(args, self.dir, limit), None, [name])
                self.assertEqual(self.snapshot(), before)

    def test_unwritable_places(self):
        locked = os.path.join(self.dir, "locked")
        os.mkdir(locked, 0o500)
        if os.access(locked, os.W_OK):
            locked = "/proc"  # root writes where the permissions say no; not there
        before = self.snapshot()
        for cwd, args in ((self.dir, ["a.pdf", "b.pdf", os.path.join(locked, "out.pdf")]),
                          (self.dir, ["a.pdf", "b.pdf", "no/such/out.pdf"]), (self.dir, ["a.pdf", "b.pdf", "b.pdf/o"])):
            with self.subTest(args=args):
                self.assertFailedWith(korvel(args, cwd), "File open error", [args[2]])
                self.assertEqual(self.snapshot(), before)
                self.assertFalse(os.path.exists(os.path.join(locked, "out.pdf")))


if __name__ == "__main__":
    unittest.main()
