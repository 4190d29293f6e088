#include "reader/CPdfXRef.h"

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "reader/CPdfObjectStream.h"
#include "reader/CPdfObjectStreamData.h"
#include "reader/CPdfSecurityHandler.h"

// Opening an encrypted file: its /Encrypt dictionary and /ID, the empty
// password, and the object streams that only the key opens.

bool CPdfXRef::ReadEncryption(CPdfObject& dict, std::string& id)
{
    // Both values are taken out of the trailer before either is resolved:
    // resolving one may rebuild the table and replace the trailer.
    CPdfObject encrypt, ids;
    m_trailer.GetDictionary()->LookupRaw("Encrypt", encrypt);
    m_trailer.GetDictionary()->LookupRaw("ID", ids);
    m_encryptNum = 0;
    if (encrypt.GetKind() == OBJ_NULL)
        return false;
    // The dictionary is read before there is a key: its own strings (the
    // password hashes) are never encrypted.
    dict.SetNull();
    if (encrypt.GetKind() == OBJ_REFERENCE) {
        m_encryptNum = encrypt.GetRefNum();
        if (m_encryptNum > 0 && static_cast<size_t>(m_encryptNum) < m_entries.size())
            FetchObject(m_encryptNum, encrypt.GetRefGen(), dict);
    } else {
        dict.CopyFrom(encrypt);
    }
    // The first /ID string enters the keys of revisions 2 to 4; a file
    // without one is read with an empty string, as other readers do.
    id.clear();
    if (ids.GetKind() == OBJ_REFERENCE) {
        CPdfObject resolved;
        if (ids.GetRefNum() >= 0 && static_cast<size_t>(ids.GetRefNum()) < m_entries.size())
            FetchObject(ids.GetRefNum(), ids.GetRefGen(), resolved);
        ids.CopyFrom(resolved);
    }
    CPdfObject first;
    if (ids.GetKind() == OBJ_ARRAY && ids.GetArray()->GetSize() > 0) {
        ids.GetArray()->Get(0, first);
        if (first.GetKind() == OBJ_STRING)
            id = first.GetString()->GetValue();
    }
    return true;
}

void CPdfXRef::OpenSecurity()
{
    CPdfObject dict;
    std::string id;
    // The fetch of the /Encrypt dictionary may find the table wrong and
    // rebuild it, trailer and all: the rebuilt trailer is then the one that
    // says what is encrypted. A table is rebuilt once, so two rounds at most.
    for (;;) {
        const bool rebuiltBefore = m_rebuilt;
        if (!ReadEncryption(dict, id))
            return;
        if (m_rebuilt == rebuiltBefore || m_layoutKept)
            break;
        CheckTrailer();
    }
    if (dict.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kEncrypted).Because("the trailer's /Encrypt is not a dictionary");
    auto handler = std::make_unique<CPdfSecurityHandler>();
    switch (handler->Open(*dict.GetDictionary(), id)) {
    case CPdfSecurityHandler::OPENED:
        break;
    case CPdfSecurityHandler::WRONG_PASSWORD:
        throw CPdfException(msg::kPasswordProtected).Because("it needs a password to open");
    case CPdfSecurityHandler::UNSUPPORTED: {
        CPdfObject filter;
        dict.GetDictionary()->Lookup("Filter", filter);
        const std::string name = filter.GetKind() == OBJ_NAME ? filter.GetText() : "";
        throw CPdfException(msg::kEncrypted)
            .Because(name == "Standard" || name.empty()
                         ? std::string("its encryption is of a version or method not supported")
                         : "it is encrypted by the security handler /" + name + ", not the standard one");
    }
    default:
        throw CPdfException(msg::kEncrypted).Because("its encryption dictionary lacks values or has them wrong");
    }
    m_security = std::move(handler);
    // Anything loaded before the key was known was read undecrypted.
    m_parsedCache.reset();
    m_rawCache.reset();
}

void CPdfXRef::OpenSealedStreams()
{
    if (!m_security || m_sealed.empty())
        return;
    const std::vector<CPdfXRefScanner::SealedStream> sealed = std::move(m_sealed);
    m_sealed.clear();
    // In file order, as the scan met them: a member counts where its stream
    // stands, so a later definition of its number still wins.
    for (const auto& stream : sealed) {
        const size_t number = static_cast<size_t>(stream.number);
        if (number >= m_entries.size() || DefinedAt(m_entries[number]) != stream.position ||
            m_entries[number].type != 1)
            continue;  // redefined later: its members are not reachable
        std::unique_ptr<CPdfObjectStreamData> data;
        try {
            data = LoadObjectStream(stream.number);
        } catch (const CPdfException&) {
            continue;
        }
        for (int32_t k = 0; k < data->GetCount(); ++k) {
            const int32_t member = data->GetMemberNumber(k);
            if (member <= 0 || member >= kMaxEntries)
                continue;
            if (static_cast<size_t>(member) >= m_entries.size()) {
                if (m_layoutKept)
                    continue;
                m_entries.resize(static_cast<size_t>(member) + 1, kUnset);
            }
            XRefEntry& entry = m_entries[static_cast<size_t>(member)];
            if (DefinedAt(entry) < stream.position)
                entry = XRefEntry{stream.number, k, 2};
        }
    }
}
