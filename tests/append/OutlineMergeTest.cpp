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
    b.Object(5, items > 0 ? "<< /Type /Outlines /First 6 0 R /Last " + std::to_string(5 + items) + " 0 R /Count " +
                                std::to_string(items) + " >>"
                          : empty);
    for (int i = 0; i < items; ++i)
        b.Object(6 + i, "<< /Title (" + prefix + std::to_string(i + 1) + ") /Parent 5 0 R" +
                            (i > 0 ? " /Prev " + std::to_string(5 + i) + " 0 R" : "") +
                            (i + 1 < items ? " /Next " + std::to_string(7 + i) + " 0 R" : "") + " >>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The titles met walking /First and /Next from the result's outline root,
// checked against the walk back along /Last and /Prev, each item's /Parent
// and the root's /Count (the sum the roots stated, 0 when none did).
std::string TopLevelTitles(const std::string& path)
{
    CPdfDocument doc;
    doc.Open(path);
    CPdfXRef& xref = *doc.GetXRef();
    CPdfObject catalog, outlines, root;
    xref.FetchObject(xref.GetRootNum(), xref.GetRootGen(), catalog);
    catalog.GetDictionary()->LookupRaw("Outlines", outlines);
    catalog.GetDictionary()->Lookup("Outlines", root);
    if (root.GetKind() != OBJ_DICTIONARY)
        return "";
    auto walk = [&](const char* start, const char* step, bool checkParent) {
        std::string titles;
        CPdfObject item;
        root.GetDictionary()->Lookup(start, item);
        for (int n = 0; item.GetKind() == OBJ_DICTIONARY && n < 100; ++n) {
            CPdfObject title, next, parent;
            item.GetDictionary()->Lookup("Title", title);
            item.GetDictionary()->LookupRaw("Parent", parent);
            if (checkParent && (parent.GetKind() != OBJ_REFERENCE || parent.GetRefNum() != outlines.GetRefNum()))
                titles += "(wrong parent)";
            titles += std::string(reinterpret_cast<const char*>(title.GetString()->GetData()), title.GetString()->GetLength()) + " ";
            item.GetDictionary()->Lookup(step, next);
            item = std::move(next);
        }
        return titles;
    };
    const std::string forward = walk("First", "Next", outlines.GetKind() == OBJ_REFERENCE);
    std::string backward = walk("Last", "Prev", false), reversed;
    for (size_t end = backward.size(); end > 0;) {
        const size_t start = backward.rfind(' ', end - 2);
        reversed += backward.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
        end = start == std::string::npos ? 0 : start + 1;
    }
    CPdfObject count;
    root.GetDictionary()->Lookup("Count", count);
    return forward + (reversed == forward ? "" : "(back: " + reversed + ")") +
           (count.GetKind() == OBJ_INTEGER ? "#" + std::to_string(count.GetInt()) : "");
}

}  // namespace

TEST(OutlineMerge, TheFirstDocumentsItemsAreFollowedByTheSeconds)
{
    const struct {
        std::string first, second, titles;
    } cases[] = {
        {WithOutline(2, "a"), WithOutline(3, "b"), "a1 a2 b1 b2 b3 #5"},
        {WithOutline(0, "a"), WithOutline(2, "b"), "b1 b2 #2"},
        {WithOutline(0, "a", "empty"), WithOutline(2, "b"), "b1 b2 #2"},
        {WithOutline(0, "a", "direct"), WithOutline(2, "b"), "b1 b2 #2"},
        {WithOutline(2, "a"), WithOutline(0, "b"), "a1 a2 #2"},
        {WithOutline(2, "a"), WithOutline(0, "b", "empty"), "a1 a2 #2"},
        {WithOutline(0, "a"), WithOutline(0, "b"), ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_EQ(Append(dir, c.first, c.second, false), "");
        EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), c.titles);
    }
    // Both with items: the root's /Last names the second document's last item
    // (T1 = 8, so 8 + 7) and its count is the sum; nothing else changes. The
    // second root, whose items moved, is left out.
    ASSERT_EQ(Append(dir, WithOutline(2, "a"), WithOutline(3, "b"), false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 5), "5 0 obj\n<< /Type /Outlines /First 6 0 R /Last 15 0 R /Count 5 >>\nendobj");
    EXPECT_EQ(ObjectText(out, 5 + 7), "");
}
