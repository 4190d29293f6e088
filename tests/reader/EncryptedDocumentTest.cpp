// Opening encrypted documents: fetched objects come with their strings and
// stream data decrypted, except where the data never is encrypted (object
// stream members, cross-reference streams, metadata left in the clear, the
// /Encrypt dictionary itself); files the empty password does not open, or
// that another handler encrypted, are refused with their own messages.
#include <gtest/gtest.h>

#include "support/ObjectTestKit.h"
#include "reader/CPdfSecurityHandler.h"
#include "support/EncryptTestKit.h"
#include "support/XRefFixture.h"

namespace {

using namespace encrypttest;

std::string Value(const CPdfObject& value)
{
    return value.GetKind() == OBJ_STRING   ? value.GetString()->GetValue()
           : value.GetKind() == OBJ_STREAM ? ReadAll(value.GetStream())
                                           : "(neither string nor stream)";
}

}  // namespace

TEST(EncryptedDocumentTest, FetchedObjectsAreDecrypted)
{
    for (const Scheme* scheme : {&kRc4, &kAes, &kAesClearMetadata}) {
        SCOPED_TRACE(scheme->name);
        const std::string file = Document(*scheme);
        LoadedXRef xref(file);
        ASSERT_NE(xref->GetSecurityHandler(), nullptr);
        EXPECT_EQ(xref->GetEncryptNum(), 9);
        const CPdfObject info = xref.Fetch(5, 2);
        EXPECT_EQ(Value(At(info, "Title")), kTitle);
        EXPECT_EQ(Value(At(info, "Subject")), "Subject");
        EXPECT_EQ(Value(At(info, "K/0")), "in an array");
        EXPECT_EQ(Value(At(info, "K/1/D")), "");
        // Decrypted before FlateDecode; metadata either way readable; the
        // member was decrypted with its object stream, not again.
        const std::vector<std::string> values = {kContent, kFlateContent, kMetadata, LargeData(), "member (string)"};
        EXPECT_EQ(std::vector({Value(xref.Fetch(4)), Value(xref.Fetch(6)), Value(xref.Fetch(8)), Value(xref.Fetch(10)),
                               Value(xref.Fetch(12))}), values);
        // The /Encrypt dictionary keeps its values; the cross-reference
        // stream its rows, as written in the file; trailer strings are
        // never encrypted.
        EXPECT_EQ(Value(At(xref.Fetch(9), "U")), Value(At(ParseOne(scheme->dict), "U")));
        const size_t rows = file.find("stream\n", file.rfind("13 0 obj")) + 7;
        EXPECT_EQ(Value(xref.Fetch(13)), file.substr(rows, file.rfind("\nendstream") - rows));
        EXPECT_EQ(Value(At(xref->GetTrailer(), "ID/0")).substr(0, 2), "\x31\x41");
    }
}

TEST(EncryptedDocumentTest, WhatIsRefusedAndWithWhichMessage)
{
    const auto withEncrypt = [](const std::string& encrypt, const std::string& trailer = kIdEntry) {
        return PdfBuilder()
            .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
            .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
            .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
            .Object(9, encrypt)
            .Trailer("/Root 1 0 R/Encrypt 9 0 R" + trailer)
            .Build();
    };
    const std::pair<std::string, std::string> rows[] = {
        {withEncrypt(kRc4Dict), ""},
        {withEncrypt(kUserDict), msg::kPasswordProtected},
        // Another /ID gives other keys, which the empty password does not match.
        {withEncrypt(kRc4Dict, "/ID[<00><00>]"), msg::kPasswordProtected},
        {withEncrypt(kRc4Dict, ""), msg::kPasswordProtected},
        {withEncrypt("<</Filter/Adobe.PubSec/V 4/R 4/SubFilter/adbe.pkcs7.s5>>"), msg::kEncrypted},
        {withEncrypt("<</Filter/Standard/V 2/R 3/P -4>>"), msg::kEncrypted},  // no /O, /U
        {withEncrypt("(not a dictionary)"), msg::kEncrypted},
        {MinimalPdf(1, "/Encrypt 99 0 R"), msg::kEncrypted},  // nowhere
        {MinimalPdf(1, "/Encrypt " + std::string(kRc4Dict) + kIdEntry), ""},  // written into the trailer
    };
    for (const auto& [file, message] : rows)
        EXPECT_EQ(OpenError(file), message) << file.substr(file.find("9 0 obj"), 60);
}
