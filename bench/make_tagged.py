#!/usr/bin/env python3
"""Writes a long tagged document: PAGES small text pages, each with one
paragraph element of the structure tree (its marked content 0 on the page),
and a link annotation on every tenth page tagged as a /Link element; a
parent tree in leaves of 64 keys under one root, as producers write it.

    make_tagged.py OUT PAGES
"""

import sys
import zlib

LEAF = 64


def main():
    out_path, pages = sys.argv[1], int(sys.argv[2])
    offsets, out = {}, bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")

    def obj(num, body):
        offsets[num] = len(out)
        out.extend(b"%d 0 obj\n" % num + body + b"\nendobj\n")

    # 1 catalog, 2 page tree, 3 font, 4 structure root, 5 /Document, 6 the
    # parent tree's root; per page: page, content, paragraph, and (every
    # tenth) link annotation and link element; then the parent tree leaves.
    page = lambda i: 7 + 5 * i
    links = [i for i in range(pages) if i % 10 == 0]
    keys = {}  # parent tree key -> value text
    for i in range(pages):
        keys[i] = b"[%d 0 R]" % (page(i) + 2)
    for j, i in enumerate(links):
        keys[pages + j] = b"%d 0 R" % (page(i) + 4)
    order = sorted(keys)
    leaves = list(range(7 + 5 * pages, 7 + 5 * pages + (len(order) + LEAF - 1) // LEAF))
    kids = b" ".join(b"%d 0 R" % (page(i) + 2) + (b" %d 0 R" % (page(i) + 4) if i % 10 == 0 else b"")
                     for i in range(pages))
    obj(1, b"<</Type/Catalog/Pages 2 0 R/StructTreeRoot 4 0 R/MarkInfo<</Marked true>>/Lang(en-GB)>>")
    obj(2, b"<</Type/Pages/Kids[%s]/Count %d>>" % (b" ".join(b"%d 0 R" % page(i) for i in range(pages)), pages))
    obj(3, b"<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
    obj(4, b"<</Type/StructTreeRoot/K 5 0 R/ParentTree 6 0 R/ParentTreeNextKey %d>>" % (pages + len(links)))
    obj(5, b"<</Type/StructElem/S/Document/P 4 0 R/K[%s]>>" % kids)
    obj(6, b"<</Kids[%s]>>" % b" ".join(b"%d 0 R" % n for n in leaves))
    for i in range(pages):
        p = page(i)
        annots = b"/Annots[%d 0 R]" % (p + 3) if i % 10 == 0 else b""
        obj(p, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 420 595]/Contents %d 0 R/StructParents %d%s"
               b"/Resources<</Font<</F1 3 0 R>>>>>>" % (p + 1, i, annots))
        data = zlib.compress(b"/P<</MCID 0>>BDC BT /F1 18 Tf 40 540 Td (Page %d) Tj ET EMC" % (i + 1))
        obj(p + 1, b"<</Length %d/Filter/FlateDecode>>\nstream\n" % len(data) + data + b"\nendstream")
        obj(p + 2, b"<</Type/StructElem/S/P/P 5 0 R/Pg %d 0 R/K 0>>" % p)
        if i % 10 == 0:
            key = pages + links.index(i)
            obj(p + 3, b"<</Type/Annot/Subtype/Link/Rect[40 500 200 560]/Border[0 0 0]/StructParent %d"
                       b"/A<</S/URI/URI(https://example.org/%d)>>>>" % (key, i))
            obj(p + 4, b"<</Type/StructElem/S/Link/P 5 0 R/Pg %d 0 R/K<</Type/OBJR/Obj %d 0 R>>>>" % (p, p + 3))
    for j, leaf in enumerate(leaves):
        chunk = order[j * LEAF:(j + 1) * LEAF]
        nums = b"".join(b"%d %s " % (k, keys[k]) for k in chunk)
        obj(leaf, b"<</Limits[%d %d]/Nums[%s]>>" % (chunk[0], chunk[-1], nums))
    xref, total = len(out), max(offsets) + 1
    out.extend(b"xref\n0 %d\n0000000000 65535 f \n" % total)
    out.extend(b"".join(b"%010d 00000 n \n" % offsets[n] if n in offsets else b"0000000000 00001 f \n"
                        for n in range(1, total)))
    out.extend(b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (total, xref))
    with open(out_path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
