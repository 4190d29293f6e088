// Opening a document: the header search, the startxref window, data that
// has to be rebuilt, and the messages of a refused file.
#include "document/CPdfCatalog.h"
#include "support/XRefFixture.h"

namespace {

// "read" when the file opens as it states, "rebuilt" when it opens from a
// rebuilt table, else the message.
std::string Outcome(const std::string& bytes)
{
    std::string outcome;
    const std::string error = ErrorOf([&] {
        OpenedDocument opened(bytes);
        outcome = opened.doc.WasRebuilt() ? "rebuilt" : "read";
    });
    return error.empty() ? outcome : error;
}

}  // namespace

TEST(CPdfDocumentTest, EveryStatedOffsetIsRelativeToTheHeader)
{
    const std::tuple<size_t, std::string, std::string> cases[] = {
        {0, "%PDF-1.7 trailing words", "PDF-1.7"}, {1, "%PDF-1.3\r", "PDF-1.3"}, {300, "%PDF-2.0\tx", "PDF-2.0"},
        {300, std::string("%PDF-1.5\0x", 10), "PDF-1.5"},
        {1017, "%PDF-1.4", "PDF-1.4"},                 // the token may run past the 1023-byte window
        {0, std::string(1018, ' ') + "%PDF-1.6", ""},  // not seen: offsets count from the start of the file
    };
    for (const auto& [k, header, version] : cases) {
        OpenedDocument opened(MinimalPdf(1, "", std::string(k, 'j'), header));
        EXPECT_EQ(opened.doc.GetVersion(), version) << k;
        EXPECT_EQ(opened.doc.GetXRef()->GetBaseOffset(), int32_t(k));
        EXPECT_EQ(opened.doc.GetCatalog()->GetPageCount(), 1);
    }
    // A header at 1018 is not seen: the stated offsets lead nowhere, and the
    // rebuild finds the header and its version.
    OpenedDocument far(MinimalPdf(1, "", std::string(1018, ' ')));
    EXPECT_TRUE(far.doc.WasRebuilt());
    EXPECT_EQ(far.doc.GetVersion(), "PDF-1.4");
    EXPECT_EQ(far.doc.GetCatalog()->GetPageCount(), 1);
}

TEST(CPdfDocumentTest, StartXRefWindowAndRefusedFiles)
{
    const std::string pdf = MinimalPdf(1), body = pdf.substr(0, pdf.rfind("startxref"));
    const size_t tail = pdf.size() - body.size();
    const std::pair<std::string, const char*> cases[] = {
        {pdf, "read"},                                   // shorter than the window: read whole
        {pdf + std::string(1023 - tail, '\n'), "read"},  // "startxref" exactly 1023 bytes before the end
        {pdf + std::string(1024 - tail, '\n'), "rebuilt"},
        {body + "startxref" + '\0' + pdf.substr(body.size() + 10) + std::string(5, '\0'), "read"},  // NUL: white space
        {body + "startxref\n0\n%%EOF\n", "rebuilt"}, {body + "startxref", "rebuilt"},
        {body + "startxref\nabc\n%%EOF", "rebuilt"}, {body + "startxref -\n", "rebuilt"},
        {body + "startxref\n999999\n%%EOF\n", "rebuilt"}, {"", msg::kDamaged},
        {pdf.substr(0, pdf.rfind("%%EOF")), "rebuilt"},  // the stated data is whole, but the end is not
        {"This is a plain text file, not a PDF.\n", msg::kDamaged}, {MinimalPdf(1, "/Encrypt 9 0 R"), msg::kEncrypted},
        {body.substr(0, body.find("xref")) + "trailer<</Root 1 0 R>>", "rebuilt"},
        {body.substr(0, body.find("2 0 obj")), msg::kDamaged},  // a catalog without its page tree
    };
    ASSERT_LT(pdf.size(), 1023u);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Outcome(cases[i].first), cases[i].second) << "case " << i;
}

TEST(CPdfDocumentTest, DataThatLeadsNowhereIsRebuiltOnOpening)
{
    const std::string pdf = MinimalPdf(2);
    std::string shifted = pdf;
    shifted.insert(shifted.find('\n') + 1, "   ");  // every stated offset 3 short
    std::string pageFree = pdf;                      // the table calls page 3 free
    pageFree[pageFree.find('\n', pageFree.rfind("\nxref\n") + 6) + 1 + 20 * 3 + 17] = 'f';
    const std::string broken = MinimalPdf(2).replace(pdf.find("<< /Type /Catalog"), 17, "[  /Type /Catalog");
    std::string brokenShifted = broken;
    brokenShifted.insert(brokenShifted.find('\n') + 1, "   ");
    const std::pair<std::string, std::string> cases[] = {
        {pdf, "read"},
        {shifted, "rebuilt"},                            // the catalog is not where the table says
        {MoveEntry(pdf, 5, 3), "rebuilt"},               // the second page is not
        {MoveEntry(pdf, 6, 3), "read"},                  // a content stream: opening never fetches it
        {pageFree, "rebuilt"},                           // a last try after the page tree failed
        {broken, msg::kCatalogWrongType},                // a last try that fails keeps the message
        {brokenShifted, msg::kDamaged},                  // rebuilt, and still no catalog
        {pdf.substr(0, pdf.rfind("trailer")) + "trailer<</Size 8>>" + pdf.substr(pdf.rfind("\nstartxref")), "rebuilt"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Outcome(cases[i].first), cases[i].second) << "case " << i;
    OpenedDocument opened(shifted);
    EXPECT_EQ(opened.doc.GetCatalog()->GetPageCount(), 2);
    EXPECT_EQ(opened.doc.GetVersion(), "PDF-1.4");
}
