// The joined optional content: every document's groups, each as visible in
// the result's default configuration as it was in its own document.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "append/AppendTestKit.h"
#include "append/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfString.h"

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

// The result's optional content, read back.
struct Layers {
    CPdfDocument doc;
    CPdfObject properties, config;
    explicit Layers(const std::string& path)
    {
        doc.Open(path);
        CPdfObject catalog;
        doc.GetXRef()->FetchObject(doc.GetXRef()->GetRootNum(), doc.GetXRef()->GetRootGen(), catalog);
        catalog.GetDictionary()->Lookup("OCProperties", properties);
        if (properties.GetKind() == OBJ_DICTIONARY)
            properties.GetDictionary()->Lookup("D", config);
    }
    // The references of an array in the default configuration (or in the
    // properties), by object number.
    std::vector<int32_t> Numbers(const CPdfObject& dict, const char* key) const
    {
        std::vector<int32_t> out;
        CPdfObject array;
        if (dict.GetKind() == OBJ_DICTIONARY)
            dict.GetDictionary()->Lookup(key, array);
        for (int32_t i = 0; array.GetKind() == OBJ_ARRAY && i < array.GetArray()->GetSize(); ++i) {
            CPdfObject element;
            array.GetArray()->GetRaw(i, element);
            out.push_back(element.GetKind() == OBJ_REFERENCE ? element.GetRefNum() : -1);
        }
        return out;
    }
    int Size(const char* key) const
    {
        CPdfObject array;
        if (config.GetKind() == OBJ_DICTIONARY)
            config.GetDictionary()->Lookup(key, array);
        return array.GetKind() == OBJ_ARRAY ? array.GetArray()->GetSize() : -1;
    }
    // "name+" or "name-" for each group in /OCGs, as a viewer starts it:
    // the base state, then /ON, then /OFF.
    std::string States() const
    {
        CPdfObject base;
        if (config.GetKind() == OBJ_DICTIONARY)
            config.GetDictionary()->Lookup("BaseState", base);
        const bool startsOn = !(base.GetKind() == OBJ_NAME && std::string(base.GetText()) == "OFF");
        const std::vector<int32_t> on = Numbers(config, "ON"), off = Numbers(config, "OFF");
        std::string out;
        std::set<int32_t> numbers;
        for (int32_t g : Numbers(properties, "OCGs")) {
            CPdfObject group, name;
            doc.GetXRef()->FetchObject(g, 0, group);
            group.GetDictionary()->Lookup("Name", name);
            bool state = startsOn;
            if (std::find(on.begin(), on.end(), g) != on.end())
                state = true;
            if (std::find(off.begin(), off.end(), g) != off.end())
                state = false;
            out += name.GetString()->GetValue() + (state ? "+ " : "- ");
            if (!numbers.insert(g).second)
                out += "(shared) ";
        }
        return out;
    }
};

}  // namespace

TEST(LayerMerge, EveryGroupStartsAsItDidInItsOwnDocument)
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
            EXPECT_EQ(Layers(dir.File("out.pdf")).States(), c.states);
        }
    }
    // Equal groups of both documents stay two groups under /s: shared, the
    // second document's content would follow the first's states.
    ASSERT_EQ(Append(dir, LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("a", "/BaseState/OFF"), true), "");
    EXPECT_EQ(Layers(dir.File("out.pdf")).States(), "a1+ a2- a1- a2- ");
    // Only the first document has layers: its catalog is copied untouched.
    ASSERT_EQ(Append(dir, LayerPdf("a", "/OFF[6 0 R]"), LayerPdf("b", "none"), false), "");
    EXPECT_NE(ReadFile(dir.File("out.pdf")).find("/OCProperties<</OCGs[5 0 R 6 0 R]/D<</OFF[6 0 R]>>>>"),
              std::string::npos);
}

TEST(LayerMerge, ListsOfTheDefaultConfigurationAreJoined)
{
    const std::string first =
        LayerPdf("a", "/Order[5 0 R 6 0 R]/RBGroups[[5 0 R 6 0 R]]/Locked[5 0 R]/AS[<</Event/View/OCGs[5 0 R]>>]/Name(A)",
                 "/Configs[<</Name(alt)/OFF[5 0 R]>>]");
    const std::string second = LayerPdf("b", "/Order[(b)[5 0 R 6 0 R]]/Locked[6 0 R]/Name(B)");
    const std::string bare = LayerPdf("c", "/BaseState/OFF");
    const struct {
        std::string first, second;
        int order, rbGroups, locked, as;
        const char* name;
    } cases[] = {
        {first, second, 4, 1, 2, 1, "A"},
        {second, first, 4, 1, 2, 1, "B"},
        // A document without /Order lists its groups in the order of /OCGs.
        {bare, second, 4, -1, 1, -1, ""},
        {second, bare, 4, -1, 1, -1, "B"},
        {bare, bare, -1, -1, -1, -1, ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_EQ(Append(dir, c.first, c.second, false), "");
        const Layers layers(dir.File("out.pdf"));
        EXPECT_EQ(layers.Size("Order"), c.order);
        EXPECT_EQ(layers.Size("RBGroups"), c.rbGroups);
        EXPECT_EQ(layers.Size("Locked"), c.locked);
        EXPECT_EQ(layers.Size("AS"), c.as);
        CPdfObject name;
        layers.config.GetDictionary()->Lookup("Name", name);
        EXPECT_EQ(name.GetKind() == OBJ_STRING ? name.GetString()->GetValue() : "", c.name);
        EXPECT_EQ(layers.Numbers(layers.properties, "OCGs").size(), 4u);
    }
    // The first document's other configurations stay.
    ASSERT_EQ(Append(dir, first, second, false), "");
    CPdfObject configs;
    Layers(dir.File("out.pdf")).properties.GetDictionary()->Lookup("Configs", configs);
    EXPECT_EQ(configs.GetKind(), OBJ_ARRAY);
}
