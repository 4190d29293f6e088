#include "reader/CPdfXRef.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "base/CPdfException.h"
#include "base/CPdfInputFile.h"
#include "base/Messages.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfStream.h"
#include "reader/CPdfObjectStream.h"
#include "reader/CPdfObjectStreamData.h"
#include "reader/CPdfParser.h"
#include "reader/CPdfSecurityHandler.h"
#include "reader/CPdfXRefScanner.h"

// The table and its trailer, the rebuild, and fetching objects through them;
// reading the stated sections and opening encryption have files of their own.

CPdfXRef::CPdfXRef() = default;

CPdfXRef::~CPdfXRef() = default;

void CPdfXRef::Load(CPdfStream* fileStream)
{
    m_fileStream = fileStream;
    m_baseOffset = fileStream->GetStart();
    ReadStated(false);
    CheckTrailer();
    TakeRootAndInfo();
    OpenSecurity();
}

void CPdfXRef::LoadOrRebuild(CPdfStream* fileStream, CPdfInputFile* file)
{
    m_fileStream = fileStream;
    m_baseOffset = fileStream->GetStart();
    m_file = file;
    // The stated data first: a valid file never pays for the whole scan.
    try {
        ReadStated(true);
    } catch (const CPdfException&) {
        Rebuild();
        if (m_trailer.GetKind() != OBJ_DICTIONARY)
            throw CPdfException(msg::kDamaged)
                .Because("no document catalog was found, not even by rebuilding the cross-reference data");
    }
    CheckTrailer();
    TakeRootAndInfo();
    // A rebuild later keeps the key: the /Encrypt dictionary and /ID are
    // the file's whatever table finds them.
    try {
        OpenSecurity();
    } catch (const CPdfException& e) {
        // The keys of the older revisions depend on the /ID that only the
        // trailer held: lost with it, the empty password fails too.
        CPdfObject id;
        if (m_trailer.GetKind() == OBJ_DICTIONARY)
            m_trailer.GetDictionary()->LookupRaw("ID", id);
        if (m_rebuilt && id.GetKind() != OBJ_ARRAY && std::strcmp(e.GetMessageText(), msg::kPasswordProtected) == 0)
            throw CPdfException(msg::kDamaged)
                .Because("its encryption key depends on the /ID of a trailer the damage took");
        throw;
    }
    OpenSealedStreams();
}

bool CPdfXRef::HasRoot() const
{
    CPdfObject root;
    m_trailer.GetDictionary()->LookupRaw("Root", root);
    return root.GetKind() == OBJ_REFERENCE;
}

void CPdfXRef::CheckTrailer() const
{
    if (m_trailer.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kDamaged);
    if (!HasRoot())
        throw CPdfException(msg::kDamaged);
}

void CPdfXRef::TakeRootAndInfo()
{
    m_rootNum = m_rootGen = m_infoNum = m_infoGen = 0;
    if (m_trailer.GetKind() != OBJ_DICTIONARY)
        return;
    CPdfDictionary* trailer = m_trailer.GetDictionary();
    CPdfObject root;
    trailer->LookupRaw("Root", root);
    if (root.GetKind() == OBJ_REFERENCE) {
        m_rootNum = root.GetRefNum();
        m_rootGen = root.GetRefGen();
    }
    CPdfObject info;
    trailer->LookupRaw("Info", info);
    if (info.GetKind() == OBJ_REFERENCE) {
        m_infoNum = info.GetRefNum();
        m_infoGen = info.GetRefGen();
    }
    // The stored trailer was read without a resolver; from now on lookups
    // in it may follow references through this table.
    trailer->SetResolver(this);
}

bool CPdfXRef::RebuildFor(const XRefEntry& entry)
{
    // An entry at offset 0 points at the header, where no object can be:
    // some producers write deleted objects that way, in tables otherwise
    // right. Rebuilding would find nothing more.
    if (entry.type == 1 && entry.offset == 0)
        return false;
    return Rebuild();
}

bool CPdfXRef::Rebuild()
{
    if (m_rebuilt || !m_file)
        return false;
    m_rebuilt = true;
    CPdfXRefScanner scanner(*m_file, m_fileStream, m_baseOffset, m_file->GetSize());
    scanner.Scan();
    m_rebuiltHeader = scanner.GetHeaderFound();
    // Cached object streams were found through the old table.
    m_parsedCache.reset();
    m_rawCache.reset();
    std::vector<XRefEntry>& found = scanner.GetEntries();
    m_sealed = scanner.GetSealedStreams();
    if (m_layoutKept) {
        // Numbers beyond the size the job planned with were never reachable
        // through the table it opened, and stay out. An object the stated
        // table had and the scan did not find (its bytes lie where the scan
        // takes another object's data to be) keeps its stated entry: the
        // job may have read it already, and reads it the same way again.
        for (size_t n = 0; n < m_entries.size(); ++n) {
            const XRefEntry scanned = n < found.size() ? found[n] : kUnset;
            if (scanned.type != 0 || m_entries[n].type == 0)
                m_entries[n] = scanned;
        }
    } else {
        m_entries = std::move(found);
        m_trailer.CopyFrom(scanner.GetTrailer());
        TakeRootAndInfo();
    }
    // With the key known already (a rebuild after opening), the encrypted
    // object streams open now; else once it is.
    OpenSealedStreams();
    return true;
}

int64_t CPdfXRef::DefinedAt(const XRefEntry& entry) const
{
    if (entry.type == 1)
        return m_baseOffset + entry.offset;
    const int32_t container = ObjectStreamOf(entry);
    if (entry.type == 2 && container >= 0 && static_cast<size_t>(container) < m_entries.size() &&
        m_entries[static_cast<size_t>(container)].type == 1)
        return m_baseOffset + m_entries[static_cast<size_t>(container)].offset;
    return -1;
}

