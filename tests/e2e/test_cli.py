"""The command line as a person and a script meet it: the usage text,
--help and --version, and failures through a pipe and at a terminal: the
exact message bytes a script reads on standard output (a line feed only at
a terminal), the one line a person reads on standard error, the exit
status, and no file touched."""

import os, pty, subprocess, unittest

from e2etools import KORVEL_BIN, Fixtures, KorvelTestCase, korvel, npages, write

FIX = Fixtures()
USAGE = ("Korvel version 1.00\n\nUsage:\nKorvel in1.pdf in2.pdf output.pdf\n"
         "will append in2.pdf onto in1.pdf and create output.pdf\nKorvel in1.pdf in2.pdf\n"
         "will append in2.pdf onto in1.pdf\n\nFor optimization of the destination document's structure\n"
         "to reduce its size add /s parameter\n\nNotes:\nIf the name of file contains space character itself,\n"
         "it must be enclosed in quotes.\n\nOptions:\n"
         "--incremental  append to in1.pdf as an incremental update, keeping its bytes\n"
         "--bookmarks=join|per-input|per-input-titles|none\n"
         "               the outline: joined (the default), an item per input, none\n--             end of options\n"
         "@FILE          the lines of FILE as arguments, one a line (@- reads standard input)\n"
         "-              as the output: write the result to standard output\n")
WRONG, CANT_OPEN, SAME = "Wrong program parameteres", "Can't open file", "Output file must differ from input files"
SEE, MISSING, SAME_REASON = "; see korvel --help", ": No such file or directory", ": this output file is also an input; choose another name"


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


class CommandLine(KorvelTestCase):

    def setUp(self):
        super().setUp()
        self.copy_in(FIX.get("alpha-classic.pdf"), "a.pdf")
        self.copy_in(FIX.get("beta-objstm.pdf"), "b.pdf")
        write(os.path.join(self.dir, "junk.pdf"), b"%!PS\nshowpage\n" * 40)
        os.mkdir(os.path.join(self.dir, "folder.pdf"))

    def test_help_and_version(self):
        for args, out in (([], USAGE), (["--help"], USAGE), (["-h"], USAGE), (["--version"], "Korvel version 1.00\n")):
            with self.subTest(args=args):
                self.assertEqual(korvel(args, self.dir), (0, out, ""))
                self.assertEqual(at_terminal(args, self.dir), (0, out.replace("\n", "\r\n"), ""))

    def test_failures_through_a_pipe_and_at_a_terminal(self):
        # (arguments, message, the line on stderr after "korvel: ")
        rows = [(["a.pdf"], WRONG, "two input files are needed" + SEE),
                # Beside other arguments, a word starting with "--" is an option.
                (["--version", "b.pdf"], WRONG, "unknown option --version" + SEE),
                (["--", "--version", "b.pdf"], CANT_OPEN, "--version" + MISSING),
                (["a", "b", "/s", "d", "e"], WRONG, "/s can only come last" + SEE),
                (["a", "b", "c", "", "/s"], WRONG, "the output file name is empty" + SEE),
                (["a", "", "c", "d.pdf"], WRONG, "an input file name is empty" + SEE),
                (["", "b.pdf"], WRONG, "an input file name is empty" + SEE),
                (["a.pdf", ""], WRONG, "an input file name is empty" + SEE),
                (["missing%d%s.pdf", "b.pdf", "out.pdf"], CANT_OPEN, "missing%d%s.pdf" + MISSING),
                (["a.pdf", ".", "out.pdf"], CANT_OPEN, ".: Is a directory"),
                (["a.pdf", "junk.pdf", "out.pdf"], "PDF file was damaged",
                 "junk.pdf: no document catalog was found, not even by rebuilding the cross-reference data"),
                (["a.pdf", "b.pdf", "a.pdf"], SAME, "a.pdf" + SAME_REASON),
                (["a.pdf", "b.pdf", "./b.pdf", "/s"], SAME, "./b.pdf" + SAME_REASON),
                (["a.pdf", "b.pdf", "no/out.pdf"], "File open error",
                 "no/out.pdf: can't create a file in its directory" + MISSING),
                (["a.pdf", "b.pdf", "/dev/null"], "File open error", "/dev/null: not a regular file"),
                (["a.pdf", "b.pdf", "folder.pdf"], "File open error", "folder.pdf: Is a directory")]
        before = self.snapshot()
        for args, message, reason in rows:
            with self.subTest(args=args):
                self.assertEqual(korvel(args, self.dir), (1, message, "korvel: %s\n" % reason))
                self.assertEqual(at_terminal(args, self.dir), (1, message + "\r\n", "korvel: %s\n" % reason))
                self.assertEqual(self.snapshot(), before)
        # A success prints nothing anywhere, at a terminal either.
        self.assertEqual(at_terminal(["a.pdf", "b.pdf", "out.pdf"], self.dir), (0, "", ""))


if __name__ == "__main__":
    unittest.main()


class OutputsAndLists(KorvelTestCase):
    """The result through a pipe ("-" as the output), and argument lists."""

    def setUp(self):
        super().setUp()
        self.a = self.copy_in(FIX.get("alpha-classic.pdf"), "a.pdf")
        self.b = self.copy_in(FIX.get("beta-objstm.pdf"), "b file.pdf")

    def piped(self, args, stdin=b""):
        p = subprocess.run([KORVEL_BIN] + args, cwd=self.dir, input=stdin, capture_output=True, timeout=300)
        return p.returncode, p.stdout, p.stderr.decode("latin-1")

    def test_the_result_goes_through_a_pipe_and_nothing_else_does(self):
        for args in (["a.pdf", "b file.pdf", "-"], ["--incremental", "a.pdf", "b file.pdf", "-", "/s"]):
            with self.subTest(args=args):
                rc, out, err = self.piped(args)
                self.assertEqual((rc, err), (0, ""))
                # The piped bytes, read back from a file.
                got = os.path.join(self.dir, "got.pdf")
                write(got, out)
                self.judge(got, self.a, self.b)
                os.remove(got)
        # A failure: standard output stays empty, the message and its
        # reason go to standard error, and the exit status is 1.
        rc, out, err = self.piped(["a.pdf", "missing.pdf", "-"])
        self.assertEqual((rc, out), (1, b""))
        self.assertEqual(err, "Can't open file\nkorvel: missing.pdf: No such file or directory\n")
        # "-" is never an input.
        self.assertEqual(korvel(["-", "b file.pdf", "o.pdf"], self.dir), (1, "Wrong program parameteres",
                         "korvel: - stands for standard output, and only the output may be -; see korvel --help\n"))

    def test_an_argument_list_names_inputs_with_any_bytes_and_can_come_from_standard_input(self):
        write(os.path.join(self.dir, "list.txt"), "a.pdf\nb file.pdf\na.pdf\nout.pdf")
        self.assertEqual(korvel(["@list.txt"], self.dir), (0, "", ""))
        out = os.path.join(self.dir, "out.pdf")
        self.assertEqual(npages(out), 2 * npages(self.a) + npages(self.b))
        rc, _, err = self.piped(["@-", "o2.pdf"], b"a.pdf\nb file.pdf\n")
        self.assertEqual((rc, err), (0, ""))
        self.assertEqual(npages(os.path.join(self.dir, "o2.pdf")), npages(self.a) + npages(self.b))
        before = self.snapshot()
        self.assertEqual(korvel(["@none.txt", "a.pdf"], self.dir),
                         (1, WRONG, "korvel: cannot read the argument list none.txt: No such file or directory" + SEE + "\n"))
        self.assertEqual(self.snapshot(), before)
