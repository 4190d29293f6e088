// Joining the bookmarks of both documents.
#include <gtest/gtest.h>

#include "append/AppendTestKit.h"
#include "object/CPdfString.h"

namespace {

// One page; with items > 0 an outline root (object 5) whose top-level items
// are objects 6, 7, ... titled prefix1, prefix2, ...
std::string WithOutline(int items, const std::string& prefix, bool emptyRoot = false)
{
    PdfBuilder b;
    b.Object(1, std::string("<< /Type /Catalog /Pages 2 0 R") + (items > 0 || emptyRoot ? " /Outlines 5 0 R" : "") +
                    " >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Object(4, "(spare)");
    if (emptyRoot)
        b.Object(5, "<< /Type /Outlines /Count 0 >>");
    if (items > 0) {
        b.Object(5, "<< /Type /Outlines /First 6 0 R /Last " + std::to_string(5 + items) + " 0 R /Count " +
                        std::to_string(items) + " >>");
        for (int i = 0; i < items; ++i) {
            std::string item = "<< /Title (" + prefix + std::to_string(i + 1) + ") /Parent 5 0 R /Dest [3 0 R /Fit]";
            if (i > 0)
                item += " /Prev " + std::to_string(5 + i) + " 0 R";
            if (i + 1 < items)
                item += " /Next " + std::to_string(7 + i) + " 0 R";
            b.Object(6 + i, item + " >>");
        }
    }
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The titles met walking /First and /Next from the result's outline root.
std::vector<std::string> TopLevelTitles(const std::string& path)
{
    std::vector<std::string> titles;
    CPdfDocument doc;
    doc.Open(path);
    CPdfXRef& xref = *doc.GetXRef();
    CPdfObject catalog, outlines, item;
    xref.FetchObject(xref.GetRootNum(), xref.GetRootGen(), catalog);
    catalog.GetDictionary()->Lookup("Outlines", outlines);
    if (outlines.GetKind() != OBJ_DICTIONARY)
        return titles;
    outlines.GetDictionary()->Lookup("First", item);
    while (item.GetKind() == OBJ_DICTIONARY && titles.size() < 100) {
        CPdfObject title, next;
        item.GetDictionary()->Lookup("Title", title);
        titles.emplace_back(title.GetKind() == OBJ_STRING
                                ? std::string(reinterpret_cast<const char*>(title.GetString()->GetData()),
                                              title.GetString()->GetLength())
                                : "?");
        item.GetDictionary()->Lookup("Next", next);
        item = std::move(next);
    }
    return titles;
}

using Titles = std::vector<std::string>;

}  // namespace

TEST(OutlineMerge, BothOutlinesAreWalkedFirstThenSecond)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, WithOutline(2, "a"), WithOutline(3, "b"), false), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), (Titles{"a1", "a2", "b1", "b2", "b3"}));
    // The root's /Last names the second document's last item.
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 5).find("/Last 15 0 R"), std::string::npos);
}

TEST(OutlineMerge, OnlyTheSecondOutlineIsAttachedToTheFirstCatalog)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, WithOutline(0, "a"), WithOutline(2, "b"), false), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), (Titles{"b1", "b2"}));
    EXPECT_EQ(ObjectText(ReadFile(dir.File("out.pdf")), 1).substr(0, 30), "1 0 obj\n<<\r/Outlines 9 0 R /Ty");
}

TEST(OutlineMerge, AnEmptyFirstRootTakesTheSecondItems)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, WithOutline(0, "a", true), WithOutline(2, "b"), false), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), (Titles{"b1", "b2"}));
}

TEST(OutlineMerge, WithoutASecondOutlineNothingIsRewritten)
{
    TempDir dir;
    const std::string first = WithOutline(2, "a");
    ASSERT_EQ(Append(dir, first, WithOutline(0, "b"), false), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), (Titles{"a1", "a2"}));
    EXPECT_EQ(ObjectText(ReadFile(dir.File("out.pdf")), 5),
              "5 0 obj\n<< /Type /Outlines /First 6 0 R /Last 7 0 R /Count 2 >>\nendobj");
    ASSERT_EQ(Append(dir, WithOutline(0, "a"), WithOutline(0, "b"), false), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), Titles{});
}

TEST(OutlineMerge, ASecondRootWithoutItemsLinksNothing)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, WithOutline(2, "a"), WithOutline(0, "b", true), true), "");
    EXPECT_EQ(TopLevelTitles(dir.File("out.pdf")), (Titles{"a1", "a2"}));
}
