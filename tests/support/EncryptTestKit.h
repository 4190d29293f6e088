#pragma once
// Encrypted files made in code: the /Encrypt values and file keys of files
// qpdf made (`qpdf --encrypt "" owner 128 [--use-aes=y] -- --static-id`),
// with strings and stream data encrypted here, so that any syntax a producer
// writes can be tried. Data is encrypted with nettle directly; nothing of
// the program's own decryption is used to make a fixture.
#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>

#include <string>

#include "support/PdfBuilder.h"

namespace encrypttest {

inline const std::string kIdEntry = "/ID[<31415926535897932384626433832795><31415926535897932384626433832795>]";
inline const char kRc4Dict[] =
    "<</Filter/Standard/Length 128/O<566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5>"
    "/P -4/R 3/U<e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4>/V 2>>";
inline const char kAesDict[] =
    "<</CF<</StdCF<</AuthEvent/DocOpen/CFM/AESV2/Length 16>>>>/Filter/Standard/Length 128"
    "/O<566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5>/P -4/R 4/StmF/StdCF/StrF/StdCF"
    "/U<e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4>/V 4>>";
// /EncryptMetadata false enters the key.
inline const char kAesClearMetadataDict[] =
    "<</CF<</StdCF<</AuthEvent/DocOpen/CFM/AESV2/Length 16>>>>/EncryptMetadata false/Filter/Standard/Length 128"
    "/O<566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5>/P -4/R 4/StmF/StdCF/StrF/StdCF"
    "/U<b7ae61ae5fe831ccd7979c155d4f926c0122456a91bae5134273a6db134c87c4>/V 4>>";

// How a fixture is encrypted: its /Encrypt dictionary and the file key
// qpdf reported for it.
struct Scheme {
    const char* name;
    const char* dict;
    std::string key;
    bool aes;
    bool clearMetadata;
};

inline const Scheme kRc4{"RC4", kRc4Dict, "\xab\xe3\x22\x31\xc5\xba\xae\x96\x79\xdc\x30\x6b\xb3\xa7\x42\x7d", false,
                         false};
inline const Scheme kAes{"AES", kAesDict, kRc4.key, true, false};
inline const Scheme kAesClearMetadata{"AES, metadata in the clear", kAesClearMetadataDict,
                                      "\x11\x08\x10\x1e\xa5\x97\xf1\xf3\x5b\x93\x93\xc0\x12\xb8\xe3\xfe", true, true};
// A user password ("user"): the empty one opens nothing.
inline const char kUserDict[] =
    "<</Filter/Standard/Length 128/O<0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671>"
    "/P -4/R 3/U<763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4>/V 2>>";

// Raw ciphers, as a writer applies them: RC4, and AES-CBC under a 16- or
// 32-byte key with the IV in front of the data.
inline std::string Rc4(const uint8_t* key, size_t keyLength, const std::string& plain)
{
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, keyLength, key);
    std::string out(plain.size(), '\0');
    arcfour_crypt(&rc4, plain.size(), reinterpret_cast<uint8_t*>(out.data()),
                  reinterpret_cast<const uint8_t*>(plain.data()));
    return out;
}

inline std::string Pkcs5(const std::string& plain)
{
    return plain + std::string(16 - plain.size() % 16, static_cast<char>(16 - plain.size() % 16));
}

inline std::string AesCbc(const uint8_t* key, size_t keyLength, const std::string& iv, const std::string& padded)
{
    std::string out(padded.size(), '\0');
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    const auto* src = reinterpret_cast<const uint8_t*>(padded.data());
    uint8_t chain[16];
    std::copy(iv.begin(), iv.begin() + 16, chain);
    aes128_ctx ctx128;
    aes256_ctx ctx256;
    if (keyLength == 16) {
        aes128_set_encrypt_key(&ctx128, key);
        cbc_encrypt(&ctx128, [](const void* c, size_t n, uint8_t* d, const uint8_t* s) {
            aes128_encrypt(static_cast<const aes128_ctx*>(c), n, d, s); }, 16, chain, out.size(), dst, src);
    } else {
        aes256_set_encrypt_key(&ctx256, key);
        cbc_encrypt(&ctx256, [](const void* c, size_t n, uint8_t* d, const uint8_t* s) {
            aes256_encrypt(static_cast<const aes256_ctx*>(c), n, d, s); }, 16, chain, out.size(), dst, src);
    }
    return iv.substr(0, 16) + out;
}

