// Files by real producers, judged by qpdf: every object it lists must be fetched as the same kind
// with the same keys, and the page counts agree. Ghostscript and qpdf make some here, so that
// every clone runs them; the shared corpus, where it is present, adds its own.
#include <filesystem>
#include <numeric>
#include <set>
#include <sstream>

#include "document/CPdfCatalog.h"
#include "object/CPdfStream.h"
#include "support/XRefFixture.h"

namespace {

const std::string kCorpus = std::filesystem::path(__FILE__).parent_path().string() + "/../../../shared/corpus/";

std::string Shell(const std::string& command)  // what it prints
{
    static const TempDir dir;
    const int status = std::system(("(" + command + ") >" + dir.File("out") + " 2>/dev/null").c_str());
    return status < 0 ? "" : ReadFile(dir.File("out"));
}

// qpdf's objects as lines "kind number generation key...", kinds numbered as
// EPdfObjectKind, keys sorted and #xx-decoded as the parser stores them.
const char kListObjects[] = R"PY(
import json, re, sys
for key, v in json.load(sys.stdin)["qpdf"][1].items():
    x = v["stream"]["dict"] if "stream" in v else v.get("value")
    kind = (9 if "stream" in v else 8 if isinstance(x, dict) else 7 if isinstance(x, list) else 0 if isinstance(x, bool)
            else 1 if isinstance(x, int) else 2 if isinstance(x, float) else 6 if x is None else 5 if x[0] == "/"
            else 10 if re.fullmatch(r"\d+ \d+ R", x) else 4)
    keys = sorted(re.sub("#(..)", lambda m: chr(int(m[1], 16)), k[1:]) for k in (x if kind in (8, 9) else {}))
    if key[:4] == "obj:":
        sys.stdout.buffer.write(" ".join([str(kind)] + key[4:].split()[:2] + keys).encode("latin-1", "replace") + b"\n")
)PY";

void ExpectAgreesWithQpdf(const std::string& path)
{
    SCOPED_TRACE(path);
    CPdfDocument doc;
    ASSERT_EQ(ErrorOf([&] { doc.Open(path); }), "");
    CPdfXRef& xref = *doc.GetXRef();
    std::istringstream lines(Shell("qpdf --json=2 --json-key=qpdf '" + path + "' | python3 -c '" + kListObjects + "'"));
    int objects = 0, kind = 0, num = 0, gen = 0;
    for (std::string line; std::getline(lines, line) && std::istringstream(line) >> kind >> num >> gen; ++objects) {
        CPdfObject value;  // a stream not decoded: any filter will do
        kind == OBJ_STREAM ? xref.FetchRawObject(num, value) : xref.FetchObject(num, gen, value);
        const CPdfDictionary* dict = value.GetKind() == OBJ_DICTIONARY ? value.GetDictionary()
                                     : value.GetKind() == OBJ_STREAM ? value.GetStream()->GetDict() : nullptr;
        std::set<std::string> keys;
        for (int32_t i = 0; dict && i < dict->GetSize(); ++i)
            keys.insert(" " + std::string(dict->GetKey(i)));
        const auto ours = std::to_string(value.GetKind()) + ' ' + std::to_string(num) + ' ' + std::to_string(gen);
        EXPECT_EQ(std::accumulate(keys.begin(), keys.end(), ours), line);
    }
    EXPECT_GT(objects, 0);
    EXPECT_EQ(std::to_string(doc.GetCatalog()->GetPageCount()) + "\n", Shell("qpdf --show-npages '" + path + "'"));
}

// A ghostscript document of three pages with bookmarks, a link and a
// named destination, as pdfmark makes them.
const char kMarkedPages[] = R"PS(%!PS
<< /PageSize [300 200] >> setpagedevice
[/Title (One) /Count 1 /Page 1 /OUT pdfmark
[/Title (One and a half) /Page 2 /View [/XYZ 0 100 null] /OUT pdfmark
[/Dest /second /Page 2 /View [/Fit] /DEST pdfmark
[/Rect [20 20 120 60] /Border [0 0 1] /Dest /second /Subtype /Link /ANN pdfmark
/Helvetica findfont 16 scalefont setfont
1 1 3 { 20 150 moveto (page ) show 3 string cvs show 0.5 setgray 150 40 80 60 rectfill 0 setgray showpage } for
)PS";

}  // namespace

TEST(RealFilesTest, GhostscriptFilesAndTheirQpdfRewritesReadAsQpdfReadsThem)
{
    // Made here, so that every clone judges files of real producers.
    TempDir dir;
    dir.Write("marks.ps", kMarkedPages);
    Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o " + dir.File("gs.pdf") + " " + dir.File("marks.ps"));
    dir.Write("0.pdf", MinimalPdf(3));
    const std::pair<const char*, const char*> variants[] = {
        {"gs.pdf", ""},
        {"0.pdf", "--object-streams=generate"},
        {"0.pdf", "--linearize --object-streams=generate"},
        {"0.pdf", "--qdf"},
        {"gs.pdf", "--object-streams=generate --compress-streams=n"},
        {"gs.pdf", "--linearize"},
        {"gs.pdf", "--encrypt '' owner 256 --"},
        {"gs.pdf", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --"},
        {"gs.pdf", "--allow-weak-crypto --encrypt '' owner 40 --"},
    };
    int n = 0;
    for (const auto& [source, options] : variants) {
        SCOPED_TRACE(std::string(source) + " " + options);
        const std::string out = dir.File("v" + std::to_string(n++) + ".pdf");
        Shell(*options ? "qpdf " + std::string(options) + " " + dir.File(source) + " " + out
                       : "cp " + dir.File(source) + " " + out);
        ExpectAgreesWithQpdf(out);  // fails to open when a tool made nothing
    }
}

TEST(RealFilesTest, CorpusFilesOpenOrAreRefusedAsListed)
{
    std::istringstream manifest(ReadFile(kCorpus + "MANIFEST.tsv"));
    if (manifest.str().empty())
        GTEST_SKIP() << "no corpus at " << kCorpus << " (the files made here are judged above)";
    for (std::string line; std::getline(manifest, line);) {  // file<TAB>...<TAB>expect<TAB>notes
        const std::string path = kCorpus + line.substr(0, line.find('\t'));
        const std::string message = ErrorOf([&] { CPdfDocument().Open(path); });  // damaged: either way, no crash
        // Pages inheriting their resources are read like any valid file.
        if (line.find("\tvalid\t") != line.npos || line.find("refuse-reasons: inherited-resources") != line.npos) {
            ExpectAgreesWithQpdf(path);
        } else if (line.find("\trefuse\t") != line.npos && line.find("encrypted") != line.npos) {
            // Encrypted with the empty user password: they open now.
            ExpectAgreesWithQpdf(path);
        } else if (line.find("\trefuse\t") != line.npos) {
            EXPECT_NE(message, "") << path;  // refused for another reason
        }
    }
}
