"""Encrypted inputs that open with the empty password (qpdf's variants,
pdftk's owner-only file) append as first and as second document, plain,
compact and in place; the result is not encrypted and is judged against the
inputs decrypted by qpdf: valid, every page rendered alike, bookmark titles
and form values as they read in the clear. A file with a user password is
refused with its own message and nothing is written."""

import os, random, re, shutil, unittest

from e2etools import (Fixtures, KorvelTestCase, assemble, fields, korvel, must, npages, objects, outlines, read, run,
                      write)

FIX = Fixtures()
PROTECTED = "PDF file is protected by a password"
TITLE = "Encrypted (1) \u00e9t\u00e9"
VALUE = "Form value \u00e4\u00f6\u00fc"

# qpdf --encrypt "" owner BITS ... --: each key length and method, with and
# without metadata in the clear, some with object streams.
VARIANTS = {  # name: (revision, arguments)
    "rc4-40": (2, ["40", "--"]), "rc4-128": (3, ["128", "--"]),
    "rc4-128-clearmeta": (4, ["128", "--cleartext-metadata", "--", "--object-streams=generate"]),
    "aes-128": (4, ["128", "--use-aes=y", "--"]),
    "aes-128-clearmeta": (4, ["128", "--use-aes=y", "--cleartext-metadata", "--"]),
    "aes-256": (6, ["256", "--", "--object-streams=generate"]),
    "aes-256-clearmeta": (6, ["256", "--cleartext-metadata", "--"]), "aes-256-r5": (5, ["256", "--force-R5", "--"]),
}


DRAW_IMAGE = "q 150 0 0 150 20 20 cm /I Do Q"


def pdf_text(text):
    """A PDF text string: UTF-16BE with its byte order mark, in hex."""
    return "<FEFF%s>" % text.encode("utf-16-be").hex()


def form_pdf(path):
    """One page with a filled text field and its appearance, a bookmark,
    XMP metadata and an Info title: every kind of string and stream."""
    field = "BT /Helv 10 Tf 2 5 Td (%s) Tj ET" % VALUE
    xmp = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'/><?xpacket end='r'?>"
    content = "BT /Helv 18 Tf 20 150 Td (Form page) Tj ET 0.4 g 20 20 100 40 re f"
    objs = {1: "<</Type/Catalog/Pages 2 0 R/Outlines 6 0 R/Metadata 9 0 R/AcroForm<</Fields[5 0 R]"
               "/DA(/Helv 10 Tf 0 g)/DR<</Font<</Helv 8 0 R>>>>>>>>",
            2: "<</Type/Pages/Kids[3 0 R]/Count 1>>",
            3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</Helv 8 0 R>>>>"
               "/Contents 4 0 R/Annots[5 0 R]>>",
            4: "<</Length %d>>stream\n%s\nendstream" % (len(content), content),
            5: "<</Type/Annot/Subtype/Widget/FT/Tx/T(name)/V%s/DA(/Helv 10 Tf 0 g)/Rect[150 80 290 100]/F 4/P 3 0 R"
               "/AP<</N 7 0 R>>>>" % pdf_text(VALUE),
            6: "<</Type/Outlines/First 10 0 R/Last 10 0 R/Count 1>>",
            7: "<</Type/XObject/Subtype/Form/BBox[0 0 140 20]/Resources<</Font<</Helv 8 0 R>>>>/Length %d>>stream\n%s"
               "\nendstream" % (len(field.encode("latin-1")), field),
            8: "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>",
            9: "<</Type/Metadata/Subtype/XML/Length %d>>stream\n%s\nendstream" % (len(xmp), xmp),
            10: "<</Title%s/Parent 6 0 R/Dest[3 0 R/Fit]>>" % pdf_text(TITLE),
            11: "<</Title(Info \\(title\\))/Producer<4b6f7276656c2074657374>>>"}
    write(path, assemble(objs, "/Info 11 0 R", "%PDF-1.6"))


def info(path):
    """The document information dictionary, strings as qpdf reads them."""
    objs, get, _ = objects(path)
    return get(objs["trailer"]["value"].get("/Info"))


