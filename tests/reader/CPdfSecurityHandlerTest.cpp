// CPdfSecurityHandler: file keys derived from the /Encrypt values of files
// made by qpdf and pdftk (worked values: the keys qpdf reports for the same
// files), what it refuses, and the cipher each crypt filter chooses.
#include <gtest/gtest.h>

#include "support/ObjectTestKit.h"
#include "reader/CPdfSecurityHandler.h"
#include "support/EncryptTestKit.h"

namespace {

using namespace encrypttest;
using H = CPdfSecurityHandler;

std::string Unhex(const std::string& hex)
{
    CPdfString s(reinterpret_cast<const uint8_t*>(hex.data()), static_cast<uint32_t>(hex.size()));
    s.SetLiteral(false);
    return s.GetValue();
}

const std::string kPi = Unhex("31415926535897932384626433832795");  // qpdf --static-id

// The /Encrypt values of a file made with `qpdf --encrypt USER OWNER BITS
// [--use-aes=y] [--force-R5] -- --static-id` (revision r; crypt filters
// from 4 on), as `qpdf --show-object` prints them; more: /OE, /Perms, /UE.
std::string Standard(int r, const std::string& o, const std::string& u, const std::string& more = "", int p = -4)
{
    const std::string v = r == 2 ? "1/Length 40" : r == 3 ? "2/Length 128" : r == 4 ? "4/Length 128" : "5/Length 256";
    const std::string cf = r == 4 ? "AESV2/Length 16" : "AESV3/Length 32";
    return "<</Filter/Standard/R " + std::to_string(r) + "/V " + v + "/P " + std::to_string(p) + "/O<" + o + ">/U<" + u +
           ">" + more + (r >= 4 ? "/CF<</StdCF<</AuthEvent/DocOpen/CFM/" + cf + ">>>>/StmF/StdCF/StrF/StdCF" : "") + ">>";
}

const std::string kR2 = Standard(2, "c92422687facee686e373f10b5c7d04738053152f7e2ee30e11c69ec442576ab",
                                 "b3d9fa366906ef42f354c6deb74c59075eaf334eb7c04356ba0d7f3dd8b51d0a");
const std::string kR6 = Standard(
    6, "864dce1b0c9033190b8446fdb5ae026947c1a19b1b1ca73e0b1992a8ba03960b4f5eb83769c8847882ddb48e8144ec8e",
    "bfb1689c1422c590a3d6451e952cbb98f7477e30a177fcb4763a5a11b0c903632f31b75ef3394af7dd351376bdf1a478",
    "/OE<f33a827e543d5370432b934927395c058bd77ed58128c3c841b297ec28a77c69>/Perms<ec223794d0e3fcc0b9a8bec8ec4b6a73>"
    "/UE<1d20261363374f0ea6575af2823dc3f927774046f5b8e728536f697f1869dff4>");
const std::string kR5 = Standard(
    5, "b096a74d6b639e8ee09fb6474f9311b6ab54bb90e47678e3dbd821dec0d1d16b821ab1cbb23f727187f8330df8aa3ddf",
    "eae7d7ba5203ccb38138267a23bafbafecef4b1ca0728d17c6ef91bc4a55cd45c6f8119c39abf2ea2e875632026445ff",
    "/OE<0df26d596a462baa7135ae6af22869405d2df72052f6322bffbc17171e8e3a1a>/Perms<d441c538ac7dc3d165c5662c0e9420cd>"
    "/UE<b171c9ee9a2fe6775a7b8f4ed5484895519aa618cbfe1a0db302a62ba93f4c5c>");
// `pdftk in.pdf output out.pdf owner_pw x`: an owner password only.
const std::string kPdftk = Standard(4, "23d51bb8081abde412d51dbf9017ccaa31e7762d4570dabe24b32e274e6be108",
                                    "5518f91c01355ef6389aee316a70e3f800000000000000000000000000000000", "", -3904);
// Passwords "user" and "owner".
const std::string kUser40 = Standard(2, "94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f",
                                     "2aa12f26bcf1a217c0f1ee491745f646671475ae85bddf3e3c1a45a8457391cb");
const std::string kUserAes128 = Standard(4, "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
                                         "763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4");
const std::string kUserR6 = Standard(
    6, "9bd8954603a2e7e45e3d2331c1f6bc5c2eb12b0852bb8d72f917891ecec09d6ba515d6bc6bff0b6980150deb7b9565b0",
    "d867613a9091643d88d2925510f3db7e2b35f3e9cfd0464af40cbb65beea6babe66926f2768684377467ef717b2e49ba",
    "/OE<f174dfc864cc789c6ce6309f9fce040a90215f70a9a926acecd50b773003262b>/Perms<8a4bd36ce5b48e8440017b15c6bc0654>"
    "/UE<85083633ff79e0a4bcdfd0a781640a6f855fa7bd206d3b07b37137700fe11878>");
// User password "user", owner password empty (--allow-insecure): the empty
// string opens it as the owner.
const std::string kEmptyOwnerR6 = Standard(
    6, "c9d5f0199f648ac9404533b3add6d5bb7528759512350b65e41b1c2d66d240ea0217daecf640bc10d2deede891511cc0",
    "7eaa68cdd2deb0ba2ae0f12602ccfa2d69dbe1fdc6746782a48bdd3d2926d41516c15f0fd0c291ccc0a73bc955982ab1",
    "/OE<33dee9dedc2ff6e5cd238bac48915d510c540e669832a34272d9c983e98c1356>/Perms<6b3430d032fb5323ac35600f03aa399e>"
    "/UE<26d9a0cc471a1f1909b365d18e837750271399cdb407685f92519f8da9d48fdc>");

}  // namespace

