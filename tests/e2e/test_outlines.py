"""Bookmarks of the result: the first document's items, then the second's,
each leading to the page it led to before. The bundled examples of
`make demo` are appended here too."""

import os, unittest

from e2etools import HERE, Fixtures, KorvelTestCase, npages, outlines

FIX = Fixtures()
EXAMPLES = [os.path.join(HERE, "..", "..", "examples", n) for n in ("report.pdf", "invoice.pdf")]
PAIRS = [p.split() for p in """alpha-classic beta-classic, alpha-objstm beta-linearized, alpha-linobjstm beta-update_xs,
    alpha-generations beta-offset, alpha-inherited beta-generations, alpha-objstm alpha-objstm,
    plain-direct beta-classic, plain-objstm beta-attachment, plain-incremental beta-generations,
    plain-direct alpha-generations, alpha-objstm plain-linearized, plain-classic plain-direct,
    plain-empty alpha-objstm, beta-classic plain-empty""".split(",")]


class Outlines(KorvelTestCase):

    def test_fixtures_have_nested_bookmarks(self):
        for path in [FIX.get("alpha-objstm.pdf"), FIX.get("beta-classic.pdf")] + EXAMPLES:
            self.assertTrue(any(kids for _, _, kids in outlines(path)), path)
        self.assertEqual(outlines(FIX.get("plain-classic.pdf")) + outlines(FIX.get("plain-direct.pdf")), [])

    def test_first_documents_items_then_the_seconds(self):
        for first, second in [(FIX.get(f + ".pdf"), FIX.get(s + ".pdf")) for f, s in PAIRS] + [EXAMPLES]:
            for switches in ([], ["/s"]):
                with self.subTest(first=os.path.basename(first), second=os.path.basename(second), switches=switches):
                    out = self.append(first, second, *switches)
                    self.assertEqual(outlines(out), outlines(first) + outlines(second, npages(first)))
        self.assertEqual(npages(out), 5)  # the examples
        # A result with bookmarks of both, as the first document again.
        self.assertEqual(outlines(self.append(out, FIX.get("beta-objstm.pdf"), out="again.pdf")),
                         outlines(out) + outlines(FIX.get("beta-objstm.pdf"), 5))


if __name__ == "__main__":
    unittest.main()
