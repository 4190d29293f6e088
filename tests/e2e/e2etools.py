"""Helpers of the end-to-end tests: input files made at test time (ghostscript
output rewritten by qpdf, a few files assembled byte by byte) and one judge
built on tools that share no code with korvel: qpdf, pdfinfo and pdftoppm."""

import atexit, hashlib, json, os, random, re, shutil, subprocess, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
KORVEL_BIN = os.environ.get("KORVEL_BIN") or os.path.join(HERE, "..", "..", "build", "korvel")
KORVEL_CORPUS = os.environ.get("KORVEL_CORPUS", "")
# qpdf --check lines saying the file had to be repaired: korvel writes the
# table and trailer itself, so these are its fault even when qpdf copes.
DAMAGE_RE = re.compile(r"(?i)file is damaged|reconstruct|xref|cross-reference|startxref|trailer")
# Attachment data that reads like PDF structure (a keyword scan instead of
# /Length cuts it short) and a string that reads like references.
MARKERS = (b"data:\nendstream\nendobj\n7 0 obj\n<< /Type /ObjStm /N 1 /First 4 >>\nstream\n1 0 \nendobj\n"
           b"xref\n0 1\ntrailer\n<< /Size 1 >>\nstartxref\n0\n%%EOF\n" + bytes(range(256)),
           b"(see 3 0 R and \\) 4 0 R)")


def run(cmd, cwd=None, preexec=None):
    p = subprocess.run(cmd, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=300, preexec_fn=preexec)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def korvel(args, cwd, preexec=None):
    return run([KORVEL_BIN] + list(args), cwd, preexec)


def must(*cmd, cwd=None):
    rc, out, err = run(cmd, cwd)
    if rc:
        raise RuntimeError("%s: exit %d %s" % (" ".join(cmd), rc, err[-500:]))
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def npages(path):
    return int(must("qpdf", "--show-npages", path))


def qpdf_json(path, *keys):
    """qpdf --json=2 for the keys; qpdf exits 3 when it only warned."""
    rc, out, err = run(["qpdf", "--json=2"] + ["--json-key=" + k for k in keys] + [path])
    if rc not in (0, 3):
        raise RuntimeError("qpdf --json %s: exit %d %s" % (path, rc, err[-500:]))
    return json.loads(out)


def objects(path, data=None):
    """qpdf's objects of a file ("obj:N G R": {"value": ...}), get(value):
    the value with a reference followed, and the catalog."""
    objs = (data or qpdf_json(path, "qpdf"))["qpdf"][1]
    get = lambda v: objs.get("obj:" + v, {}).get("value") if isinstance(v, str) and re.fullmatch(r"\d+ \d+ R", v) else v
    return objs, get, get(objs["trailer"]["value"]["/Root"])


def fields(path):
    """(full name, value) of each terminal field /AcroForm /Fields reaches."""
    _, get, catalog = objects(path)
    out, todo = [], [(f, "") for f in get((get(catalog.get("/AcroForm")) or {}).get("/Fields")) or []]
    while todo and len(out) < 10000:
        ref, prefix = todo.pop()
        field = get(ref) or {}
        name = prefix + ("." if prefix else "") + field.get("/T", "u:")[2:] if "/T" in field else prefix
        kids = get(field.get("/Kids")) or []
        out += [] if kids else [(name, field.get("/V"))]
        todo += [(k, name) for k in kids]
    return sorted(out, key=str)


def assemble(objs, trailer="", header="%PDF-1.4", gen=lambda n: 0):
    """A file of objects {number: body text}: one table over 0 to the highest
    number (others free), a trailer with /Size, /Root 1 and more."""
    size = max(objs) + 1
    out, table = bytearray(b"%s\n%%\xe2\xe3\xcf\xd3\n" % header.encode()), b""
    for n in range(1, size):
        table += b"%010d %05d n \n" % (len(out), gen(n)) if n in objs else b"0000000000 00001 f \n"
        out += b"%d %d obj\n%s\nendobj\n" % (n, gen(n), objs[n].encode("latin-1")) if n in objs else b""
    return bytes(out) + b"xref\n0 %d\n0000000000 65535 f \n%strailer\n<</Size %d/Root 1 %d R%s>>\nstartxref\n%d\n%%%%EOF\n" % (
        size, table, size, gen(1), trailer.encode(), len(out))


