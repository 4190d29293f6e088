// Edits of existing object text, over the compact syntax real producers
// write: keys found at the top level only, values replaced whole, and a
// separator wherever two tokens would otherwise touch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/CPdfTextEdit.h"

namespace {

struct Op {
    char kind;  // 's' set, 'r' remove, 'a' append to an array (key "" : the object's own)
    std::string key, value;
};

std::string Edit(const std::string& text, const std::vector<Op>& ops)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    const size_t stream = text.find("stream");
    CPdfTextEdit edit(bytes, length, stream == std::string::npos ? length : static_cast<uint32_t>(stream + 6));
    for (const Op& op : ops) {
        if (op.kind == 's')
            edit.SetKey(op.key.c_str(), op.value);
        else if (op.kind == 'r')
            edit.RemoveKey(op.key.c_str());
        else
            edit.AppendToArray(op.key.empty() ? nullptr : op.key.c_str(), op.value);
    }
    std::string out;
    edit.Apply(out);
    return out;
}

}  // namespace

TEST(CPdfTextEditTest, KeysAtTheTopLevelOnlyWithSeparatorsWhereTokensWouldTouch)
{
    const struct {
        std::string text;
        std::vector<Op> ops;
        std::string expected;
    } cases[] = {
        // A direct value replaced whole, whatever it is and however it is glued to its key.
        {"1 0 obj<</Type/Catalog/Pages 2 0 R/Outlines<<>>>>endobj", {{'s', "/Outlines", "7 0 R"}},
         "1 0 obj<</Type/Catalog/Pages 2 0 R/Outlines 7 0 R>>endobj"},
        {"1 0 obj<</Outlines[]/Pages 2 0 R>>endobj", {{'s', "/Outlines", "7 0 R"}},
         "1 0 obj<</Outlines 7 0 R/Pages 2 0 R>>endobj"},
        {"1 0 obj<</Outlines()>>endobj", {{'s', "/Outlines", "7 0 R"}}, "1 0 obj<</Outlines 7 0 R>>endobj"},
        {"1 0 obj<</Outlines/None>>endobj", {{'s', "/Outlines", "7 0 R"}}, "1 0 obj<</Outlines 7 0 R>>endobj"},
        {"1 0 obj<</Outlines null/Pages 2 0 R>>endobj", {{'s', "/Outlines", "7 0 R"}},
         "1 0 obj<</Outlines 7 0 R/Pages 2 0 R>>endobj"},
        // An absent key goes right after "<<".
        {"1 0 obj<</Type/Catalog>>endobj", {{'s', "/Outlines", "7 0 R"}},
         "1 0 obj<<\r/Outlines 7 0 R/Type/Catalog>>endobj"},
        // A reference value ends at its R; a line end inside it is no matter.
        {"4 0 obj<</First 5 0 R/Last\n9 0 R/Count 3>>endobj", {{'s', "/Last", "12 0 R"}},
         "4 0 obj<</First 5 0 R/Last\n12 0 R/Count 3>>endobj"},
        // A string that reads like the key is not the key.
        {"4 0 obj<</T(Last 9 0 R)/Last 9 0 R>>endobj", {{'s', "/Last", "12 0 R"}},
         "4 0 obj<</T(Last 9 0 R)/Last 12 0 R>>endobj"},
        // Nor is a key of a nested dictionary.
        {"2 0 obj<</X<</Count 7>>/Count 4 0 R>>endobj", {{'s', "/Count", "11"}},
         "2 0 obj<</X<</Count 7>>/Count 11>>endobj"},
        {"2 0 obj<</Kids[3 0 R]/Count 1>>endobj", {{'a', "/Kids", "8 0 R"}, {'s', "/Count", " 2"}},
         "2 0 obj<</Kids[3 0 R 8 0 R ]/Count  2>>endobj"},
        {"9 0 obj[3 0 R 4 0 R]endobj", {{'a', "", "8 0 R"}}, "9 0 obj[3 0 R 4 0 R 8 0 R ]endobj"},
        // Several keys at once, one removed; values that end in a regular
        // byte followed by the next key.
        {"6 0 obj<</Parent 2 0 R/Next 8 0 R/Title(x)>>endobj",
         {{'s', "/Parent", "3 0 R"}, {'s', "/Prev", "5 0 R"}, {'r', "/Next", ""}},
         "6 0 obj<<\r/Prev 5 0 R/Parent 3 0 R/Title(x)>>endobj"},
        {"6 0 obj<</A 1/B true>>endobj", {{'s', "/A", "/X"}, {'s', "/B", "7"}}, "6 0 obj<</A /X/B 7>>endobj"},
        // Only the dictionary before "stream" is looked at.
        {"3 0 obj<</Length 9>>stream\n/Length 1\nendstream endobj", {{'s', "/Length", "4"}},
         "3 0 obj<</Length 4>>stream\n/Length 1\nendstream endobj"},
        // No dictionary, or no such array: nothing changes.
        {"3 0 obj 42 endobj", {{'s', "/A", "1"}, {'a', "/Kids", "1 0 R"}}, "3 0 obj 42 endobj"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Edit(c.text, c.ops), c.expected) << c.text;
}

TEST(CPdfTextEditTest, ObjectStreamMembersAndJoinsStayApart)
{
    const auto wrap = [](const std::string& member) {
        std::string out;
        CPdfTextEdit::WrapMember(12, reinterpret_cast<const uint8_t*>(member.data()),
                                 static_cast<uint32_t>(member.size()), out);
        return out;
    };
    EXPECT_EQ(wrap("90"), "12 0 obj\r90\rendobj\r");
    EXPECT_EQ(wrap("<</A 1>>"), "12 0 obj\r<</A 1>>endobj\r");
    EXPECT_EQ(wrap("(x) "), "12 0 obj\r(x) endobj\r");
    std::string out = "/Key";
    CPdfTextEdit::Join(out, "7 0 R");
    CPdfTextEdit::Join(out, "/Next");
    CPdfTextEdit::Join(out, "true");
    EXPECT_EQ(out, "/Key 7 0 R/Next true");
    EXPECT_EQ(CPdfTextEdit::Reference(4294967301, 3), "4294967301 3 R");
}
