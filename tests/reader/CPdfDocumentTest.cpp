// Opening a document: the header search, the startxref window and the
// messages of a refused file.
#include "document/CPdfCatalog.h"
#include "support/XRefFixture.h"

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
    EXPECT_NE(OpenError(MinimalPdf(1, "", std::string(1018, ' '))), "");  // a header at 1018 is not seen
}

TEST(CPdfDocumentTest, StartXRefWindowAndRefusedFiles)
{
    const std::string pdf = MinimalPdf(1), body = pdf.substr(0, pdf.rfind("startxref"));
    const size_t tail = pdf.size() - body.size();
    const std::pair<std::string, const char*> cases[] = {
        {pdf, ""},                                   // shorter than the window: read whole
        {pdf + std::string(1023 - tail, '\n'), ""},  // "startxref" exactly 1023 bytes before the end
        {pdf + std::string(1024 - tail, '\n'), msg::kDamaged},
        {body + "startxref" + '\0' + pdf.substr(body.size() + 10) + std::string(5, '\0'), ""},  // NUL: white space
        {body + "startxref\n0\n%%EOF\n", msg::kDamaged}, {body + "startxref", msg::kDamaged},
        {body + "startxref\nabc\n%%EOF", msg::kDamaged}, {body + "startxref -\n", msg::kDamaged},
        {body + "startxref\n999999\n%%EOF\n", msg::kCantParseXRef}, {"", msg::kDamaged},
        {"This is a plain text file, not a PDF.\n", msg::kDamaged}, {MinimalPdf(1, "/Encrypt 9 0 R"), msg::kEncrypted},
    };
    ASSERT_LT(pdf.size(), 1023u);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(OpenError(cases[i].first), cases[i].second) << "case " << i;
}