def qpdf_problem(path):
    """None when `qpdf --check` accepts the file without repairing it."""
    rc, out, err = run(["qpdf", "--check", path])
    if rc not in (0, 3) or DAMAGE_RE.search(out + err) or (rc == 0 and "No syntax or stream" not in out):
        return "qpdf --check exit %d: %s" % (rc, (out + err)[-1500:])


def outlines(path, shift=0):
    """The outline tree as nested [(title, page from 1 plus shift, kids)]."""
    def walk(items):
        return [(i["title"], i.get("destpageposfrom1") and i["destpageposfrom1"] + shift, walk(i.get("kids", [])))
                for i in items]
    return walk(json.loads(must("qpdf", "--json=2", "--json-key=outlines", path))["outlines"])


def outline_links(path):
    """The outline root's /Count (0 without one) and the faults in its links:
    at each level, /First ... /Next must list the items /Last ... /Prev
    lists backwards, each with /Parent naming the node above."""
    _, get, catalog = objects(path)
    faults, todo = [], [(catalog.get("/Outlines"), 0)]
    while todo and len(faults) < 10:
        ref, depth = todo.pop()
        node, forward, backward = get(ref) or {}, [], []
        for start, step, items in (("/First", "/Next", forward), ("/Last", "/Prev", backward)):
            item = node.get(start)
            while isinstance(get(item), dict) and item not in items and len(items) < 100000:
                items.append(item)
                item = get(item).get(step)
        faults += ["%s: /Parent %s" % (i, get(i).get("/Parent")) for i in forward
                   if isinstance(ref, str) and get(i).get("/Parent") != ref]
        faults += ["below %s: %s forward, %s backward" % (ref, forward, backward[::-1])] if forward != backward[::-1] else []
        todo += [(i, depth + 1) for i in forward if depth < 50]
    return (get(catalog.get("/Outlines")) or {}).get("/Count", 0), faults


def geometry(path):
    """Per page: rotation and boxes as poppler sees them, inherited ones included."""
    pages = {}
    text = must("pdfinfo", "-box", "-f", "1", "-l", "9999", path)
    for m in re.finditer(r"Page\s+(\d+)\s+(rot|\w+Box):?\s+(.*)", text):
        pages.setdefault(int(m.group(1)), []).append(m.group(2) + " " + " ".join(m.group(3).split()))
    return [pages[n] for n in sorted(pages)]


_RENDERS = {}


def renders(path):
    """Grey-scale renders of the pages in order, kept by file content."""
    key = hashlib.sha256(read(path)).digest()
    if key not in _RENDERS:
        d = tempfile.mkdtemp(prefix="korvel-render-")
        must("pdftoppm", "-r", "30", "-gray", path, os.path.join(d, "p"))
        _RENDERS[key] = [read(os.path.join(d, n)) for n in sorted(os.listdir(d))]
        shutil.rmtree(d)
    return _RENDERS[key]


def ps_pdf(path, label, pages, marks, seed):
    """Pages of text and shapes by ghostscript; with a seed, a 64x64 noise
    image on each; marks: bookmarks (title, page, [(title, page)])."""
    ps = ["%!PS", "<< /PageSize [300 200] >> setpagedevice"]
    for title, page, kids in marks:
        ps += ["[/Title (%s) %s/Page %d /OUT pdfmark" % (title, "/Count %d " % len(kids) if kids else "", page)]
        ps += ["[/Title (%s) /Page %d /OUT pdfmark" % kid for kid in kids]
    ps += ["/noise <%s> def" % random.Random(seed).randbytes(4096).hex()] if seed else []
    for n in range(1, pages + 1):
        ps += ["/Helvetica findfont 16 scalefont setfont 20 160 moveto (%s page %d) show" % (label, n),
               "/Times-Roman findfont 11 scalefont setfont 20 140 moveto (text line %d) show" % n,
               "0.%d setgray %d 20 60 40 rectfill 0 setgray" % (n % 9 + 1, 20 + 12 * n),
               "newpath 150 60 %d 0 360 arc stroke" % (10 + 3 * n)]
        ps += ["gsave 210 30 translate 64 64 scale 64 64 8 [64 0 0 -64 0 64] {noise} image grestore"] if seed else []
        ps += ["showpage"]
    write(path + ".ps", "\n".join(ps) + "\n")
    must("gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-o", path, path + ".ps")


