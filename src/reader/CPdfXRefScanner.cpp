#include "reader/CPdfXRefScanner.h"

#include "base/CPdfInputFile.h"

#include <algorithm>
#include <cstring>

#include "base/CPdfException.h"
#include "base/PdfFileFormat.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"
#include "object/CPdfStream.h"
#include "object/CPdfStreamRef.h"
#include "base/PdfCharClass.h"
#include "reader/PdfFilters.h"

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr int64_t kMaxGeneration = 65535;
// Room after a stream's data for the line end and "endstream".
constexpr size_t kEndstreamWindow = 64;
// An integer object ("12 0 obj 3456 endobj") fits in this window; a /Length
// that names something larger is not a length.
constexpr int64_t kIntegerObjectWindow = 64;
// The longest keyword or name the scan needs to tell apart.
constexpr size_t kWordLength = 16;

constexpr char kEndstream[] = "endstream";
constexpr size_t kEndstreamLength = sizeof(kEndstream) - 1;

bool IsName(const CPdfObject& value, const char* name)
{
    return value.GetKind() == OBJ_NAME && std::strcmp(value.GetText(), name) == 0;
}

// A copy of dict without key.
void CopyWithout(const CPdfDictionary& dict, const char* key, CPdfObject& out)
{
    CPdfDictionary* copy = out.SetNewDictionary(dict.GetResolver());
    for (int32_t i = 0; i < dict.GetSize(); ++i) {
        const std::string name = dict.GetKey(i);
        if (name == key)
            continue;
        CPdfObject value;
        dict.LookupRaw(name.c_str(), value);
        copy->Add(name.c_str(), value);
    }
}

}  // namespace

CPdfXRefScanner::CPdfXRefScanner(CPdfInputFile& file, CPdfStream* fileStream, int64_t headerPosition,
                                 int64_t fileSize)
    : m_file(&file),
      m_fileStream(fileStream),
      m_base(headerPosition),
      m_fileSize(fileSize),
      m_decodeBudget(int64_t(256) << 20),
      m_memberBudget(int64_t(4) * pdfformat::kMaxEntries)
{
    // Object streams may hold far more than the file's size, but not without
    // limit: bombs get what an honest file of this size could need.
    m_decodeBudget += fileSize > 0 ? fileSize * 32 : 0;
}

CPdfXRefScanner::~CPdfXRefScanner() = default;

size_t CPdfXRefScanner::ReadAt(int64_t position, uint8_t* out, size_t length) const
{
    return pdfformat::ReadAt(m_file->Descriptor(), position, out, length);
}

bool CPdfXRefScanner::Fill()
{
    if (m_pos >= m_fileSize)
        return false;
    m_block.resize(kBlockSize);
    m_blockStart = m_pos;
    m_blockLength = ReadAt(m_pos, m_block.data(), kBlockSize);
    return m_blockLength > 0;
}

