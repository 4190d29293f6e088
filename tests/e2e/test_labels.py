"""Page labels: every page of the result shows the label it had in its own
input; a document without labels counts 1, 2, 3 ...; none are written when
neither has labels."""

import os, unittest

from e2etools import KorvelTestCase, assemble, korvel, must, page_labels, write


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


class Labels(KorvelTestCase):

    def test_every_page_keeps_its_label(self):
        d = self.dir
        roman = labelled(os.path.join(d, "roman.pdf"), 4, "0<</S/r>>2<</S/D/P(A-)/St 7>>")
        # Page 1 before any range; a range beyond its pages must not label the next document.
        late = labelled(os.path.join(d, "late.pdf"), 3, "1<</S/A>>5<</S/R>>")
        bare = labelled(os.path.join(d, "bare.pdf"), 2, "")
        self.assertEqual(page_labels(roman), ["i", "ii", "A-7", "A-8"])
        for first, second in [(roman, roman), (roman, bare), (bare, roman), (late, roman), (roman, late)]:
            for switches in ([], ["/s"]):
                with self.subTest(first=os.path.basename(first), second=os.path.basename(second), s=switches):
                    out = self.append(first, second, *switches, full=False)
                    self.assertEqual(page_labels(out), page_labels(first) + page_labels(second))
        out = self.append(bare, bare, full=False)
        self.assertNotIn("/PageLabels", must("qpdf", "--show-object=trailer", "--show-object=1", out))
        self.assertEqual(page_labels(out), ["1", "2", "3", "4"])


if __name__ == "__main__":
    unittest.main()
