#include "reader/CPdfSecurityHandler.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <cstring>

#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"

namespace {

// Fills a password up to 32 bytes (revisions 2 to 4).
constexpr uint8_t kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                  0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                  0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

const uint8_t* Bytes(const std::string& s)
{
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string PadPassword(const std::string& password)
{
    std::string padded = password.substr(0, 32);
    padded.append(reinterpret_cast<const char*>(kPadding), 32 - padded.size());
    return padded;
}

std::string Md5(const std::string& data)
{
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, data.size(), Bytes(data));
    std::string digest(MD5_DIGEST_SIZE, '\0');
    md5_digest(&ctx, MD5_DIGEST_SIZE, reinterpret_cast<uint8_t*>(digest.data()));
    return digest;
}

std::string Rc4(const std::string& key, const std::string& data)
{
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, key.size(), Bytes(key));
    std::string out(data.size(), '\0');
    arcfour_crypt(&ctx, data.size(), reinterpret_cast<uint8_t*>(out.data()), Bytes(data));
    return out;
}

// The key with every byte exclusive-ored with i: the 19 extra RC4 passes of
// revisions 3 and 4 use one such key each.
std::string XorKey(const std::string& key, int i)
{
    std::string out = key;
    for (char& c : out)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ i);
    return out;
}

template <typename Ctx, void (*Init)(Ctx*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t kSize>
std::string Sha(const std::string& data)
{
    Ctx ctx;
    Init(&ctx);
    Update(&ctx, data.size(), Bytes(data));
    std::string digest(kSize, '\0');
    Digest(&ctx, kSize, reinterpret_cast<uint8_t*>(digest.data()));
    return digest;
}

std::string Sha256(const std::string& data)
{
    return Sha<sha256_ctx, sha256_init, sha256_update, sha256_digest, SHA256_DIGEST_SIZE>(data);
}

std::string Sha384(const std::string& data)
{
    return Sha<sha512_ctx, sha384_init, sha512_update, sha384_digest, SHA384_DIGEST_SIZE>(data);
}

std::string Sha512(const std::string& data)
{
    return Sha<sha512_ctx, sha512_init, sha512_update, sha512_digest, SHA512_DIGEST_SIZE>(data);
}

void Aes128Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes128_encrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}

void Aes256Decrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src)
{
    aes256_decrypt(static_cast<const aes256_ctx*>(ctx), length, dst, src);
}

// The hash of revisions 5 and 6 over a password, an 8-byte salt and, for the
// owner password, the 48 bytes of /U. Revision 5 takes one SHA-256; revision
// 6 iterates AES-128-CBC and SHA-2 rounds until the last byte of a round's
// output allows a stop, which happens by round 288 at the latest.
std::string HashV5(const std::string& password, const std::string& salt, const std::string& userData, int32_t revision)
{
    std::string k = Sha256(password + salt + userData);
    if (revision < 6)
        return k;
    std::string k1, e;
    for (int round = 1;; ++round) {
        const std::string unit = password + k + userData;
        k1.clear();
        for (int i = 0; i < 64; ++i)
            k1 += unit;
        aes128_ctx aes;
        aes128_set_encrypt_key(&aes, Bytes(k));
        uint8_t iv[AES_BLOCK_SIZE];
        std::memcpy(iv, k.data() + 16, AES_BLOCK_SIZE);
        e.assign(k1.size(), '\0');
        // k1 is 64 copies of one unit, so its length is a whole number of blocks.
        cbc_encrypt(&aes, Aes128Encrypt, AES_BLOCK_SIZE, iv, k1.size(), reinterpret_cast<uint8_t*>(e.data()),
                    Bytes(k1));
        // The first 16 bytes as a big number, modulo 3: 256 is 1 modulo 3,
        // so the sum of the bytes has the same remainder.
        int sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += static_cast<uint8_t>(e[static_cast<size_t>(i)]);
        switch (sum % 3) {
        case 0: k = Sha256(e); break;
        case 1: k = Sha384(e); break;
        default: k = Sha512(e); break;
        }
        if (round >= 64 && static_cast<uint8_t>(e.back()) <= round - 32)
            break;
    }
    return k.substr(0, 32);
}

