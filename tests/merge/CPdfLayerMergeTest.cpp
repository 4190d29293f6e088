// The joined optional content: every document's groups, each as visible in
// the result's default configuration as it was in its own document.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/AppendTestKit.h"

namespace {

// One page and the groups 5 and 6 named prefix1 and prefix2, listed in
// /OCGs; config is the default configuration's entries ("none": no
// optional content at all, "no /D": no default configuration), more goes
// beside /OCGs and /D.
std::string LayerPdf(const std::string& prefix, const std::string& config, const std::string& more = "")
{
    PdfBuilder b;
    const std::string d = config == "no /D" ? "" : "/D<<" + config + ">>";
    b.Object(1, config == "none" ? "<</Type/Catalog/Pages 2 0 R>>"
                                 : "<</Type/Catalog/Pages 2 0 R/OCProperties<</OCGs[5 0 R 6 0 R]" + d + more + ">>>>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</Properties<</L1 5 0 R/L2 6 0 R>>>>>>");
    b.Object(5, "<</Type/OCG/Name(" + prefix + "1)>>");
    b.Object(6, "<</Type/OCG/Name(" + prefix + "2)>>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The object numbers of the references in an array (-1 for other elements).
std::vector<int> Numbers(const CPdfObject& array)
{
    std::vector<int> out;
    for (int32_t i = 0; array.GetKind() == OBJ_ARRAY && i < array.GetArray()->GetSize(); ++i) {
        CPdfObject element;
        array.GetArray()->GetRaw(i, element);
        out.push_back(element.GetKind() == OBJ_REFERENCE ? element.GetRefNum() : -1);
    }
    return out;
}

// "name+" or "name-" for each group in the result's /OCGs, as a viewer
// starts it: the base state, then /ON, then /OFF; "(shared)" after a group
// listed twice.
std::string States(const std::string& path)
{
    const Result result(path);
    const CPdfObject d = result["OCProperties/D"], groups = result["OCProperties/OCGs"];
    const std::vector<int> all = Numbers(groups), on = Numbers(At(d, "ON")), off = Numbers(At(d, "OFF"));
    const auto count = [](const std::vector<int>& list, int n) { return std::count(list.begin(), list.end(), n); };
    std::string out;
    for (size_t i = 0; i < all.size(); ++i) {
        const bool shown = !count(off, all[i]) && (count(on, all[i]) || Text(At(d, "BaseState")) != "/OFF");
        out += Text(At(groups, std::to_string(i) + "/Name")) + (shown ? "+ " : "- ") +
               (count(all, all[i]) > 1 ? "(shared) " : "");
    }
    return out;
}

}  // namespace

TEST(CPdfLayerMergeTest, EveryGroupStartsAsItDidInItsOwnDocument)
{
    const struct {
        std::string first, second, states;
    } cases[] = {
        {LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("b", "/OFF[6 0 R]"), "a1+ a2- b1+ b2- "},
        {LayerPdf("a", "/BaseState/OFF/ON[5 0 R]"), LayerPdf("b", "/OFF[6 0 R]"), "a1+ a2- b1+ b2- "},
        {LayerPdf("a", ""), LayerPdf("b", "/BaseState/OFF/ON[5 0 R]"), "a1+ a2+ b1+ b2- "},
        {LayerPdf("a", "/BaseState/OFF"), LayerPdf("b", "/BaseState/Unchanged/OFF[6 0 R]"), "a1- a2- b1+ b2- "},
        // Listed in both: the last word, /OFF, wins.
        {LayerPdf("a", ""), LayerPdf("b", "/ON[5 0 R]/OFF[5 0 R]"), "a1+ a2+ b1- b2+ "},
        {LayerPdf("a", "/BaseState/OFF"), LayerPdf("b", "/BaseState/ON"), "a1- a2- b1+ b2+ "},
        // No default configuration: every group starts ON.
        {LayerPdf("a", "/BaseState/OFF"), LayerPdf("b", "no /D"), "a1- a2- b1+ b2+ "},
        // Only one document has layers: the result has them with their states.
        {LayerPdf("a", "none"), LayerPdf("b", "/BaseState/OFF/ON[5 0 R]"), "b1+ b2- "},
        {LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("b", "none"), "a1+ a2- "},
        {LayerPdf("a", "none"), LayerPdf("b", "none"), ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (bool compact : {false, true}) {
            SCOPED_TRACE(c.states + (compact ? "/s" : ""));
            ASSERT_EQ(Append(dir, c.first, c.second, compact), "");
            EXPECT_EQ(States(dir.File("out.pdf")), c.states);
        }
    }
    // Equal groups of both documents stay two groups under /s: shared, the
    // second document's content would follow the first's states.
    ASSERT_EQ(Append(dir, LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("a", "/BaseState/OFF"), true), "");
    EXPECT_EQ(States(dir.File("out.pdf")), "a1+ a2- a1- a2- ");
    // Only the first document has layers: its catalog is copied untouched.
    ASSERT_EQ(Append(dir, LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("b", "none"), false), "");
    EXPECT_NE(ReadFile(dir.File("out.pdf")).find("/OCProperties<</OCGs[5 0 R 6 0 R]/D<</OFF[6 0 R]>>>>"),
              std::string::npos);
}

TEST(CPdfLayerMergeTest, ListsOfTheDefaultConfigurationAreJoined)
{
    const std::string first =
        LayerPdf("a", "/Order[5 0 R 6 0 R]/RBGroups[[5 0 R 6 0 R]]/Locked[5 0 R]/AS[<</Event/View/OCGs[5 0 R]>>]/Name(A)",
                 "/Configs[<</Name(alt)/OFF[5 0 R]>>]");
    const std::string second = LayerPdf("b", "/Order[(b)[5 0 R 6 0 R]]/Locked[6 0 R]/Name(B)");
    const std::string bare = LayerPdf("c", "/BaseState/OFF");
    // The sizes of /Order, /RBGroups, /Locked and /AS (-1: none), /Name.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {first, second, "4 1 2 1 A"},
        {second, first, "4 1 2 1 B"},
        // A document without /Order lists its groups in the order of /OCGs.
        {bare, second, "4 -1 1 -1 "},
        {second, bare, "4 -1 1 -1 B"},
        {bare, bare, "-1 -1 -1 -1 "},
    };
    TempDir dir;
    for (const auto& [a, b, expected] : cases) {
        ASSERT_EQ(Append(dir, a, b, false), "");
        const Result result(dir.File("out.pdf"));
        std::string sizes;
        for (const char* key : {"Order", "RBGroups", "Locked", "AS"}) {
            const CPdfObject array = result[std::string("OCProperties/D/") + key];
            sizes += std::to_string(array.GetKind() == OBJ_ARRAY ? array.GetArray()->GetSize() : -1) + " ";
        }
        EXPECT_EQ(sizes + Text(result["OCProperties/D/Name"]), expected);
        EXPECT_EQ(Numbers(result["OCProperties/OCGs"]).size(), 4u);
        if (a == first) {  // its other configurations stay
            EXPECT_EQ(result["OCProperties/Configs"].GetKind(), OBJ_ARRAY);
        }
    }
}
