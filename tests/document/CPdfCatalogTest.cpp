// The catalog and page-tree checks made when a document opens, and the page
// records they check (seen through the walk's visitor: the catalog keeps
// only their count).
#include <cstdio>

#include "document/CPdfCatalog.h"
#include "support/ObjectTestKit.h"
#include "support/XRefFixture.h"

namespace {

using Objects = std::vector<std::pair<int, std::string>>;

std::string Page(const std::string& more = "") { return "<< /Type /Page /Resources << >> " + more + " >>"; }
std::string Node(std::string kids, const std::string& more = "") { return "<< /Kids [" + kids + "]" + more + ">>"; }

// Catalog 1 over root 2 holding page 3, with the given objects put in.
std::string File(const Objects& objects)
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>").Object(2, Node("3 0 R", "/Count 1")).Object(3, Page());
    for (const auto& [number, body] : objects)
        b.Object(number, body);
    return b.Trailer("/Root 1 0 R").Build();
}

// The page records of an opened document, walked again with a visitor.
std::vector<CPdfPage> PagesOf(OpenedDocument& opened)
{
    std::vector<CPdfPage> pages;
    CPdfCatalog catalog;
    catalog.Load(opened.doc.GetXRef(), [&](const CPdfPage& page) { pages.push_back(page); });
    EXPECT_EQ(catalog.GetPageCount(), opened.doc.GetCatalog()->GetPageCount());
    return pages;
}

}  // namespace

TEST(CPdfCatalogTest, MalformedCatalogsAndTreesGiveTheirMessagesAndReasons)
{
    char annots[96];
    std::snprintf(annots, sizeof(annots), msg::kAnnotsWrongType, 3);
    const std::string three = Node("3 0 R 3 0 R 4 0 R", "/Count 3"), cycle = Node("3 0 R 10 0 R", "/Count 1");
    const std::string kids = "the /Kids of page-tree node (object 2) name ";
    Objects paths{{2, Node("10 0 R 10 0 R", "/Count 1")}, {40, Page()}};  // 30 levels naming the next twice
    for (int n = 10; n < 40; ++n)
        paths.push_back({n, Node(std::to_string(n + 1) + " 0 R " + std::to_string(n + 1) + " 0 R")});
    // The objects put in, the message, and the reason ("": not checked).
    std::vector<std::tuple<Objects, std::string, std::string>> cases = {
        {{{1, "[/Pages 2 0 R]"}}, msg::kCatalogWrongType, "the catalog (object 1) is not a dictionary"},
        {{{1, "<< /Type /Catalog >>"}}, msg::kPagesWrongType, ""},
        {{{2, Node("3 0 R")}}, msg::kPageCountWrongType, ""},
        {{{2, "<< /Count 1 >>"}}, msg::kKidsWrongType, "page-tree node (object 2) has no /Kids array"},
        {{{2, Node("3 0 R 5 0 R", "/Count 2")}, {6, "null"}}, msg::kKidWrongType,  // 5 is free
         kids + "object 5, which is not a dictionary"},
        {{{2, Node("3 0 R 9 0 R", "/Count 2")}}, msg::kCorrupted, ""},  // 9 is beyond the table
        {{{2, Node("3 0 R 7", "/Count 2")}}, msg::kKidWrongType, kids + "element 1, which is not a dictionary"},
        {{{3, "<< /Resources << >> >>"}}, msg::kKidsWrongType, ""},  // not a page without /Type /Page
        {{{3, "<< /Type 4 0 R /Resources << >> >>"}, {4, "/Page"}}, msg::kKidsWrongType, ""},
        {{{2, three}, {4, Page("/Annots << /A 1 >>")}}, annots, ""},
        {{{2, three}, {4, Page("/Annots 5")}}, annots, ""},
        {{{2, three}, {4, Page("/Annots /N")}}, annots, ""},
        {{{2, cycle}, {10, Node("3 0 R 2 0 R")}}, msg::kPageTreeCycle, ""},
        {{{2, cycle}, {10, Node("3 0 R 10 0 R")}}, msg::kPageTreeCycle, ""},
        {{{2, cycle}, {10, Node("3 0 R 11 0 R")}, {11, Node("2 0 R")}}, msg::kPageTreeCycle, ""},
        {{{2, Node("10 0 R", "/Count 1")}, {10, Node("11 0 R")}, {11, Node("10 0 R")}}, msg::kPageTreeCycle,
         "page-tree node (object 10) is its own ancestor"},
        {paths, msg::kPageTreeCycle, ""},  // more nodes visited than the file has objects
        {{{2, Node("3 0 R 4 0 R", "/Count 2")}, {4, "<< /Type /Page >>"}}, msg::kResourcesNotFound,
         "neither page 2 nor a page-tree node above it has a /Resources dictionary"},
    };
    // Neither the page nor its ancestor has a Resources dictionary.
    for (const std::string resources : {"", "/Resources null", "/Resources 5 0 R", "/Resources 6 0 R", "/Resources 7"})
        for (const std::string above : {"", "/Resources 6 0 R", "/Resources null"})
            cases.push_back({{{2, Node("3 0 R", "/Count 1 " + above)}, {3, "<< /Type /Page " + resources + " >>"},
                              {6, "(x)"}},
                             msg::kResourcesNotFound, ""});
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [objects, message, reason] = cases[i];
        try {
            OpenedDocument opened(File(objects));
            ADD_FAILURE() << "case " << i << " opened";
        } catch (const CPdfException& e) {
            EXPECT_EQ(e.GetMessageText(), message) << "case " << i;
            EXPECT_EQ(reason.empty() ? "" : e.GetReason(), reason) << "case " << i;
        }
    }
}