// The file key of revisions 5 and 6: /UE or /OE decrypted with the
// intermediate key (AES-256, CBC, zero IV, no padding).
std::string UnwrapKey(const std::string& key, const std::string& wrapped)
{
    aes256_ctx aes;
    aes256_set_decrypt_key(&aes, Bytes(key));
    uint8_t iv[AES_BLOCK_SIZE] = {};
    std::string out(32, '\0');
    cbc_decrypt(&aes, Aes256Decrypt, AES_BLOCK_SIZE, iv, 32, reinterpret_cast<uint8_t*>(out.data()), Bytes(wrapped));
    return out;
}

bool GetStringValue(const CPdfDictionary& dict, const char* key, std::string& out)
{
    CPdfObject value;
    dict.Lookup(key, value);
    if (value.GetKind() != OBJ_STRING)
        return false;
    out = value.GetString()->GetValue();
    return true;
}

bool GetInt(const CPdfDictionary& dict, const char* key, int32_t& out)
{
    CPdfObject value;
    dict.Lookup(key, value);
    if (value.GetKind() != OBJ_INTEGER)
        return false;
    out = value.GetInt();
    return true;
}

}  // namespace

CPdfSecurityHandler::EOpenResult CPdfSecurityHandler::Open(const CPdfDictionary& encrypt, const std::string& firstId,
                                                           const std::string& password)
{
    CPdfObject filter;
    encrypt.Lookup("Filter", filter);
    if (filter.GetKind() != OBJ_NAME || std::strcmp(filter.GetText(), "Standard") != 0)
        return UNSUPPORTED;
    // /V is optional; without it (or with the undocumented 0) the revision
    // alone says what to do, as with /V 1.
    if (!GetInt(encrypt, "V", m_version) || m_version == 0)
        m_version = 1;
    if (!GetInt(encrypt, "R", m_revision))
        return MALFORMED;
    // /V 3 is an unpublished algorithm; revisions 5 and 6 go with /V 5 only.
    if (m_revision < 2 || m_revision > 6 || (m_version != 1 && m_version != 2 && m_version != 4 && m_version != 5) ||
        (m_version == 5) != (m_revision >= 5))
        return UNSUPPORTED;
    if (!GetStringValue(encrypt, "O", m_o) || !GetStringValue(encrypt, "U", m_u) ||
        !GetInt(encrypt, "P", m_permissions))
        return MALFORMED;
    const size_t hashSize = m_revision >= 5 ? 48 : 32;
    if (m_o.size() < hashSize || m_u.size() < hashSize)
        return MALFORMED;
    if (m_revision >= 5 &&
        (!GetStringValue(encrypt, "OE", m_oe) || !GetStringValue(encrypt, "UE", m_ue) || m_oe.size() < 32 ||
         m_ue.size() < 32))
        return MALFORMED;
    m_o.resize(hashSize);
    m_u.resize(hashSize);
    m_id = firstId;
    // Only revision 4 and later can leave metadata in the clear.
    CPdfObject encryptMetadata;
    encrypt.Lookup("EncryptMetadata", encryptMetadata);
    m_encryptMetadata = m_revision < 4 || encryptMetadata.GetKind() != OBJ_BOOL || encryptMetadata.GetBool();

    switch (m_version) {
    case 1:
        m_keyLength = 5;
        break;
    case 2: {
        // Bits, a multiple of 8 from 40 to 128; a value outside that is
        // brought into it rather than refused, and authentication decides.
        int32_t bits = 40;
        GetInt(encrypt, "Length", bits);
        m_keyLength = static_cast<size_t>(std::clamp(bits, 40, 128) / 8);
        break;
    }
    case 4:
        m_keyLength = 16;
        break;
    default:
        m_keyLength = 32;
        break;
    }
    if (m_version < 4) {
        m_stringMethod = m_streamMethod = METHOD_RC4;
    } else {
        if (!ReadCryptFilters(encrypt))
            return MALFORMED;
        m_stringMethod = MethodOf(encrypt, "StrF");
        m_streamMethod = MethodOf(encrypt, "StmF");
        // AES-256 belongs to /V 5 and the object keys of RC4 and AES-128 to
        // the earlier versions; a mixture is no file any known writer makes.
        for (EMethod method : {m_stringMethod, m_streamMethod})
            if (method == METHOD_UNKNOWN || (method == METHOD_AESV3) != (m_version == 5 && method != METHOD_NONE))
                return UNSUPPORTED;
    }

    const std::string truncated = password.substr(0, m_revision >= 5 ? 127 : 32);
    m_owner = false;
    bool opened;
    if (m_revision >= 5)
        opened = AuthenticateUserV5(truncated) || AuthenticateOwnerV5(truncated);
    else
        opened = AuthenticateUser(truncated) || AuthenticateOwner(truncated);
    return opened ? OPENED : WRONG_PASSWORD;
}

