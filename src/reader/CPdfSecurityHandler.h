#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/CPdfDecryptor.h"
#include "base/CPdfEncryptor.h"

class CPdfDictionary;

// The standard security handler of an encrypted document: reads the values
// of its /Encrypt dictionary, authenticates a password (the program only
// ever tries the empty one) and hands out the decryptor for each string and
// stream. Covers /V 1 and 2 (RC4, /R 2 and 3), /V 4 (crypt filters: RC4,
// AES-128 or none, separate for streams and strings) and /V 5 (AES-256, /R 5
// and 6). Owns copies of everything it keeps; borrows nothing after Open.
class CPdfSecurityHandler {
public:
    enum EOpenResult {
        OPENED,
        // The password is neither the user nor the owner password.
        WRONG_PASSWORD,
        // Another handler (/Filter), an unknown version, revision or crypt
        // filter method.
        UNSUPPORTED,
        // The dictionary lacks values the handler needs, or has them in
        // shapes it cannot use.
        MALFORMED,
    };

    // The default crypt filter of a kind of data.
    enum EDataKind { DATA_STRING, DATA_STREAM };

    CPdfSecurityHandler() = default;

    // Reads encrypt (its values looked up through its resolver) and the first
    // string of the trailer's /ID (its value; empty when there is none), then
    // tries password as the user password and, failing that, as the owner
    // password.
    EOpenResult Open(const CPdfDictionary& encrypt, const std::string& firstId, const std::string& password = "");

    // After OPENED: whether the password was the owner password (and not the
    // user password), the file key, and whether metadata streams are
    // encrypted (only revision 4 and later can leave them in the clear).
    bool IsOwner() const { return m_owner; }
    const std::string& GetFileKey() const { return m_fileKey; }
    bool EncryptsMetadata() const { return m_encryptMetadata; }

    // The decryptor for one string or stream of object (number, generation),
    // through the document's default crypt filter for that kind of data.
    CPdfDecryptor CreateDecryptor(EDataKind kind, int32_t number, int32_t generation) const;
    // The encryptor for what an update of the document writes as object
    // (number, generation): the same filter and key a reader decrypts it
    // with.
    CPdfEncryptor CreateEncryptor(EDataKind kind, int32_t number, int32_t generation) const;
    // A whole string of object (number, generation), decrypted.
    std::string DecryptString(int32_t number, int32_t generation, const std::string& data) const;

private:
    // What a crypt filter does: nothing, RC4 or AES with the object key
    // (revisions up to 4), or AES with the file key (revisions 5 and 6).
    enum EMethod { METHOD_NONE, METHOD_RC4, METHOD_AESV2, METHOD_AESV3, METHOD_UNKNOWN };

    // Reads /CF into m_filters; false when a filter is not a dictionary.
    bool ReadCryptFilters(const CPdfDictionary& encrypt);
    // The method of the filter that encrypt's key (/StmF, /StrF) names.
    EMethod MethodOf(const CPdfDictionary& encrypt, const char* key) const;
    EMethod MethodOfFilter(const std::string& name) const;
    CPdfDecryptor MakeDecryptor(EMethod method, int32_t number, int32_t generation) const;
    // The cipher and key of method for object (number, generation); false
    // for no encryption.
    bool ObjectKey(EMethod method, int32_t number, int32_t generation, CPdfDecryptor::ECipher& cipher,
                   std::string& key) const;

    bool AuthenticateUser(const std::string& password);
    bool AuthenticateOwner(const std::string& password);
    bool AuthenticateUserV5(const std::string& password);
    bool AuthenticateOwnerV5(const std::string& password);
    // The file key a user password gives (revisions 2 to 4).
    std::string ComputeFileKey(const std::string& password) const;

    int32_t m_version = 0;
    int32_t m_revision = 0;
    // Key length in bytes.
    size_t m_keyLength = 0;
    std::string m_o, m_u, m_oe, m_ue;
    int32_t m_permissions = 0;
    std::string m_id;
    bool m_encryptMetadata = true;
    EMethod m_stringMethod = METHOD_NONE;
    EMethod m_streamMethod = METHOD_NONE;
    // The document's named crypt filters (/CF).
    std::map<std::string, EMethod> m_filters;
    std::string m_fileKey;
    bool m_owner = false;
};
