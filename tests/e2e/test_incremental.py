"""--incremental: the later inputs go into one update appended to the first
input, in place or after a copy of its bytes. The first input's bytes are
the result's prefix, byte for byte; the result is valid without repairs and
has every page, bookmark and render of its inputs; the update continues the
kind of cross-reference data the file ends with; a failure leaves the first
input as it was; a signature of the first input stays valid."""

import os, re, resource, shutil, signal, unittest

from e2etools import (KORVEL_CORPUS, SIGNED, SIGNED_FIRST, UNTAGGED, Fixtures, KorvelTestCase, korvel, must, read,
                      run, write)
from test_damaged import encrypted, shifted

FIX = Fixtures()


def update_of(result, first):
    """The bytes the update added after the first input's."""
    return result[len(first):]


class IncrementalTest(KorvelTestCase):
    def extend(self, first, *later, switches=(), in_place=False):
        """Runs korvel --incremental and judges the result as any append's,
        and that it starts with first's bytes; later inputs stay as they
        were. Returns (result bytes, update bytes)."""
        a = self.copy_in(first, "a.pdf")
        names = [self.copy_in(p, "b%d.pdf" % i) for i, p in enumerate(later)]
        before, others = read(a), [read(p) for p in names]
        out = a if in_place else os.path.join(self.dir, "out.pdf")
        args = ["--incremental", a] + names + ([] if in_place else [out]) + list(switches)
        self.assertSucceeded(korvel(args, self.dir))
        self.assertEqual([read(p) for p in names], others, "a later input changed")
        result = read(out)
        self.assertEqual(result[:len(before)], before, "the first input's bytes were not kept")
        if not in_place:
            self.assertEqual(read(a), before, "the first input changed")
        if len(later) == 1:
            # Judged against copies: in place, a.pdf is the result itself.
            original = os.path.join(self.dir, "original.pdf")
            write(original, before)
            self.judge(out, original, names[0])
            os.remove(original)
        return result, update_of(result, before)

    def test_every_kind_of_first_input_is_extended_with_the_kind_it_ends_with(self):
        # The newest section a cross-reference stream: the update has one too.
        for kind, stream in (("classic", False), ("objstm", True), ("linearized", False), ("linobjstm", True),
                             ("incremental", False), ("update_xs", False), ("offset", False)):
            for in_place in (False, True):
                with self.subTest(kind=kind, in_place=in_place):
                    _, update = self.extend(FIX.get("alpha-%s.pdf" % kind), FIX.get("beta-gs.pdf"), in_place=in_place)
                    self.assertEqual(b"/Type /XRef" in update, stream)
                    self.assertEqual(b"\nxref\n" in b"\n" + update, not stream)
                    self.assertEqual(len(re.findall(rb"startxref", update)), 1)
                    self.assertTrue(update.endswith(b"%%EOF\n"))

    def test_an_update_writes_only_what_the_merges_change_of_the_first_input(self):
        first = FIX.get("alpha-classic.pdf")
        _, update = self.extend(first, FIX.get("beta-gs.pdf"))
        size = int(re.search(r"/Size (\d+)", must("qpdf", "--show-object=trailer", first)).group(1))
        headers = [int(n) for n in re.findall(rb"(?m)^(\d+) 0 obj", update)]
        own = [n for n in headers if n < size]
        # The catalog, the page tree's root and the outline's: a handful,
        # not the document.
        self.assertTrue(0 < len(own) < 10, own)
        self.assertEqual(sorted(set(headers)), sorted(headers), "an object written twice")

    def test_a_newer_later_input_raises_the_catalogs_version_not_the_header(self):
        old = os.path.join(self.dir, "old.pdf")
        must("qpdf", "--force-version=1.3", FIX.get("alpha-classic.pdf"), old)
        newer = os.path.join(self.dir, "newer.pdf")
        must("qpdf", "--force-version=1.6", FIX.get("beta-gs.pdf"), newer)
        result, _ = self.extend(old, newer)
        self.assertTrue(result.startswith(b"%PDF-1.3"))
        out = os.path.join(self.dir, "out.pdf")
        root = re.search(r"/Root (\d+)", must("qpdf", "--show-object=trailer", out)).group(1)
        self.assertIn("/Version /1.6", must("qpdf", "--show-object=" + root, out))
        # An older one leaves the catalog as it was.
        _, update = self.extend(newer, old)
        self.assertNotIn(b"/Version", update)

    def test_three_inputs_and_sharing(self):
        result, _ = self.extend(FIX.get("alpha-classic.pdf"), FIX.get("beta-gs.pdf"), FIX.get("plain-objstm.pdf"))
        self.assertEqual(int(must("qpdf", "--show-npages", os.path.join(self.dir, "out.pdf"))), 3 + 2 + 2)
        result, _ = self.extend(FIX.get("shared-classic.pdf"), FIX.get("shared-objstm.pdf"), switches=["/s"])
        plain, _ = self.extend(FIX.get("shared-classic.pdf"), FIX.get("shared-objstm.pdf"))
        self.assertLess(len(result), len(plain))

    def test_readers_other_than_qpdf_open_the_result(self):
        out = os.path.join(self.dir, "r.pdf")
        first = self.copy_in(FIX.get("alpha-objstm.pdf"), "x.pdf")
        self.assertSucceeded(korvel(["--incremental", first, FIX.get("beta-gs.pdf"), out], self.dir))
        self.assertIn("Pages:           5", must("pdfinfo", out))
        if shutil.which("mutool"):
            rc, _, err = run(["mutool", "info", out])
            self.assertEqual((rc, "warning" in err.lower() or "error" in err.lower()), (0, False), err)

    def test_an_encrypted_first_input_gets_an_update_encrypted_with_its_own_key(self):
        # RC4 of 40 and 128 bits, AES-128 and AES-256, with object streams
        # and with metadata in the clear; a later input encrypted too.
        variants = ((["--allow-weak-crypto"], ["40"], []), (["--allow-weak-crypto"], ["128", "--use-aes=n"], []),
                    ([], ["128", "--use-aes=y"], []), ([], ["256"], []), ([], ["256"], ["--object-streams=generate"]),
                    ([], ["128", "--use-aes=y"], ["--object-streams=generate"]), ([], ["256", "--cleartext-metadata"], []))
        for n, (weak, key, rest) in enumerate(variants):
            with self.subTest(variant=key + rest):
                first = os.path.join(FIX.dir, "alpha-encrypted%d.pdf" % n)
                if not os.path.exists(first):
                    must("qpdf", *weak, "--encrypt", "", "owner", *key, "--", *rest, FIX.get("alpha-gs.pdf"), first)
                for in_place in (False, True):
                    result, update = self.extend(first, encrypted("beta-gs", "128"), in_place=in_place)
                    # Nothing of the later document's text is in the clear.
                    self.assertNotIn(b"Beta", update)
                    self.assertEqual(must("qpdf", "--show-encryption", os.path.join(self.dir, "a.pdf")
                                          if in_place else os.path.join(self.dir, "out.pdf")).splitlines()[0],
                                     must("qpdf", "--show-encryption", first).splitlines()[0])

    def test_a_first_input_it_cannot_extend_is_refused_and_left_alone(self):
        for source, message in ((None, "PDF file was damaged"),):
            with self.subTest(message=message):
                a = os.path.join(self.dir, "a.pdf")
                if source:
                    shutil.copyfile(source, a)
                else:
                    write(a, shifted(read(FIX.get("alpha-classic.pdf"))))
                before = self.snapshot()
                r = korvel(["--incremental", "a.pdf", FIX.get("beta-gs.pdf")], self.dir)
                self.assertFailedWith(r, message, ["a.pdf"])
                self.assertIn("--incremental", r[2])
                self.assertEqual(self.snapshot(), before)

    def test_a_write_that_fails_midway_leaves_the_first_input_byte_for_byte(self):
        a = self.copy_in(FIX.get("alpha-classic.pdf"), "a.pdf")
        before = read(a)
        # Room for a few bytes of the update only: the writes beyond fail.
        limit = len(before) + 2000

        def small_disk():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        r = korvel(["--incremental", "a.pdf", FIX.get("long-gs.pdf")], self.dir, preexec=small_disk)
        self.assertFailedWith(r, "Can't write the output file", ["a.pdf"])
        self.assertEqual(read(a), before)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.pdf"])

    def test_a_failing_later_input_leaves_the_first_as_it_was(self):
        a = self.copy_in(FIX.get("alpha-classic.pdf"), "a.pdf")
        write(os.path.join(self.dir, "bad.pdf"), b"%PDF-1.4\nnot a PDF at all\n")
        before = self.snapshot()
        r = korvel(["--incremental", "a.pdf", "bad.pdf"], self.dir)
        self.assertEqual(r[0], 1, r)
        self.assertEqual(self.snapshot(), before)

    @unittest.skipUnless(KORVEL_CORPUS and os.path.exists(os.path.join(KORVEL_CORPUS, "pdfjs-issue11656.pdf")),
                         "needs the shared corpus's hybrid file")
    def test_a_hybrid_file_gets_a_table_that_both_kinds_of_reader_follow(self):
        # A table with /XRefStm for its object streams, as Word writes it:
        # the update is a plain table whose /Prev leads to that section.
        _, update = self.extend(os.path.join(KORVEL_CORPUS, "pdfjs-issue11656.pdf"), FIX.get("beta-gs.pdf"))
        self.assertIn(b"trailer\n<<", update)
        self.assertNotIn(b"/XRefStm", update)

    @unittest.skipUnless(KORVEL_CORPUS and os.path.exists(os.path.join(KORVEL_CORPUS, "pdfjs-issue16553.pdf")) and
                         shutil.which("pdfsig"), "needs the shared corpus's signed file and pdfsig")
    def test_a_signature_of_the_first_input_stays_valid(self):
        signed = self.copy_in(os.path.join(KORVEL_CORPUS, "pdfjs-issue16553.pdf"), "signed.pdf")
        other = FIX.get("beta-gs.pdf")
        self.extend(signed, other)
        rc, out, _ = run(["pdfsig", os.path.join(self.dir, "out.pdf")])
        self.assertIn("Signature Validation: Signature is Valid.", out)
        # What each form says of the signatures it breaks, and only those.
        for args, line in ((["--incremental", "signed.pdf", other, "o.pdf"], None),
                           (["signed.pdf", other, "o.pdf"], "korvel: signed.pdf: %s\n" % SIGNED_FIRST),
                           (["--incremental", other, "signed.pdf", "o.pdf"], "korvel: signed.pdf: %s\n" % SIGNED),
                           ([other, "signed.pdf", "o.pdf"], "korvel: signed.pdf: %s\n" % SIGNED)):
            with self.subTest(args=args):
                r = korvel(args, self.dir)
                self.assertEqual(r[0], 0, r)
                said = [l for l in r[2].splitlines(True) if not l.endswith(UNTAGGED + "\n")]
                self.assertEqual(said, [line] if line else [])
        rc, out, _ = run(["pdfsig", os.path.join(self.dir, "o.pdf")])
        self.assertNotIn("Signature is Valid.", out)


    @unittest.skipUnless(shutil.which("certutil") and shutil.which("pdfsig"), "needs certutil (libnss3-tools) and pdfsig")
    def test_a_signature_made_here_stays_valid_in_the_update_only(self):
        # A throw-away certificate in a database of this test's own.
        nss = os.path.join(self.dir, "nss")
        os.mkdir(nss)
        write(os.path.join(self.dir, "noise"), os.urandom(64))
        must("certutil", "-N", "-d", "sql:" + nss, "--empty-password")
        must("certutil", "-S", "-x", "-n", "test", "-s", "CN=Korvel Test", "-t", "CT,C,C", "-d", "sql:" + nss,
             "-k", "rsa", "-g", "2048", "-v", "12", "-z", os.path.join(self.dir, "noise"))
        signed = os.path.join(self.dir, "signed.pdf")
        run(["pdfsig", "-nssdir", "sql:" + nss, "-add-signature", "-nick", "test", FIX.get("alpha-classic.pdf"), signed])

        def validation(path):
            out = run(["pdfsig", "-nssdir", "sql:" + nss, path])[1]
            return re.findall(r"Signature Validation: (.*)", out)

        self.assertEqual(validation(signed), ["Signature is Valid."])
        for args, valid in ((["--incremental", "signed.pdf", FIX.get("beta-gs.pdf"), "o.pdf"], True),
                            (["signed.pdf", FIX.get("beta-gs.pdf"), "o.pdf"], False)):
            with self.subTest(args=args):
                self.assertSucceeded(korvel(args, self.dir))
                self.assertEqual(validation(os.path.join(self.dir, "o.pdf")) == ["Signature is Valid."], valid)


class OptionsTest(KorvelTestCase):
    def test_options_stand_anywhere_and_a_double_dash_ends_them(self):
        a = self.copy_in(FIX.get("alpha-classic.pdf"), "a.pdf")
        b = self.copy_in(FIX.get("beta-gs.pdf"), "--b.pdf")
        self.assertSucceeded(korvel(["a.pdf", "--incremental", "--", "--b.pdf", "out.pdf"], self.dir))
        self.assertEqual(read(os.path.join(self.dir, "out.pdf"))[:len(read(a))], read(a))
        before = self.snapshot()
        r = korvel(["--bogus", "a.pdf", "--b.pdf"], self.dir)
        self.assertFailedWith(r, "Wrong program parameteres")
        self.assertIn("unknown option --bogus; see korvel --help", r[2])
        self.assertEqual(self.snapshot(), before)


if __name__ == "__main__":
    unittest.main()