void CPdfXRefScanner::Scan()
{
    m_entries.clear();
    m_trailer.Clear();
    m_pos = m_base;
    m_blockStart = m_base;
    m_blockLength = 0;

    // The last two integers before the current token, and where each began.
    struct Integer {
        int64_t value, start;
    } older = {0, 0}, last = {0, 0};
    int integers = 0;
    int32_t object = -1;       // the object whose header was read last, until endobj
    int depth = 0;             // dictionary nesting within it
    int64_t dictStart = -1;    // where its outermost dictionary began
    bool afterDict = false;    // the previous token closed that dictionary
    bool afterType = false;    // the previous token was the name /Type
    bool afterFilter = false;  // the previous token was the name /Filter
    char word[kWordLength + 1];

    for (;;) {
        const int64_t start = m_pos;
        const int c = Get();
        if (c < 0)
            break;
        if (pdfchar::IsWhite(c))
            continue;
        if (c == '%') {
            SkipComment(start);
            continue;
        }
        const bool closedDict = afterDict;
        const bool typed = afterType;
        const bool filtered = afterFilter;
        afterDict = afterType = afterFilter = false;
        if (pdfchar::IsDelimiter(c)) {
            integers = 0;
            if (c == '(') {
                SkipLiteralString();
            } else if (c == '<' && Peek() == '<') {
                Get();
                if (depth++ == 0)
                    dictStart = start;
            } else if (c == '<') {
                SkipHexString();
            } else if (c == '>' && Peek() == '>') {
                Get();
                if (depth > 0 && --depth == 0)
                    afterDict = true;
            } else if (c == '/') {
                size_t n = 0;
                while (pdfchar::IsRegular(Peek())) {
                    const int b = Get();
                    if (n < kWordLength)
                        word[n++] = static_cast<char>(b);
                }
                word[n] = '\0';
                if (object >= 0 && depth == 1 && typed && std::strcmp(word, "Catalog") == 0)
                    Keep(m_catalogs, object);
                // The standard security handler's dictionary, for a trailer
                // made without one.
                if (object >= 0 && depth == 1 && filtered && std::strcmp(word, "Standard") == 0)
                    Keep(m_encrypts, object);
                afterType = std::strcmp(word, "Type") == 0;
                afterFilter = std::strcmp(word, "Filter") == 0;
            }
            continue;
        }
        // A run of regular bytes: a number or a keyword.
        size_t n = 0;
        bool digits = true;
        int64_t value = 0;
        for (int b = c;; b = Get()) {
            if (n < kWordLength)
                word[n] = static_cast<char>(b);
            ++n;
            digits = digits && pdfchar::IsDigit(b);
            if (digits && value <= INT32_MAX)
                value = value * 10 + (b - '0');
            if (!pdfchar::IsRegular(Peek()))
                break;
        }
        word[std::min(n, kWordLength)] = '\0';
        if (digits) {
            older = last;
            last = {value, start};
            integers = std::min(integers + 1, 2);
            continue;
        }
        const bool header = integers == 2;
        integers = 0;
        if (std::strcmp(word, "obj") == 0) {
            object = -1;
            if (header && older.value > 0 && older.value < pdfformat::kMaxEntries && last.value <= kMaxGeneration) {
                Define(older.value, last.value, older.start);
                object = static_cast<int32_t>(older.value);
            }
            depth = 0;
        } else if (std::strcmp(word, "endobj") == 0) {
            object = -1;
            depth = 0;
        } else if (std::strcmp(word, "stream") == 0 && closedDict) {
            OnStream(dictStart, start, object);
            depth = 0;
        } else if (std::strcmp(word, "trailer") == 0) {
            Keep(m_trailers, TrailerSpot{m_pos, 0});
            object = -1;
            depth = 0;
        }
    }
    ChooseTrailer();
}

void CPdfXRefScanner::SkipComment(int64_t start)
{
    // A header further into the file than the opener looks is still a
    // header: its position is noted for the version it names.
    static constexpr char kHeader[] = "PDF-";
    size_t matched = 0;
    for (;;) {
        const int c = Peek();
        if (c < 0 || c == '\n' || c == '\r')
            return;
        Get();
        if (matched < 4) {
            matched = c == kHeader[matched] ? matched + 1 : 5;
            if (matched == 4 && m_headerFound < 0)
                m_headerFound = start;
        }
    }
}

void CPdfXRefScanner::SkipLiteralString()
{
    int nesting = 1;
    while (nesting > 0) {
        const int c = Get();
        if (c < 0)
            return;
        if (c == '\\')
            Get();
        else if (c == '(')
            ++nesting;
        else if (c == ')')
            --nesting;
    }
}

void CPdfXRefScanner::SkipHexString()
{
    for (int c = Get(); c >= 0 && c != '>'; c = Get()) {
    }
}

void CPdfXRefScanner::Define(int64_t number, int64_t generation, int64_t position)
{
    Store(static_cast<int32_t>(number), XRefEntry{position - m_base, static_cast<int32_t>(generation), 1});
}

void CPdfXRefScanner::Store(int32_t number, const XRefEntry& entry)
{
    if (static_cast<size_t>(number) >= m_entries.size())
        m_entries.resize(static_cast<size_t>(number) + 1, XRefEntry{-1, 0, 0});
    m_entries[static_cast<size_t>(number)] = entry;
}

