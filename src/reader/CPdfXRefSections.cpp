#include "reader/CPdfXRef.h"

#include <cstring>
#include <set>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfCharClass.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfStream.h"
#include "reader/CPdfParser.h"

// Reading the cross-reference data as the file states it: startxref, then
// the chain of tables and cross-reference streams, newest first.

namespace {

constexpr int32_t kWindow = 1023;

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
    if (offset == m_startXRef)
        m_newestIsStream = !first.IsKeyword("xref");
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
