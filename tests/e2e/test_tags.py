"""Tagged documents: one structure tree in which every page of every input
reads the elements, roles and language it read in its own input (plain,
/s and in place), inputs without tags named on standard error, and roles
and IDs two inputs use differently kept apart. Inputs come from LibreOffice
where it is installed and are assembled here otherwise."""

import os, shutil, subprocess, tempfile, unittest

from e2etools import UNTAGGED, KorvelTestCase, assemble, korvel, must, npages, qpdf_problem, read, tags, write

SOFFICE = shutil.which("soffice")
HTML = {"en": "<h1>Annual report</h1><p>A paragraph with a <a href='https://example.org'>link</a>.</p>"
              "<ul><li>One</li><li>Two</li></ul><table><tr><th>Name</th><th>Value</th></tr>"
              "<tr><td>a</td><td>1</td></tr></table><h2>More</h2><p>Text.</p>",
        "fr": "<h1>Rapport</h1><p>Premier paragraphe.</p><h2>Suite</h2><p>Encore.</p>"}


def assembled(path, lang, roles="/Custom/H1", ident="x", pages=2):
    """pages pages, each with a /Custom element (mapped by roles) and a link
    whose annotation is tagged; the catalog's language lang."""
    objs = {1: "<</Type/Catalog/Pages 2 0 R/StructTreeRoot 3 0 R/MarkInfo<</Marked true>>/Lang(%s)>>" % lang,
            2: "<</Type/Pages/Kids[%s]/Count %d>>" % (" ".join("%d 0 R" % (10 + 4 * p) for p in range(pages)), pages),
            3: "<</Type/StructTreeRoot/K 4 0 R/ParentTree 5 0 R/ParentTreeNextKey %d/RoleMap<<%s>>"
               "/IDTree<</Names[(%s)11 0 R]>>>>" % (2 * pages, roles, ident),
            4: "<</Type/StructElem/S/Document/P 3 0 R/K[%s]>>" % " ".join("%d 0 R" % (11 + 4 * p) for p in range(pages)),
            5: "<</Nums[%s]>>" % "".join("%d[%d 0 R]%d %d 0 R " % (2 * p, 11 + 4 * p, 2 * p + 1, 11 + 4 * p)
                                         for p in range(pages))}
    for p in range(pages):
        page, element, annot, content = 10 + 4 * p, 11 + 4 * p, 12 + 4 * p, 13 + 4 * p
        data = "/Custom<</MCID 0>>BDC BT /F1 12 Tf 10 50 Td (Page %d) Tj ET EMC" % (p + 1)
        objs[page] = ("<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 100]/Contents %d 0 R/StructParents %d"
                      "/Annots[%d 0 R]/Resources<</Font<</F1<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>>>>>>>"
                      % (content, 2 * p, annot))
        objs[element] = "<</S/Custom/P 4 0 R/Pg %d 0 R/K[0<</Type/OBJR/Obj %d 0 R>>]%s>>" % (
            page, annot, "/ID(%s)" % ident if p == 0 else "")
        objs[annot] = "<</Type/Annot/Subtype/Link/Rect[0 0 20 20]/Border[0 0 0]/StructParent %d/A<</S/URI/URI(x)>>>>" % (2 * p + 1)
        objs[content] = "<</Length %d>>stream\n%s\nendstream" % (len(data), data)
    write(path, assemble(objs))
    return path


