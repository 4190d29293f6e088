// Inputs the fuzzer (tests/fuzz) found to crash, hang or exhaust memory while
// a document was opened, each cut down to what caused it and written here in
// code: opening them must end with the message given, and nothing else.
#include <gtest/gtest.h>

#include <functional>

#include "support/EncryptTestKit.h"
#include "support/XRefFixture.h"

namespace {

struct Finding {
    const char* what;
    std::function<std::string()> bytes;
    const char* message;  // "" for a document that opens
};

// Catalog 1, page tree 2, page 3; bodies of more objects from extra.
PdfBuilder ThreeObjects(const std::map<int, std::string>& extra = {})
{
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R>>")
        .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
        .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    for (const auto& [number, body] : extra)
        b.Object(number, body);
    return b;
}

const Finding kFindings[] = {
    {"the /Encrypt dictionary is not where its entry says, and the rebuild that follows finds no trailer "
     "(the catalog is redefined later as something else): the trailer being read was replaced under it",
     [] {
         const std::string bytes =
             ThreeObjects({{5, encrypttest::kRc4Dict}, {6, "null\nendobj\n1 0 obj\n<</Title(later)>>"}})
                 .Trailer("/Root 1 0 R/Encrypt 5 0 R" + encrypttest::kIdEntry)
                 .Build();
         return MoveEntry(bytes, 5, 3);
     },
     msg::kDamaged},
};

}  // namespace

TEST(ReaderFuzzFindingsTest, EachOpensOrEndsWithItsMessage)
{
    for (const Finding& finding : kFindings) {
        SCOPED_TRACE(finding.what);
        EXPECT_EQ(OpenError(finding.bytes()), finding.message);
    }
}