def gs_form(path, label, fields, need_appearances=False, hidden_layer=False):
    """One page by ghostscript, its form built with pdfmark: text fields
    (name, value) drawn by no appearance of their own, /NeedAppearances as
    given; hidden_layer: a square in an optional-content group that is off."""
    ps = ["%!PS", "<< /PageSize [300 200] >> setpagedevice"]
    if fields:
        ps += ["[/_objdef {helv} /type /dict /OBJ pdfmark",
               "[{helv} << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >> /PUT pdfmark"]
        for n, (name, value) in enumerate(fields):
            ps += ["[/_objdef {f%d} /type /dict /OBJ pdfmark" % n,
                   "[{f%d} << /Type /Annot /Subtype /Widget /FT /Tx /T (%s) /V (%s) /Rect [20 %d 200 %d] /F 4 "
                   "/DA (/Helv 12 Tf 0 g) >> /PUT pdfmark" % (n, name, value, 100 - 30 * n, 125 - 30 * n)]
        refs = " ".join("{f%d}" % n for n in range(len(fields)))
        ps += ["[{ThisPage} << /Annots [%s] >> /PUT pdfmark" % refs,
               "[/_objdef {af} /type /dict /OBJ pdfmark",
               "[{af} << /Fields [%s] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv {helv} >> >> /NeedAppearances %s >> "
               "/PUT pdfmark" % (refs, "true" if need_appearances else "false"),
               "[{Catalog} << /AcroForm {af} >> /PUT pdfmark"]
    ps += ["/Helvetica findfont 16 scalefont setfont 20 160 moveto (%s) show" % label]
    if hidden_layer:
        ps += ["[/_objdef {ocg} /type /dict /OBJ pdfmark", "[{ocg} << /Type /OCG /Name (Hidden) >> /PUT pdfmark",
               "[{Catalog} << /OCProperties << /OCGs [{ocg}] /D << /Order [{ocg}] /OFF [{ocg}] >> >> >> /PUT pdfmark",
               "[/OC {ocg} /BDC pdfmark 0 setgray 150 20 100 60 rectfill [/EMC pdfmark"]
    ps += ["showpage"]
    write(path + ".ps", "\n".join(ps) + "\n")
    must("gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-o", path, path + ".ps")
    return path


def handmade(label, gen=False, inherit=None, outline="item", patch=None):
    """Two pages under an intermediate page-tree node, no white space around
    delimiters, a reference split over lines, a stream /Length in an object
    of its own, free entries in the table, the look-alike string, and an
    outline item for page 2 (outline "direct": an empty outline root in the
    catalog; "empty": an empty root of its own). gen: non-zero generations; inherit "root": /MediaBox, /CropBox
    and /Rotate on the root node only; "nodes": /Resources (Symbol),
    /MediaBox and /Rotate on the intermediate node only, and other ones
    (Courier) on the root; "node": the same without any on the root.
    patch: {number: body} (generation 0)."""
    g = lambda n: n % 5 if gen else 0
    r = lambda n: "%d %d R" % (n, g(n))
    text = "BT/F1 14 Tf 20 150 Td(%s page %%d)Tj ET 0.%%d g 30 30 %%d 80 re f" % label
    c1, c2 = text % (1, 3, 200), text % (2, 6, 120)
    box, item = "/MediaBox[0 0 300 200]", "<</Type/Outlines/Count 0>>" if outline == "direct" else r(9)
    resources = "/Resources<</Font<</F1 %s>>>>" % r(8)
    page = "<</Type/Page/Parent %s%s/Contents %%s%%s>>" % (r(3), {None: box + resources, "root": resources}.get(inherit, ""))
    root = {"root": box + "/CropBox[10 10 260 170]/Rotate 90",
            "nodes": "/MediaBox[0 0 500 400]/Rotate 180/Resources<</Font<</F1 %s>>>>" % r(11)}.get(inherit, "")
    node = box + resources + "/Rotate 270" if inherit in ("nodes", "node") else ""
    objs = {1: "<</Type/Catalog/Pages %s/Outlines %s>>" % (r(2), item),
            2: "<</Type/Pages/Kids[%s]/Count 2%s>>" % (r(3), root),
            3: "<</Type/Pages/Parent %s/Kids[%s %s]/Count 2%s>>" % (r(2), r(4), r(6), node),
            4: page % (r(5).replace(" ", "\r\n", 1).replace(" ", "\n"), "/Note" + MARKERS[1].decode()),
            5: "<</Length %s>>stream\n%s\nendstream" % (r(13), c1), 6: page % (r(7), ""),
            7: "<</Length %d>>stream\n%s\nendstream" % (len(c2), c2), 8: "<</Type/Font/Subtype/Type1/BaseFont/Symbol>>",
            9: "<</Type/Outlines/First %s/Last %s/Count 1>>" % (r(10), r(10)), 13: str(len(c1)),
            11: "<</Type/Font/Subtype/Type1/BaseFont/Courier>>",
            10: "<</Title(%s page 2)/Parent %s/Dest[%s/XYZ null null null]>>" % (label, r(9), r(6))}
    if outline == "empty":
        objs[9] = "<</Type/Outlines/Count 0>>"
        del objs[10]
    objs.update(patch or {})
    return assemble(objs, gen=g)


