#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: every document the unit tests build (the
test binary keeps a copy of each file it writes when KORVEL_SEED_DIR is set),
the end-to-end fixtures (ghostscript and handmade files, qpdf's rewrites and
encrypted variants, the damaged forms), and the real files of the shared
corpus. Each seed is one control byte and the document's bytes (see
AppendFuzzer.cpp); the control bytes go round, so every mode starts with
some of each kind.

usage: make_seeds.py OUT_DIR TEST_BINARY [CORPUS_DIR]"""

import hashlib, os, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

# Larger inputs cost more per run than they add; the few larger real files
# come in cut to this size, which the rebuild then reads.
MAX_SEED = 256 * 1024
CONTROLS = 32


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
    for source in (unit_test_documents(binary), e2e_documents(), corpus_documents(corpus)):
        for kind, data in source:
            data = data[:MAX_SEED]
            digest = hashlib.sha1(data).hexdigest()
            if digest in seen:
                continue
            seen.add(digest)
            counts[kind] = counts.get(kind, 0) + 1
            with open(os.path.join(out, "%s-%s" % (kind, digest[:16])), "wb") as f:
                f.write(bytes([k % CONTROLS]) + data)
            k += 1
    print("seeds in %s: %s" % (out, ", ".join("%d %s" % (n, kind) for kind, n in counts.items())))


if __name__ == "__main__":
    main()