bool CPdfXRefScanner::EndstreamAt(int64_t position) const
{
    uint8_t bytes[kEndstreamWindow];
    const size_t got = ReadAt(position, bytes, sizeof(bytes));
    size_t i = 0;
    while (i < got && pdfchar::IsWhite(bytes[i]))
        ++i;
    return got - i >= kEndstreamLength && std::memcmp(bytes + i, kEndstream, kEndstreamLength) == 0;
}

int64_t CPdfXRefScanner::FindEndstream(int64_t from)
{
    if (m_searchFrom >= 0 && from >= m_searchFrom && (m_searchFound < 0 || from <= m_searchFound))
        return m_searchFound;
    m_searchFrom = from;
    m_searchFound = -1;
    std::vector<uint8_t> chunk(kBlockSize);
    for (int64_t at = from; at < m_fileSize;) {
        const size_t got = ReadAt(at, chunk.data(), chunk.size());
        if (got < kEndstreamLength)
            break;
        const uint8_t* hit = static_cast<const uint8_t*>(memmem(chunk.data(), got, kEndstream, kEndstreamLength));
        if (hit != nullptr) {
            m_searchFound = at + (hit - chunk.data());
            break;
        }
        // The next chunk overlaps this one by less than the keyword.
        at += static_cast<int64_t>(got - (kEndstreamLength - 1));
        if (got < chunk.size())
            break;
    }
    return m_searchFound;
}

bool CPdfXRefScanner::ParseWindow(int64_t start, int64_t length, CPdfObject& out) const
{
    out.Clear();
    if (start < 0 || start >= m_fileSize || length < 0)
        return false;
    CPdfObject none;
    none.SetNull();
    CPdfStream* window = m_fileStream->CreateSubStream(start, length, none);
    if (window == nullptr)
        return false;
    try {
        CPdfParser parser(nullptr, window);
        parser.SetDecodeStreams(false);
        parser.ParseObject(out);
    } catch (const CPdfException&) {
        // Nested too deeply, or a stream without "endstream": nothing usable.
        out.Clear();
        return false;
    }
    return out.GetKind() != OBJ_EOF && out.GetKind() != OBJ_NONE;
}

bool CPdfXRefScanner::ReadLength(const CPdfObject& value, int64_t& length)
{
    if (value.GetKind() == OBJ_INTEGER) {
        length = value.GetInt();
        return length >= 0;
    }
    // A length object written after its stream (the usual way of one-pass
    // writers) is not known yet: the data then ends at "endstream".
    if (value.GetKind() != OBJ_REFERENCE || value.GetRefNum() <= 0 ||
        static_cast<size_t>(value.GetRefNum()) >= m_entries.size())
        return false;
    const XRefEntry& entry = m_entries[static_cast<size_t>(value.GetRefNum())];
    if (entry.type != 1)
        return false;
    CPdfObject none;
    none.SetNull();
    CPdfStream* window = m_fileStream->CreateSubStream(m_base + entry.offset, kIntegerObjectWindow, none);
    if (window == nullptr)
        return false;
    CPdfParser parser(nullptr, window);
    CPdfObject number, generation, keyword, integer;
    parser.ParseObject(number);
    parser.ParseObject(generation);
    parser.ParseObject(keyword);
    parser.ParseObject(integer);
    if (number.GetKind() != OBJ_INTEGER || number.GetInt() != value.GetRefNum() || !keyword.IsKeyword("obj") ||
        integer.GetKind() != OBJ_INTEGER)
        return false;
    length = integer.GetInt();
    return length >= 0;
}

