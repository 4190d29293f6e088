// CPdfSecurityHandler: file keys derived from the /Encrypt values of files
// made by qpdf and pdftk (worked values: the keys qpdf reports for the same
// files), and strings and streams of freshly encrypted files decrypted to
// what qpdf decrypts them to.
#include <gtest/gtest.h>

#include <cstdlib>

#include "object/ObjectTestKit.h"
#include "reader/CPdfSecurityHandler.h"
#include "support/PdfBuilder.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += {kDigits[c >> 4], kDigits[c & 15]};
    return out;
}

std::string Unhex(const std::string& hex)
{
    CPdfString s(reinterpret_cast<const uint8_t*>(hex.data()), static_cast<uint32_t>(hex.size()));
    s.SetLiteral(false);
    return s.GetValue();
}

struct OpenResult {
    CPdfSecurityHandler::EOpenResult result;
    std::string key;
    bool owner;
};

OpenResult OpenWith(const std::string& encryptText, const std::string& id, const std::string& password = "")
{
    const CPdfObject dict = ParseOne(encryptText);
    CPdfSecurityHandler handler;
    const auto result = handler.Open(*dict.GetDictionary(), id, password);
    return {result, result == CPdfSecurityHandler::OPENED ? Hex(handler.GetFileKey()) : "", handler.IsOwner()};
}

const std::string kPi = Unhex("31415926535897932384626433832795");  // qpdf --static-id

// The /Encrypt dictionaries, as `qpdf --show-object` prints them, of files
// made with `qpdf --encrypt USER OWNER BITS [--use-aes=y] [--cleartext-metadata]
// [--force-R5] -- --static-id`, and the keys `qpdf --show-encryption-key` gave.
const char kR2[] = "<< /Filter /Standard /Length 40 /O <c92422687facee686e373f10b5c7d04738053152f7e2ee30e11c69ec442576ab> "
                   "/P -4 /R 2 /U <b3d9fa366906ef42f354c6deb74c59075eaf334eb7c04356ba0d7f3dd8b51d0a> /V 1 >>";
const char kR3[] = "<< /Filter /Standard /Length 128 /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> "
                   "/P -4 /R 3 /U <e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4> /V 2 >>";