def incremental(base, path):
    """base plus an update that gives page 1 one more content stream (a dark square)."""
    data = read(base)
    page = int(re.search(r"page 1: (\d+) 0 R", must("qpdf", "--show-pages", base)).group(1))
    trailer = must("qpdf", "--show-object=trailer", base)
    size = int(re.search(r"/Size (\d+)", trailer).group(1))
    pdict = re.sub(r"/Contents (\[[^\]]*\]|\d+ \d+ R)", lambda m: "/Contents [%s %d 0 R]" % (m[1].strip("[]"), size),
                   must("qpdf", "--show-object=%d" % page, base).strip())
    out = bytearray(data if data.endswith(b"\n") else data + b"\n")
    first = len(out)
    out += b"%d 0 obj\n<< /Length 28 >>\nstream\nq 0.1 g 240 150 40 40 re f Q\nendstream\nendobj\n" % size
    second = len(out)
    out += b"%d 0 obj\n%s\nendobj\nxref\n" % (page, pdict.encode("latin-1"))
    keep = " ".join(re.findall(r"/(?:Root|Info) \d+ \d+ R|/ID \[[^\]]*\]", trailer))
    out += b"%d 1\n%010d 00000 n \n%d 1\n%010d 00000 n \ntrailer\n<</Size %d/Prev %s %s>>\nstartxref\n%d\n%%%%EOF\n" % (
        page, second, size, first, size + 1, re.findall(rb"startxref\s+(\d+)", data)[-1], keep.encode(), len(out) - 5)
    write(path, bytes(out))


SOURCES = {"alpha": ("Alpha", 3, [("Alpha one", 1, [("Alpha A", 1), ("Alpha B", 2)]), ("Alpha two", 3, [])], 11),
           "beta": ("Beta", 2, [("Beta first", 1, []), ("Beta second", 2, [("Beta detail", 2)])], 22),
           "plain": ("Plain", 2, [], None), "shared": ("Shared", 4, [], 44),
           "long": ("Long", 14, [("Long one", 1, []), ("Long last", 14, [])], None)}
QPDF = {"classic": ["--object-streams=disable"], "objstm": ["--object-streams=generate"], "linearized": ["--linearize"],
        "linobjstm": ["--linearize", "--object-streams=generate"], "reverse": ["--pages", ".", "z-1", "--"],
        "attachment": ["--add-attachment", "data.bin", "--", "--compress-streams=n", "--decode-level=none"]}
KINDS = ("classic objstm linearized linobjstm incremental update_xs offset generations inherited nodes node "
         "attachment").split()
INHERIT = {"inherited": "root", "nodes": "nodes", "node": "node"}


