// Joining the bookmarks of both documents.
#include <gtest/gtest.h>

#include "append/AppendTestKit.h"

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
    const Result result(path);
    const CPdfObject root = result["Outlines"];
    CPdfObject rootRef, parent;
    result.catalog.GetDictionary()->LookupRaw("Outlines", rootRef);
    std::string forward, backward;
    for (CPdfObject item = At(root, "First"); item.GetKind() == OBJ_DICTIONARY && forward.size() < 999;
         item = At(item, "Next")) {
        item.GetDictionary()->LookupRaw("Parent", parent);
        const bool wrong = parent.GetKind() != OBJ_REFERENCE || parent.GetRefNum() != rootRef.GetRefNum();
        forward += Text(At(item, "Title")) + (wrong && rootRef.GetKind() == OBJ_REFERENCE ? "(wrong parent) " : " ");
    }
    for (CPdfObject item = At(root, "Last"); item.GetKind() == OBJ_DICTIONARY && backward.size() < 999;
         item = At(item, "Prev"))
        backward = Text(At(item, "Title")) + " " + backward;
    const std::string count = Text(At(root, "Count"));
    return forward + (backward == forward ? "" : "(back: " + backward + ")") + (count.empty() ? "" : "#" + count);
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