void CPdfXRefScanner::OnStream(int64_t dictStart, int64_t keywordStart, int32_t object)
{
    // The data begins after the line end that follows the keyword.
    for (;;) {
        const int c = Get();
        if (c < 0 || c == '\n')
            break;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            break;
        }
    }
    const int64_t dataStart = m_pos;
    CPdfObject dict;
    const bool parsed = dictStart >= 0 && ParseWindow(dictStart, keywordStart - dictStart, dict) &&
                        dict.GetKind() == OBJ_DICTIONARY;
    int64_t length = -1;
    if (parsed) {
        CPdfObject value;
        dict.GetDictionary()->LookupRaw("Length", value);
        if (!ReadLength(value, length))
            length = -1;
    }
    const bool inFile = length >= 0 && length <= m_fileSize - dataStart;
    int64_t dataEnd;
    int64_t resume;
    if (inFile && EndstreamAt(dataStart + length)) {
        dataEnd = resume = dataStart + length;
    } else {
        const int64_t found = FindEndstream(dataStart);
        if (found >= 0) {
            // The line end before "endstream" is not data.
            resume = dataEnd = found;
            uint8_t before[2] = {0, 0};
            const size_t n = found - dataStart >= 2 ? 2 : static_cast<size_t>(found - dataStart);
            ReadAt(found - static_cast<int64_t>(n), before + 2 - n, n);
            if (n >= 1 && before[1] == '\n')
                dataEnd -= n == 2 && before[0] == '\r' ? 2 : 1;
            else if (n >= 1 && before[1] == '\r')
                dataEnd -= 1;
        } else {
            // No "endstream" anywhere after: a file cut short in its data.
            // The scan goes on where the length says the data ends.
            dataEnd = inFile ? dataStart + length : m_fileSize;
            resume = inFile ? dataStart + length : dataStart;
        }
    }
    if (parsed) {
        CPdfObject type;
        dict.GetDictionary()->LookupRaw("Type", type);
        if (IsName(type, "ObjStm") && object > 0) {
            m_objectStreams.push_back(
                ObjectStreamSpot{object, dictStart, keywordStart - dictStart, dataStart, dataEnd - dataStart});
            ReadObjectStream(m_objectStreams.back());
        } else if (IsName(type, "XRef")) {
            Keep(m_trailers, TrailerSpot{dictStart, keywordStart - dictStart});
        }
    }
    if (resume > m_pos)
        m_pos = resume;
}

bool CPdfXRefScanner::DecodeObjectStream(const ObjectStreamSpot& spot, std::vector<uint8_t>& data, int64_t& first,
                                         std::vector<int64_t>& header)
{
    data.clear();
    header.clear();
    CPdfObject dict;
    if (spot.dataLength <= 0 || !ParseWindow(spot.dictStart, spot.dictLength, dict) || dict.GetKind() != OBJ_DICTIONARY)
        return false;
    CPdfObject count, firstValue;
    dict.GetDictionary()->LookupRaw("N", count);
    dict.GetDictionary()->LookupRaw("First", firstValue);
    if (count.GetKind() != OBJ_INTEGER || count.GetInt() <= 0 || firstValue.GetKind() != OBJ_INTEGER ||
        firstValue.GetInt() < 0)
        return false;
    first = firstValue.GetInt();
    CPdfStream* raw = m_fileStream->CreateSubStream(spot.dataStart, spot.dataLength, dict);
    if (raw == nullptr)
        return false;
    CPdfStream* decoded = ApplyFilters(raw, dict);
    if (decoded == nullptr) {
        raw->Release();
        return false;
    }
    CPdfStreamRef held(decoded);
    for (int c = decoded->GetChar(); c >= 0 && m_decodeBudget > 0; c = decoded->GetChar()) {
        data.push_back(static_cast<uint8_t>(c));
        --m_decodeBudget;
        if (data.size() >= pdfformat::kMaxObjectStreamSize)
            break;
    }
    const size_t headerLength = std::min(data.size(), static_cast<size_t>(first));
    try {
        CPdfParser parser(nullptr, new CPdfMemoryStream(data.data(), headerLength));
        for (int32_t k = 0; k < count.GetInt() && k < pdfformat::kMaxEntries; ++k) {
            CPdfObject number, offset;
            parser.ParseObject(number);
            parser.ParseObject(offset);
            if (number.GetKind() != OBJ_INTEGER || offset.GetKind() != OBJ_INTEGER || offset.GetInt() < 0)
                break;
            header.push_back(number.GetInt());
            header.push_back(offset.GetInt());
        }
    } catch (const CPdfException&) {
        // A header nested too deeply: the pairs read so far.
    }
    return !header.empty();
}