class Fixtures:
    """Inputs DOC-KIND.pdf (DOC a key of SOURCES), made on first use."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="korvel-e2e-fixtures-")
        atexit.register(shutil.rmtree, self.dir, True)
        write(os.path.join(self.dir, "data.bin"), MARKERS[0])

    def get(self, name):
        path = os.path.join(self.dir, name)
        doc, kind = name[:-4].split("-")
        if os.path.exists(path):
            return path
        if kind == "gs":
            ps_pdf(path, *SOURCES[doc])
        elif kind in QPDF:
            must("qpdf", self.get(doc + "-gs.pdf"), *QPDF[kind], path, cwd=self.dir)
        elif kind in ("incremental", "update_xs"):  # the latter over a cross-reference stream
            incremental(self.get(doc + ("-classic.pdf" if kind == "incremental" else "-objstm.pdf")), path)
        elif kind == "offset":  # junk before the header; offsets still count from "%PDF-"
            write(path, b"JUNK" * 75 + read(self.get(doc + "-classic.pdf")))
        else:
            write(path, handmade(SOURCES[doc][0], kind == "generations", INHERIT.get(kind), kind))
        return path


def generated_corpus(fixtures):
    """A stand-in for KORVEL_CORPUS where a clone has none: files by
    ghostscript and their rewrites by qpdf (object streams, linearized,
    reordered, with an attachment, updated incrementally, encrypted with the
    empty user password), listed in d/MANIFEST.tsv as the corpus lists its
    own; one file whose table points nowhere is broken, one that is no PDF
    is refused. Returns the directory, removed at exit."""
    d = tempfile.mkdtemp(prefix="korvel-e2e-corpus-")
    atexit.register(shutil.rmtree, d, True)
    rows = []
    for doc in ("alpha", "beta", "long"):
        for kind in ("gs", "classic", "objstm", "linearized", "linobjstm", "reverse", "attachment", "incremental",
                     "update_xs", "offset", "generations", "inherited", "nodes"):
            name = "%s-%s.pdf" % (doc, kind)
            shutil.copyfile(fixtures.get(name), os.path.join(d, name))
            rows.append((name, "valid", ""))
    for name, args in (("alpha-aes256.pdf", ["256"]), ("beta-rc4.pdf", ["128", "--use-aes=n"])):
        must("qpdf", "--allow-weak-crypto", "--encrypt", "", "owner", *args, "--", fixtures.get(name.split("-")[0] + "-gs.pdf"),
             os.path.join(d, name))
        rows.append((name, "valid", "encrypted with the empty user password"))
    data = read(fixtures.get("beta-classic.pdf"))
    at = data.rindex(b"startxref")
    write(os.path.join(d, "beta-startxref-wrong.pdf"), data[:at] + b"startxref\n17\n%%EOF\n")
    rows.append(("beta-startxref-wrong.pdf", "broken", "startxref points into the header"))
    write(os.path.join(d, "not-a-pdf.pdf"), b"<html><body>no PDF here</body></html>\n")
    rows.append(("not-a-pdf.pdf", "refuse", "no %PDF- header"))
    write(os.path.join(d, "MANIFEST.tsv"), ("file\texpect\tnotes\n" + "".join(
        "%s\t%s\t%s\n" % row for row in rows)).encode())
    return d


UNTAGGED = "it has no tags; the result is tagged only in part"
# The warnings for a signed input whose bytes the result rewrites.
SIGNED = "it is signed; its signature will not be valid in the result"
SIGNED_FIRST = SIGNED + " (--incremental keeps the first input's)"


class KorvelTestCase(unittest.TestCase):
    """A test with its own directory (self.dir) and the judge of korvel runs."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korvel-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def copy_in(self, source, name):
        shutil.copyfile(source, os.path.join(self.dir, name))
        return os.path.join(self.dir, name)

    def snapshot(self, d=None):
        """Names in d with the contents of files and the listings of directories."""
        d = d or self.dir
        return {n: read(p) if os.path.isfile(p) else sorted(os.listdir(p)) for n in os.listdir(d)
                for p in [os.path.join(d, n)]}

    def assertSucceeded(self, r):
        """Exit 0 and nothing said, but that an input among tagged ones has
        no tags, or that a signature will not be valid (test_tags and
        test_incremental judge those lines)."""
        err = "".join(l for l in r[2].splitlines(True)
                      if not l.endswith((UNTAGGED + "\n", SIGNED + "\n", SIGNED_FIRST + "\n")))
        self.assertEqual((r[0], r[1], err), (0, "", ""), r)

    def assertFailedWith(self, r, message=None, names=()):
        """Exit 1, one message without line feed on stdout, one line on
        stderr that names each of names."""
        self.assertEqual(r[0], 1, r)
        self.assertRegex(r[1], r"^[^\n]+$")
        self.assertEqual(r[1], message or r[1])
        self.assertRegex(r[2], r"^korvel: [^\n]+\n$")
        for name in names:
            self.assertIn(name + ": ", r[2])

    def append(self, first, second, *switches, out="out.pdf", full=True):
        """Runs korvel over an older output, which it must replace, and
        judges the result; the inputs must stay as they were."""
        out, inputs = os.path.join(self.dir, out), (read(first), read(second))
        write(out, b"an older and larger output\n" * 5000)
        self.assertSucceeded(korvel([first, second, out] + list(switches), self.dir))
        self.assertEqual((read(first), read(second)), inputs, "an input changed")
        return self.judge(out, first, second, full)

    def judge(self, out, first, second, full=True):
        """Valid without repairs, the pages of both, no temporary file left;
        full: each page has the boxes and rotation of its source and renders
        exactly like it."""
        self.assertIsNone(qpdf_problem(out))
        self.assertEqual(npages(out), npages(first) + npages(second))
        self.assertEqual([n for n in os.listdir(self.dir) if n == "temp.tmp" or n.startswith(".korvel-")], [])
        # The joined outline's links are consistent, its count the sum of both.
        self.assertEqual(outline_links(out), (outline_links(first)[0] + outline_links(second)[0], []))
        if full:
            self.assertEqual(geometry(out), geometry(first) + geometry(second))
            self.assertTrue(renders(out) == renders(first) + renders(second), "a page renders unlike its source")
        return out