def untagged(path):
    """One page that still carries the key a tagged file gave it."""
    write(path, assemble({1: "<</Type/Catalog/Pages 2 0 R>>", 2: "<</Type/Pages/Kids[3 0 R]/Count 1>>",
                          3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 100]/Resources<<>>/StructParents 0>>"}))
    return path


class Tagged(KorvelTestCase):

    @classmethod
    def setUpClass(cls):
        d = tempfile.mkdtemp(prefix="korvel-e2e-tags-")
        cls.addClassCleanup(shutil.rmtree, d, True)
        cls.en, cls.fr = (cls.made(d, lang) for lang in ("en", "fr"))
        cls.plain = untagged(os.path.join(d, "untagged.pdf"))

    @classmethod
    def made(cls, d, lang):
        path = os.path.join(d, lang + ".pdf")
        if SOFFICE:
            html = os.path.join(d, lang + ".html")
            write(html, "<html><body>%s</body></html>" % HTML[lang])
            subprocess.run([SOFFICE, "--headless", "--convert-to",
                            'pdf:writer_pdf_Export:{"UseTaggedPDF":{"type":"boolean","value":"true"}}',
                            "--outdir", d, html], capture_output=True, timeout=300)
            data = read(path)
            # The same length keeps every offset: a French document.
            if lang == "fr":
                write(path, data.replace(b"/Lang(en-US)", b"/Lang(fr-FR)"))
            return path
        return assembled(path, {"en": "en-US", "fr": "fr-FR"}[lang])

    def run_modes(self, inputs):
        """The result of inputs in each mode: (mode, path, stderr)."""
        for mode in ("plain", "/s", "in place")[:3 if len(inputs) == 2 else 2]:  # in place: two names
            paths = [self.copy_in(p, "in%d.pdf" % i) for i, p in enumerate(inputs)]
            out = paths[0] if mode == "in place" else os.path.join(self.dir, "out.pdf")
            args = paths + ([] if mode == "in place" else [out]) + (["/s"] if mode == "/s" else [])
            r = korvel(args, self.dir)
            self.assertEqual(r[:2], (0, ""), r)
            self.assertIsNone(qpdf_problem(out))
            yield mode, out, r[2], paths

    def test_inputs_are_tagged_as_they_claim(self):
        for path in (self.en, self.fr):
            pages = tags(path)
            self.assertTrue(any(pages), path)
            self.assertTrue(all(ok and chain for page in pages if page for _, _, ok, chain in page), path)
        self.assertEqual({l for page in tags(self.fr) if page for _, l, _, _ in page}, {"u:fr-FR"})

    def test_every_page_reads_its_own_elements_in_its_own_language(self):
        for inputs in ([self.en, self.fr], [self.fr, self.en], [self.en, self.en, self.fr]):
            for mode, out, err, _ in self.run_modes(inputs):
                with self.subTest(inputs=[os.path.basename(p) for p in inputs], mode=mode):
                    self.assertEqual(err, "")
                    self.assertEqual(tags(out), [t for p in inputs for t in tags(p)])
                    catalog = must("qpdf", "--show-object=trailer", out)
                    self.assertIn("/Root", catalog)

    def test_an_untagged_input_is_named_and_its_pages_name_no_elements(self):
        inputs = [self.en, self.plain, self.fr]
        for mode, out, err, paths in self.run_modes(inputs):
            with self.subTest(mode=mode):
                self.assertEqual(err, "korvel: %s: %s\n" % (paths[1], UNTAGGED))
                self.assertEqual(tags(out), tags(self.en) + [None] + tags(self.fr))
        # The first untagged: the result is tagged from the second on.
        for mode, out, err, paths in self.run_modes([self.plain, self.en]):
            with self.subTest(mode=mode, first="untagged"):
                self.assertEqual(err, "korvel: %s: %s\n" % (paths[0], UNTAGGED))
                self.assertEqual(tags(out), [None] + tags(self.en))

    def test_roles_and_ids_two_inputs_use_differently_stay_apart(self):
        a = assembled(os.path.join(self.dir, "a.pdf"), "en-US", roles="/Custom/H1")
        b = assembled(os.path.join(self.dir, "b.pdf"), "de-DE", roles="/Custom/P")
        self.assertEqual({r for page in tags(a) for r, _, _, _ in page}, {"/H1"})
        for mode, out, err, _ in self.run_modes([a, b]):
            with self.subTest(mode=mode):
                self.assertEqual(tags(out), tags(a) + tags(b))
                ids = must("qpdf", "--json=2", "--json-key=qpdf", out)
                self.assertIn('"u:x"', ids)
                self.assertIn('"u:x-2"', ids)


if __name__ == "__main__":
    unittest.main()