TEST(CPdfCatalogTest, PagesAreNumberedDepthFirstWithTheirRotation)
{
    const std::pair<std::string, int> rotations[] = {{"-90", 270}, {"450", 90},   {"720", 0},  {"45", 45},  {"90.0", 0},
                                                     {"null", 0},  {"-450", 270}, {"-360", 0}, {"359", 359}};
    // Node 9 (no /Type), reached twice but never from below itself, holds pages 3 and 4; /Count is
    // checked for its kind only; the last kid starts a chain of 10,000 nodes, walked without recursion.
    Objects objects{{4, Page()}, {9, Node("3 0 R 4 0 R")}, {30000, Page("/Rotate 180")}};
    std::string kids = "9 0 R 9 0 R ";
    for (size_t j = 0; j < std::size(rotations); ++j) {
        objects.push_back({int(10 + j), Page("/Rotate " + rotations[j].first)});
        kids += std::to_string(10 + j) + " 0 R ";
    }
    for (int n = 20000; n < 30000; ++n)
        objects.push_back({n, Node(std::to_string(n + 1) + " 0 R")});
    objects.push_back({2, Node(kids + "20000 0 R", "/Type /Pages /Count 7.5")});
    OpenedDocument opened(File(objects));
    const std::vector<CPdfPage> pages = PagesOf(opened);
    ASSERT_EQ(pages.size(), 5 + std::size(rotations));
    for (int i = 0; i < int(pages.size()); ++i) {
        EXPECT_EQ(pages[size_t(i)].GetPageNumber(), i + 1);
        EXPECT_EQ(pages[size_t(i)].GetRotation(), i < 4 ? 0 : i < 13 ? rotations[i - 4].second : 180) << i;
    }
}

TEST(CPdfCatalogTest, PagesTakeResourcesAndRotationFromTheNearestAncestorThatHasThem)
{
    // Written compactly, as producers do. Node 3 overrides the root with an
    // indirect dictionary; node 8's /Resources is not a dictionary and is
    // passed over, as are page 6's null and real 90.0.
    const std::string file = PdfBuilder()
                                 .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                 .Object(2, "<</Type/Pages/Kids[3 0 R 8 0 R]/Count 4/Resources<</M/Root>>/Rotate 90>>")
                                 .Object(3, "<</Type/Pages/Parent 2 0 R/Kids[4 0 R 5 0 R 6 0 R]/Resources 7 0 R/Rotate 180>>")
                                 .Object(4, "<</Type/Page/Parent 3 0 R>>")
                                 .Object(5, "<</Type/Page/Parent 3 0 R/Resources<</M/Own>>/Rotate -90>>")
                                 .Object(6, "<</Type/Page/Parent 3 0 R/Resources null/Rotate 90.0>>")
                                 .Object(7, "<</M/Node>>")
                                 .Object(8, "<</Type/Pages/Parent 2 0 R/Kids[9 0 R]/Resources/Bad/Rotate/No>>")
                                 .Object(9, "<</Type/Page/Parent 8 0 R>>")
                                 .Trailer("/Root 1 0 R")
                                 .Build();
    OpenedDocument opened(file);
    std::vector<std::string> pages;
    for (const CPdfPage& page : PagesOf(opened))
        pages.push_back(Describe(page.GetResources()) + " " + std::to_string(page.GetRotation()));
    EXPECT_EQ(pages, (std::vector<std::string>{"<</M /Node>> 180", "<</M /Own>> 270", "<</M /Node>> 180",
                                               "<</M /Root>> 90"}));
}