def targets(path):
    """Where the bookmarks and links lead, resolved from qpdf's JSON without
    trusting its own resolution: [(title, page from 1)] in preorder, and per
    page the target pages of its link annotations (None where a destination
    leads nowhere). Named destinations are looked up in /Names /Dests (kids
    and limits) and in /Dests; values may be arrays or dictionaries with /D."""
    data = qpdf_json(path, "qpdf", "pages")
    objs, get, catalog = objects(path, data)
    pages = {p["object"]: i + 1 for i, p in enumerate(data["pages"])}
    names, todo, seen = {}, [get((get(catalog.get("/Names")) or {}).get("/Dests"))], set()
    while todo:
        node = todo.pop() or {}
        pairs = get(node.get("/Names")) or []
        names.update({pairs[i]: pairs[i + 1] for i in range(0, len(pairs) - 1, 2)})
        todo += [get(k) for k in get(node.get("/Kids")) or [] if k not in seen and not seen.add(k)]
    old = get(catalog.get("/Dests")) or {}

    def page_of(dest, depth=0):
        dest = get(dest)
        if isinstance(dest, str) and dest[:2] in ("u:", "b:") and depth < 3:
            return page_of(names.get(dest), depth + 1)
        if isinstance(dest, str) and dest.startswith("/") and depth < 3:
            return page_of(old.get(dest), depth + 1)
        if isinstance(dest, dict):
            return page_of(dest.get("/D"), depth + 1)
        if isinstance(dest, list) and dest:
            return pages.get(dest[0])
        return None

    def action_page(item):
        """The /Dest, or the first GoTo along the action and its /Next chain."""
        if "/Dest" in item:
            return page_of(item["/Dest"])
        chain = [get(item.get("/A"))]
        for _ in range(100):
            if not chain:
                break
            action = chain.pop(0)
            if not isinstance(action, dict):
                continue
            if action.get("/S") == "/GoTo":
                return page_of(action.get("/D"))
            following = get(action.get("/Next"))
            chain += [get(a) for a in following] if isinstance(following, list) else [following]
        return None

    items, stack = [], [get(get(catalog.get("/Outlines")) or {}).get("/First") if catalog.get("/Outlines") else None]
    while stack and len(items) < 100000:
        ref = stack.pop()
        item = get(ref)
        if not isinstance(item, dict):
            continue
        items.append((item.get("/Title"), action_page(item)))
        stack += [item.get("/Next"), item.get("/First")]
    links = []
    for p in data["pages"]:
        annots = get(get(p["object"]).get("/Annots")) or []
        links.append([action_page(a) for a in map(get, annots) if isinstance(a, dict) and a.get("/Subtype") == "/Link"])
    return items, links


