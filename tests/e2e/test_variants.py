"""Files of each structural kind appended onto each other, plain and compact
("/s"). Both results must be judged good against the inputs, and the compact
one must not be larger; where the inputs share fonts and images, smaller."""

import os, unittest

from e2etools import KINDS, MARKERS, Fixtures, KorvelTestCase, geometry, read, renders

FIX = Fixtures()
# Each kind twice as first and twice as second: alpha-K with beta-K and beta-(next K).
PAIRS = [("alpha-" + k, "beta-" + KINDS[(i + s) % len(KINDS)], False) for s in (0, 1) for i, k in enumerate(KINDS)]
IMAGE = b"/Subtype /Image"
SHARING = [("shared-classic", "shared-reverse", True), ("shared-reverse", "shared-objstm", True),
           ("alpha-generations", "alpha-generations", True), ("alpha-linobjstm", "alpha-linobjstm", True)]


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

    def test_pairs_plain_and_compact(self):
        for first, second, shares in PAIRS + SHARING:
            with self.subTest(first=first, second=second):
                a, b = FIX.get(first + ".pdf"), FIX.get(second + ".pdf")
                plain = read(self.append(a, b, out="plain.pdf"))
                # Objects are copied as they are: the attachment and the look-alike string too.
                for marker in MARKERS:
                    self.assertEqual(plain.count(marker), read(a).count(marker) + read(b).count(marker))
                compact = read(self.append(a, b, "/s", out="compact.pdf"))
                (self.assertLess if shares else self.assertLessEqual)(len(compact), len(plain))
                if shares:  # the image of both only once
                    self.assertEqual(compact.count(IMAGE), max(read(a).count(IMAGE), read(b).count(IMAGE)))


if __name__ == "__main__":
    unittest.main()
