"""Named destinations: every bookmark and link of either document leads to
the page it led to in its own input, also when both documents use the same
names (the same document twice, two LaTeX-like documents); the second
document's names that collide are renamed, the others stay resolvable."""

import os, unittest

from e2etools import KorvelTestCase, assemble, expected_targets, korvel, must, objects, targets, write


def gs_named(path, label, pages):
    """ghostscript pdfmark: names page.1 ... (a name tree whose values are
    dictionaries with /D), a link on each page to the next page by name, and
    bookmarks by name, in reverse page order."""
    ps = ["%!PS", "<< /PageSize [300 200] >> setpagedevice"]
    for n in range(1, pages + 1):
        ps += ["[/Dest /page.%d /View [/XYZ 0 200 null] /DEST pdfmark" % n,
               "/Helvetica findfont 16 scalefont setfont 20 160 moveto (%s page %d) show" % (label, n)]
        if n < pages:
            ps += ["[/Rect [20 20 120 60] /Border [0 0 1] /Dest /page.%d /Subtype /Link /ANN pdfmark" % (n + 1)]
        ps += ["showpage"]
    ps += ["[/Title (%s %d) /Dest /page.%d /OUT pdfmark" % (label, n, n) for n in range(pages, 0, -1)]
    write(path + ".ps", "\n".join(ps) + "\n")
    must("gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-o", path, path + ".ps")
    return path


def old_style(path, label, name):
    """Written compactly by hand: the older /Dests dictionary (names as name
    objects), a bookmark with an indirect GoTo action, a link whose GoTo
    action reaches the name only along /Next, and a link to a name that
    nothing defines."""
    objs = {1: "<</Type/Catalog/Pages 2 0 R/Dests 9 0 R/Outlines 10 0 R>>",
            2: "<</Type/Pages/Kids[3 0 R 4 0 R]/Count 2>>",
            3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<<>>/Annots[5 0 R 6 0 R]>>",
            4: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<<>>>>",
            5: "<</Type/Annot/Subtype/Link/Rect[0 0 9 9]/A<</S/URI/URI(x)/Next<</S/GoTo/D/%s>>>>>>" % name,
            6: "<</Type/Annot/Subtype/Link/Rect[9 9 19 19]/Dest/nowhere>>",
            9: "<</%s[4 0 R/Fit]/other.%s<</D[3 0 R/Fit]>>>>" % (name, label),
            10: "<</Type/Outlines/First 11 0 R/Last 11 0 R/Count 1>>",
            11: "<</Title(%s)/Parent 10 0 R/A 12 0 R>>" % label, 12: "<</D/%s/S/GoTo>>" % name}
    write(path, assemble(objs))
    return path