def expected_targets(*inputs):
    """The targets of the inputs one after another, each one's pages moved by
    the page counts before it."""
    items, links, n = [], [], 0
    for path in inputs:
        i, l = targets(path)
        move = lambda p, n=n: p and p + n
        items += [(t, move(p)) for t, p in i]
        links += [[move(p) for p in ps] for ps in l]
        n += npages(path)
    return items, links


def page_labels(path):
    """Each page's label as a reader shows it, from qpdf's page-label ranges;
    pages before the first range (all pages, without labels) read 1, 2, ...
    qpdf reports such pages as a range without /S and /P; the fixtures have
    no real range of that form."""
    ranges = json.loads(must("qpdf", "--json=2", "--json-key=pagelabels", path))["pagelabels"]
    starts = {r["index"]: r["label"] for r in ranges}

    def roman(n):
        out = ""
        for value, digits in ((1000, "m"), (900, "cm"), (500, "d"), (400, "cd"), (100, "c"), (90, "xc"), (50, "l"),
                              (40, "xl"), (10, "x"), (9, "ix"), (5, "v"), (4, "iv"), (1, "i")):
            while n >= value:
                out, n = out + digits, n - value
        return out

    labels, label, first = [], {"/S": "/D"}, 0
    for i in range(npages(path)):
        if i in starts:
            label, first = starts[i], i
        n = label.get("/St", 1) + i - first
        style = label.get("/S", "/D" if "/P" not in label else None)
        text = {"/D": str(n), "/r": roman(n), "/R": roman(n).upper(),
                "/a": chr(97 + (n - 1) % 26) * ((n - 1) // 26 + 1), "/A": chr(65 + (n - 1) % 26) * ((n - 1) // 26 + 1)}
        prefix = label.get("/P", "u:")
        labels.append(prefix[2:] + text.get(style, ""))
    return labels


def tags(path):
    """What a reader of the structure is given for each page, in order: for
    every marked-content id the page's /StructParents key names in the
    parent tree, (role after role mapping, language, whether the element's
    page is this page and its /P chain reaches the root); None for a page
    without a key. Streams of qpdf's JSON are dictionaries here."""
    data = qpdf_json(path, "qpdf", "pages")
    objs, get, catalog = objects(path, data)
    deref = lambda v: (get(v) or {}).get("dict", get(v)) if isinstance(get(v), dict) and "stream" in get(v) else get(v)
    root = get(catalog.get("/StructTreeRoot")) or {}
    rolemap = get(root.get("/RoleMap")) or {}
    entries = {}
    nodes, seen = [root.get("/ParentTree")], set()
    while nodes:
        node = nodes.pop()
        if isinstance(node, str):
            if node in seen:
                continue
            seen.add(node)
        node = get(node) or {}
        nums = get(node.get("/Nums")) or []
        entries.update(zip(nums[0::2], nums[1::2]))
        nodes += get(node.get("/Kids")) or []
    catalog_lang = catalog.get("/Lang")

    def describe(ref, page):
        element = get(ref) or {}
        role = element.get("/S")
        for _ in range(20):
            if role not in rolemap or rolemap[role] == role:
                break
            role = rolemap[role]
        lang, pg, chain, cur = None, element.get("/Pg"), False, ref
        for _ in range(1000):
            e = get(cur) or {}
            lang = lang or e.get("/Lang")
            pg = pg or e.get("/Pg")
            if e.get("/Type") == "/StructTreeRoot" or "/ParentTree" in e:
                chain = True
                break
            if "/P" not in e:
                break
            cur = e["/P"]
        return role, lang or catalog_lang, pg == page, chain

    out = []
    for p in data["pages"]:
        page = deref(p["object"])
        key = page.get("/StructParents")
        value = get(entries.get(key)) if key is not None else None
        out.append(None if value is None else [describe(r, p["object"]) for r in (value if isinstance(value, list) else [value])])
    return out
