"""Real files (KORVEL_CORPUS, or where a clone has none, files ghostscript
and qpdf make here): each one the manifest marks valid is appended to the
smallest valid one and the other way round, plain and compact; files marked
refused or broken must end cleanly either way."""

import csv, os, unittest

from e2etools import KORVEL_CORPUS, Fixtures, KorvelTestCase, generated_corpus, korvel, outlines, qpdf_problem


class Corpus(KorvelTestCase):

    def test_each_file_with_the_smallest_valid_one(self):
        corpus = KORVEL_CORPUS
        if not corpus or not os.path.isfile(os.path.join(corpus, "MANIFEST.tsv")):
            corpus = generated_corpus(Fixtures())
        self.check_corpus(corpus)

    def test_generated_files_with_the_smallest_valid_one(self):
        """The files made here, also when the shared corpus is present."""
        if not KORVEL_CORPUS:
            self.skipTest("the test above runs over them")
        self.check_corpus(generated_corpus(Fixtures()))

    def check_corpus(self, corpus):
        manifest = os.path.join(corpus, "MANIFEST.tsv")
        with open(manifest, newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f, delimiter="\t"))
        # Files refused only for their encryption open with the empty password
        # now, and pages inheriting their resources are accepted; until their
        # rows say so, they are taken as valid here.
        accepted = ("refuse-reasons: encrypted;", "refuse-reasons: inherited-resources")
        files = {os.path.join(corpus, r["file"]): "valid" if r["expect"] == "refuse" and
                 r.get("notes", "").startswith(accepted) else r["expect"] for r in rows}
        top = lambda p: [title for title, _, _ in outlines(p)]
        partner = min((os.path.getsize(p), p) for p, e in files.items() if e == "valid")[1]
        if corpus == KORVEL_CORPUS:
            self.assertIn("valid", [e for p, e in files.items() if "inherited-res" in p])
        for path, expect in sorted(files.items()):
            for first, second in ((partner, path), (path, partner)):
                for switches in ([], ["/s"]):
                    with self.subTest(first=os.path.basename(first), second=os.path.basename(second), s=switches):
                        if expect == "valid":
                            out = self.append(first, second, *switches, full=False)
                            self.assertEqual(top(out), top(first) + top(second))
                            os.remove(out)
                            continue
                        # Broken files may be read past their damage, saying so when their
                        # cross-reference data was rebuilt; refused ones must fail.
                        r = korvel([first, second, "out.pdf"] + switches, self.dir)
                        if expect == "refuse" or r[0]:
                            self.assertFailedWith(r)
                        else:
                            warning = "korvel: %s: cross-reference data rebuilt\n" % path
                            self.assertIn(r, [(0, "", ""), (0, "", warning)])
                            self.assertIsNone(qpdf_problem(os.path.join(self.dir, "out.pdf")))
                            os.remove(os.path.join(self.dir, "out.pdf"))
                        self.assertEqual(self.snapshot(), {})


if __name__ == "__main__":
    unittest.main()
