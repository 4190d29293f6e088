#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: every document the unit tests build (the
test binary keeps a copy of each file it writes when KORVEL_SEED_DIR is set),
the end-to-end fixtures (ghostscript and handmade files, qpdf's rewrites and
encrypted variants, the damaged forms), and the real files of the shared
corpus. Each seed is one control byte and the document's bytes (see
AppendFuzzer.cpp); the control bytes go round, so every mode starts with
some of each kind. Predictor-coded streams are made here, as the other
sources hardly have them.

usage: make_seeds.py OUT_DIR TEST_BINARY [CORPUS_DIR]"""

import hashlib, os, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

# Larger inputs cost more per run than they add; the few larger real files
# come in cut to this size, which the rebuild then reads.
MAX_SEED = 256 * 1024
CONTROLS = 64


def unit_test_documents(binary):
    with tempfile.TemporaryDirectory(prefix="korvel-seeds-") as d:
        env = dict(os.environ, KORVEL_SEED_DIR=d)
        # Which tests pass does not matter here, only what they wrote.
        subprocess.run([binary, "--gtest_brief=1"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name in sorted(os.listdir(d)):
            with open(os.path.join(d, name), "rb") as f:
                yield "unit", f.read()


def e2e_documents():
    import e2etools, test_damaged, test_encryption
    fix = e2etools.Fixtures()
    names = ["%s-%s.pdf" % (doc, kind) for doc in ("alpha", "beta") for kind in ("gs",) + tuple(e2etools.KINDS)]
    for name in names:
        yield "e2e", e2etools.read(fix.get(name))
    form = os.path.join(fix.dir, "form.pdf")
    test_encryption.form_pdf(form)
    yield "e2e", e2etools.read(form)
    for variant, (_, args) in test_encryption.VARIANTS.items():
        out = os.path.join(fix.dir, "form-%s.pdf" % variant)
        e2etools.must("qpdf", "--allow-weak-crypto", "--encrypt", "", "owner", *args, form, out)
        yield "qpdf", e2etools.read(out)
    for base, damages in test_damaged.CASES:
        data = e2etools.read(fix.get(base + ".pdf"))
        for damage in damages:
            yield "damaged", test_damaged.DAMAGES[damage](data)


def png_rows(data, columns, bpp):
    """data under the PNG predictors, the row filters taking turns (0 to 4)."""
    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c
    out, prev = bytearray(), bytes(columns)
    for r in range(0, len(data), columns):
        row, kind = data[r:r + columns], (r // columns) % 5
        out.append(kind)
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            out.append((x - (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF)
        prev = row
    return bytes(out)


def tiff_rows(data, columns, colors, bits):
    """data under the TIFF predictor: each sample less the one colors before it."""
    out, row_bits = bytearray(), columns * colors * bits
    row_bytes = (row_bits + 7) // 8
    for r in range(0, len(data), row_bytes):
        row = int.from_bytes(data[r:r + row_bytes], "big")
        samples = [(row >> (row_bytes * 8 - (i + 1) * bits)) & ((1 << bits) - 1) for i in range(columns * colors)]
        diff = samples[:colors] + [(samples[i] - samples[i - colors]) % (1 << bits) for i in range(colors, len(samples))]
        value = 0
        for v in diff:
            value = (value << bits) | v
        out += (value << (row_bytes * 8 - row_bits)).to_bytes(row_bytes, "big")
    return bytes(out)


def predictor_documents():
    """The page tree in an object stream and the table in a cross-reference
    stream, both compressed under a predictor: each PNG row filter, and the
    TIFF one at several sample sizes, which the other seeds hardly use."""
    import zlib
    members = [b"<</Type/Pages/Kids[3 0 R]/Count 1>>", b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 99 99]/Resources<<>>>>"]
    header = b"2 0 3 %d " % len(members[0])
    plain = header + b"".join(members)
    for predictor, colors, bits, columns in ((12, 1, 8, 7), (15, 3, 8, 5), (13, 2, 16, 3), (2, 1, 8, 11),
                                             (2, 3, 8, 4), (2, 1, 16, 5), (2, 1, 4, 10), (2, 2, 1, 12)):
        bpp = max(1, colors * bits // 8)
        row = (colors * bits * columns + 7) // 8
        padded = plain + b" " * (-len(plain) % row)
        coded = tiff_rows(padded, columns, colors, bits) if predictor == 2 else png_rows(padded, row, bpp)
        parms = b"/DecodeParms<</Predictor %d/Colors %d/BitsPerComponent %d/Columns %d>>" % (predictor, colors, bits,
                                                                                           columns)
        out = bytearray(b"%PDF-1.5\n")
        offsets = {1: len(out)}
        out += b"1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n"
        data = zlib.compress(coded)
        offsets[4] = len(out)
        out += b"4 0 obj\n<</Type/ObjStm/N 2/First %d/Filter/FlateDecode%s/Length %d>>stream\n%s\nendstream\nendobj\n" % (
            len(header), parms, len(data), data)
        offsets[5] = len(out)
        rows = b"".join(bytes([t]) + o.to_bytes(3, "big") + bytes([g]) for t, o, g in
                        ((0, 0, 255), (1, offsets[1], 0), (2, 4, 0), (2, 4, 1), (1, offsets[4], 0), (1, offsets[5], 0)))
        table = zlib.compress(png_rows(rows, 5, 1))
        out += (b"5 0 obj\n<</Type/XRef/Size 6/W[1 3 1]/Root 1 0 R/Filter/FlateDecode"
                b"/DecodeParms<</Predictor 12/Columns 5>>/Length %d>>stream\n%s\nendstream\nendobj\n"
                b"startxref\n%d\n%%%%EOF\n") % (len(table), table, offsets[5])
        yield "predictor", bytes(out)


def corpus_documents(corpus):
    if not corpus or not os.path.isdir(corpus):
        return
    for name in sorted(os.listdir(corpus)):
        if name.endswith(".pdf"):
            with open(os.path.join(corpus, name), "rb") as f:
                yield "corpus", f.read()


def main():
    out, binary = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else ""
    os.makedirs(out, exist_ok=True)
    seen, counts, k = set(), {}, 0
    sources = (unit_test_documents(binary), predictor_documents(), e2e_documents(), corpus_documents(corpus))
    for source in sources:
        for kind, data in source:
            data = data[:MAX_SEED]
            digest = hashlib.sha1(data).hexdigest()
            if digest in seen:
                continue
            seen.add(digest)
            counts[kind] = counts.get(kind, 0) + 1
            # Two modes each: one going round, and the same with the
            # document as both inputs or not.
            for control in (k % CONTROLS, (k % CONTROLS) ^ 16):
                with open(os.path.join(out, "%s-%s-%02x" % (kind, digest[:16], control)), "wb") as f:
                    f.write(bytes([control]) + data)
            k += 1
    print("seeds in %s: %s" % (out, ", ".join("%d %s" % (n, kind) for kind, n in counts.items())))


if __name__ == "__main__":
    main()