void CPdfXRefScanner::ReadObjectStream(const ObjectStreamSpot& spot)
{
    std::vector<uint8_t> data;
    std::vector<int64_t> header;
    int64_t first = 0;
    if (!DecodeObjectStream(spot, data, first, header)) {
        // Encrypted, most likely: only the document's key can open it.
        const XRefEntry& entry = m_entries[static_cast<size_t>(spot.number)];
        m_sealed.push_back(SealedStream{spot.number, m_base + entry.offset});
        return;
    }
    const size_t members = header.size() / 2;
    for (size_t k = 0; k < members && m_memberBudget > 0; ++k, --m_memberBudget) {
        const int64_t number = header[2 * k];
        if (number > 0 && number < pdfformat::kMaxEntries)
            Store(static_cast<int32_t>(number), XRefEntry{spot.number, static_cast<int32_t>(k), 2});
    }
    // Members that may be the catalog, checked only if no trailer serves.
    static constexpr char kCatalog[] = "/Catalog";
    size_t found = 0;
    for (size_t at = std::min(data.size(), static_cast<size_t>(first)); found < kKeptCandidates && at < data.size();) {
        const void* hit = memmem(data.data() + at, data.size() - at, kCatalog, sizeof(kCatalog) - 1);
        if (hit == nullptr)
            break;
        const int64_t position = static_cast<const uint8_t*>(hit) - data.data();
        for (size_t k = 0; k < members; ++k) {
            const int64_t start = first + header[2 * k + 1];
            const int64_t end = k + 1 < members ? first + header[2 * k + 3] : static_cast<int64_t>(data.size());
            const int64_t number = header[2 * k];
            if (start <= position && position < end && number > 0 && number < pdfformat::kMaxEntries) {
                Keep(m_catalogs, static_cast<int32_t>(number));
                break;
            }
        }
        ++found;
        at = static_cast<size_t>(position) + 1;
    }
}

bool CPdfXRefScanner::ParseStoredObject(int32_t number, CPdfObject& out)
{
    out.Clear();
    if (number <= 0 || static_cast<size_t>(number) >= m_entries.size())
        return false;
    const XRefEntry entry = m_entries[static_cast<size_t>(number)];
    if (entry.type == 1) {
        CPdfObject none;
        none.SetNull();
        CPdfStream* window = m_fileStream->CreateSubStream(m_base + entry.offset, 0, none);
        if (window == nullptr)
            return false;
        try {
            CPdfParser parser(nullptr, window);
            parser.SetDecodeStreams(false);
            CPdfObject num, generation, keyword;
            parser.ParseObject(num);
            parser.ParseObject(generation);
            parser.ParseObject(keyword);
            if (num.GetKind() != OBJ_INTEGER || num.GetInt() != number || !keyword.IsKeyword("obj"))
                return false;
            parser.ParseObject(out);
        } catch (const CPdfException&) {
            out.Clear();
            return false;
        }
        return true;
    }
    if (entry.type != 2)
        return false;
    // The object stream of that number met last in the file.
    auto spot = std::find_if(m_objectStreams.rbegin(), m_objectStreams.rend(),
                             [&](const ObjectStreamSpot& s) { return s.number == entry.offset; });
    std::vector<uint8_t> data;
    std::vector<int64_t> header;
    int64_t first = 0;
    if (spot == m_objectStreams.rend() || !DecodeObjectStream(*spot, data, first, header))
        return false;
    const size_t k = static_cast<size_t>(entry.generation);
    if (k >= header.size() / 2 || header[2 * k] != number)
        return false;
    const int64_t start = first + header[2 * k + 1];
    const int64_t end = 2 * k + 3 < header.size() ? first + header[2 * k + 3] : static_cast<int64_t>(data.size());
    if (start > end || end > static_cast<int64_t>(data.size()))
        return false;
    try {
        CPdfParser parser(nullptr, new CPdfMemoryStream(data.data() + start, static_cast<size_t>(end - start)));
        parser.ParseObject(out);
    } catch (const CPdfException&) {
        out.Clear();
        return false;
    }
    return true;
}

bool CPdfXRefScanner::IsCatalog(int32_t number, bool typeRequired)
{
    CPdfObject value;
    if (!ParseStoredObject(number, value) || value.GetKind() != OBJ_DICTIONARY)
        return false;
    if (typeRequired && !value.GetDictionary()->IsType("Catalog"))
        return false;
    CPdfObject pages;
    value.GetDictionary()->LookupRaw("Pages", pages);
    return pages.GetKind() == OBJ_REFERENCE || pages.GetKind() == OBJ_DICTIONARY;
}

