// Joining the bookmarks of both documents.
#include <gtest/gtest.h>

#include "append/AppendTestKit.h"
#include "object/CPdfString.h"

namespace {

// One page; items > 0 gives an outline root 5 with top-level items 6, 7, ...
// titled prefix1, prefix2, ...; root "empty" or "direct" an outline without
// items as object 5 or written into the catalog.
std::string WithOutline(int items, const std::string& prefix, const std::string& root = "")
{
    PdfBuilder b;
    const std::string empty = "<< /Type /Outlines /Count 0 >>";
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R" +
                    std::string(items > 0 || root == "empty" ? " /Outlines 5 0 R" : root == "direct" ? " /Outlines " + empty : "") +
                    " >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Object(5, items > 0 ? "<< /Type /Outlines /First 6 0 R /Last " + std::to_string(5 + items) + " 0 R >>" : empty);
    for (int i = 0; i < items; ++i)
        b.Object(6 + i, "<< /Title (" + prefix + std::to_string(i + 1) + ") /Parent 5 0 R" +
                            (i + 1 < items ? " /Next " + std::to_string(7 + i) + " 0 R" : "") + " >>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The titles met walking /First and /Next from the result's outline root.
std::string TopLevelTitles(const std::string& path)
{
    std::string titles;
    CPdfDocument doc;
    doc.Open(path);
    CPdfXRef& xref = *doc.GetXRef();
    CPdfObject catalog, outlines, item;
    xref.FetchObject(xref.GetRootNum(), xref.GetRootGen(), catalog);
    catalog.GetDictionary()->Lookup("Outlines", outlines);
    if (outlines.GetKind() == OBJ_DICTIONARY)
        outlines.GetDictionary()->Lookup("First", item);
    for (int n = 0; item.GetKind() == OBJ_DICTIONARY && n < 100; ++n) {
        CPdfObject title, next;
        item.GetDictionary()->Lookup("Title", title);
        titles += std::string(reinterpret_cast<const char*>(title.GetString()->GetData()), title.GetString()->GetLength()) + " ";
        item.GetDictionary()->Lookup("Next", next);
        item = std::move(next);
    }
    return titles;
}

}  // namespace

TEST(OutlineMerge, TheFirstDocumentsItemsAreFollowedByTheSeconds)
{
    const struct {
        std::string first, second, titles;
    } cases[] = {
        {WithOutline(2, "a"), WithOutline(3, "b"), "a1 a2 b1 b2 b3 "},
        {WithOutline(0, "a"), WithOutline(2, "b"), "b1 b2 "},
        {WithOutline(0, "a", "empty"), WithOutline(2, "b"), "b1 b2 "},
        {WithOutline(0, "a", "direct"), WithOutline(2, "b"), "b1 b2 "},
        {WithOutline(2, "a"), WithOutline(0, "b"), "a1 a2 "},
        {WithOutline(2, "a"), WithOutline(0, "b", "empty"), "a1 a2 "},
        {WithOutline(0, "a"), WithOutline(0, "b"), ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_EQ(Append(dir, c.first, c.second, false), "");
        EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), c.titles);
    }
    // Both with items: the root's /Last names the second document's last item
    // (T1 = 8, so 8 + 7); the first root is not written again otherwise.
    ASSERT_EQ(Append(dir, WithOutline(2, "a"), WithOutline(3, "b"), false), "");
    EXPECT_EQ(ObjectText(ReadFile(dir.File("out.pdf")), 5), "5 0 obj\n<< /Type /Outlines /First 6 0 R /Last 15 0 R >>\nendobj");
}