bool CPdfSecurityHandler::ReadCryptFilters(const CPdfDictionary& encrypt)
{
    m_filters.clear();
    CPdfObject filters;
    encrypt.Lookup("CF", filters);
    if (filters.GetKind() != OBJ_DICTIONARY)
        return true;
    const CPdfDictionary* all = filters.GetDictionary();
    for (int32_t i = 0; i < all->GetSize(); ++i) {
        const std::string name = all->GetKey(i);
        CPdfObject filter, method;
        all->Lookup(name.c_str(), filter);
        if (filter.GetKind() != OBJ_DICTIONARY)
            return false;
        filter.GetDictionary()->Lookup("CFM", method);
        EMethod m = METHOD_UNKNOWN;
        // A filter without /CFM leaves the data as it is.
        if (method.GetKind() == OBJ_NULL || (method.GetKind() == OBJ_NAME && std::strcmp(method.GetText(), "None") == 0))
            m = METHOD_NONE;
        else if (method.GetKind() == OBJ_NAME && std::strcmp(method.GetText(), "V2") == 0)
            m = METHOD_RC4;
        else if (method.GetKind() == OBJ_NAME && std::strcmp(method.GetText(), "AESV2") == 0)
            m = METHOD_AESV2;
        else if (method.GetKind() == OBJ_NAME && std::strcmp(method.GetText(), "AESV3") == 0)
            m = METHOD_AESV3;
        m_filters[name] = m;
    }
    return true;
}

CPdfSecurityHandler::EMethod CPdfSecurityHandler::MethodOf(const CPdfDictionary& encrypt, const char* key) const
{
    CPdfObject name;
    encrypt.Lookup(key, name);
    if (name.GetKind() == OBJ_NULL)
        return METHOD_NONE;
    if (name.GetKind() != OBJ_NAME)
        return METHOD_UNKNOWN;
    return MethodOfFilter(name.GetText());
}

CPdfSecurityHandler::EMethod CPdfSecurityHandler::MethodOfFilter(const std::string& name) const
{
    // /Identity is predefined and cannot be redefined.
    if (name == "Identity")
        return METHOD_NONE;
    const auto it = m_filters.find(name);
    return it == m_filters.end() ? METHOD_UNKNOWN : it->second;
}

std::string CPdfSecurityHandler::ComputeFileKey(const std::string& password) const
{
    std::string input = PadPassword(password) + m_o.substr(0, 32);
    const uint32_t p = static_cast<uint32_t>(m_permissions);
    for (int shift = 0; shift < 32; shift += 8)
        input.push_back(static_cast<char>((p >> shift) & 0xFF));
    input += m_id;
    if (m_revision >= 4 && !m_encryptMetadata)
        input.append(4, '\xFF');
    std::string hash = Md5(input);
    if (m_revision >= 3)
        for (int i = 0; i < 50; ++i)
            hash = Md5(hash.substr(0, m_keyLength));
    return hash.substr(0, m_keyLength);
}

bool CPdfSecurityHandler::AuthenticateUser(const std::string& password)
{
    const std::string key = ComputeFileKey(password);
    const std::string padding(reinterpret_cast<const char*>(kPadding), 32);
    bool match;
    if (m_revision == 2) {
        match = Rc4(key, padding) == m_u;
    } else {
        // Only the first 16 bytes of /U are defined; the rest is arbitrary.
        std::string x = Rc4(key, Md5(padding + m_id));
        for (int i = 1; i <= 19; ++i)
            x = Rc4(XorKey(key, i), x);
        match = x == m_u.substr(0, 16);
    }
    if (match)
        m_fileKey = key;
    return match;
}