void CPdfXRefScanner::ChooseTrailer()
{
    if (!m_entries.empty())
        m_entries[0] = XRefEntry{0, 65535, 0};
    auto found = [&](int32_t number) {
        return number > 0 && static_cast<size_t>(number) < m_entries.size() &&
               m_entries[static_cast<size_t>(number)].type != 0;
    };
    for (auto spot = m_trailers.rbegin(); spot != m_trailers.rend(); ++spot) {
        CPdfObject dict;
        if (!ParseWindow(spot->start, spot->length, dict) || dict.GetKind() != OBJ_DICTIONARY)
            continue;
        CPdfObject root, info;
        dict.GetDictionary()->LookupRaw("Root", root);
        if (root.GetKind() != OBJ_REFERENCE || !found(root.GetRefNum()) || !IsCatalog(root.GetRefNum(), false))
            continue;
        // An /Info naming nothing found would be written into the result
        // as a dangling reference.
        dict.GetDictionary()->LookupRaw("Info", info);
        if (info.GetKind() == OBJ_REFERENCE && !found(info.GetRefNum()))
            CopyWithout(*dict.GetDictionary(), "Info", m_trailer);
        else
            m_trailer = std::move(dict);
        return;
    }
    // An encrypted file's catalog may lie in an object stream only its key
    // opens: the newest trailer naming a root is taken on trust then, and
    // the page-tree walk tells.
    if (!m_sealed.empty()) {
        for (auto spot = m_trailers.rbegin(); spot != m_trailers.rend(); ++spot) {
            CPdfObject dict, root;
            if (!ParseWindow(spot->start, spot->length, dict) || dict.GetKind() != OBJ_DICTIONARY)
                continue;
            dict.GetDictionary()->LookupRaw("Root", root);
            if (root.GetKind() == OBJ_REFERENCE) {
                m_trailer = std::move(dict);
                return;
            }
        }
    }
    for (auto number = m_catalogs.rbegin(); number != m_catalogs.rend(); ++number) {
        if (!found(*number) || !IsCatalog(*number, true))
            continue;
        const XRefEntry& entry = m_entries[static_cast<size_t>(*number)];
        CPdfObject root;
        root.SetReference(*number, entry.type == 1 ? entry.generation : 0);
        CPdfDictionary* trailer = m_trailer.SetNewDictionary(nullptr);
        trailer->Add("Root", root);
        AddEncryption(*trailer);
        return;
    }
}

void CPdfXRefScanner::AddEncryption(CPdfDictionary& trailer)
{
    // Without its /Encrypt the document's strings and streams would be
    // copied still encrypted. The key of the older revisions also needs the
    // file's /ID, which only a trailer holds: a cut-off one may still have it.
    for (auto number = m_encrypts.rbegin(); number != m_encrypts.rend(); ++number) {
        CPdfObject value, filter, owner;
        if (!ParseStoredObject(*number, value) || value.GetKind() != OBJ_DICTIONARY)
            continue;
        value.GetDictionary()->LookupRaw("Filter", filter);
        value.GetDictionary()->LookupRaw("O", owner);
        if (!IsName(filter, "Standard") || owner.GetKind() != OBJ_STRING)
            continue;
        const XRefEntry& entry = m_entries[static_cast<size_t>(*number)];
        CPdfObject reference;
        reference.SetReference(*number, entry.type == 1 ? entry.generation : 0);
        trailer.Add("Encrypt", reference);
        break;
    }
    for (auto spot = m_trailers.rbegin(); spot != m_trailers.rend(); ++spot) {
        CPdfObject dict, id;
        if (!ParseWindow(spot->start, spot->length, dict) || dict.GetKind() != OBJ_DICTIONARY)
            continue;
        dict.GetDictionary()->LookupRaw("ID", id);
        if (id.GetKind() == OBJ_ARRAY) {
            trailer.Add("ID", id);
            return;
        }
    }
}
