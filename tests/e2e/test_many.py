"""More than two inputs in one run: every input appended in order into the
output, bookmarks, links, labels and form fields chained across all of them,
objects shared across all of them with /s; the old meanings of four
arguments; nothing written when one fails; more inputs than the process
may hold open, up to 20,000 from a list. (Every argument form is
parsed in CPdfFileAppendTest.)"""

import os, resource, shutil, unittest

from e2etools import (Fixtures, KorvelTestCase, assemble, expected_targets, fields, korvel, must, npages,
                      page_labels, qpdf_problem, read, renders, targets, write)
from test_damaged import shifted
from test_destinations import gs_named
from test_encryption import form_pdf

FIX = Fixtures()


def descriptors(n):
    """For korvel's preexec: at most n open descriptors, hard limit too."""
    return lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (n, n))


def labelled(path, pages, nums):
    """pages pages; nums: the /Nums array's text ("" for no /PageLabels), in
    a number tree split over /Kids."""
    kids = "/PageLabels<</Kids[9 0 R]>>" if nums else ""
    objs = {1: "<</Type/Catalog/Pages 2 0 R%s>>" % kids,
            2: "<</Type/Pages/Kids[%s]/Count %d>>" % (" ".join("%d 0 R" % (10 + p) for p in range(pages)), pages),
            9: "<</Limits[0 99]/Nums[%s]>>" % nums}
    objs.update({10 + p: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 99 99]/Resources<<>>>>" for p in range(pages)})
    write(path, assemble(objs))
    return path


class ManyInputs(KorvelTestCase):

    @classmethod
    def setUpClass(cls):
        d = cls.inputs = os.path.join(FIX.dir, "many")
        os.makedirs(d, exist_ok=True)
        cls.named = gs_named(os.path.join(d, "named.pdf"), "Named", 3)
        cls.labels = labelled(os.path.join(d, "labels.pdf"), 3, "0<</S/r>>2<</S/D/P(A-)>>")
        form_pdf(os.path.join(d, "form.pdf"))
        cls.form = os.path.join(d, "form.pdf")
        cls.encrypted = os.path.join(d, "encrypted.pdf")
        must("qpdf", "--encrypt", "", "owner", "256", "--", FIX.get("beta-objstm.pdf"), cls.encrypted)
        cls.damaged = os.path.join(d, "damaged.pdf")
        write(cls.damaged, shifted(read(FIX.get("alpha-classic.pdf"))))

    def run_many(self, inputs, *switches, out="out.pdf", damaged=False):
        """korvel inputs... out [switches]; the inputs stay as they were."""
        before = [read(p) for p in inputs]
        r = korvel(list(inputs) + [out] + list(switches), self.dir)
        self.assertEqual((r[0], r[1]), (0, ""), r)
        self.assertEqual("cross-reference data rebuilt" in r[2], damaged, r[2])
        self.assertEqual([read(p) for p in inputs], before, "an input changed")
        out = os.path.join(self.dir, out)
        self.assertIsNone(qpdf_problem(out))
        return out

    def test_three_and_ten_inputs_of_mixed_producers(self):
        three = [self.named, FIX.get("beta-linearized.pdf"), self.labels]
        ten = [self.named, self.encrypted, FIX.get("alpha-objstm.pdf"), self.damaged, self.form, self.labels,
               FIX.get("plain-incremental.pdf"), self.named, FIX.get("beta-generations.pdf"), self.form]
        # A damaged input reads as the file it was made from.
        seen = {self.damaged: FIX.get("alpha-classic.pdf")}
        for inputs in (three, ten):
            for switches in ([], ["/s"]):
                with self.subTest(inputs=len(inputs), switches=switches):
                    out = self.run_many(inputs, *switches, damaged=self.damaged in inputs)
                    judged = [seen.get(p, p) for p in inputs]
                    self.assertEqual(npages(out), sum(map(npages, judged)))
                    self.assertTrue(renders(out) == [r for p in judged for r in renders(p)], "a page renders unlike its source")
                    self.assertEqual(targets(out), expected_targets(*judged))
                    self.assertEqual(page_labels(out), [l for p in judged for l in page_labels(p)])
        # The form twice: both copies' fields, under different names.
        names = [name for name, _ in fields(out)]
        self.assertEqual(len(set(names)), 2 * len(fields(self.form)))

    def test_more_inputs_than_descriptors_give_the_same_result(self):
        # 30 inputs with 20 descriptors: the inputs take turns (about ten at
        # a time), and the result is byte for byte the one made with all of
        # them open; damaged and encrypted inputs are read again after their
        # descriptor was closed.
        ten = [self.named, self.encrypted, FIX.get("alpha-objstm.pdf"), self.damaged, self.form, self.labels,
               FIX.get("plain-incremental.pdf"), self.named, FIX.get("beta-generations.pdf"), self.form]
        inputs = ten * 3
        for switches in ([], ["/s"], ["--bookmarks=per-input"], ["--incremental"]):
            with self.subTest(switches=switches):
                results = []
                for limit in (None, descriptors(20)):
                    before = [read(p) for p in inputs]
                    options, last = [x for x in switches if x != "/s"], [x for x in switches if x == "/s"]
                    r = korvel(options + inputs + ["out.pdf"] + last, self.dir, preexec=limit)
                    self.assertEqual((r[0], r[1]), (0, ""), r)
                    self.assertEqual([read(p) for p in inputs], before, "an input changed")
                    results.append(read(os.path.join(self.dir, "out.pdf")))
                out = os.path.join(self.dir, "out.pdf")
                self.assertIsNone(qpdf_problem(out))
                if switches == ["--incremental"]:
                    # The update's /ID is new each time.
                    self.assertEqual(len(results[0]), len(results[1]))
                    self.assertEqual(renders(out), [r for p in inputs for r in renders(p if p != self.damaged
                                                    else FIX.get("alpha-classic.pdf"))])
                else:
                    self.assertTrue(results[0] == results[1], "the result depends on the descriptors")
        # Too few to hold even the output: a clear failure, nothing written.
        before = self.snapshot()
        r = korvel(inputs + ["out2.pdf"], self.dir, preexec=descriptors(4))
        self.assertEqual(r[0], 1, r)
        self.assertEqual(self.snapshot(), before)

    def test_twenty_thousand_inputs_from_a_list(self):
        # Copies of a small file, named with spaces, in a list: more inputs
        # than a command line holds and than 4,096 descriptors.
        d = os.path.join(self.dir, "inputs")
        os.makedirs(d)
        one = labelled(os.path.join(self.dir, "one.pdf"), 1, "0<</S/D>>")
        names = [os.path.join("inputs", "invoice %05d.pdf" % i) for i in range(20000)]
        for name in names:
            shutil.copyfile(one, os.path.join(self.dir, name))
        write(os.path.join(self.dir, "list"), "\n".join(names + ["month.pdf"]) + "\n")
        r = korvel(["@list"], self.dir, preexec=descriptors(4096))
        self.assertEqual(r, (0, "", ""))
        out = os.path.join(self.dir, "month.pdf")
        self.assertIsNone(qpdf_problem(out))
        self.assertEqual(npages(out), 20000)
        # Each input's labels start again at its first page.
        self.assertEqual(page_labels(out), ["1"] * 20000)

    def test_the_same_file_three_times(self):
        out = self.run_many([self.named] * 3)
        self.assertEqual(npages(out), 9)
        self.assertEqual(targets(out), expected_targets(self.named, self.named, self.named))

    def test_compact_shares_a_font_across_all_inputs(self):
        # The same fonts and images in every input: written once with /s.
        # (Objects inside object streams are compared as written there, so
        # they match only their like.)
        inputs = [FIX.get("shared-classic.pdf"), FIX.get("shared-linearized.pdf"), FIX.get("shared-classic.pdf"),
                  FIX.get("shared-linearized.pdf")]
        plain, compact = self.run_many(inputs, out="plain.pdf"), self.run_many(inputs, "/s", out="compact.pdf")
        self.assertEqual(renders(compact), renders(plain))
        fonts = lambda p: must("qpdf", "--qdf", "--object-streams=disable", p, "-").count("/BaseFont")
        self.assertEqual(fonts(plain), 4 * fonts(FIX.get("shared-classic.pdf")))
        self.assertEqual(fonts(compact), fonts(FIX.get("shared-classic.pdf")))
        self.assertLess(os.path.getsize(compact), os.path.getsize(plain) * 0.4)

    def test_a_failing_input_writes_nothing(self):
        broken = os.path.join(self.dir, "broken.pdf")
        write(broken, b"%PDF-1.4\nnot a PDF at all\n")
        for position in range(3):
            inputs = [self.named, self.labels, self.form]
            inputs[position] = broken
            before = self.snapshot()
            r = korvel(inputs + ["out.pdf"], self.dir)
            self.assertEqual((r[0], r[1]), (1, "PDF file was damaged"), r)
            self.assertIn(broken, r[2])
            self.assertEqual(self.snapshot(), before)

    def test_four_arguments_keep_their_old_meanings(self):
        self.copy_in(self.named, "a.pdf"), self.copy_in(self.labels, "b.pdf"), self.copy_in(self.form, "c.pdf")
        # in1 in2 output and any fourth argument (the compact switch); pdfunite's
        # habit: a fourth ending in .pdf (any case) is the output after three inputs.
        for third, fourth, out, pages in (("out.pdf", "/s", "out.pdf", 6), ("out.pdf", "x", "out.pdf", 6),
                                          ("c.pdf", "out.pdf", "out.pdf", 7), ("c.pdf", "OUT.PDF", "OUT.PDF", 7)):
            before = self.snapshot()
            self.assertEqual(korvel(["a.pdf", "b.pdf", third, fourth], self.dir), (0, "", ""))
            self.assertEqual(npages(os.path.join(self.dir, out)), pages)
            os.remove(os.path.join(self.dir, out))
            self.assertEqual(self.snapshot(), before)  # no file "x", c.pdf untouched


if __name__ == "__main__":
    unittest.main()
