"""Files of each structural kind appended onto each other, plain and compact
("/s"). Both results must be judged good against the inputs, with the first
document's bookmarks followed by the second's, each leading to the page it
led to before; the compact one must not be larger, and where the inputs
share fonts and images, smaller. The bundled examples of `make demo` are
appended here too."""

import os, unittest

from e2etools import HERE, KINDS, MARKERS, Fixtures, KorvelTestCase, geometry, must, npages, outlines, read, renders, write

FIX = Fixtures()
EXAMPLES = [os.path.join(HERE, "..", "..", "examples", n) for n in ("report.pdf", "invoice.pdf")]
# Each kind twice as first and twice as second: alpha-K with beta-K and beta-(next K).
PAIRS = [("alpha-" + k, "beta-" + KINDS[(i + s) % len(KINDS)], False) for s in (0, 1) for i, k in enumerate(KINDS)]
# Outline roots of either kind, direct or empty, or none.
PAIRS += [p.split() + [False] for p in """alpha-objstm beta-linearized, alpha-inherited beta-generations,
    plain-direct beta-classic, plain-objstm beta-attachment, plain-incremental beta-generations,
    plain-direct alpha-generations, alpha-objstm plain-linearized, plain-classic plain-direct,
    plain-empty alpha-objstm, beta-classic plain-empty""".split(",")]
IMAGE = b"/Subtype /Image"
SHARING = [("shared-classic", "shared-reverse", True), ("shared-reverse", "shared-objstm", True),
           ("alpha-generations", "alpha-generations", True), ("alpha-linobjstm", "alpha-linobjstm", True),
           ("alpha-objstm", "alpha-objstm", True)]


class Variants(KorvelTestCase):

    def test_fixtures_prove_something(self):
        for base, updated in (("alpha-classic", "alpha-incremental"), ("beta-objstm", "beta-update_xs")):
            self.assertNotEqual(renders(FIX.get(base + ".pdf"))[0], renders(FIX.get(updated + ".pdf"))[0])
        self.assertIn(MARKERS[0], read(FIX.get("alpha-attachment.pdf")))
        self.assertEqual(geometry(FIX.get("alpha-inherited.pdf"))[1][:3],
                         ["rot 90", "MediaBox 0.00 0.00 300.00 200.00", "CropBox 10.00 10.00 260.00 170.00"])
        for kind in ("nodes", "node"):  # what the intermediate node sets, not the root
            self.assertEqual(geometry(FIX.get("alpha-%s.pdf" % kind))[1][:2], ["rot 270", "MediaBox 0.00 0.00 300.00 200.00"])
        self.assertEqual(renders(FIX.get("alpha-nodes.pdf")), renders(FIX.get("alpha-node.pdf")))
        for path in [FIX.get("alpha-objstm.pdf"), FIX.get("beta-classic.pdf")] + EXAMPLES:
            self.assertTrue(any(kids for _, _, kids in outlines(path)), path)  # nested bookmarks
        self.assertEqual(outlines(FIX.get("plain-classic.pdf")) + outlines(FIX.get("plain-direct.pdf")), [])

    def test_pairs_plain_and_compact(self):
        for first, second, shares in PAIRS + SHARING + [EXAMPLES + [False]]:
            with self.subTest(first=first, second=second):
                a, b = (p if p in EXAMPLES else FIX.get(p + ".pdf") for p in (first, second))
                plain = self.append(a, b, out="plain.pdf")
                # Objects are copied as they are: the attachment and the look-alike string too.
                for marker in MARKERS:
                    self.assertEqual(read(plain).count(marker), read(a).count(marker) + read(b).count(marker))
                compact = self.append(a, b, "/s", out="compact.pdf")
                (self.assertLess if shares else self.assertLessEqual)(len(read(compact)), len(read(plain)))
                if shares:  # the image of both only once
                    self.assertEqual(read(compact).count(IMAGE), max(read(a).count(IMAGE), read(b).count(IMAGE)))
                for out in (plain, compact):
                    self.assertEqual(outlines(out), outlines(a) + outlines(b, npages(a)))
        # A result with bookmarks of both, as the first document again.
        again = self.append(plain, FIX.get("beta-objstm.pdf"), out="again.pdf")
        self.assertEqual(outlines(again), outlines(plain) + outlines(FIX.get("beta-objstm.pdf"), npages(plain)))

    def test_compact_pages_show_their_own_document(self):
        """Texts that differ only where they read like references, or whose
        value follows "obj" with no white space, as compact producers write
        them: under /s every page still shows what it showed in its input."""
        def doc(name, words, glue):
            form = "BT /F1 20 Tf 20 100 Td (%s) Tj ET" % words
            objs = {1: "<</Type/Catalog/Pages 2 0 R>>", 2: "<</Type/Pages/Kids[3 0 R]/Count 1>>",
                    3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Contents 4 0 R/Resources 6 0 R>>",
                    4: "<</Length 6>>stream\n/X1 Do\nendstream", 5: "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>",
                    6: "<</XObject<</X1 7 0 R>>>>",
                    7: "<</Type/XObject/Subtype/Form/BBox[0 0 300 200]/Resources<</Font<</F1 5 0 R>>>>/Length %d>>"
                       "stream\n%s\nendstream" % (len(form), form)}
            path = os.path.join(self.dir, name)
            size, out, table = 8, bytearray(b"%PDF-1.4\n"), b""
            for n in range(1, size):
                table += b"%010d 00000 n \n" % len(out)
                out += b"%d 0 obj%s%s\nendobj\n" % (n, b"" if glue else b"\n", objs[n].encode())
            write(path, bytes(out) + b"xref\n0 8\n0000000000 65535 f \n%strailer\n<</Size 8/Root 1 0 R>>\n"
                  b"startxref\n%d\n%%%%EOF\n" % (table, len(out)))
            return path
        for glue, words in ((True, ("First document", "Second document")), (False, ("Invoice 12 R", "Invoice 34 R"))):
            with self.subTest(glue=glue):
                a, b = doc("a.pdf", words[0], glue), doc("b.pdf", words[1], glue)
                out = self.append(a, b, "/s", out="compact.pdf")
                self.assertEqual(renders(out), renders(a) + renders(b))
                self.assertEqual(must("pdftotext", out, "-").split("\f")[:2],
                                 [must("pdftotext", p, "-").split("\f")[0] for p in (a, b)])


if __name__ == "__main__":
    unittest.main()