TEST(CPdfSecurityHandlerTest, FileKeysOfKnownFilesAndDictionariesItCannotUse)
{
    struct Row {
        std::string encrypt, id, password;
        H::EOpenResult result;
        std::string key;
        bool owner;
    };
    const std::string pdftkId = Unhex("e96b8da11881c33b77c7179989481a61"), r6Key =
        "0ed55f0bb4025f4aaab766eb9c38b8ef21cf8ae195de5ed8155be4306d461d1c";
    std::vector<Row> rows = {
        {kR2, kPi, "", H::OPENED, "0e7b66938a", false},
        {kRc4Dict, kPi, "", H::OPENED, HexDigits(kRc4.key), false},
        {kAesDict, kPi, "", H::OPENED, HexDigits(kAes.key), false},
        {kAesClearMetadataDict, kPi, "", H::OPENED, HexDigits(kAesClearMetadata.key), false},
        {kR6, kPi, "", H::OPENED, r6Key, false},
        {kR5, kPi, "", H::OPENED, "3dacb810c9153c74070d679ead033167b375f6b28e004df45f1a5ae275995506", false},
        {kPdftk, pdftkId, "", H::OPENED, "73de65e63506bfe0b9c913e9e2281182", false},
        {kEmptyOwnerR6, kPi, "", H::OPENED, "210262195706822f95929a1b3896635aaeeccbd2c78d503ded1ff4ddcbe83dfe", true},
        // A user password: the empty string opens nothing; either password gives the same key.
        {kUser40, kPi, "", H::WRONG_PASSWORD, "", false},
        {kUser40, kPi, "user", H::OPENED, "ee4fd3a223", false},
        {kUser40, kPi, "owner", H::OPENED, "ee4fd3a223", true},
        {kUserDict, kPi, "", H::WRONG_PASSWORD, "", false},
        {kUserDict, kPi, "owner", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", true},
        {kUserAes128, kPi, "user", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", false},
        {kUserAes128, kPi, "owner", H::OPENED, "55831911f0f2b9a08ac3cbcc766166db", true},
        {kUserR6, kPi, "", H::WRONG_PASSWORD, "", false},
        {kUserR6, kPi, "user", H::OPENED, "814d64ec43e96cfe3fa2373c396a26f1362e16239b51e03b70dbe5d3d6ad6aee", false},
        {kUserR6, kPi, "owner", H::OPENED, "814d64ec43e96cfe3fa2373c396a26f1362e16239b51e03b70dbe5d3d6ad6aee", true},
        // The key depends on the first /ID string (revisions 2 to 4 only).
        {kRc4Dict, pdftkId, "", H::WRONG_PASSWORD, "", false},
        {kR6, pdftkId, "", H::OPENED, r6Key, false},
    };
    const std::string o = "/O<" + std::string(64, 'a') + ">/U<" + std::string(64, 'b') + ">/P -4";
    const std::string cf = "/CF<</StdCF<</CFM/AESV2>>>>";
    const std::pair<std::string, H::EOpenResult> unusable[] = {
        {"<</Filter/Adobe.PubSec/V 4/R 4" + o + ">>", H::UNSUPPORTED},
        {"<</V 2/R 3" + o + ">>", H::UNSUPPORTED},  // no handler named
        {"<</Filter/Standard/V 3/R 3" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 2/R 7" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 5/R 4" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF/StrF/Other" + cf + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF/CF<</StdCF<</CFM/AESV9>>>>" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF/CF<</StdCF<</CFM/AESV3>>>>" + o + ">>", H::UNSUPPORTED},
        {"<</Filter/Standard/V 4/R 4/StmF/StdCF/CF<</StdCF 5>>" + o + ">>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3/U<" + std::string(64, 'b') + ">/P -4>>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3/O<aa>/U<" + std::string(64, 'b') + ">/P -4>>", H::MALFORMED},
        {"<</Filter/Standard/V 2/R 3/P 1.5" + o.substr(0, o.size() - 5) + ">>", H::MALFORMED},
        {"<</Filter/Standard/V 5/R 6" + o + ">>", H::MALFORMED},  // 32-byte /O, no /OE, /UE
        // Well formed, just not the empty password's values.
        {"<</Filter/Standard/V 2/R 3" + o + ">>", H::WRONG_PASSWORD},
        {"<</Filter/Standard/R 2" + o + ">>", H::WRONG_PASSWORD},
        {"<</Filter/Standard/V 4/R 4" + cf + "/StmF/Identity/StrF/StdCF" + o + ">>", H::WRONG_PASSWORD},
    };
    for (const auto& [text, result] : unusable)
        rows.push_back({text, kPi, "", result, "", false});
    for (const Row& row : rows) {
        H handler;
        const CPdfObject dict = ParseOne(row.encrypt);
        EXPECT_EQ(handler.Open(*dict.GetDictionary(), row.id, row.password), row.result) << row.encrypt;
        EXPECT_EQ(row.result == H::OPENED ? HexDigits(handler.GetFileKey()) : "", row.key) << row.encrypt;
        EXPECT_EQ(handler.IsOwner(), row.owner) << row.encrypt;
    }
}

TEST(CPdfSecurityHandlerTest, CryptFiltersChooseTheCipher)
{
    // The AES-128 file's values with other filters for strings and streams.
    const auto with = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const auto AES = CPdfDecryptor::CIPHER_AES, RC4 = CPdfDecryptor::CIPHER_RC4, NONE = CPdfDecryptor::CIPHER_IDENTITY;
    const std::tuple<std::string, CPdfDecryptor::ECipher, CPdfDecryptor::ECipher> rows[] = {
        {kAesDict, AES, AES},
        {with(kAesDict, "/StmF/StdCF", "/StmF/Identity"), AES, NONE},
        {with(kAesDict, "/StrF/StdCF", ""), NONE, AES},
        {with(kAesDict, "/CFM/AESV2", "/CFM/V2"), RC4, RC4},
        {with(kAesDict, "/CFM/AESV2", "/CFM/None"), NONE, NONE},
        {kRc4Dict, RC4, RC4},
        {kR6, AES, AES},
    };
    for (const auto& [encrypt, strings, streams] : rows) {
        H handler;
        const CPdfObject dict = ParseOne(encrypt);
        ASSERT_EQ(handler.Open(*dict.GetDictionary(), kPi), H::OPENED) << encrypt;
        EXPECT_EQ(handler.CreateDecryptor(H::DATA_STRING, 1, 0).GetCipher(), strings) << encrypt;
        EXPECT_EQ(handler.CreateDecryptor(H::DATA_STREAM, 1, 0).GetCipher(), streams) << encrypt;
    }
    // Metadata is left in the clear only from revision 4 on.
    for (const auto& [encrypt, metadata] : {std::pair{std::string(kAesClearMetadataDict), false}, {kAesDict, true},
                                            {with(kAesDict, "/V 4", "/EncryptMetadata false/V 4"), false},
                                            {with(kRc4Dict, "/V 2", "/EncryptMetadata false/V 2"), true}}) {
        H handler;
        const CPdfObject dict = ParseOne(encrypt);
        handler.Open(*dict.GetDictionary(), kPi);
        EXPECT_EQ(handler.EncryptsMetadata(), metadata) << encrypt;
    }
}