class Encryption(KorvelTestCase):

    @classmethod
    def setUpClass(cls):
        cls.inputs = os.path.join(FIX.dir, "encryption")
        os.makedirs(cls.inputs, exist_ok=True)
        cls.form = os.path.join(cls.inputs, "form.pdf")
        form_pdf(cls.form)
        cls.partner = FIX.get("alpha-objstm.pdf")

    def encrypted(self, name, source, args):
        """source encrypted as name, and its plain form as qpdf decrypts it."""
        path, plain = os.path.join(self.inputs, name + ".pdf"), os.path.join(self.inputs, name + "-plain.pdf")
        if not os.path.exists(path):
            must(*args(source, path))
            must("qpdf", "--decrypt", path, plain)
        return path, plain

    def qpdf_variant(self, name, source=None):
        source = source or self.form
        return self.encrypted(name + "-" + os.path.basename(source)[:-4], source,
                              lambda s, p: ["qpdf", "--allow-weak-crypto", "--encrypt", "", "owner"] + VARIANTS[name][1]
                              + [s, p])

    def test_fixtures_are_what_they_claim(self):
        self.assertEqual(npages(self.form), 1)
        # (qpdf's JSON is UTF-8; the helpers read every tool's output as Latin-1.)
        self.assertEqual([t for t, _, _ in outlines(self.form)], [TITLE.encode().decode("latin-1")])
        self.assertEqual(fields(self.form), [("name", "u:" + VALUE.encode().decode("latin-1"))])
        for name in VARIANTS:
            path, plain = self.qpdf_variant(name)
            self.assertIn("R = %d\n" % VARIANTS[name][0], must("qpdf", "--show-encryption", path), name)
            # Encrypted strings do not show in the file; the decrypted ones do.
            self.assertNotIn(b"Helv 10 Tf 2 5 Td", read(path))
            self.assertEqual(fields(plain), fields(self.form))
            metadata_clear = b"W5M0MpCehiHzreSzNTczkc9d" in read(path)
            self.assertEqual(metadata_clear, "clearmeta" in name, name)

    def check_pair(self, first, second):
        """first and second: (file, its decrypted form), appended in every mode."""
        (a, plain_a), (b, plain_b) = first, second
        titles = outlines(plain_a) + outlines(plain_b, npages(plain_a))
        for switches, in_place in (([], False), (["/s"], False), ([], True)):
            with self.subTest(first=os.path.basename(a), second=os.path.basename(b), s=switches, in_place=in_place):
                if in_place:
                    target = self.copy_in(a, "a.pdf")
                    before_b = read(b)
                    self.assertEqual(korvel([target, b], self.dir), (0, "", ""))
                    self.assertEqual(read(b), before_b)
                    out = self.judge(target, plain_a, plain_b)
                else:
                    out = self.append(a, b, *switches)
                # Neither a trailer naming an /Encrypt dictionary nor the dictionary itself.
                self.assertIsNone(re.search(rb"/Encrypt|/Filter\s*/Standard", read(out)))
                self.assertEqual(outlines(out), titles)
                self.assertEqual(fields(out), sorted(fields(plain_a) + fields(plain_b), key=str))
                self.assertEqual(info(out), info(plain_a))  # the first document's, decrypted
                for name in os.listdir(self.dir):
                    os.remove(os.path.join(self.dir, name))

    def test_qpdf_variants_first_and_second(self):
        partner = (self.partner, self.partner)
        for name in VARIANTS:
            encrypted = self.qpdf_variant(name)
            self.check_pair(encrypted, partner)
            self.check_pair(partner, encrypted)
        # Several pages with bookmarks and an image, encrypted both.
        a, b = self.qpdf_variant("aes-256", FIX.get("alpha-gs.pdf")), self.qpdf_variant("rc4-40", FIX.get("beta-gs.pdf"))
        self.check_pair(a, b)

    def test_compact_shares_large_data_of_encrypted_copies(self):
        """A document with an image larger than what stays in memory, encrypted,
        appended to itself: under /s the image is written once, decrypted, and
        every page looks as before (append judges the renders)."""
        source = os.path.join(self.inputs, "image.pdf")
        if not os.path.exists(source):
            # Noise: it stays larger than what is kept in memory once compressed.
            pixels = random.Random(5).randbytes(60 * 60 * 3).decode("latin-1")
            write(source, assemble({
                1: "<</Type/Catalog/Pages 2 0 R>>", 2: "<</Type/Pages/Kids[3 0 R]/Count 1>>",
                3: "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Contents 4 0 R/Resources<</XObject<</I 5 0 R>>>>>>",
                4: "<</Length %d>>stream\n%s\nendstream" % (len(DRAW_IMAGE), DRAW_IMAGE),
                5: "<</Type/XObject/Subtype/Image/Width 60/Height 60/ColorSpace/DeviceRGB/BitsPerComponent 8"
                   "/Length %d>>stream\n%s\nendstream" % (len(pixels), pixels)}))
        for name in ("rc4-128", "aes-256"):
            with self.subTest(name=name):
                a, _ = self.qpdf_variant(name, source)
                plain, compact = self.append(a, a, out="plain.pdf"), self.append(a, a, "/s", out="compact.pdf")
                self.assertEqual(len(re.findall(rb"/Subtype\s*/Image", read(compact))), 1)
                self.assertEqual(len(re.findall(rb"/Subtype\s*/Image", read(plain))), 2)
                self.assertLess(len(read(compact)), len(read(plain)) - 10000)

    def test_pdftk_owner_password_only(self):
        if not shutil.which("pdftk"):
            self.fail("pdftk is not installed (scripts/deps.sh test installs it)")
        encrypted = self.encrypted("pdftk-form", self.form, lambda s, p: ["pdftk", s, "output", p, "owner_pw", "x"])
        self.assertIn("R = ", must("qpdf", "--show-encryption", encrypted[0]))
        self.check_pair(encrypted, (self.partner, self.partner))
        self.check_pair((self.partner, self.partner), encrypted)

    def test_user_password_is_refused_and_nothing_written(self):
        path = os.path.join(self.inputs, "user.pdf")
        must("qpdf", "--encrypt", "user", "owner", "256", "--", self.form, path)
        self.assertNotEqual(run(["qpdf", "--check", path])[0], 0)  # qpdf cannot open it either
        self.copy_in(path, "user.pdf"), self.copy_in(self.partner, "plain.pdf")
        before = self.snapshot()
        for inputs in (["user.pdf", "plain.pdf"], ["plain.pdf", "user.pdf"]):
            for rest in (["out.pdf"], ["out.pdf", "/s"], []):
                with self.subTest(args=inputs + rest):
                    self.assertFailedWith(korvel(inputs + rest, self.dir), PROTECTED, names=("user.pdf",))
                    self.assertEqual(self.snapshot(), before)


if __name__ == "__main__":
    unittest.main()
