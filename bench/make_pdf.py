#!/usr/bin/env python3
"""Writes a large benchmark PDF whose size is real: every page carries its
own image of random pixels (Flate cannot shrink noise), some text in a shared
font, and the pages hang in a balanced page tree as in real files.

    make_pdf.py OUT PAGES IMAGE_SIDE SEED LABEL [options]

IMAGE_SIDE is the width and height of each page's 8-bit grey image in pixels
(224 gives about 50 KB a page; 0 gives pages of text only, two objects a
page). SEED makes the noise, so two files made with different seeds share
nothing. Options:

    --min-side N   each image's side is drawn between N and IMAGE_SIDE, so
                   object sizes vary as in real files
    --thumb N      every page also gets a thumbnail of N x N random pixels
                   (a fourth object a page, N=100 gives about 10 KB)
    --raw          image data without a filter (fast to make in GB sizes)
"""

import argparse
import random
import zlib

FANOUT = 32  # kids per intermediate page-tree node


def main():
    ap = argparse.ArgumentParser()
    for name, kind in (("out", str), ("pages", int), ("side", int), ("seed", int), ("label", str)):
        ap.add_argument(name, type=kind)
    ap.add_argument("--min-side", type=int, default=0)
    ap.add_argument("--thumb", type=int, default=0)
    ap.add_argument("--raw", action="store_true")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    offsets = {}
    f = open(a.out, "wb", buffering=1 << 20)
    pos = 0

    def put(data):
        nonlocal pos
        f.write(data)
        pos += len(data)

    def obj(num, body):
        offsets[num] = pos
        put(b"%d 0 obj\n" % num + body + b"\nendobj\n")

    def stream(num, dictionary, data):
        obj(num, b"<< %s /Length %d >>\nstream\n" % (dictionary, len(data)) + data + b"\nendstream")

    def image(num, side, extra=b""):
        size = side * side
        pixels = rnd.getrandbits(8 * size).to_bytes(size, "little")
        head = b"/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray /BitsPerComponent 8" % (
            side, side)
        if a.raw:
            stream(num, head + extra, pixels)
        else:
            stream(num, head + b" /Filter /FlateDecode" + extra, zlib.compress(pixels, 1))

    put(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    # 1 catalog, 2 info, 3 font, then the objects of each page (page,
    # content, image, thumbnail), then the intermediate page-tree nodes.
    catalog, info, font = 1, 2, 3
    per_page = 2 + (a.side > 0) + (a.thumb > 0)
    first_page = 4
    page_nums = [first_page + per_page * i for i in range(a.pages)]
    next_num = first_page + per_page * a.pages

    # Build the page tree bottom-up: leaves are pages.
    levels = [page_nums]
    while len(levels) == 1 or len(levels[-1]) > 1:
        nodes = list(range(next_num, next_num + (len(levels[-1]) + FANOUT - 1) // FANOUT))
        next_num += len(nodes)
        levels.append(nodes)
    root = levels[-1][0]
    parent_of = {}
    counts = {p: 1 for p in page_nums}
    for depth in range(1, len(levels)):
        below, nodes = levels[depth - 1], levels[depth]
        for j, node in enumerate(nodes):
            kids = below[j * FANOUT:(j + 1) * FANOUT]
            for k in kids:
                parent_of[k] = node
            counts[node] = sum(counts[k] for k in kids)

    obj(catalog, b"<< /Type /Catalog /Pages %d 0 R >>" % root)
    obj(info, b"<< /Title (%s) /Producer (korvel bench/make_pdf.py) >>" % a.label.encode())
    obj(font, b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    for i, num in enumerate(page_nums):
        has_image = a.side > 0
        content = (b"BT /F1 24 Tf 60 540 Td (%s page %d of %d) Tj ET\n"
                   b"BT /F1 10 Tf 60 520 Td (Random pixels below: every page has its own image.) Tj ET\n"
                   % (a.label.encode(), i + 1, a.pages))
        if has_image:
            content = b"q 300 0 0 300 60 200 cm /Im0 Do Q\n" + content
        xobject = b" /XObject << /Im0 %d 0 R >>" % (num + 2) if has_image else b""
        thumb = b" /Thumb %d 0 R" % (num + per_page - 1) if a.thumb else b""
        obj(num, b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 420 595] /Contents %d 0 R%s "
                 b"/Resources << /Font << /F1 %d 0 R >>%s /ProcSet [/PDF /Text /ImageB] >> >>"
            % (parent_of[num], num + 1, thumb, font, xobject))
        stream(num + 1, b"/Filter /FlateDecode", zlib.compress(content))
        if has_image:
            image(num + 2, rnd.randint(a.min_side, a.side) if a.min_side else a.side)
        if a.thumb:
            image(num + per_page - 1, a.thumb)
    for depth in range(1, len(levels)):
        below, nodes = levels[depth - 1], levels[depth]
        for j, node in enumerate(nodes):
            kids = below[j * FANOUT:(j + 1) * FANOUT]
            parent = b" /Parent %d 0 R" % parent_of[node] if node in parent_of else b""
            obj(node, b"<< /Type /Pages%s /Kids [%s] /Count %d >>"
                % (parent, b" ".join(b"%d 0 R" % k for k in kids), counts[node]))

    xref = pos
    total = max(offsets) + 1
    put(b"xref\n0 %d\n0000000000 65535 f \n" % total)
    put(b"".join(b"%010d 00000 n \n" % offsets[n] for n in range(1, total)))
    put(b"trailer\n<< /Size %d /Root %d 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (total, catalog, info, xref))
    f.close()


if __name__ == "__main__":
    main()
