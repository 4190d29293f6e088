// Opening encrypted documents: fetched objects come with their strings and
// stream data decrypted, except where the data never is encrypted (object
// stream members, cross-reference streams, metadata left in the clear, the
// /Encrypt dictionary itself); files the empty password does not open, or
// that another handler encrypted, are refused with their own messages.
#include <gtest/gtest.h>

#include "object/CPdfArray.h"
#include "object/ObjectTestKit.h"
#include "reader/CPdfSecurityHandler.h"
#include "support/EncryptTestKit.h"
#include "support/XRefFixture.h"

namespace {

using namespace encrypttest;

std::string Value(const CPdfObject& string)
{
    return string.GetKind() == OBJ_STRING ? string.GetString()->GetValue() : "(not a string)";
}

std::string Data(const CPdfObject& stream)
{
    return stream.GetKind() == OBJ_STREAM ? ReadAll(stream.GetStream()) : "(not a stream)";
}

}  // namespace

TEST(EncryptedDocumentTest, FetchedObjectsAreDecrypted)
{
    for (const Scheme* scheme : {&kRc4, &kAes, &kAesClearMetadata}) {
        SCOPED_TRACE(scheme->name);
        const std::string file = Document(*scheme);
        OpenedDocument opened(file);
        CPdfXRef& xref = *opened.doc.GetXRef();
        ASSERT_NE(xref.GetSecurityHandler(), nullptr);
        EXPECT_EQ(xref.GetEncryptNum(), 9);
        const auto fetch = [&](int number, int generation = 0) {
            CPdfObject value;
            xref.FetchObject(number, generation, value);
            return value;
        };
        const CPdfObject info = fetch(5, 2);
        ASSERT_EQ(info.GetKind(), OBJ_DICTIONARY);
        CPdfObject title, subject, k, first, inner, d;
        info.GetDictionary()->Lookup("Title", title);
        info.GetDictionary()->Lookup("Subject", subject);
        info.GetDictionary()->Lookup("K", k);
        k.GetArray()->Get(0, first);
        k.GetArray()->Get(1, inner);
        inner.GetDictionary()->Lookup("D", d);
        EXPECT_EQ(Value(title), kTitle);
        EXPECT_EQ(Value(subject), "Subject");
        EXPECT_EQ(Value(first), "in an array");
        EXPECT_EQ(Value(d), "");
        // Decrypted before FlateDecode; metadata either way readable.
        EXPECT_EQ(Data(fetch(4)), kContent);
        EXPECT_EQ(Data(fetch(6)), kFlateContent);
        EXPECT_EQ(Data(fetch(8)), kMetadata);
        EXPECT_EQ(Data(fetch(10)), LargeData());
        // The member was decrypted with its object stream, not again.
        EXPECT_EQ(Value(fetch(12)), "member (string)");
        // The /Encrypt dictionary keeps its values; the cross-reference
        // stream its rows, as written in the file.
        CPdfObject u, written;
        fetch(9).GetDictionary()->Lookup("U", u);
        ParseOne(scheme->dict).GetDictionary()->Lookup("U", written);
        EXPECT_EQ(Value(u), Value(written));
        const size_t rows = file.find("stream\n", file.rfind("13 0 obj")) + 7;
        EXPECT_EQ(Data(fetch(13)), file.substr(rows, file.rfind("\nendstream") - rows));
        // Trailer strings are never encrypted.
        CPdfObject ids, id;
        xref.GetTrailer().GetDictionary()->Lookup("ID", ids);
        ids.GetArray()->Get(0, id);
        EXPECT_EQ(Value(id).substr(0, 2), "\x31\x41");
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
        {withEncrypt("<</Filter/Standard/V 3/R 3>>"), msg::kEncrypted},
        {withEncrypt("<</Filter/Standard/V 2/R 3/P -4>>"), msg::kEncrypted},  // no /O, /U
        {withEncrypt("(not a dictionary)"), msg::kEncrypted},
        {MinimalPdf(1, "/Encrypt 99 0 R"), msg::kEncrypted},  // nowhere
        {MinimalPdf(1, "/Encrypt " + std::string(kRc4Dict) + kIdEntry), ""},  // written into the trailer
    };
    for (const auto& [file, message] : rows)
        EXPECT_EQ(OpenError(file), message) << file.substr(file.find("9 0 obj"), 60);
}
