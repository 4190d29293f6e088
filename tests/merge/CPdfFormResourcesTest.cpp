// Resource names in appearance strings, renamed where the joined form gave
// them new names.
#include <gtest/gtest.h>

#include <string>

#include "merge/CPdfFormResources.h"

TEST(CPdfFormResourcesTest, AppearanceStringsRenameTheResourcesTheirOperatorsUse)
{
    const CPdfFormResources::Renames renames = {{"Font", {{"Helv", "Helv-2"}, {"A B", "A B-2"}}},
                                                {"ColorSpace", {{"CS0", "CS0-2"}}}};
    const struct {
        std::string da, expected;
    } cases[] = {
        {"/Helv 0 Tf 0 g", "/Helv-2 0 Tf 0 g"},
        {"0.5 g/Helv 12 Tf", "0.5 g/Helv-2 12 Tf"},
        {"/He#6Cv 9 Tf", "/Helv-2 9 Tf"},
        {"/A#20B 9 Tf", "/A#20B-2 9 Tf"},
        {"/CS0 cs 1 scn /Helv 9 Tf", "/CS0-2 cs 1 scn /Helv-2 9 Tf"},
        // Names that are no font operand, or no name at all, stay.
        {"/Helv cs /CS0 9 Tf", ""},
        {"(/Helv) Tj /Times 9 Tf", ""},
        {"/Helv 9 Tf", "/Helv-2 9 Tf"},
        {"%/Helv 9 Tf\n/F1 9 Tf", ""},
    };
    for (const auto& c : cases) {
        std::string out = "unchanged";
        EXPECT_EQ(CPdfFormResources::RenameInAppearance(c.da, renames, out), !c.expected.empty()) << c.da;
        EXPECT_EQ(out, c.expected.empty() ? "unchanged" : c.expected) << c.da;
    }
}
