// Raw copying from encrypted documents: the text of each object comes in
// its decrypted form (strings in hexadecimal, stream data with a direct
// /Length of the decrypted data, every other byte as written), large stream
// data is decrypted on its way from file to file, and the output carries no
// /Encrypt dictionary.
#include <gtest/gtest.h>

#include "append/AppendTestKit.h"
#include "append/CPdfRawReader.h"
#include "main/Messages.h"
#include "object/ObjectTestKit.h"
#include "support/EncryptTestKit.h"
#include "support/XRefFixture.h"

namespace {

using namespace encrypttest;

std::string LowerHex(const std::string& bytes)
{
    std::string hex = Hex(bytes);
    for (char& c : hex)
        c = static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);
    return hex;
}

std::string Text(const CPdfRawObject& raw)
{
    return std::string(reinterpret_cast<const char*>(raw.GetHead()), raw.GetHeadLength());
}

// The objects of file as the raw reader gives them.
class RawReading {
public:
    explicit RawReading(const std::string& file)
        : m_file(file), m_fd(std::fopen(m_file.Path().c_str(), "rb"), [](FILE* f) { std::fclose(f); })
    {
        m_doc.Open(m_file.Path());
        m_reader = std::make_unique<CPdfRawReader>(fileno(m_fd.get()), *m_doc.GetXRef());
    }
    std::string Read(int number, bool allowTail = false)
    {
        CPdfRawObject raw;
        return m_reader->ReadRawObject(number, raw, allowTail) ? Text(raw) : "(none)";
    }
    bool Read(int number, CPdfRawObject& raw, bool allowTail) { return m_reader->ReadRawObject(number, raw, allowTail); }

private:
    TempFile m_file;
    std::unique_ptr<FILE, void (*)(FILE*)> m_fd;
    CPdfDocument m_doc;
    std::unique_ptr<CPdfRawReader> m_reader;
};

}  // namespace

TEST(EncryptedCopyTest, RawTextsComeDecrypted)
{
    const std::string flate = Deflate(kFlateContent);
    for (const Scheme* scheme : {&kRc4, &kAes, &kAesClearMetadata}) {
        SCOPED_TRACE(scheme->name);
        const std::string file = Document(*scheme);
        RawReading reading(file);
        const std::string written = [&](int n) {
            const size_t at = file.find("\n" + std::to_string(n) + " 0 obj") + 1;
            return file.substr(at, file.find("endobj", at) + 7 - at);
        }(9);
        const std::vector<std::pair<int, std::string>> rows = {
            {4, "4 0 obj\n<</Length 21>>stream\n" + kContent + "\nendstream\nendobj\n"},
            {5, "5 2 obj\n<</Title" + LowerHex(kTitle) + "/Subject" + LowerHex("Subject") + "/K[" +
                    LowerHex("in an array") + "<</D<>>>]>>\nendobj\n"},
            // An indirect /Length becomes the direct length of the decrypted data.
            {6, "6 0 obj\n<</Length " + std::to_string(flate.size()) + "/Filter/FlateDecode>>stream\r\n" + flate +
                    "\r\nendstream\nendobj\n"},
            {8, "8 0 obj\n<</Type/Metadata/Subtype/XML/Length " + std::to_string(kMetadata.size()) + ">>stream\n" +
                    kMetadata + "\nendstream\nendobj\n"},
            {9, written},  // the /Encrypt dictionary as written
            {12, "12 0 obj\r" + kMember + "endobj\r"},
        };
        for (const auto& [number, expected] : rows)
            EXPECT_EQ(reading.Read(number), expected) << number;
        // The cross-reference stream is copied as written.
        const size_t xref = file.rfind("13 0 obj");
        EXPECT_EQ(reading.Read(13), file.substr(xref, file.find("endobj", xref) + 7 - xref));

        // A large stream: the head states the decrypted length, the data is
        // decrypted from the file when it is written or materialised.
        CPdfRawObject tail, whole;
        ASSERT_TRUE(reading.Read(10, tail, true));
        ASSERT_TRUE(tail.HasTail());
        const std::string head = "10 0 obj\n<</Type/XObject/Subtype/Form/BBox[0 0 9 9]/Length " +
                                 std::to_string(LargeData().size()) + ">>stream\n";
        EXPECT_EQ(Text(tail), head);
        ASSERT_NE(tail.GetTailDecryptor(), nullptr);
        EXPECT_EQ(tail.GetTailPlainLength(), static_cast<int64_t>(LargeData().size()));
        EXPECT_EQ(tail.GetLength(), head.size() + LargeData().size() + 18);
        ASSERT_TRUE(reading.Read(10, whole, false));
        EXPECT_EQ(Text(whole), head + LargeData() + "\nendstream\nendobj\n");
        ASSERT_TRUE(tail.Materialize());
        EXPECT_EQ(Text(tail), Text(whole));
    }
}

TEST(EncryptedCopyTest, JobsWriteDecryptedObjectsAndNoEncryptDictionary)
{
    TempDir dir;
    for (const Scheme* scheme : {&kRc4, &kAes, &kAesClearMetadata}) {
        for (const bool first : {true, false}) {
            for (const bool compact : {false, true}) {
                SCOPED_TRACE(std::string(scheme->name) + (first ? ", first" : ", second") + (compact ? ", /s" : ""));
                const std::string encrypted = Document(*scheme), plain = MinimalPdf(1);
                ASSERT_EQ(Append(dir, first ? encrypted : plain, first ? plain : encrypted, compact), "");
                const std::string out = ReadFile(dir.File("out.pdf"));
                const size_t encrypt = out.find("/Encrypt");
                EXPECT_EQ(encrypt, std::string::npos) << out.substr(encrypt - std::min<size_t>(encrypt, 100), 200);
                // Numbers of the second document move up by T1 - 1 = 4.
                const int shift = first ? 0 : 4;
                EXPECT_EQ(ObjectText(out, 9 + shift), "");   // the /Encrypt dictionary
                EXPECT_EQ(ObjectText(out, 13 + shift), "");  // the cross-reference stream that names it
                EXPECT_NE(ObjectText(out, 10 + shift).find(LargeData() + "\nendstream"), std::string::npos);
                // The result opens as a plain document with the same values.
                OpenedDocument result(out);
                EXPECT_EQ(result.doc.GetXRef()->GetSecurityHandler(), nullptr);
                CPdfObject content, member;
                result.doc.GetXRef()->FetchObject(4 + shift, 0, content);
                result.doc.GetXRef()->FetchObject(12 + shift, 0, member);
                ASSERT_EQ(content.GetKind(), OBJ_STREAM);
                EXPECT_EQ(ReadAll(content.GetStream()), kContent);
                ASSERT_EQ(member.GetKind(), OBJ_STRING);
                EXPECT_EQ(member.GetString()->GetValue(), "member (string)");
                if (first) {  // the first document's Info is the result's
                    CPdfObject info, title;
                    result.doc.GetXRef()->FetchObject(5, 2, info);
                    info.GetDictionary()->Lookup("Title", title);
                    EXPECT_EQ(title.GetString()->GetValue(), kTitle);
                }
            }
        }
    }
    const std::string user = PdfBuilder()
                                 .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                 .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                 .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
                                 .Object(9, kUserDict)
                                 .Trailer("/Root 1 0 R/Encrypt 9 0 R" + kIdEntry)
                                 .Build();
    for (const bool first : {true, false}) {
        EXPECT_EQ(Append(dir, first ? user : MinimalPdf(1), first ? MinimalPdf(1) : user, false),
                  msg::kPasswordProtected);
    }
}