bool CPdfSecurityHandler::AuthenticateOwner(const std::string& password)
{
    // The owner password's key decrypts /O into the user password, which
    // then opens the document as usual.
    std::string hash = Md5(PadPassword(password));
    if (m_revision >= 3)
        for (int i = 0; i < 50; ++i)
            hash = Md5(hash);
    const std::string key = hash.substr(0, m_keyLength);
    std::string user = m_o.substr(0, 32);
    if (m_revision == 2) {
        user = Rc4(key, user);
    } else {
        for (int i = 19; i >= 0; --i)
            user = Rc4(XorKey(key, i), user);
    }
    if (!AuthenticateUser(user))
        return false;
    m_owner = true;
    return true;
}

bool CPdfSecurityHandler::AuthenticateUserV5(const std::string& password)
{
    if (HashV5(password, m_u.substr(32, 8), "", m_revision) != m_u.substr(0, 32))
        return false;
    m_fileKey = UnwrapKey(HashV5(password, m_u.substr(40, 8), "", m_revision), m_ue);
    return true;
}

bool CPdfSecurityHandler::AuthenticateOwnerV5(const std::string& password)
{
    if (HashV5(password, m_o.substr(32, 8), m_u, m_revision) != m_o.substr(0, 32))
        return false;
    m_fileKey = UnwrapKey(HashV5(password, m_o.substr(40, 8), m_u, m_revision), m_oe);
    m_owner = true;
    return true;
}

bool CPdfSecurityHandler::ObjectKey(EMethod method, int32_t number, int32_t generation, CPdfDecryptor::ECipher& cipher,
                                    std::string& key) const
{
    switch (method) {
    case METHOD_RC4:
    case METHOD_AESV2: {
        // Each object has a key of its own, made from the file key and the
        // object's number and generation (low bytes first).
        std::string input = m_fileKey;
        for (int shift = 0; shift < 24; shift += 8)
            input.push_back(static_cast<char>((static_cast<uint32_t>(number) >> shift) & 0xFF));
        for (int shift = 0; shift < 16; shift += 8)
            input.push_back(static_cast<char>((static_cast<uint32_t>(generation) >> shift) & 0xFF));
        if (method == METHOD_AESV2)
            input += "sAlT";
        key = Md5(input).substr(0, std::min<size_t>(m_fileKey.size() + 5, 16));
        cipher = method == METHOD_RC4 ? CPdfDecryptor::CIPHER_RC4 : CPdfDecryptor::CIPHER_AES;
        return true;
    }
    case METHOD_AESV3:
        key = m_fileKey;
        cipher = CPdfDecryptor::CIPHER_AES;
        return true;
    default:
        return false;
    }
}

CPdfDecryptor CPdfSecurityHandler::MakeDecryptor(EMethod method, int32_t number, int32_t generation) const
{
    CPdfDecryptor::ECipher cipher;
    std::string key;
    if (!ObjectKey(method, number, generation, cipher, key))
        return CPdfDecryptor();
    return CPdfDecryptor(cipher, Bytes(key), key.size());
}

CPdfEncryptor CPdfSecurityHandler::CreateEncryptor(EDataKind kind, int32_t number, int32_t generation) const
{
    CPdfDecryptor::ECipher cipher;
    std::string key;
    if (!ObjectKey(kind == DATA_STRING ? m_stringMethod : m_streamMethod, number, generation, cipher, key))
        return CPdfEncryptor();
    return CPdfEncryptor(cipher, Bytes(key), key.size());
}

CPdfDecryptor CPdfSecurityHandler::CreateDecryptor(EDataKind kind, int32_t number, int32_t generation) const
{
    return MakeDecryptor(kind == DATA_STRING ? m_stringMethod : m_streamMethod, number, generation);
}

std::string CPdfSecurityHandler::DecryptString(int32_t number, int32_t generation, const std::string& data) const
{
    CPdfDecryptor decryptor = CreateDecryptor(DATA_STRING, number, generation);
    const std::vector<uint8_t> plain = decryptor.DecryptAll(Bytes(data), data.size());
    return std::string(plain.begin(), plain.end());
}