// Data of object (number, generation) encrypted as a writer encrypts it:
// RC4, or AES-128 with an IV and PKCS#5 padding.
inline std::string Encrypt(const Scheme& scheme, int number, int generation, const std::string& plain)
{
    std::string input = scheme.key;
    for (int v : {number, number >> 8, number >> 16, generation, generation >> 8})
        input.push_back(static_cast<char>(v & 0xFF));
    if (scheme.aes)
        input += "sAlT";
    md5_ctx md5;
    md5_init(&md5);
    md5_update(&md5, input.size(), reinterpret_cast<const uint8_t*>(input.data()));
    uint8_t key[16];
    md5_digest(&md5, 16, key);
    const std::string iv = "iv:" + std::to_string(number * 1000 + generation) + std::string(16, '.');
    return scheme.aes ? AesCbc(key, 16, iv, Pkcs5(plain)) : Rc4(key, 16, plain);
}

// A string token for bytes: literal with escapes, or hexadecimal.
inline std::string Literal(const std::string& bytes)
{
    std::string out = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        out += c;
    }
    return out + ")";
}

inline std::string HexDigits(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += {kDigits[c >> 4], kDigits[c & 15]};
    return out;
}

inline std::string Hex(const std::string& bytes) { return "<" + HexDigits(bytes) + ">"; }

// What the fixture's strings and streams hold in the clear.
inline const std::string kContent = "0 0 1 rg 1 1 7 7 re f";
inline const std::string kFlateContent = "BT /F1 1 Tf (flate) Tj ET";
inline const std::string kMetadata = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
inline const std::string kTitle = std::string("Title (1)\r\\ \xff\0", 14);
inline const std::string kMember = "(member \\(string\\))";

// Large enough to stay in the file while it is copied.
inline std::string LargeData()
{
    std::string data;
    for (int i = 0; data.size() < 20000; ++i)
        data += "0 0 " + std::to_string(i % 97) + " 1 re f\n";
    return data;
}

// One page, compact syntax: catalog 1 (with metadata stream 8), page tree 2,
// page 3 with content streams 4 (direct /Length) and 6 (FlateDecode,
// /Length in object 7, CR LF around the data) and a large form 10; Info
// 5 (generation 2) with strings literal and hexadecimal, nested and empty;
// object stream 11 holding 12; /Encrypt 9; cross-reference stream 13.
inline std::string Document(const Scheme& scheme)
{
    const auto e = [&](int number, const std::string& plain, int generation = 0) {
        return Encrypt(scheme, number, generation, plain);
    };
    const auto stream = [](const std::string& dict, const std::string& data, const char* eol = "\n") {
        return "<<" + dict + "/Length " + std::to_string(data.size()) + ">>stream" + eol + data + eol + "endstream";
    };
    const std::string flate = e(6, Deflate(kFlateContent));
    const std::string member = "12 0 " + kMember;
    PdfAssembler a("%PDF-1.6");
    a.Object(1, "<</Type/Catalog/Pages 2 0 R/Metadata 8 0 R>>");
    a.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    a.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</XObject<</L 10 0 R>>>>"
                "/Contents[4 0 R 6 0 R]>>");
    a.Object(4, stream("", e(4, kContent)));
    a.Object(5, "<</Title" + Literal(e(5, kTitle, 2)) + "/Subject" + Hex(e(5, "Subject", 2)) + "/K[" +
                    Literal(e(5, "in an array", 2)) + "<</D" + Hex(e(5, "", 2)) + ">>]>>", 2);
    a.Object(6, "<</Length 7 0 R/Filter/FlateDecode>>stream\r\n" + flate + "\r\nendstream");
    a.Object(7, std::to_string(flate.size()));
    a.Object(8, stream("/Type/Metadata/Subtype/XML", scheme.clearMetadata ? kMetadata : e(8, kMetadata)));
    a.Object(9, scheme.dict);
    a.Object(10, stream("/Type/XObject/Subtype/Form/BBox[0 0 9 9]", e(10, LargeData())));
    a.Object(11, stream("/Type/ObjStm/N 1/First 5", e(11, member)));
    a.SetEntry(12, 2, 11, 0);
    a.StartXRef(a.XRefStream(13, {}, "/Root 1 0 R/Info 5 2 R/Encrypt 9 0 R" + kIdEntry));
    return a.Bytes();
}

}  // namespace encrypttest
