"""Form fields and layers of both documents (KORVEL_CORPUS, or where a clone
has none, stand-ins ghostscript makes here): every field of either document
is a field of the result, on its page, with its value, and named apart from
the other document's; pages render as their inputs render, hidden layers
staying hidden. Judged by qpdf --json and pdftoppm."""

import atexit, json, os, re, shutil, tempfile, unittest

from e2etools import (KORVEL_CORPUS, KorvelTestCase, gs_form, must, npages, objects, qpdf_json, qpdf_problem, renders,
                      write)

FORMS = ["pdfjs-fields_order.pdf", "pdfjs-issue15557.pdf", "qpdf-need-appearances-more.pdf",
         "qpdf-button-set-broken-out.pdf", "pdfjs-issue12706.pdf"]
LAYERS = "g-pikepdf-layers-off.pdf"
SIGNED = "pdfjs-issue16553.pdf"  # a signed signature field, drawn by its signer


def catalog_entry(path, key):
    """get (as objects gives it) and the value of the catalog's key."""
    _, get, catalog = objects(path)
    return get, get(catalog.get(key))


def top_fields(path):
    """The number of fields /AcroForm /Fields lists."""
    get, form = catalog_entry(path, "/AcroForm")
    return len(get(form["/Fields"])) if form else 0


def widgets(path):
    """qpdf's view of the form: (full name, page from 1, value, type) per
    widget, and /NeedAppearances."""
    form = qpdf_json(path, "acroform")["acroform"]
    return ([(f["fullname"], f["pageposfrom1"], json.dumps(f["value"]), f["fieldtype"]) for f in form["fields"]],
            form["needappearances"])


# Without the corpus, each of its files above has a stand-in of the same
# kind: fields whose names collide across documents, forms asking readers
# for appearances or not, and a hidden layer. No producer at hand signs.
STAND_INS = {FORMS[0]: ("Fields order", [("name", "Ada"), ("city", "Oslo")], False, False),
             FORMS[1]: ("Asking", [("name", "Bob")], True, False),
             FORMS[2]: ("More", [("a", "1"), ("b", "2"), ("name", "Cy")], True, False),
             FORMS[3]: ("Buttons", [("city", "Rome")], False, False),
             FORMS[4]: ("Issue", [("zip", "0150")], False, False),
             LAYERS: ("Layers", [], False, True)}
_MADE = {}


def stand_in(name):
    if name not in _MADE:
        d = _MADE.setdefault("", tempfile.mkdtemp(prefix="korvel-e2e-forms-"))
        if len(_MADE) == 1:
            atexit.register(shutil.rmtree, d, True)
        _MADE[name] = gs_form(os.path.join(d, name), *STAND_INS[name])
    return _MADE[name]


HAVE_CORPUS = bool(KORVEL_CORPUS) and os.path.isdir(KORVEL_CORPUS)


