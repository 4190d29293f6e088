#!/usr/bin/env python3
"""Writes a long document with a named destination and a bookmark for every
page, as LaTeX documents have: PAGES small text pages, a name tree of
"page.N" names (in leaves of 64 under one root) whose values are explicit
destinations, and one top-level bookmark per page whose /Dest is the name.

    make_named.py OUT PAGES
"""

import sys
import zlib

LEAF = 64


def main():
    out_path, pages = sys.argv[1], int(sys.argv[2])
    offsets, out = {}, bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")

    def obj(num, body):
        offsets[num] = len(out)
        out.extend(b"%d 0 obj\n" % num + body + b"\nendobj\n")

    # 1 catalog, 2 page tree, 3 font, 4 outline root, 5 name tree root; then
    # per page: page, content, bookmark; then the leaves of the name tree.
    page = lambda i: 6 + 3 * i
    leaves = list(range(6 + 3 * pages, 6 + 3 * pages + (pages + LEAF - 1) // LEAF))
    obj(1, b"<</Type/Catalog/Pages 2 0 R/Outlines 4 0 R/Names<</Dests 5 0 R>>>>")
    obj(2, b"<</Type/Pages/Kids[%s]/Count %d>>" % (b" ".join(b"%d 0 R" % page(i) for i in range(pages)), pages))
    obj(3, b"<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
    obj(4, b"<</Type/Outlines/First %d 0 R/Last %d 0 R/Count %d>>" % (page(0) + 2, page(pages - 1) + 2, pages))
    obj(5, b"<</Kids[%s]>>" % b" ".join(b"%d 0 R" % n for n in leaves))
    for i in range(pages):
        p = page(i)
        obj(p, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 420 595]/Contents %d 0 R/Resources<</Font<</F1 3 0 R>>>>>>"
            % (p + 1))
        data = zlib.compress(b"BT /F1 18 Tf 40 540 Td (Page %d) Tj ET" % (i + 1))
        obj(p + 1, b"<</Length %d/Filter/FlateDecode>>\nstream\n" % len(data) + data + b"\nendstream")
        links = (b"/Prev %d 0 R" % (page(i - 1) + 2) if i else b"") + (
            b"/Next %d 0 R" % (page(i + 1) + 2) if i + 1 < pages else b"")
        obj(p + 2, b"<</Title(Section %d)/Parent 4 0 R%s/Dest(page.%d)>>" % (i + 1, links, i + 1))
    keys = sorted(range(1, pages + 1), key=lambda n: b"page.%d" % n)
    for j, leaf in enumerate(leaves):
        chunk = keys[j * LEAF:(j + 1) * LEAF]
        names = b"".join(b"(page.%d)[%d 0 R/XYZ 0 595 null]" % (n, page(n - 1)) for n in chunk)
        obj(leaf, b"<</Limits[(page.%d)(page.%d)]/Names[%s]>>" % (chunk[0], chunk[-1], names))
    xref, total = len(out), max(offsets) + 1
    out.extend(b"xref\n0 %d\n0000000000 65535 f \n" % total)
    out.extend(b"".join(b"%010d 00000 n \n" % offsets[n] for n in range(1, total)))
    out.extend(b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (total, xref))
    with open(out_path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
