// An object's text encrypted for an update of an encrypted document: its
// strings and stream data come back through the document's own decryption,
// and what stays clear stays as it was.
#include <gtest/gtest.h>

#include "reader/CPdfSecurityHandler.h"
#include "support/EncryptTestKit.h"
#include "support/ObjectTestKit.h"
#include "text/CPdfTextEncryption.h"
#include "text/PdfObjectText.h"

namespace {

using H = CPdfSecurityHandler;

// The stream data of text, by its direct /Length.
std::string DataOf(const std::string& text)
{
    objecttext::Layout layout;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    objecttext::Scan(bytes, static_cast<uint32_t>(text.size()), layout);
    const uint32_t from = objecttext::DataStart(bytes, static_cast<uint32_t>(text.size()), layout.split);
    return layout.directLength < 0 ? std::string("no length") : text.substr(from, static_cast<size_t>(layout.directLength));
}

std::string StringOf(const std::string& text, const char* key)
{
    CPdfObject value;
    const size_t at = text.find("obj") + 3;
    const CPdfObject dict = ParseOne(text.substr(at, text.find(">>", at) + 2 - at));
    dict.GetDictionary()->LookupRaw(key, value);
    return value.GetKind() == OBJ_STRING ? value.GetString()->GetValue() : std::string("not a string");
}

}  // namespace

TEST(CPdfTextEncryptionTest, StringsAndDataComeBackThroughTheDocumentsDecryption)
{
    const std::string id(std::string("\x31\x41\x59\x26\x53\x58\x97\x93\x23\x84\x62\x64\x33\x83\x27\x95", 16));
    for (const char* encrypt : {encrypttest::kRc4Dict, encrypttest::kAesDict}) {
        H handler;
        const CPdfObject dict = ParseOne(encrypt);
        ASSERT_EQ(handler.Open(*dict.GetDictionary(), id), H::OPENED);
        const CPdfTextEncryption encryption(handler);
        const std::string data = "0 0 1 rg 1 1 7 7 re f endstream inside";
        std::string text = "12 0 obj\n<</Title(a \\(title\\))/Alt<41>/Length 13 0 R>>stream\r\n" + data +
                           "\nendstream\nendobj\n";
        encryption.Encrypt(12, 0, text);
        EXPECT_EQ(handler.DecryptString(12, 0, StringOf(text, "Title")), "a (title)") << encrypt;
        EXPECT_EQ(handler.DecryptString(12, 0, StringOf(text, "Alt")), "A");
        const std::string stored = DataOf(text);
        CPdfDecryptor decryptor = handler.CreateDecryptor(H::DATA_STREAM, 12, 0);
        const std::vector<uint8_t> plain = decryptor.DecryptAll(reinterpret_cast<const uint8_t*>(stored.data()),
                                                                stored.size());
        EXPECT_EQ(std::string(plain.begin(), plain.end()), data);
        EXPECT_EQ(text.substr(text.size() - 18), "\nendstream\nendobj\n");
        // Keyed by the object: another number decrypts to something else.
        EXPECT_NE(handler.DecryptString(13, 0, StringOf(text, "Title")), "a (title)");

        // A value alone, as the merges write new objects.
        std::string value = "<</T(new)>>";
        encryption.Encrypt(40, 0, value);
        EXPECT_EQ(handler.DecryptString(40, 0, StringOf("40 0 obj" + value, "T")), "new");
    }
}

TEST(CPdfTextEncryptionTest, CrossReferenceStreamsAndClearMetadataKeepTheirData)
{
    const std::string id(std::string("\x31\x41\x59\x26\x53\x58\x97\x93\x23\x84\x62\x64\x33\x83\x27\x95", 16));
    H handler;
    const CPdfObject dict = ParseOne(encrypttest::kAesClearMetadataDict);
    ASSERT_EQ(handler.Open(*dict.GetDictionary(), id), H::OPENED);
    const CPdfTextEncryption encryption(handler);
    const std::string xref = "9 0 obj<</Type/XRef/W[1 2 1]/Size 3/Length 4>>stream\nabcd\nendstream\nendobj\n";
    std::string text = xref;
    encryption.Encrypt(9, 0, text);
    EXPECT_EQ(text, xref);
    const std::string metadata = "8 0 obj<</Type /Metadata/Subtype/XML/Length 5>>stream\n<x/>\n\nendstream\nendobj\n";
    text = metadata;
    encryption.Encrypt(8, 0, text);
    EXPECT_EQ(DataOf(text), "<x/>\n");
}