class FormsAndLayers(KorvelTestCase):

    def corpus(self, name):
        if HAVE_CORPUS:
            return os.path.join(KORVEL_CORPUS, name)
        if name not in STAND_INS:
            self.skipTest("no corpus at KORVEL_CORPUS=%r and no stand-in for %s" % (KORVEL_CORPUS, name))
        return stand_in(name)

    def variant(self, name, *args):
        """A corpus file rewritten by qpdf."""
        path = os.path.join(self.dir, "%s-%d.pdf" % (name[:-4], len(os.listdir(self.dir))))
        must("qpdf", self.corpus(name), *args, path)
        return path

    def needing_appearances(self, source):
        """source, with its form's /NeedAppearances true (rewritten by qpdf;
        qpdf 11.3 leaves objects inside object streams as they were when
        updating from JSON, so none are made)."""
        path = os.path.join(self.dir, "plain-" + os.path.basename(source))
        must("qpdf", "--object-streams=disable", source, path)
        data = qpdf_json(path, "qpdf")
        objs, get, catalog = objects(path, data)
        root, form, catalog = objs["trailer"]["value"]["/Root"], get(catalog["/AcroForm"]), dict(catalog)
        if isinstance(catalog["/AcroForm"], str):
            update = {"obj:" + catalog["/AcroForm"]: {"value": dict(form, **{"/NeedAppearances": True})}}
        else:
            catalog["/AcroForm"] = dict(form, **{"/NeedAppearances": True})
            update = {"obj:" + root: {"value": catalog}}
        patch, out = path + ".json", path + ".na.pdf"
        write(patch, json.dumps({"qpdf": [data["qpdf"][0], update]}))
        must("qpdf", path, "--update-from-json=" + patch, out)
        return out

    def assertFormsJoined(self, out, first, second):
        self.assertIsNone(qpdf_problem(out))
        self.assertEqual(npages(out), npages(first) + npages(second))
        self.assertEqual(top_fields(out), top_fields(first) + top_fields(second))
        (result, need), (w1, need1), (w2, need2) = widgets(out), widgets(first), widgets(second)
        self.assertEqual(need, need1 or need2)
        shift = npages(first)
        mine = [w for w in result if w[1] <= shift]
        theirs = [w for w in result if w[1] > shift]
        # The first document's fields exactly as they were.
        self.assertEqual(sorted(mine), sorted(w1))
        # The second's on their pages with their values; a top-level name the
        # first document has is renamed, and no full name is in both parts.
        tops = {w[0].split(".")[0] for w in w2}
        def own_name(name):
            top, dot, rest = name.partition(".")
            return (top if top in tops else re.sub(r"-\d+$", "", top)) + dot + rest
        self.assertEqual(sorted((own_name(n), p - shift, v, t) for n, p, v, t in theirs), sorted(w2))
        self.assertEqual({w[0] for w in mine} & {w[0] for w in theirs}, set())
        # Pages render as their inputs do under the joined /NeedAppearances
        # (true when either asked for it, none of these being signed: viewers
        # then draw every widget afresh, a document that did not ask included).
        expected = [p if w[1] == need else self.needing_appearances(p) for p, w in ((first, (w1, need1)),
                                                                                    (second, (w2, need2)))]
        self.assertTrue(renders(out) == renders(expected[0]) + renders(expected[1]), "a page renders unlike its source")

    def test_fields_of_both_documents_stay_fields(self):
        pairs = [(a, a) for a in FORMS] + [(a, b) for i, a in enumerate(FORMS) for b in FORMS[i + 1:i + 3]]
        pairs += [(b, a) for a, b in pairs if a != b]
        for a, b in pairs:
            for switches in ([], ["/s"]):
                with self.subTest(first=a, second=b, switches=switches):
                    first, second = self.corpus(a), self.corpus(b)
                    self.assertFormsJoined(self.append(first, second, *switches, full=False), first, second)

    def test_fields_from_object_streams_and_in_place(self):
        packed = self.variant("qpdf-need-appearances-more.pdf", "--object-streams=generate")
        original = self.corpus("qpdf-need-appearances-more.pdf")
        for first, second in ((packed, original), (original, packed), (packed, packed)):
            for switches in ([], ["/s"]):
                with self.subTest(first=first, second=second, switches=switches):
                    self.assertFormsJoined(self.append(first, second, *switches, full=False), first, second)
        # A result appended to again: the third document's names are apart
        # from both earlier ones.
        twice = self.append(original, original, out="twice.pdf", full=False)
        self.assertFormsJoined(self.append(twice, packed, out="thrice.pdf", full=False), twice, packed)

    def test_signed_signature_keeps_its_look_beside_a_form_asking_for_appearances(self):
        # FORMS[1] asks readers to draw its widgets anew but brings an
        # appearance for each; the flag would have poppler blank the
        # signature, so the result goes without it.
        asking, signed = self.corpus(FORMS[1]), self.corpus(SIGNED)
        for first, second in ((asking, signed), (signed, asking)):
            for switches in ([], ["/s"]):
                with self.subTest(first=first, second=second, switches=switches):
                    out = self.append(first, second, *switches, full=False)
                    self.assertIsNone(qpdf_problem(out))
                    self.assertEqual(top_fields(out), top_fields(first) + top_fields(second))
                    self.assertFalse(widgets(out)[1])
                    self.assertTrue(renders(out) == renders(first) + renders(second), "a page renders unlike its source")

    def test_hidden_layers_stay_hidden(self):
        layers = self.corpus(LAYERS)
        packed = self.variant(LAYERS, "--object-streams=generate")
        for first, second in ((self.corpus(FORMS[0]), layers), (layers, layers), (layers, packed),
                              (packed, self.corpus(FORMS[1]))):
            for switches in ([], ["/s"]):
                with self.subTest(first=first, second=second, switches=switches):
                    out = self.append(first, second, *switches, full=False)
                    self.assertIsNone(qpdf_problem(out))
                    self.assertTrue(renders(out) == renders(first) + renders(second), "a layer shows unlike its source")
                    get, props = catalog_entry(out, "/OCProperties")
                    groups = get(props["/OCGs"])
                    self.assertEqual(len(set(groups)), len(groups))
                    self.assertEqual(len(groups), sum(len(g(p["/OCGs"])) for g, p in
                                                      (catalog_entry(f, "/OCProperties") for f in (first, second)) if p))


if __name__ == "__main__":
    unittest.main()