class Destinations(KorvelTestCase):

    def setUp(self):
        super().setUp()
        d = self.dir
        self.a = gs_named(os.path.join(d, "a.pdf"), "Alpha", 4)
        self.b = gs_named(os.path.join(d, "b.pdf"), "Beta", 3)
        self.a_objstm = os.path.join(d, "a-objstm.pdf")
        must("qpdf", self.a, "--object-streams=generate", self.a_objstm)
        self.old = old_style(os.path.join(d, "old.pdf"), "Old", "page.1")
        self.old2 = old_style(os.path.join(d, "old2.pdf"), "Other", "page.1")
        self.plain = os.path.join(d, "plain.pdf")
        must("qpdf", "--empty", "--pages", self.a, "1", "--", self.plain)

    def test_fixtures_use_names(self):
        items, links = targets(self.a)
        self.assertEqual(items, [("u:Alpha %d" % n, n) for n in (4, 3, 2, 1)])
        self.assertEqual(links, [[2], [3], [4], []])
        self.assertEqual(targets(self.old), ([("u:Old", 2)], [[2, None], []]))

    def test_every_bookmark_and_link_leads_where_it_led(self):
        pairs = [(self.a, self.a), (self.a, self.b), (self.b, self.a_objstm), (self.a_objstm, self.a_objstm),
                 (self.old, self.old2), (self.old, self.a), (self.a, self.old), (self.plain, self.a),
                 (self.a, self.plain)]
        for first, second in pairs:
            for switches in ([], ["/s"]):
                with self.subTest(first=os.path.basename(first), second=os.path.basename(second), s=switches):
                    out = self.append(first, second, *switches, full=False)
                    self.assertEqual(targets(out), expected_targets(first, second))

    def test_in_place_and_again_as_the_first_document(self):
        first = self.copy_in(self.a, "inplace.pdf")
        self.assertEqual(korvel([first, self.a], self.dir), (0, "", ""))
        self.assertEqual(targets(first), expected_targets(self.a, self.a))
        out = self.append(first, self.a, out="three.pdf", full=False)
        self.assertEqual(targets(out), expected_targets(first, self.a))

    def test_names_that_do_not_collide_stay_resolvable(self):
        out = self.append(self.old, self.old2, full=False)
        _, get, catalog = objects(out)
        names = set(get(catalog["/Dests"]))
        self.assertTrue({"/page.1", "/other.Old", "/other.Other"} <= names, names)
        self.assertEqual(len(names), 4)  # and the second page.1 under a new name

    def test_attached_files_of_every_document_are_kept_beside_the_names(self):
        # qpdf attaches into the direct /Names dictionary that holds /Dests;
        # the hand-made file has /Names as an object of its own. All three
        # attach a "notes.txt".
        d = self.dir
        hand = os.path.join(d, "att-hand.pdf")
        write(hand, assemble({1: "<</Type/Catalog/Pages 2 0 R/Names 8 0 R>>", 2: "<</Type/Pages/Kids[3 0 R]/Count 1>>",
                              3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<<>>>>",
                              8: "<</EmbeddedFiles 9 0 R>>", 9: "<</Names[(notes.txt)10 0 R]>>",
                              10: "<</Type/Filespec/F(notes.txt)/EF<</F 11 0 R>>>>",
                              11: "<</Type/EmbeddedFile/Length 5>>stream\nthird\nendstream"}))
        for name, text in (("n1.txt", "first"), ("n2.txt", "second"), ("d.csv", "a,b")):
            write(os.path.join(d, name), text)
        a = os.path.join(d, "att-a.pdf")
        b = os.path.join(d, "att-b.pdf")
        must("qpdf", self.a, "--add-attachment", os.path.join(d, "n1.txt"), "--key=notes.txt", "--", a)
        must("qpdf", self.b, "--add-attachment", os.path.join(d, "n2.txt"), "--key=notes.txt", "--",
             "--add-attachment", os.path.join(d, "d.csv"), "--key=data.csv", "--", "--object-streams=generate", b)

        def attached(path):
            keys = [line.split(" -> ")[0] for line in must("qpdf", "--list-attachments", path).splitlines()]
            return {k: must("qpdf", "--show-attachment=" + k, path) for k in keys}

        for first, second, want in ((a, b, {"notes.txt": "first", "notes.txt-2": "second", "data.csv": "a,b"}),
                                    (self.a, b, {"notes.txt": "second", "data.csv": "a,b"}),
                                    (a, self.b, {"notes.txt": "first"}),
                                    (hand, b, {"notes.txt": "third", "notes.txt-2": "second", "data.csv": "a,b"}),
                                    (hand, a, {"notes.txt": "third", "notes.txt-2": "first"})):
            for switches in ([], ["/s"]):
                with self.subTest(first=os.path.basename(first), second=os.path.basename(second), s=switches):
                    out = self.append(first, second, *switches, full=False)
                    self.assertEqual(attached(out), want)
                    self.assertEqual(targets(out), expected_targets(first, second))
        out = os.path.join(d, "four.pdf")
        self.assertEqual(korvel([b, b, b, b, out], d), (0, "", ""))
        self.assertEqual(sorted(attached(out)), ["data.csv", "data.csv-2", "data.csv-3", "data.csv-4",
                                                 "notes.txt", "notes.txt-2", "notes.txt-3", "notes.txt-4"])


if __name__ == "__main__":
    unittest.main()
