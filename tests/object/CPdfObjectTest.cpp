// The object model: CPdfObject (counts on shared payloads, deep copies of
// owned text, one-level dereferencing), CPdfDictionary and CPdfArray (Lookup
// and Get follow a reference, the Raw forms do not) and CPdfString.
#include <gtest/gtest.h>

#include "support/ObjectTestKit.h"

TEST(CPdfObjectTest, SharedPayloadLivesUntilTheLastHolderClearsAndOwnedTextIsCopied)
{
    // The test's own count on the dictionary shows who else holds it; the
    // sanitizer run finds what is released too early or never.
    CPdfObject inner, outer, found;
    CPdfDictionary* dict = inner.SetNewDictionary(nullptr);
    outer.SetNewDictionary(nullptr)->Add("Inner", inner);
    CPdfObject copy(outer);
    outer.Clear();
    copy.GetDictionary()->Lookup("Inner", found);
    EXPECT_EQ(found.GetDictionary(), dict);
    found = CPdfObject();  // assignment lets go of the old payload
    EXPECT_EQ(dict->GetRefCount(), 2);  // the outer dictionary still holds it
    {
        CPdfObject scoped(inner), moved;
        const CPdfObject& alias = scoped;
        scoped = alias;  // self-assignment keeps the count
        moved = std::move(scoped);
        moved.SetInt(3);  // a setter lets go of the old payload too
        EXPECT_EQ(scoped.GetKind(), OBJ_NONE);
        EXPECT_EQ(dict->GetRefCount(), 2);
        scoped = inner;
    }
    copy.Clear();
    EXPECT_EQ(dict->GetRefCount(), 1);  // destroyed, and released what it held

    outer.SetString(CPdfString(reinterpret_cast<const uint8_t*>("a\0b"), 3));
    inner.SetName("Pages");
    CPdfObject stringCopy(outer), nameCopy(inner);
    EXPECT_TRUE(stringCopy.GetString() != outer.GetString() && nameCopy.GetText() != inner.GetText());
    outer.Clear();
    inner.Clear();
    EXPECT_EQ(Describe(stringCopy) + Describe(nameCopy), "(a\\x00b)/Pages");
}

TEST(CPdfObjectTest, FetchDereferencesOneLevel)
{
    MapResolver resolver;
    resolver.objects[{5, 2}].SetReference(6, 0);  // a reference to a reference
    CPdfObject ref, missing, name, out;
    ref.SetReference(5, 2);
    missing.SetReference(5, 0);  // generation mismatch
    name.SetName("R");
    std::string got;
    for (const auto& [value, res] : std::vector<std::pair<CPdfObject*, CPdfResolver*>>{
             {&ref, &resolver}, {&ref, nullptr}, {&missing, &resolver}, {&name, &resolver}})
        got += (value->Fetch(res, out), Describe(out)) + ";";
    EXPECT_EQ(got, "6 0 R;5 2 R;null;/R;");
    EXPECT_EQ(resolver.calls, 2);  // only references reach the resolver
}

TEST(CPdfDictionaryTest, KeysInUnsignedByteOrderLookupAgainstLookupRawAndIsType)
{
    MapResolver resolver;
    resolver.objects[{5, 0}] = ParseOne("<< /Count 3 >>");
    resolver.objects[{4, 0}].SetName("Page");
    CPdfObject keys = ParseOne("<< /Size 1 /Root 2 /\xC3\xA9t\xC3\xA9 3 /Type2 4 /Prev 5 /ID 6 /Type 7 /z 8 >>");
    EXPECT_EQ(Describe(keys),
              "<</ID i:6 /Prev i:5 /Root i:2 /Size i:1 /Type i:7 /Type2 i:4 /z i:8 /\xC3\xA9t\xC3\xA9 i:3>>");
    EXPECT_EQ(keys.GetDictionary()->GetKey(8), "");

    CPdfObject parsed = ParseOne("<< /Pages 5 0 R /Other 9 0 R /N null >>", &resolver), out;
    std::string got;
    for (CPdfResolver* r : {&resolver, static_cast<MapResolver*>(nullptr)}) {
        parsed.GetDictionary()->SetResolver(r);
        for (const char* key : {"Pages", "Other", "N", "Missing"}) {
            got += (parsed.GetDictionary()->LookupRaw(key, out), Describe(out)) + " | ";
            got += (parsed.GetDictionary()->Lookup(key, out), Describe(out)) + "; ";
        }
    }
    EXPECT_EQ(got, "5 0 R | <</Count i:3>>; 9 0 R | null; null | null; null | null; "
                   "5 0 R | 5 0 R; 9 0 R | 9 0 R; null | null; null | null; ");
    EXPECT_EQ(resolver.calls, 2);

    EXPECT_TRUE(ParseOne("<< /Type /Page >>").GetDictionary()->IsType("Page"));
    for (const char* text : {"<< /Type /Pages >>", "<< /Type /Pag >>", "<< /Type (Page) >>", "<< /Type 4 0 R >>",
                             "<< /Subtype /Page >>"})
        EXPECT_FALSE(ParseOne(text, &resolver).GetDictionary()->IsType("Page")) << text;
}

TEST(CPdfArrayTest, GetFollowsReferencesGetRawDoesNotAndOutOfRangeIsNull)
{
    MapResolver resolver;
    resolver.objects[{7, 0}].SetName("Seven");
    CPdfObject resolved = ParseOne("[1 7 0 R /N]", &resolver), unresolved = ParseOne("[1 7 0 R /N]"), out;
    std::string got;
    for (int32_t i : {0, 1, 2, 3, -1}) {
        got += (resolved.GetArray()->Get(i, out), Describe(out)) + " ";
        got += (resolved.GetArray()->GetRaw(i, out), Describe(out)) + " ";
        got += (unresolved.GetArray()->Get(i, out), Describe(out)) + "; ";
    }
    EXPECT_EQ(got, "i:1 i:1 i:1; /Seven 7 0 R 7 0 R; /N /N /N; null null null; null null null; ");
    EXPECT_EQ(resolver.calls, 1);
}

TEST(CPdfStringTest, KeepsItsBytesGivesTheWrittenHexadecimalFormAndDecodesIt)
{
    // Literal bytes become lowercase hex pairs; hexadecimal text comes back as written.
    CPdfString literal(reinterpret_cast<const uint8_t*>("\0A\0\xFF"), 4), hex("41 4z\n");
    hex.SetLiteral(false);
    const CPdfString copy(literal), hexCopy(hex);
    EXPECT_EQ(copy.GetHexText() + copy.GetHexText(), "<004100ff><004100ff>");  // unchanged by the first call
    EXPECT_EQ(hexCopy.GetHexText() + CPdfString(nullptr, 0).GetHexText() + CPdfString("Az").GetHexText(),
              "<41 4z\n><><417a>");
    EXPECT_TRUE(copy.GetLength() == 4 && !hexCopy.IsLiteral());
    // A value: bytes other than hex digits are skipped; an odd last digit is followed by 0.
    for (const auto& [text, value] : std::vector<std::pair<std::string, std::string>>{
             {"41 4z\n2", "AB"}, {"41 4", "A@"}, {"", ""}, {"4", "@"}, {"6a6B", "jk"}, {"00ff", std::string("\0\xFF", 2)}}) {
        CPdfString s(text.c_str());
        s.SetLiteral(false);
        EXPECT_EQ(s.GetValue(), value) << text;
    }
    EXPECT_EQ(CPdfString("4142 (").GetValue(), "4142 (");  // a literal string is its own value
}
