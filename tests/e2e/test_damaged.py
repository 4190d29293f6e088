"""Damaged inputs made from valid files: korvel rebuilds their cross-reference
data from the bytes, says so in one line on standard error, exits 0, and the
result renders as it does with the undamaged file."""

import os, re, unittest

from e2etools import Fixtures, KorvelTestCase, korvel, must, read, run, write

FIX = Fixtures()


def encrypted(base, key, *options):
    """base encrypted with an empty user password by qpdf (its pages render
    as base's do): key "256", or "128" for AES-128; options go after "--"."""
    aes = ["--use-aes=y"] if key == "128" else []
    path = os.path.join(FIX.dir, "%s-aes%s%s.pdf" % (base, key, "".join(o.strip("-") for o in options)))
    if not os.path.exists(path):
        must("qpdf", "--encrypt", "", "owner", key, *aes, "--", *options, FIX.get(base + ".pdf"), path)
    return path


def shifted(data):
    """Three bytes after the header line: every stated offset is 3 short."""
    line = data.index(b"\n") + 1
    return data[:line] + b"   " + data[line:]


def cut(data):
    return data[:-1000]


def no_startxref(data):
    at = data.rfind(b"startxref")
    return data[:at] + data[data.rfind(b"%%EOF"):]


def junk_after(data):
    """5 KB after %%EOF, with an unclosed string and a fake object header."""
    return data + b"(junk 9 0 obj " + bytes((i * 7919) % 251 for i in range(5 * 1024 - 14))


def junk_before(data):
    """2 KB before the header, beyond where a reader looks for it."""
    return b"J" * 2048 + data


def prev_in_stream(data):
    """The newest section's /Prev points into the middle of a stream's data."""
    middle = data.index(b"stream\n") + 7 + 20
    prevs = list(re.finditer(rb"/Prev (\d+)", data))
    assert prevs, "an updated file was expected"
    m = prevs[-1]
    return data[:m.start(1)] + str(middle).encode() + data[m.end(1):]


def wrong_lengths(data):
    """Every direct stream /Length off by up to 9 bytes in its last digit,
    written with as many digits: the offsets stay right, only the lengths
    mislead."""
    def off(m):
        n = int(m.group(1))
        return b"/Length %d" % (n - n % 10 + (n % 10 + 5) % 10)
    return re.sub(rb"/Length (\d\d+)(?=[ >/])", off, data)


DAMAGES = {f.__name__: f for f in (shifted, cut, no_startxref, junk_after, junk_before, prev_in_stream)}
# Each damage on a file it applies to: cutting 1,000 bytes takes only a
# classic table and trailer off the long file.
CASES = [("long-classic", ["shifted", "cut", "no_startxref", "junk_after", "junk_before"]),
         ("beta-objstm", ["shifted", "no_startxref", "junk_after", "junk_before"]),
         ("alpha-incremental", ["prev_in_stream", "no_startxref", "shifted"]),
         ("beta-update_xs", ["prev_in_stream", "junk_before"])]
# Encrypted (AES-256, empty user password): the rebuilt data must still lead
# to the key, and to members of object streams only the key opens.
ENCRYPTED = [("long-classic", "256", (), ["shifted", "cut"]), ("long-classic", "128", (), ["shifted", "junk_after"]),
             ("beta-objstm", "256", ("--object-streams=generate",), ["shifted", "junk_before", "no_startxref"])]


class Damaged(KorvelTestCase):

    def test_rebuilt_inputs_append_as_undamaged_ones(self):
        partner = self.copy_in(FIX.get("alpha-classic.pdf"), "partner.pdf")
        cases = [(FIX.get(base + ".pdf"), FIX.get(base + ".pdf"), damages) for base, damages in CASES]
        cases += [(encrypted(base, key, *options), FIX.get(base + ".pdf"), damages)
                  for base, key, options, damages in ENCRYPTED]
        for source, good, damages in cases:
            base = os.path.basename(source)[:-4]
            for damage in damages:
                bad = os.path.join(self.dir, "%s-%s.pdf" % (base, damage))
                write(bad, DAMAGES[damage](read(source)))
                for first, second, switches in ((bad, partner, []), (partner, bad, []), (bad, partner, ["/s"])):
                    with self.subTest(base=base, damage=damage, first=os.path.basename(first), s=switches):
                        r = korvel([os.path.basename(first), os.path.basename(second), "out.pdf"] + switches, self.dir)
                        warning = "korvel: %s: cross-reference data rebuilt\n" % os.path.basename(bad)
                        self.assertEqual(r, (0, "", warning))
                        out = os.path.join(self.dir, "out.pdf")
                        self.judge(out, good if first == bad else first, good if second == bad else second)
                        os.remove(out)

    def test_one_line_per_rebuilt_input_and_none_for_valid_ones(self):
        good = FIX.get("long-classic.pdf")
        write(os.path.join(self.dir, "bad.pdf"), shifted(read(good)))
        r = korvel(["bad.pdf", "bad.pdf", "out.pdf"], self.dir)
        self.assertEqual(r, (0, "", "korvel: bad.pdf: cross-reference data rebuilt\n" * 2))
        self.judge(os.path.join(self.dir, "out.pdf"), good, good)
        # In place: the first input is replaced, and the warning names it.
        self.copy_in(good, "good.pdf")
        r = korvel(["bad.pdf", "good.pdf"], self.dir)
        self.assertEqual(r, (0, "", "korvel: bad.pdf: cross-reference data rebuilt\n"))
        self.judge(os.path.join(self.dir, "bad.pdf"), good, good)

    def test_wrong_stream_lengths_are_not_carried_into_the_result(self):
        good = FIX.get("long-classic.pdf")
        write(os.path.join(self.dir, "bad.pdf"), wrong_lengths(read(good)))
        def endstream_warnings(name):
            return "".join(run(["qpdf", "--check", os.path.join(self.dir, name)])[1:]).count("expected endstream")
        self.assertGreater(endstream_warnings("bad.pdf"), 10)
        for args, first, second in ((["bad.pdf", "partner.pdf"], good, "partner.pdf"),
                                    (["partner.pdf", "bad.pdf"], "partner.pdf", good),
                                    (["bad.pdf", "bad.pdf", "/s"], good, good)):
            with self.subTest(args=args):
                r = korvel(args[:2] + ["out.pdf"] + args[2:], self.dir)
                self.assertEqual(r, (0, "", ""))
                self.assertEqual(endstream_warnings("out.pdf"), 0)
                self.judge(os.path.join(self.dir, "out.pdf"), *(os.path.join(self.dir, f) for f in (first, second)))

    def test_nothing_to_rebuild_from_is_refused(self):
        good = read(FIX.get("long-classic.pdf"))
        catalog = good.index(b"/Type /Catalog")
        # An AES-128 key needs the /ID of the trailer that the cut took.
        for name, data in (("text.pdf", b"%PDF-1.4\nno objects here\n" * 50),
                           ("nocatalog.pdf", good[:catalog] + b"/Type /Catalox" + good[catalog + 14:-1000]),
                           ("noid.pdf", cut(read(encrypted("long-classic", "128"))))):
            with self.subTest(name=name):
                write(os.path.join(self.dir, name), data)
                before = self.snapshot()
                self.assertFailedWith(korvel([name, "partner.pdf", "out.pdf"], self.dir), "PDF file was damaged")
                self.assertEqual(self.snapshot(), before)

    def setUp(self):
        super().setUp()
        self.copy_in(FIX.get("alpha-classic.pdf"), "partner.pdf")


if __name__ == "__main__":
    unittest.main()
