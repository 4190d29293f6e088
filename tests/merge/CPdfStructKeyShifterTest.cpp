// Parent-tree keys moved into an input's range, and keys its tree cannot
// resolve taken out, in text as producers write it.
#include <gtest/gtest.h>

#include <string>

#include "merge/CPdfStructKeyShifter.h"
#include "merge/CPdfStructNameRenamer.h"

namespace {

std::string Apply(const CPdfTextTransform& t, const std::string& text)
{
    std::string out;
    return t.Transform(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), out)
               ? out
               : "same";
}

}  // namespace

TEST(CPdfStructKeyShifterTest, KeysMoveByTheOffsetAndKeysOutsideTheRangeGo)
{
    const CPdfStructKeyShifter shift(100, 5);
    EXPECT_EQ(Apply(shift, "3 0 obj\n<</Type/Page/StructParents 4/Annots[<</StructParent\n2>>]>>\nendobj\n"),
              "3 0 obj\n<</Type/Page/StructParents 104/Annots[<</StructParent\n102>>]>>\nendobj\n");
    // 5 is beyond the tree; a key that is no integer names nothing either.
    EXPECT_EQ(Apply(shift, "<</StructParents 5/Type/Page>>"), "<</Type/Page>>");
    EXPECT_EQ(Apply(shift, "<</A 1/StructParent(x)/B 2>>"), "<</A 1/B 2>>");
    EXPECT_EQ(Apply(shift, "<</StructParent 1 0 R>>"), "<<>>");
    // Not a key: a value, a string, stream data, or another name.
    EXPECT_EQ(Apply(shift, "<</K/StructParents/L(/StructParents 1)/StructParentsX 1>>"), "same");
    EXPECT_EQ(Apply(shift, "<</Length 18>>stream\n/StructParents 1\nendstream"), "same");
    EXPECT_EQ(Apply(shift, "<</A[1 2]/Subtype/Form/StructParents 0>>stream\nq\nendstream"),
              "<</A[1 2]/Subtype/Form/StructParents 100>>stream\nq\nendstream");
    // The first document keeps its keys: nothing changes where all are in range.
    EXPECT_EQ(Apply(CPdfStructKeyShifter(0, 5), "<</StructParents 4>>"), "same");
    EXPECT_EQ(Apply(CPdfStructKeyShifter(0, 0), "<</StructParents 0/X 1>>"), "<</X 1>>");
}

TEST(CPdfStructNameRenamerTest, ElementsTakeTheNewRolesClassesAndHeaderIds)
{
    const CPdfStructNameRenamer rename({{{"Custom", "Custom-2"}, {"Odd#", "Odd-2"}}, {{"Cls", "Cls-2"}}, {{"x", "x-2"}}});
    EXPECT_EQ(Apply(rename, "<</S/Custom/P 4 0 R/K 0>>"), "<</S/Custom-2/P 4 0 R/K 0>>");
    EXPECT_EQ(Apply(rename, "<</K[<</P 5 0 R/S /Custom>>]/S/Custom/P 4 0 R>>"),
              "<</K[<</P 5 0 R/S /Custom-2>>]/S/Custom-2/P 4 0 R>>");
    EXPECT_EQ(Apply(rename, "<</S/Odd#23/P 4 0 R>>"), "<</S/Odd-2/P 4 0 R>>");
    // An action or a border style has /S but no /P; other roles stay.
    EXPECT_EQ(Apply(rename, "<</S/Custom/D 4 0 R>>"), "same");
    EXPECT_EQ(Apply(rename, "<</S/P/P 4 0 R/Alt(Custom)>>"), "same");
    EXPECT_EQ(Apply(rename, "<</S/CustomX/P 4 0 R>>"), "same");
    // Classes: one name or an array of names (with revision numbers).
    EXPECT_EQ(Apply(rename, "<</C/Cls/P 4 0 R>>"), "<</C/Cls-2/P 4 0 R>>");
    EXPECT_EQ(Apply(rename, "<</P 4 0 R/C[/Other/Cls 1]>>"), "<</P 4 0 R/C[/Other/Cls-2 1]>>");
    EXPECT_EQ(Apply(rename, "<</O/Cls/C/Cls>>"), "same");
    // Header cells named by ID, in an attribute dictionary of their own.
    EXPECT_EQ(Apply(rename, "<</O/Table/Headers[(x)<79>(x-1)]>>"), "<</O/Table/Headers[<782d32><79>(x-1)]>>");
    EXPECT_EQ(Apply(rename, "<</ID(x)/T(x)/Headers(x)>>"), "same");
}
