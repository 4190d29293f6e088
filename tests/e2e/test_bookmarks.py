"""--bookmarks: the joined outline (the default), one closed item per input
leading to its first page with the input's own bookmarks under it (titled
with the file name, or with the document's own title), or no outline. Judged
with qpdf's JSON: titles, the pages the items lead to, open or closed."""

import json, os, unittest

from e2etools import Fixtures, KorvelTestCase, handmade, korvel, must, npages, outlines, read, write

FIX = Fixtures()


def tree(path):
    """The outline as nested [(title, page from 1, open, kids)]; open is None
    for an item without kids, which has nothing to open."""
    def walk(items):
        return [(i["title"], i.get("destpageposfrom1"), i.get("open") if i.get("kids") else None,
                 walk(i.get("kids", []))) for i in items]
    text = must("qpdf", "--json=2", "--json-key=outlines", path).encode("latin-1").decode("utf-8")
    return walk(json.loads(text)["outlines"])


def titled(label, title=None, xmp=None):
    """handmade(label) with an information dictionary /Title (a PDF string
    token) and/or XMP metadata whose dc:title is xmp."""
    patch = {}
    if xmp is not None:
        packet = ("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                  "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                  "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>"
                  "%s</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>" % xmp)
        data = packet.encode("utf-8").decode("latin-1")
        patch[15] = "<</Type/Metadata/Subtype/XML/Length %d>>stream\n%s\nendstream" % (len(data), data)
        patch[1] = "<</Type/Catalog/Pages 2 0 R/Outlines 9 0 R/Metadata 15 0 R>>"
    if title is not None:
        patch[14] = "<</Title%s/Producer(test)>>" % title
    data = handmade(label, patch=patch)
    return data.replace(b"/Root 1 0 R", b"/Root 1 0 R/Info 14 0 R") if title is not None else data


class BookmarksTest(KorvelTestCase):
    def run_with(self, option, *inputs, extra=()):
        out = os.path.join(self.dir, "out.pdf")
        r = korvel(["--bookmarks=" + option] + list(inputs) + [out] + list(extra), self.dir)
        self.assertSucceeded(r)
        return out

    def test_one_closed_item_per_input_over_its_own_bookmarks(self):
        alpha = self.copy_in(FIX.get("alpha-classic.pdf"), "Alpha Report.PDF")
        beta = self.copy_in(FIX.get("beta-objstm.pdf"), "beta.pdf")
        plain = self.copy_in(FIX.get("plain-gs.pdf"), "sub dir plain.pdf")
        shift = [0, npages(alpha), npages(alpha) + npages(beta)]
        for extra in ((), ("/s",)):
            with self.subTest(extra=extra):
                out = self.run_with("per-input", alpha, beta, plain, extra=extra)
                got = tree(out)
                self.assertEqual([(t, p, o) for t, p, o, _ in got],
                                 [("Alpha Report", 1, False), ("beta", shift[1] + 1, False),
                                  ("sub dir plain", shift[2] + 1, None)])
                # Under each, the input's own bookmarks, leading where they led.
                self.assertEqual([strip(k) for k in got[0][3]], strip_all(outlines(alpha)))
                self.assertEqual([strip(k) for k in got[1][3]], strip_all(outlines(beta, shift[1])))
                self.assertEqual(got[2][3], [])

    def test_titles_from_the_document_then_its_metadata_then_the_file_name(self):
        inputs = {"info.pdf": titled("Info", title="<FEFF004B00F60072007600650020263A>"),  # UTF-16: "Körve ☺"
                  "latin.pdf": titled("Latin", title="(Caf\\351)"),  # PDFDocEncoding: "Café"
                  "xmp.pdf": titled("Xmp", xmp="Tom &amp; Jerry \u00e9t\u00e9"),
                  "none.pdf": titled("None", title="()")}
        for name, data in inputs.items():
            write(os.path.join(self.dir, name), data)
        out = self.run_with("per-input-titles", *[os.path.join(self.dir, n) for n in inputs])
        self.assertEqual([t for t, _, _, _ in tree(out)], ["Körve ☺", "Café", "Tom & Jerry été", "none"])
        # The plain per-input form names the files whatever their titles.
        out = self.run_with("per-input", *[os.path.join(self.dir, n) for n in inputs])
        self.assertEqual([t for t, _, _, _ in tree(out)], ["info", "latin", "xmp", "none"])

    def test_none_leaves_no_outline_and_join_is_the_default(self):
        alpha, beta = FIX.get("alpha-classic.pdf"), FIX.get("beta-gs.pdf")
        self.assertEqual(tree(self.run_with("none", alpha, beta)), [])
        joined = self.run_with("join", alpha, beta)
        default = os.path.join(self.dir, "default.pdf")
        self.assertSucceeded(korvel([alpha, beta, default], self.dir))
        self.assertEqual(tree(joined), tree(default))
        self.assertEqual(read(joined), read(default))

    def test_an_update_gets_the_items_too(self):
        a = self.copy_in(FIX.get("alpha-objstm.pdf"), "a.pdf")
        before = read(a)
        self.assertSucceeded(korvel(["--incremental", "--bookmarks=per-input", a, FIX.get("beta-gs.pdf")], self.dir))
        self.assertEqual(read(a)[:len(before)], before)
        self.assertEqual([(t, p) for t, p, _, _ in tree(a)], [("a", 1), ("beta-gs", npages(FIX.get("alpha-gs.pdf")) + 1)])

    def test_an_unknown_value_is_refused(self):
        r = korvel(["--bookmarks=each", FIX.get("alpha-gs.pdf"), FIX.get("beta-gs.pdf"), "o.pdf"], self.dir)
        self.assertFailedWith(r, "Wrong program parameteres")
        self.assertIn("unknown value each for --bookmarks", r[2])


def strip(item):
    """(title, page, kids) of a tree() item, without its open state."""
    title, page, _, kids = item
    return (title, page, [strip(k) for k in kids])


def strip_all(items):
    return [(t, p, strip_all(k)) for t, p, k in items]


if __name__ == "__main__":
    unittest.main()
