// The plan: edits applied together as an object is copied, the numbers it
// hands out, which later objects keep their own copy, and transforms run
// once per object.
#include <gtest/gtest.h>

#include "merge/CPdfTextTransform.h"
#include "support/MergeTestKit.h"

namespace {

// Doubles every "x"; counts the objects it looked at.
struct Doubler : CPdfTextTransform {
    mutable int calls = 0;
    bool Transform(const uint8_t* text, uint32_t length, std::string& out) const override
    {
        ++calls;
        const std::string in(reinterpret_cast<const char*>(text), length);
        if (in.find('x') == std::string::npos)
            return false;
        out.clear();
        for (char c : in)
            out += c == 'x' ? std::string("xx") : std::string(1, c);
        return true;
    }
};

std::string Edited(CPdfMergePlan& plan, size_t part, int32_t number, const std::string& text, uint32_t limit)
{
    std::string out;
    return plan.ApplyEdits(part, number, reinterpret_cast<const uint8_t*>(text.data()),
                           static_cast<uint32_t>(text.size()), limit, out)
               ? out
               : "unedited";
}

}  // namespace

TEST(CPdfMergePlanTest, EditsOfOneObjectApplyTogetherAndNeverInsideStreamData)
{
    PlannedInputs in({MinimalPdf(1), MinimalPdf(1)});
    CPdfMergePlan& plan = in.Plan();
    plan.SetKey(1, 4, "/A", "2");
    plan.RemoveKey(1, 4, "/B");
    plan.AppendToArray(1, 4, "/K", "7 0 R");
    plan.SetKey(1, 4, "/Length", "5");
    const std::string text = "4 0 obj\n<</B 5/K[1 0 R]/Length 4>>stream\n/B 6\nendstream\nendobj\n";
    const uint32_t limit = static_cast<uint32_t>(text.find("stream") + 6);
    const std::string out = Edited(plan, 1, 4, text, limit);
    EXPECT_EQ(Describe(ParseOne(out.substr(8, out.find("stream") - 8))), "<</A i:2 /K [1 0 R 7 0 R] /Length i:5>>");
    EXPECT_EQ(out.substr(out.find(">>stream")), ">>stream\n/B 6\nendstream\nendobj\n");
    EXPECT_TRUE(plan.HasEdits(1, 4));
    EXPECT_EQ(Edited(plan, 0, 4, text, limit), "unedited");  // another part's object 4
    EXPECT_FALSE(plan.HasEdits(0, 4));
}

TEST(CPdfMergePlanTest, LaterObjectsNamedThroughThePlanKeepTheirOwnCopy)
{
    // Object 4 of the second input carries generation 3 in its header.
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R>>").Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>").Object(4, "<<>>", 3).Object(5, "<<>>");
    PlannedInputs in({MinimalPdf(1), b.Trailer("/Root 1 0 R").Build()});
    CPdfMergePlan& plan = in.Plan();
    const int32_t shift = in.Plan().GetParts()[0].GetTableSize() - 1;
    EXPECT_EQ(plan.OutputReference(1, 4), std::to_string(4 + shift) + " 3 R");
    EXPECT_EQ(plan.OutputReference(0, 3), "3 0 R");
    EXPECT_TRUE(plan.IsKeptOwn(1, 4));
    EXPECT_FALSE(plan.IsKeptOwn(1, 5));
    EXPECT_EQ(plan.OutputTarget(1, 5).number, 5 + shift);
    EXPECT_TRUE(plan.IsKeptOwn(1, 5));
    EXPECT_LT(plan.OutputTarget(1, 99).number, 0);  // names nothing there
    EXPECT_FALSE(plan.IsKeptOwn(1, 99));
    // The first document's references stay as written.
    EXPECT_EQ(plan.OutputTarget(0, 2).number, 2);
    EXPECT_FALSE(plan.IsKeptOwn(0, 2));
    // Out of range flags are ignored rather than written past the tables.
    plan.Drop(1, 99);
    plan.Drop(1, -1);
    EXPECT_FALSE(plan.IsDropped(1, 99));
    const int64_t first = plan.NewObject();
    EXPECT_EQ(first, in.Numbering().GetEndNumber() - 1);
    EXPECT_EQ(plan.NewObject(), first + 1);
}

TEST(CPdfMergePlanTest, TransformsRunInOrderAndAnObjectTheyLeaveIsNotLookedAtAgain)
{
    PlannedInputs in({MinimalPdf(1), MinimalPdf(1)});
    Doubler one, two;
    in.Plan().AddTransform(1, &one);
    in.Plan().AddTransform(1, &two);
    const auto run = [&](int32_t number, const std::string& text) {
        std::string out;
        return in.Plan().Transform(1, number, reinterpret_cast<const uint8_t*>(text.data()),
                                   static_cast<uint32_t>(text.size()), out)
                   ? out
                   : "same";
    };
    EXPECT_EQ(run(3, "(x)"), "(xxxx)");
    EXPECT_EQ(run(3, "(x)"), "(xxxx)");  // one that changes is rewritten each time
    EXPECT_EQ(run(4, "(y)"), "same");
    EXPECT_EQ(run(4, "(y)"), "same");
    EXPECT_EQ(one.calls, 3);
    EXPECT_EQ(two.calls, 3);
    EXPECT_EQ(run(4, "(x)"), "same");  // known untouched: its text is not read again
    std::string out;
    EXPECT_FALSE(in.Plan().Transform(0, 3, reinterpret_cast<const uint8_t*>("(x)"), 3, out));  // none for part 0
}
