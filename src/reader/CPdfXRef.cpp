#include "reader/CPdfXRef.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "reader/CPdfObjectStream.h"
#include "reader/CPdfObjectStreamData.h"
#include "reader/CPdfParser.h"
#include "reader/CPdfSecurityHandler.h"
#include "object/CPdfStream.h"
#include "reader/CPdfXRefScanner.h"
#include "base/PdfCharClass.h"

namespace {

constexpr int32_t kWindow = 1023;
constexpr XRefEntry kUnset = {-1, 0, 0};

// An integer /Prev continues the chain. An indirect /Prev cannot be resolved
// before the table is read, so it ends the chain like any other value.
bool GetPrev(const CPdfDictionary* dict, int64_t& prev)
{
    CPdfObject value;
    dict->LookupRaw("Prev", value);
    if (value.GetKind() != OBJ_INTEGER)
        return false;
    prev = value.GetInt64();
    return true;
}

}  // namespace

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

void CPdfXRef::LoadOrRebuild(CPdfStream* fileStream, int fd)
{
    m_fileStream = fileStream;
    m_baseOffset = fileStream->GetStart();
    m_fd = fd;
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

void CPdfXRef::ReadStated(bool strictEnd)
{
    bool endMarked = false;
    if (FindStartXRef(endMarked) == 0 || (strictEnd && !endMarked))
        throw CPdfException(msg::kDamaged);
    // Sections newest first; an offset met twice ends the chain instead of
    // looping.
    std::set<int64_t> visited;
    int64_t offset = m_startXRef;
    while (visited.insert(offset).second) {
        int64_t prev = 0;
        if (!ReadSection(offset, prev))
            break;
        offset = prev;
    }
    if (m_trailer.GetKind() != OBJ_DICTIONARY || !HasRoot())
        throw CPdfException(msg::kDamaged);
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
    if (m_rebuilt || m_fd < 0)
        return false;
    m_rebuilt = true;
    struct stat st;
    const int64_t fileSize = fstat(m_fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    CPdfXRefScanner scanner(m_fd, m_fileStream, m_baseOffset, fileSize);
    scanner.Scan();
    m_rebuiltHeader = scanner.GetHeaderFound();
    // Cached object streams were found through the old table.
    m_parsedCache.reset();
    m_rawCache.reset();
    std::vector<XRefEntry>& found = scanner.GetEntries();
    m_sealed = scanner.GetSealedStreams();
    if (m_layoutKept) {
        // Numbers beyond the size the job planned with were never reachable
        // through the table it opened, and stay out.
        for (size_t n = 0; n < m_entries.size(); ++n)
            m_entries[n] = n < found.size() ? found[n] : kUnset;
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

int64_t CPdfXRef::FindStartXRef(bool& endMarked)
{
    endMarked = false;
    // The last 1023 bytes, or the whole file when it is shorter.
    m_fileStream->Seek(0, CPdfStream::SEEK_FROM_END);
    const int64_t fileEnd = m_fileStream->GetPosition();
    m_fileStream->Seek(fileEnd >= kWindow ? fileEnd - kWindow : 0, CPdfStream::SEEK_FROM_BEGIN);
    char buffer[kWindow + 1];
    int32_t n = 0;
    while (n < kWindow) {
        const int c = m_fileStream->GetChar();
        if (c < 0)
            break;
        buffer[n++] = c == 0 ? ' ' : static_cast<char>(c);
    }
    buffer[n] = '\0';
    m_startXRef = 0;
    for (int32_t p = n - 9; p >= 0; --p) {
        if (std::memcmp(buffer + p, "startxref", 9) != 0)
            continue;
        const char* s = buffer + p + 9;
        while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\v' || *s == '\f' || *s == '\r')
            ++s;
        bool negative = false;
        if (*s == '+' || *s == '-')
            negative = *s++ == '-';
        int64_t value = 0;
        while (pdfchar::IsDigit(*s) && value <= kMaxOffset)
            value = value * 10 + (*s++ - '0');
        // A value beyond what any file holds cannot be an offset.
        if (value > kMaxOffset)
            value = 0;
        m_startXRef = negative ? -value : value;
        // The end marker follows, and no update was written after it
        // without a startxref of its own (its objects would go unseen).
        const char* end = std::strstr(s, "%%EOF");
        endMarked = end != nullptr && std::strstr(end, "endobj") == nullptr && std::strstr(end, "trailer") == nullptr;
        break;
    }
    return m_startXRef;
}

int64_t CPdfXRef::FilePosition(int64_t offset) const
{
    // An offset no file can hold reads nothing rather than wrapping.
    const int64_t at = m_baseOffset + offset;
    return offset < 0 || at < 0 || at > kMaxOffset ? kMaxOffset : at;
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

void CPdfXRef::GrowTable(int64_t size, const char* message)
{
    if (size < 0)
        throw CPdfException(message);
    if (size > kMaxEntries)
        throw CPdfException(msg::kXRefTooLarge);
    if (static_cast<size_t>(size) > m_entries.size())
        m_entries.resize(static_cast<size_t>(size), kUnset);
}

bool CPdfXRef::ReadSection(int64_t offset, int64_t& prev)
{
    CPdfObject none;
    none.SetNull();
    CPdfParser parser(nullptr, m_fileStream->CreateSubStream(FilePosition(offset), 0, none));
    CPdfObject first;
    parser.ParseObject(first);
    if (first.IsKeyword("xref"))
        return ReadXRefTable(parser, prev);
    if (first.GetKind() != OBJ_INTEGER)
        throw CPdfException(msg::kCantParseXRef);
    CPdfObject generation, keyword, stream;
    parser.ParseObject(generation);
    parser.ParseObject(keyword);
    if (generation.GetKind() != OBJ_INTEGER || !keyword.IsKeyword("obj"))
        throw CPdfException(msg::kCantParseXRefStream);
    parser.ParseObject(stream);
    if (stream.GetKind() != OBJ_STREAM)
        throw CPdfException(msg::kCantParseXRefStream);
    return ReadXRefStream(stream, prev, true);
}

bool CPdfXRef::ReadXRefTable(CPdfParser& parser, int64_t& prev)
{
    // Numbers this section marks free: a hybrid file's /XRefStm may describe
    // them (objects kept in object streams).
    std::vector<int32_t> markedFree;
    CPdfObject token;
    for (;;) {
        parser.ParseObject(token);
        if (token.IsKeyword("trailer"))
            break;
        CPdfObject count;
        parser.ParseObject(count);
        if (token.GetKind() != OBJ_INTEGER || count.GetKind() != OBJ_INTEGER || token.GetInt() < 0 ||
            count.GetInt() < 0)
            throw CPdfException(msg::kCantParseXRefTable);
        const int32_t first = token.GetInt();
        const int64_t end = static_cast<int64_t>(first) + count.GetInt();
        GrowTable(end, msg::kCantParseXRefTable);
        for (int32_t i = first; i < end; ++i) {
            CPdfObject offset, generation, kind;
            parser.ParseObject(offset);
            parser.ParseObject(generation);
            parser.ParseObject(kind);
            if (offset.GetKind() != OBJ_INTEGER || generation.GetKind() != OBJ_INTEGER)
                throw CPdfException(msg::kCantParseXRefTable);
            int32_t type;
            if (kind.IsKeyword("n"))
                type = 1;
            else if (kind.IsKeyword("f"))
                type = 0;
            else
                throw CPdfException(msg::kCantParseXRefTable);
            XRefEntry& entry = m_entries[static_cast<size_t>(i)];
            if (entry.offset == -1) {
                entry = {offset.GetInt64(), generation.GetInt(), type};
                if (type == 0)
                    markedFree.push_back(i);
            }
        }
    }
    CPdfObject trailer;
    parser.ParseObject(trailer);
    if (trailer.GetKind() != OBJ_DICTIONARY)
        throw CPdfException(msg::kTrailerWrongType);
    if (m_trailer.GetKind() == OBJ_NONE)
        m_trailer.CopyFrom(trailer);
    CPdfObject xrefStm;
    trailer.GetDictionary()->LookupRaw("XRefStm", xrefStm);
    if (xrefStm.GetKind() == OBJ_INTEGER)
        ReadHybridStream(xrefStm.GetInt64(), markedFree);
    return GetPrev(trailer.GetDictionary(), prev);
}

void CPdfXRef::ReadHybridStream(int64_t offset, const std::vector<int32_t>& markedFree)
{
    // The stream may fill what this section left unset or marked free; the
    // entries it does not fill keep the table's description.
    std::vector<XRefEntry> saved;
    saved.reserve(markedFree.size());
    for (int32_t i : markedFree) {
        saved.push_back(m_entries[static_cast<size_t>(i)]);
        m_entries[static_cast<size_t>(i)] = kUnset;
    }
    CPdfObject none;
    none.SetNull();
    CPdfParser parser(nullptr, m_fileStream->CreateSubStream(FilePosition(offset), 0, none));
    CPdfObject number, generation, keyword, stream;
    parser.ParseObject(number);
    parser.ParseObject(generation);
    parser.ParseObject(keyword);
    if (number.GetKind() != OBJ_INTEGER || generation.GetKind() != OBJ_INTEGER || !keyword.IsKeyword("obj"))
        throw CPdfException(msg::kCantParseXRefStream);
    parser.ParseObject(stream);
    if (stream.GetKind() != OBJ_STREAM)
        throw CPdfException(msg::kCantParseXRefStream);
    int64_t ignoredPrev = 0;
    ReadXRefStream(stream, ignoredPrev, false);
    for (size_t k = 0; k < markedFree.size(); ++k) {
        XRefEntry& entry = m_entries[static_cast<size_t>(markedFree[k])];
        if (entry.offset == -1)
            entry = saved[k];
    }
}

bool CPdfXRef::ReadXRefStream(const CPdfObject& streamValue, int64_t& prev, bool storeTrailer)
{
    CPdfStream* stream = streamValue.GetStream();
    CPdfDictionary* dict = stream->GetDict();
    if (dict == nullptr)
        throw CPdfException(msg::kXRefStreamSize);
    CPdfObject size;
    dict->LookupRaw("Size", size);
    if (size.GetKind() != OBJ_INTEGER)
        throw CPdfException(msg::kXRefStreamSize);
    GrowTable(size.GetInt(), msg::kCantParseXRefStream);
    CPdfObject w;
    dict->LookupRaw("W", w);
    if (w.GetKind() != OBJ_ARRAY)
        throw CPdfException(msg::kXRefStreamW);
    if (w.GetArray()->GetSize() < 3)
        throw CPdfException(msg::kXRefStreamWLength);
    int32_t widths[3];
    for (int32_t k = 0; k < 3; ++k) {
        CPdfObject element;
        w.GetArray()->Get(k, element);
        if (element.GetKind() != OBJ_INTEGER)
            throw CPdfException(msg::kXRefStreamW);
        widths[k] = element.GetInt();
    }
    stream->Reset();
    CPdfObject index;
    dict->LookupRaw("Index", index);
    if (index.GetKind() == OBJ_ARRAY) {
        const int32_t n = index.GetArray()->GetSize();
        // Entries of zero width take no data, so only a bound on their sum
        // keeps a tiny stream from asking for billions of them.
        int64_t total = 0;
        for (int32_t k = 0; k < n - 1; k += 2) {
            CPdfObject first, count;
            index.GetArray()->Get(k, first);
            index.GetArray()->Get(k + 1, count);
            if (first.GetKind() != OBJ_INTEGER || count.GetKind() != OBJ_INTEGER)
                throw CPdfException(msg::kXRefStreamIndex);
            total += count.GetInt() > 0 ? count.GetInt() : 0;
            if (total > kMaxEntries)
                throw CPdfException(msg::kXRefTooLarge);
            ReadXRefStreamSubsection(stream, widths, first.GetInt(), count.GetInt());
        }
    } else {
        ReadXRefStreamSubsection(stream, widths, 0, size.GetInt());
    }
    if (storeTrailer && m_trailer.GetKind() == OBJ_NONE)
        m_trailer.SetDictionary(dict);
    return GetPrev(dict, prev);
}

void CPdfXRef::ReadXRefStreamSubsection(CPdfStream* stream, const int32_t widths[3], int32_t first, int32_t count)
{
    if (first < 0 || count < 0)
        throw CPdfException(msg::kCantParseXRefStream);
    const int64_t end = static_cast<int64_t>(first) + count;
    GrowTable(end, msg::kCantParseXRefStream);
    // Entries of zero width cost no data: a chain of such sections could
    // otherwise ask for endless work from a few bytes.
    m_streamEntries += count;
    if (m_streamEntries > kMaxStreamEntries)
        throw CPdfException(msg::kXRefTooLarge);
    for (int32_t i = first; i < end; ++i) {
        // Offsets may take up to 8 bytes; a wider field keeps its last 8.
        uint64_t fields[3];
        for (int k = 0; k < 3; ++k) {
            uint64_t value = 0;
            for (int32_t b = 0; b < widths[k]; ++b) {
                const int c = stream->GetChar();
                if (c < 0)
                    throw CPdfException(msg::kXRefStreamEof);
                value = (value << 8) | static_cast<uint64_t>(c);
            }
            fields[k] = value;
        }
        if (widths[0] == 0)
            fields[0] = 1;
        if (fields[0] > 2)
            throw CPdfException(msg::kXRefStreamEntryType);
        XRefEntry& entry = m_entries[static_cast<size_t>(i)];
        if (entry.offset == -1)
            entry = {static_cast<int64_t>(fields[1]), static_cast<int32_t>(fields[2]), static_cast<int32_t>(fields[0])};
    }
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