const char kAes128[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 "
    "/O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> /P -4 /R 4 /StmF /StdCF /StrF /StdCF "
    "/U <e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4> /V 4 >>";
const char kAes128Cleartext[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter /Standard "
    "/Length 128 /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> /P -4 /R 4 /StmF /StdCF "
    "/StrF /StdCF /U <b7ae61ae5fe831ccd7979c155d4f926c0122456a91bae5134273a6db134c87c4> /V 4 >>";
const char kR6[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <864dce1b0c9033190b8446fdb5ae026947c1a19b1b1ca73e0b1992a8ba03960b4f5eb83769c8847882ddb48e8144ec8e> "
    "/OE <f33a827e543d5370432b934927395c058bd77ed58128c3c841b297ec28a77c69> /P -4 "
    "/Perms <ec223794d0e3fcc0b9a8bec8ec4b6a73> /R 6 /StmF /StdCF /StrF /StdCF "
    "/U <bfb1689c1422c590a3d6451e952cbb98f7477e30a177fcb4763a5a11b0c903632f31b75ef3394af7dd351376bdf1a478> "
    "/UE <1d20261363374f0ea6575af2823dc3f927774046f5b8e728536f697f1869dff4> /V 5 >>";
const char kR5[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <b096a74d6b639e8ee09fb6474f9311b6ab54bb90e47678e3dbd821dec0d1d16b821ab1cbb23f727187f8330df8aa3ddf> "
    "/OE <0df26d596a462baa7135ae6af22869405d2df72052f6322bffbc17171e8e3a1a> /P -4 "
    "/Perms <d441c538ac7dc3d165c5662c0e9420cd> /R 5 /StmF /StdCF /StrF /StdCF "
    "/U <eae7d7ba5203ccb38138267a23bafbafecef4b1ca0728d17c6ef91bc4a55cd45c6f8119c39abf2ea2e875632026445ff> "
    "/UE <b171c9ee9a2fe6775a7b8f4ed5484895519aa618cbfe1a0db302a62ba93f4c5c> /V 5 >>";
// `pdftk in.pdf output out.pdf owner_pw x`: an owner password only.
const char kPdftk[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 "
    "/O <23d51bb8081abde412d51dbf9017ccaa31e7762d4570dabe24b32e274e6be108> /P -3904 /R 4 /StmF /StdCF /StrF /StdCF "
    "/U <5518f91c01355ef6389aee316a70e3f800000000000000000000000000000000> /V 4 >>";
// Passwords "user" and "owner".
const char kUser40[] = "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> "
                       "/P -4 /R 2 /U <2aa12f26bcf1a217c0f1ee491745f646671475ae85bddf3e3c1a45a8457391cb> /V 1 >>";
const char kUser128[] =
    "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> "
    "/P -4 /R 3 /U <763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4> /V 2 >>";
const char kUserAes128[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 "
    "/O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF "
    "/U <763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4> /V 4 >>";
const char kUserR6[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <9bd8954603a2e7e45e3d2331c1f6bc5c2eb12b0852bb8d72f917891ecec09d6ba515d6bc6bff0b6980150deb7b9565b0> "
    "/OE <f174dfc864cc789c6ce6309f9fce040a90215f70a9a926acecd50b773003262b> /P -4 "
    "/Perms <8a4bd36ce5b48e8440017b15c6bc0654> /R 6 /StmF /StdCF /StrF /StdCF "
    "/U <d867613a9091643d88d2925510f3db7e2b35f3e9cfd0464af40cbb65beea6babe66926f2768684377467ef717b2e49ba> "
    "/UE <85083633ff79e0a4bcdfd0a781640a6f855fa7bd206d3b07b37137700fe11878> /V 5 >>";
// User password "user", owner password empty (--allow-insecure): the empty
// string opens it as the owner.
const char kEmptyOwnerR6[] =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <c9d5f0199f648ac9404533b3add6d5bb7528759512350b65e41b1c2d66d240ea0217daecf640bc10d2deede891511cc0> "
    "/OE <33dee9dedc2ff6e5cd238bac48915d510c540e669832a34272d9c983e98c1356> /P -4 "
    "/Perms <6b3430d032fb5323ac35600f03aa399e> /R 6 /StmF /StdCF /StrF /StdCF "
    "/U <7eaa68cdd2deb0ba2ae0f12602ccfa2d69dbe1fdc6746782a48bdd3d2926d41516c15f0fd0c291ccc0a73bc955982ab1> "
    "/UE <26d9a0cc471a1f1909b365d18e837750271399cdb407685f92519f8da9d48fdc> /V 5 >>";

}  // namespace

TEST(CPdfSecurityHandlerTest, FileKeysOfKnownFiles)
{
    using H = CPdfSecurityHandler;
    struct Row {
        const char* name;
        const char* encrypt;
        std::string id;
        std::string password;
        H::EOpenResult result;
        const char* key;
        bool owner;
    };
    const std::string pdftkId = Unhex("e96b8da11881c33b77c7179989481a61");
    const Row rows[] = {
        {"RC4 40", kR2, kPi, "", H::OPENED, "0e7b66938a", false},
        {"RC4 128", kR3, kPi, "", H::OPENED, "abe32231c5baae9679dc306bb3a7427d", false},
        {"AES-128", kAes128, kPi, "", H::OPENED, "abe32231c5baae9679dc306bb3a7427d", false},
        // /EncryptMetadata false enters the key.
        {"AES-128 cleartext metadata", kAes128Cleartext, kPi, "", H::OPENED, "1108101ea597f1f35b9393c012b8e3fe",
         false},
        {"AES-256 R6", kR6, kPi, "", H::OPENED, "0ed55f0bb4025f4aaab766eb9c38b8ef21cf8ae195de5ed8155be4306d461d1c",
         false},
        {"AES-256 R5", kR5, kPi, "", H::OPENED, "3dacb810c9153c74070d679ead033167b375f6b28e004df45f1a5ae275995506",
         false},
        {"pdftk", kPdftk, pdftkId, "", H::OPENED, "73de65e63506bfe0b9c913e9e2281182", false},
        {"R6 empty owner", kEmptyOwnerR6, kPi, "", H::OPENED,
         "210262195706822f95929a1b3896635aaeeccbd2c78d503ded1ff4ddcbe83dfe", true},
        // A user password: the empty string opens nothing; either password
        // gives the same key.
        {"RC4 40 user", kUser40, kPi, "", H::WRONG_PASSWORD, "", false},
        {"RC4 40 user", kUser40, kPi, "user", H::OPENED, "ee4fd3a223", false},
        {"RC4 40 owner", kUser40, kPi, "owner", H::OPENED, "ee4fd3a223", true},
        {"RC4 128 user", kUser128, kPi, "", H::WRONG_PASSWORD, "", false},
        {"RC4 128 owner", kUser128, kPi, "owner", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", true},
        {"AES-128 user", kUserAes128, kPi, "user", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", false},
        {"AES-128 owner", kUserAes128, kPi, "owner", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", true},
        {"R6 user", kUserR6, kPi, "", H::WRONG_PASSWORD, "", false},
        {"R6 user", kUserR6, kPi, "user", H::OPENED,
         "814d64ec43e96cfe3fa2373c396a26f1362e16239b51e03b70dbe5d3d6ad6aee", false},
        {"R6 owner", kUserR6, kPi, "owner", H::OPENED,
         "814d64ec43e96cfe3fa2373c396a26f1362e16239b51e03b70dbe5d3d6ad6aee", true},
        // The key depends on the first /ID string (revisions 2 to 4 only).
        {"RC4 128 other ID", kR3, pdftkId, "", H::WRONG_PASSWORD, "", false},
        {"R6 other ID", kR6, pdftkId, "", H::OPENED,
         "0ed55f0bb4025f4aaab766eb9c38b8ef21cf8ae195de5ed8155be4306d461d1c", false},
    };
    for (const Row& row : rows) {
        const OpenResult got = OpenWith(row.encrypt, row.id, row.password);
        EXPECT_EQ(got.result, row.result) << row.name;
        EXPECT_EQ(got.key, row.key) << row.name;
        EXPECT_EQ(got.owner, row.owner) << row.name;
    }
}

TEST(CPdfSecurityHandlerTest, DictionariesItCannotUse)
{
    using H = CPdfSecurityHandler;
    const std::string o = " /O <" + std::string(64, 'a') + "> /U <" + std::string(64, 'b') + "> /P -4";
    const std::string cf = " /CF <</StdCF<</CFM/AESV2>>>>";
    const std::vector<std::pair<std::string, H::EOpenResult>> rows = {
        {"<</Filter/Adobe.PubSec/V 4/R 4" + o + ">>", H::UNSUPPORTED},
        {"<</V 2/R 3" + o + ">>", H::UNSUPPORTED},  // no handler named
        {"<</Filter/Standard/V 3/R 3" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 2/R 7" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 5/R 4" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF/StrF/Other" + cf + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF /CF<</StdCF<</CFM/AESV9>>>>" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF /CF<</StdCF<</CFM/AESV3>>>>" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF /CF<</StdCF 5>>" + o + ">>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3 /U <" + std::string(64, 'b') + "> /P -4>>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3 /O <aa> /U <" + std::string(64, 'b') + "> /P -4>>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3 /P 1.5" + o.substr(0, o.size() - 6) + ">>", H::MALFORMED},
        {"<</Filter/Standard/V 5/R 6" + o + ">>", H::MALFORMED},  // 32-byte /O, no /OE, /UE
        // Well formed, just not the empty password's values.
        {"<</Filter/Standard/V 2/R 3" + o + ">>", H::WRONG_PASSWORD},
        {"<</Filter/Standard/R 2" + o + ">>", H::WRONG_PASSWORD},
        {"<</Filter/Standard/V 4/R 4" + cf + "/StmF/Identity/StrF/StdCF" + o + ">>", H::WRONG_PASSWORD},
    };
    for (const auto& [text, result] : rows)
        EXPECT_EQ(OpenWith(text, kPi).result, result) << text;
}

TEST(CPdfSecurityHandlerTest, CryptFiltersChooseTheCipher)
{
    // The AES-128 file's values with other filters for strings and streams.
    std::string text = kAes128;
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    struct Row {
        std::string encrypt;
        CPdfDecryptor::ECipher strings, streams;
    };
    const Row rows[] = {
        {text, CPdfDecryptor::CIPHER_AES, CPdfDecryptor::CIPHER_AES},
        {with("/StmF /StdCF", "/StmF /Identity"), CPdfDecryptor::CIPHER_AES, CPdfDecryptor::CIPHER_IDENTITY},
        {with("/StrF /StdCF", ""), CPdfDecryptor::CIPHER_IDENTITY, CPdfDecryptor::CIPHER_AES},
        {with("/CFM /AESV2", "/CFM /V2"), CPdfDecryptor::CIPHER_RC4, CPdfDecryptor::CIPHER_RC4},
        {with("/CFM /AESV2", "/CFM /None"), CPdfDecryptor::CIPHER_IDENTITY, CPdfDecryptor::CIPHER_IDENTITY},
        {kR3, CPdfDecryptor::CIPHER_RC4, CPdfDecryptor::CIPHER_RC4},
        {kR6, CPdfDecryptor::CIPHER_AES, CPdfDecryptor::CIPHER_AES},
    };
    for (const Row& row : rows) {
        const CPdfObject dict = ParseOne(row.encrypt);
        CPdfSecurityHandler handler;
        ASSERT_EQ(handler.Open(*dict.GetDictionary(), kPi), CPdfSecurityHandler::OPENED) << row.encrypt;
        EXPECT_EQ(handler.CreateDecryptor(CPdfSecurityHandler::DATA_STRING, 1, 0).GetCipher(), row.strings);
        EXPECT_EQ(handler.CreateDecryptor(CPdfSecurityHandler::DATA_STREAM, 1, 0).GetCipher(), row.streams);
    }
    // Metadata is left in the clear only from revision 4 on.
    for (const auto& [encrypt, metadata] : {std::pair{std::string(kAes128Cleartext), false}, {kAes128, true},
                                            {with("/V 4", "/EncryptMetadata false /V 4"), false},
                                            {std::string(kR3).replace(2, 0, "/EncryptMetadata false"), true}}) {
        CPdfSecurityHandler h;
        const CPdfObject value = ParseOne(encrypt);
        h.Open(*value.GetDictionary(), kPi);
        EXPECT_EQ(h.EncryptsMetadata(), metadata) << encrypt;
    }
}

namespace {

std::string Shell(const std::string& command)  // what it prints on standard output
{
    static const TempDir dir;
    const int status = std::system(("(" + command + ") >" + dir.File("out") + " 2>/dev/null").c_str());
    return status < 0 ? "" : ReadFile(dir.File("out"));
}

// The first object in text after "N 0 obj".
CPdfObject ObjectAt(const std::string& file, int number)
{
    const std::string header = "\n" + std::to_string(number) + " 0 obj";
    const size_t at = file.find(header);
    return at == std::string::npos ? CPdfObject() : ParseOne(file.substr(at + header.size()));
}

// The raw data of stream object N: /Length bytes after "stream" and its line end.
std::string StreamDataAt(const std::string& file, int number)
{
    const std::string header = "\n" + std::to_string(number) + " 0 obj";
    const size_t start = file.find(header) + header.size();
    size_t at = file.find("stream", start);
    const CPdfObject dict = ParseOne(file.substr(start, at - start));
    CPdfObject length;
    dict.GetDictionary()->Lookup("Length", length);
    at += 6;
    at += file[at] == '\r' ? 2 : 1;
    return file.substr(at, static_cast<size_t>(length.GetInt()));
}

}  // namespace

// Strings and stream data of files qpdf encrypts now (random salts and IVs),
// decrypted with their objects' keys, against what qpdf itself decrypts them to.
TEST(CPdfSecurityHandlerTest, DecryptsWhatQpdfEncrypts)
{
    TempDir dir;
    std::string content;
    for (int i = 0; content.size() < 3000; ++i)
        content += "BT /F1 12 Tf 72 " + std::to_string(700 - i) + " Td (Line " + std::to_string(i) + ") Tj ET\n";
    const std::string plain =
        PdfBuilder()
            .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
            .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
            .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<<>>/Contents 4 0 R>>")
            .Stream(4, "", content)
            .Object(5, "<</Title(Worked \\(title\\))/Subject<48656c6c6f2c20776f726c64>/Author()>>")
            .Trailer("/Root 1 0 R /Info 5 0 R")
            .Build();
    dir.Write("plain.pdf", plain);
    const std::string variants[] = {
        "40",  "128", "128 --use-aes=y", "128 --use-aes=y --cleartext-metadata", "256", "256 --force-R5",
    };
    for (const std::string& variant : variants) {
        SCOPED_TRACE(variant);
        const std::string in = dir.File("plain.pdf"), out = dir.File("enc.pdf");
        Shell("qpdf --allow-weak-crypto --encrypt '' owner " + variant + " -- --object-streams=disable " + in + " " +
              out);
        const std::string file = ReadFile(out);
        ASSERT_FALSE(file.empty());
        // The /Encrypt values as the file has them (qpdf shows that
        // dictionary undecrypted) and the first /ID string.
        const CPdfObject trailer = ParseOne(Shell("qpdf --show-object=trailer " + out));
        CPdfObject encryptRef, ids, id;
        trailer.GetDictionary()->LookupRaw("Encrypt", encryptRef);
        trailer.GetDictionary()->Lookup("ID", ids);
        ids.GetArray()->Get(0, id);
        const CPdfObject encrypt =
            ParseOne(Shell("qpdf --show-object=" + std::to_string(encryptRef.GetRefNum()) + " " + out));
        CPdfSecurityHandler handler;
        ASSERT_EQ(handler.Open(*encrypt.GetDictionary(), id.GetString()->GetValue()), CPdfSecurityHandler::OPENED);
        EXPECT_EQ(Hex(handler.GetFileKey()),
                  Shell("qpdf --show-encryption-key --show-encryption " + out + " | sed -n 's/^Encryption key = //p'")
                      .substr(0, handler.GetFileKey().size() * 2));

        // qpdf renumbers what it writes: follow the references.
        const auto ref = [&](const CPdfObject& from, const char* key) {
            CPdfObject value;
            from.GetDictionary()->LookupRaw(key, value);
            if (value.GetKind() == OBJ_ARRAY) {
                CPdfObject first;
                value.GetArray()->GetRaw(0, first);
                return first.GetRefNum();
            }
            return value.GetRefNum();
        };
        const int infoNum = ref(trailer, "Info");
        const int pagesNum = ref(ObjectAt(file, ref(trailer, "Root")), "Pages");
        const int contentsNum = ref(ObjectAt(file, ref(ObjectAt(file, pagesNum), "Kids")), "Contents");
        const CPdfObject info = ObjectAt(file, infoNum);
        const CPdfObject shown = ParseOne(Shell("qpdf --show-object=" + std::to_string(infoNum) + " " + out));
        for (const char* key : {"Title", "Subject", "Author"}) {
            CPdfObject encrypted, expected;
            info.GetDictionary()->Lookup(key, encrypted);
            shown.GetDictionary()->Lookup(key, expected);
            EXPECT_EQ(handler.DecryptString(infoNum, 0, encrypted.GetString()->GetValue()),
                      expected.GetString()->GetValue())
                << key;
        }
        const std::string data = StreamDataAt(file, contentsNum);
        const std::string expected =
            Shell("qpdf --show-object=" + std::to_string(contentsNum) + " --raw-stream-data " + out);
        ASSERT_FALSE(expected.empty());
        CPdfDecryptor whole = handler.CreateDecryptor(CPdfSecurityHandler::DATA_STREAM, contentsNum, 0);
        const std::vector<uint8_t> decrypted = whole.DecryptAll(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        EXPECT_EQ(std::string(decrypted.begin(), decrypted.end()), expected);
        // In chunks of odd sizes, with the length stated before any data.
        CPdfDecryptor chunked = handler.CreateDecryptor(CPdfSecurityHandler::DATA_STREAM, contentsNum, 0);
        const size_t tail = chunked.GetTailSize(static_cast<int64_t>(data.size()));
        EXPECT_EQ(chunked.GetOutputLength(static_cast<int64_t>(data.size()),
                                          reinterpret_cast<const uint8_t*>(data.data()) + data.size() - tail),
                  static_cast<int64_t>(expected.size()));
        std::vector<uint8_t> pieces;
        for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 61 + 1)
            chunked.Update(reinterpret_cast<const uint8_t*>(data.data()) + at, std::min(step, data.size() - at), pieces);
        chunked.Finish(pieces);
        EXPECT_EQ(std::string(pieces.begin(), pieces.end()), expected);
    }
}
