// The joined form: every document's fields, each still its own field, with
// its value, its font and its alignment as in its own document.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "support/AppendTestKit.h"
#include "merge/CPdfFormMerge.h"

namespace {

// A one-page document with a form, written compactly: text field 4
// "name", field 5 "group" with the text fields 7 "a" and 8 "b" (8 with a
// /DA of its own), font 6 named /Helv in the form's /DR. formEntries go into
// /AcroForm beside /Fields ("none": no form at all); patch replaces object
// bodies; packed numbers are written as members of an object stream, the
// last one with nothing after it.
std::string FormPdf(const std::string& formEntries, const std::string& font,
                    const std::map<int, std::string>& patch = {}, const std::set<int>& packed = {})
{
    std::map<int, std::string> objects = {
        {1, formEntries == "none" ? "<</Type/Catalog/Pages 2 0 R>>"
                                  : "<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[4 0 R 5 0 R]" + formEntries + ">>>>"},
        {2, "<</Type/Pages/Kids[3 0 R]/Count 1>>"},
        {3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Annots[4 0 R 7 0 R 8 0 R]>>"},
        {4, "<</FT/Tx/T(name)/V(Alice)/Subtype/Widget/Rect[10 10 90 30]/P 3 0 R>>"},
        {5, "<</T(group)/FT/Tx/Kids[7 0 R 8 0 R]>>"},
        {6, "<</Type/Font/Subtype/Type1/BaseFont/" + font + ">>"},
        {7, "<</Parent 5 0 R/T(a)/V(x)/Subtype/Widget/Rect[10 40 90 60]/P 3 0 R>>"},
        {8, "<</Parent 5 0 R/T(b)/V(y)/DA(/Helv 9 Tf)/Subtype/Widget/Rect[10 70 90 90]/P 3 0 R>>"},
    };
    for (const auto& [number, body] : patch)
        objects[number] = body;
    PdfAssembler a("%PDF-1.5");
    std::vector<std::pair<int, std::string>> members;
    for (const auto& [number, body] : objects)
        packed.count(number) ? members.push_back({number, body}) : void(a.Object(number, body));
    if (!members.empty())
        a.ObjectStream(90, members);
    a.StartXRef(a.XRefStream(91, {}, "/Root 1 0 R"));
    return a.Bytes();
}

const std::string kForm = "/DA(/Helv 0 Tf 0 g)/DR<</Font<</Helv 6 0 R>>>>";

// The form of a written file, read back.
struct Form : Result {
    explicit Form(const std::string& path) : Result(path) {}
    std::string Entry(const char* key) const  // an array by its size
    {
        const CPdfObject value = (*this)[std::string("AcroForm/") + key];
        return value.GetKind() == OBJ_ARRAY ? "[" + std::to_string(value.GetArray()->GetSize()) + "]" : Text(value);
    }

    // Each terminal field as "full.name=value@BaseFont" (the font its
    // effective /DA names, looked up as poppler does: in the nearest own
    // /DR when there is one, else in the form's), with "/Qn" when its
    // alignment is not 0, and "#object" with objects.
    std::vector<std::string> Fields(bool objects = false) const
    {
        std::vector<std::string> out;
        const CPdfObject form = (*this)["AcroForm"];
        Walk(At(form, "Fields"), "", Text(At(form, "DA")), CPdfObject(), At(form, "Q"), objects, out, 0);
        return out;
    }
    void Walk(const CPdfObject& kids, const std::string& prefix, const std::string& da, const CPdfObject& dr,
              const CPdfObject& q, bool objects, std::vector<std::string>& out, int depth) const
    {
        for (int32_t i = 0; kids.GetKind() == OBJ_ARRAY && i < kids.GetArray()->GetSize() && depth < 20; ++i) {
            CPdfObject ref, field;
            kids.GetArray()->GetRaw(i, ref);
            kids.GetArray()->Get(i, field);
            const CPdfObject t = At(field, "T"), ownDa = At(field, "DA"), ownDr = At(field, "DR"), ownQ = At(field, "Q");
            const std::string name = prefix + (t.GetKind() == OBJ_STRING && !prefix.empty() ? "." : "") + Text(t);
            const std::string effectiveDa = ownDa.GetKind() == OBJ_STRING ? Text(ownDa) : da;
            const CPdfObject& effectiveDr = ownDr.GetKind() == OBJ_DICTIONARY ? ownDr : dr;
            const CPdfObject& effectiveQ = ownQ.GetKind() == OBJ_INTEGER ? ownQ : q;
            if (At(field, "Kids").GetKind() == OBJ_ARRAY) {
                Walk(At(field, "Kids"), name, effectiveDa, effectiveDr, effectiveQ, objects, out, depth + 1);
                continue;
            }
            const std::string align = Text(effectiveQ) == "" || Text(effectiveQ) == "0" ? "" : "/Q" + Text(effectiveQ);
            out.push_back(name + "=" + Text(At(field, "V")) + "@" + FontOf(effectiveDa, effectiveDr) + align +
                          (objects ? "#" + std::to_string(ref.GetRefNum()) : ""));
        }
    }

    // The /BaseFont of the font the appearance string names.
    std::string FontOf(const std::string& da, const CPdfObject& ownDr) const
    {
        const size_t tf = da.find(" Tf"), slash = da.rfind('/', tf);
        if (tf == std::string::npos || slash == std::string::npos)
            return "no font";
        const std::string name = da.substr(slash + 1, da.find(' ', slash) - slash - 1);
        const CPdfObject dr = ownDr.GetKind() == OBJ_DICTIONARY ? ownDr : (*this)["AcroForm/DR"];
        const CPdfObject font = At(dr, "Font/" + name);
        return font.GetKind() == OBJ_DICTIONARY ? Text(At(font, "BaseFont")).substr(1) : "missing " + name;
    }
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kHelvetica = {"name=Alice@Helvetica", "group.a=x@Helvetica", "group.b=y@Helvetica"};
const std::vector<std::string> kRenamed = {"name-2=Alice@Helvetica", "group-2.a=x@Helvetica",
                                           "group-2.b=y@Helvetica"};
const std::vector<std::string> kCourier = {"name-2=Alice@Courier", "group-2.a=x@Courier", "group-2.b=y@Courier"};

}  // namespace

TEST(CPdfFormMergeTest, EveryDocumentsFieldsStayFieldsOfTheirOwnWithTheirFonts)
{
    const std::string helvetica = FormPdf(kForm, "Helvetica"), courier = FormPdf(kForm, "Courier");
    const std::string nameless =
        FormPdf(kForm, "Helvetica",
                {{1, "<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[4 0 R 5 0 R 9 0 R]" + kForm + ">>>>"},
                 {3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Annots[4 0 R 7 0 R 8 0 R 9 0 R]>>"},
                 {9, "<</FT/Btn/Ff 65536/DA(/ZaDb 0 Tf)/Subtype/Widget/Rect[0 0 9 9]>>"}});
    const struct {
        const char* what;
        std::string first, second;
        std::vector<std::string> fields;
    } cases[] = {
        {"appended to itself", helvetica, helvetica, Join(kHelvetica, kRenamed)},
        // A nameless button without a page: equal in both documents and
        // not edited, yet a field of each.
        {"a field equal in both", nameless, nameless, Join(Join(kHelvetica, {"=@missing ZaDb"}), Join(kRenamed, {"=@missing ZaDb"}))},
        // The same resource name for another font: the second one is renamed
        // and the second document's appearance strings follow.
        {"another font under the same name", helvetica, courier, Join(kHelvetica, kCourier)},
        {"fields in an object stream", helvetica, FormPdf(kForm, "Courier", {}, {1, 4, 5, 8}),
         Join(kHelvetica, kCourier)},
        // Names compared as text: a hexadecimal and a UTF-16 "name" collide too.
        {"names written otherwise", helvetica,
         FormPdf(kForm, "Courier",
                 {{4, "<</FT/Tx/T<FEFF006E0061006D0065>/V(Alice)/Subtype/Widget/Rect[10 10 90 30]/P 3 0 R>>"},
                  {5, "<</T<67726f7570>/FT/Tx/Kids[7 0 R 8 0 R]>>"}}),
         {"name=Alice@Helvetica", "group.a=x@Helvetica", "group.b=y@Helvetica",
          std::string("\xFE\xFF\0n\0a\0m\0e\0-\0" "2", 14) + "=Alice@Courier", "group-2.a=x@Courier",
          "group-2.b=y@Courier"}},
        // The second document's own names are not taken either.
        {"a new name already used", helvetica,
         FormPdf(kForm, "Courier", {{7, "<</T(name-2)/V(x)/Subtype/Widget/FT/Tx/Rect[10 40 90 60]/P 3 0 R>>"},
                                    {5, "<</T(group)/FT/Tx/Kids[8 0 R]>>"},
                                    {1, "<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[4 0 R 5 0 R 7 0 R]" + kForm +
                                            ">>>>"}}),
         Join(kHelvetica, {"name-3=Alice@Courier", "group-2.b=y@Courier", "name-2=x@Courier"})},
        // Only one document has a form: the result has it as it was.
        {"only the second has a form", FormPdf("none", "Helvetica"), courier,
         {"name=Alice@Courier", "group.a=x@Courier", "group.b=y@Courier"}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (bool compact : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (compact ? " /s" : ""));
            ASSERT_EQ(Append(dir, c.first, c.second, compact), "");
            const Form form(dir.File("out.pdf"));
            EXPECT_EQ(form.Fields(), c.fields);
            // Shared with an equal field of the first document, a field
            // would be one field on two pages.
            std::set<std::string> numbers;
            for (const std::string& f : form.Fields(true))
                numbers.insert(f.substr(f.find('#')));
            EXPECT_EQ(numbers.size(), c.fields.size());
        }
    }
    // Only the first document has a form: its catalog is copied untouched.
    ASSERT_EQ(Append(dir, helvetica, FormPdf("none", "Courier"), false), "");
    EXPECT_NE(ReadFile(dir.File("out.pdf")).find("/AcroForm<</Fields[4 0 R 5 0 R]" + kForm + ">>"), std::string::npos);
}

TEST(CPdfFormMergeTest, DocumentLevelEntriesAreJoined)
{
    const std::string first = FormPdf(kForm + "/SigFlags 1/CO[4 0 R]/XFA 6 0 R/NeedAppearances false", "Helvetica");
    const std::string second = FormPdf(kForm + "/SigFlags 2/CO[4 0 R 7 0 R]/NeedAppearances true", "Helvetica");
    const std::string plain = FormPdf(kForm, "Helvetica");
    // A form asking for appearances it brings itself, and a signed one (the
    // signature a field with widgets below it).
    const std::string ap = "/AP<</N<</Off 6 0 R>>>>/Subtype/Widget";
    const std::string drawn = FormPdf(kForm + "/NeedAppearances true", "Helvetica",
                                      {{4, "<</FT/Tx/T(name)/V(Alice)" + ap + "/Rect[10 10 90 30]>>"},
                                       {7, "<</Parent 5 0 R/T(a)" + ap + "/Rect[10 40 90 60]>>"},
                                       {8, "<</Parent 5 0 R/T(b)/AP<</N 6 0 R>>/Subtype/Widget/Rect[1 7 9 9]>>"}});
    const std::string signedForm = FormPdf(kForm + "/SigFlags 3", "Helvetica",
                                           {{5, "<</T(group)/FT/Sig/Kids[7 0 R 8 0 R]>>"},
                                            {7, "<</Parent 5 0 R/T(a)/V<</Type/Sig>>/Subtype/Widget/Rect[1 4 9 6]>>"}});
    // /NeedAppearances, /SigFlags, /CO. It would have a reader draw the
    // signature anew, so it stays only where a widget has no appearance.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {first, second, "true 3 [3]"},  {second, first, "true 3 [3]"},      {first, plain, "false 1 [1]"},
        {plain, plain, "  "},           {drawn, signedForm, " 3 "},         {signedForm, drawn, " 3 "},
        {drawn, plain, "true  "},       {second, signedForm, "true 3 [2]"}};
    TempDir dir;
    for (const auto& [a, b, entries] : cases) {
        ASSERT_EQ(Append(dir, a, b, false), "");
        const Form form(dir.File("out.pdf"));
        EXPECT_EQ(form.Entry("NeedAppearances") + " " + form.Entry("SigFlags") + " " + form.Entry("CO"), entries);
        EXPECT_EQ(form.Entry("Fields") + form.Entry("DA"), "[4]/Helv 0 Tf 0 g");
        // Form data for one document would misdescribe the joined form.
        EXPECT_EQ(form.Entry("XFA"), "");
    }
}

TEST(CPdfFormMergeTest, InheritedAppearanceAndAlignmentStayWithTheirFields)
{
    // The second form gives its fields another font and right alignment;
    // its field b and the LibreOffice-style fields with their own /DR keep
    // what they said themselves.
    const std::string first = FormPdf(kForm, "Helvetica");
    const std::string cour = "/DA(0 g /Helv 11 Tf)/Q 2/DR<</Font<</Helv 6 0 R/Cour 9 0 R>>>>";
    const std::string second = FormPdf(cour, "Times-Roman", {{9, "<</Type/Font/Subtype/Type1/BaseFont/Courier>>"}});
    const std::string ownDr = FormPdf(
        "/DR<</Font 9 0 R>>/DA(/Helv 0 Tf 0 g)", "Symbol",
        {{9, "<</Helv 6 0 R>>"},
         {4, "<</FT/Tx/T(name)/V(Alice)/DA(/Helv 8 Tf)/DR<</Font 9 0 R>>/Subtype/Widget/Rect[10 10 90 30]/P 3 0 R>>"},
         {7, "<</Parent 5 0 R/T(a)/V(x)/DA(/Helv 7 Tf)/DR<</Font<</Helv 6 0 R>>>>/Subtype/Widget/P 3 0 R>>"},
         {5, "<</T(group)/FT/Tx/Kids[7 0 R 8 0 R]/DR 10 0 R>>"},
         {10, "<</Font<</Helv 6 0 R>>/ProcSet[/PDF/Text]>>"}});
    const struct {
        std::string first, second;
        std::vector<std::string> fields;
    } cases[] = {
        {first, second,
         Join(kHelvetica, {"name-2=Alice@Times-Roman/Q2", "group-2.a=x@Times-Roman/Q2", "group-2.b=y@Times-Roman/Q2"})},
        {second, first,
         {"name=Alice@Times-Roman/Q2", "group.a=x@Times-Roman/Q2", "group.b=y@Times-Roman/Q2",
          "name-2=Alice@Helvetica", "group-2.a=x@Helvetica", "group-2.b=y@Helvetica"}},
        {first, ownDr, Join(kHelvetica, {"name-2=Alice@Symbol", "group-2.a=x@Symbol", "group-2.b=y@Symbol"})},
    };
    TempDir dir;
    for (const auto& c : cases) {
        for (bool compact : {false, true}) {
            ASSERT_EQ(Append(dir, c.first, c.second, compact), "");
            EXPECT_EQ(Form(dir.File("out.pdf")).Fields(), c.fields);
        }
    }
    // The font names every /DA uses are in the joined /DR.
    ASSERT_EQ(Append(dir, first, second, false), "");
    EXPECT_EQ(Form(dir.File("out.pdf")).FontOf("/Cour 9 Tf", CPdfObject()), "Courier");
}

TEST(CPdfFormMergeTest, FieldTreesThatLinkBackEndAndNamesNeedNotBeOnTop)
{
    // Field 5 lists itself and its parent among its kids; field 4 has no
    // name, so its kid 7 carries the first part of the name.
    const std::string looped = FormPdf(
        kForm, "Courier",
        {{5, "<</T(group)/FT/Tx/Kids[7 0 R 5 0 R 8 0 R]>>"}, {4, "<</Kids[7 0 R]>>"},
         {7, "<</Parent 4 0 R/T(name)/FT/Tx/V(x)/Subtype/Widget/Rect[10 40 90 60]/P 3 0 R>>"}});
    TempDir dir;
    ASSERT_EQ(Append(dir, FormPdf(kForm, "Helvetica"), looped, false), "");
    const Form form(dir.File("out.pdf"));
    // The first document's table has 92 entries.
    EXPECT_EQ(Text(At(form.Object(7 + 91), "T")) + Text(At(form.Object(5 + 91), "T")), "name-2group-2");
    EXPECT_EQ(Text(At(form.Object(8 + 91), "T")), "b");  // below group-2
    EXPECT_EQ(form.Entry("Fields"), "[4]");

    // A field /Fields lists twice gets its inherited /DA once.
    const std::string twice = FormPdf(
        "/DA(/Helv 9 Tf)", "Courier",
        {{1, "<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[4 0 R 5 0 R 4 0 R]/DA(/Helv 9 Tf)>>>>"}});
    ASSERT_EQ(Append(dir, FormPdf(kForm, "Helvetica"), twice, false), "");
    const std::string text = ObjectText(ReadFile(dir.File("out.pdf")), 4 + 91);
    EXPECT_NE(text.find("/DA"), std::string::npos) << text;
    EXPECT_EQ(text.find("/DA"), text.rfind("/DA")) << text;
}