std::unique_ptr<CPdfObjectStreamData> CPdfXRef::LoadObjectStream(int32_t number)
{
    CPdfObject stream;
    FetchObject(number, 0, stream);
    return CPdfObjectStreamData::Load(number, stream);
}

int32_t CPdfXRef::ObjectStreamOf(const XRefEntry& entry)
{
    return entry.offset >= 0 && entry.offset < kMaxEntries ? static_cast<int32_t>(entry.offset) : -1;
}

bool CPdfXRef::EnterFetch(int32_t number)
{
    if (m_fetching.size() >= kMaxFetchDepth ||
        std::find(m_fetching.begin(), m_fetching.end(), number) != m_fetching.end())
        return false;
    m_fetching.push_back(number);
    return true;
}

bool CPdfXRef::FetchAt(int32_t number, int32_t generation, int64_t offset, bool decode, CPdfObject& out)
{
    out.SetNull();
    const int64_t at = m_baseOffset + offset;
    if (offset < 0 || at < 0)
        return false;
    CPdfObject none;
    none.SetNull();
    CPdfParser parser(this, m_fileStream->CreateSubStream(at, 0, none));
    parser.SetDecodeStreams(decode);
    if (m_security && number != m_encryptNum)
        parser.SetDecryption(m_security.get(), number, generation);
    CPdfObject num, gen, keyword;
    parser.ParseObject(num);
    parser.ParseObject(gen);
    parser.ParseObject(keyword);
    if (num.GetKind() != OBJ_INTEGER || num.GetInt() != number || gen.GetKind() != OBJ_INTEGER ||
        gen.GetInt() != generation || !keyword.IsKeyword("obj"))
        return false;
    parser.ParseObject(out);
    return true;
}

namespace {

// Leaves the in-progress list on every path out of a fetch.
class CFetchScope {
public:
    CFetchScope(std::vector<int32_t>& list) : m_list(list) {}
    ~CFetchScope() { m_list.pop_back(); }

private:
    std::vector<int32_t>& m_list;
};

}  // namespace

void CPdfXRef::FetchObject(int32_t number, int32_t generation, CPdfObject& out)
{
    out.Clear();
    if (number < 0 || static_cast<size_t>(number) >= m_entries.size())
        throw CPdfException(msg::kCorrupted);
    const XRefEntry entry = m_entries[static_cast<size_t>(number)];
    if (entry.type == 1) {
        if (generation != entry.generation) {
            out.SetNull();
            return;
        }
        // An object being loaded that asks for itself (a /Length leading back
        // into its own stream) gets null, which makes that stream unusable.
        if (!EnterFetch(number)) {
            out.SetNull();
            return;
        }
        bool found;
        {
            CFetchScope scope(m_fetching);
            found = FetchAt(number, generation, entry.offset, true, out);
        }
        // Not where its entry says: the table is wrong, so it is rebuilt
        // and the object looked for again.
        if (!found && RebuildFor(entry))
            FetchObject(number, generation, out);
        return;
    }
    if (entry.type == 2) {
        const int32_t container = ObjectStreamOf(entry);
        if (generation != 0 || container < 0) {
            out.SetNull();
            return;
        }
        if (!m_parsedCache || m_parsedCache->GetNumber() != container) {
            // An object stream that lies in itself, or in a chain of object
            // streams leading back to it, has no members.
            if (!EnterFetch(-1 - container)) {
                out.SetNull();
                return;
            }
            CFetchScope scope(m_fetching);
            std::unique_ptr<CPdfObjectStream> loaded = CPdfObjectStream::Load(*LoadObjectStream(container), this);
            m_parsedCache = std::move(loaded);
        }
        // A member its object stream does not list: the table is wrong.
        if (!m_parsedCache->GetMember(entry.generation, number, out) && Rebuild())
            FetchObject(number, generation, out);
        return;
    }
    out.SetNull();
}

void CPdfXRef::FetchRawObject(int32_t number, CPdfObject& out)
{
    out.SetNull();
    if (number < 0 || static_cast<size_t>(number) >= m_entries.size())
        return;
    const XRefEntry entry = m_entries[static_cast<size_t>(number)];
    if (entry.type != 1 || !EnterFetch(number))
        return;
    bool found;
    {
        CFetchScope scope(m_fetching);
        found = FetchAt(number, entry.generation, entry.offset, false, out);
    }
    if (!found && RebuildFor(entry))
        FetchRawObject(number, out);
}

const uint8_t* CPdfXRef::GetCompressedObjectData(int32_t number, int32_t generation, int32_t& length)
{
    length = 0;
    if (generation != 0 || number < 0 || static_cast<size_t>(number) >= m_entries.size())
        return nullptr;
    const XRefEntry entry = m_entries[static_cast<size_t>(number)];
    const int32_t container = ObjectStreamOf(entry);
    if (entry.type != 2 || container < 0)
        return nullptr;
    if (!m_rawCache || m_rawCache->GetNumber() != container) {
        if (!EnterFetch(-1 - container))
            return nullptr;
        CFetchScope scope(m_fetching);
        std::unique_ptr<CPdfObjectStreamData> loaded = LoadObjectStream(container);
        m_rawCache = std::move(loaded);
    }
    const uint8_t* data = nullptr;
    if (!m_rawCache->GetMember(entry.generation, number, data, length)) {
        length = 0;
        // A member its object stream does not list: the table is wrong. The
        // caller looks again, in the rebuilt table (see WasRebuilt).
        Rebuild();
        return nullptr;
    }
    return data;
}
