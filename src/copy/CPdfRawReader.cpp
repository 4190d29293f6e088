#include "copy/CPdfRawReader.h"

#include <algorithm>
#include <cstring>

#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "base/PdfByteSearch.h"
#include "base/PdfCharClass.h"
#include "base/PdfFileFormat.h"
#include "text/PdfObjectText.h"
#include "base/CPdfException.h"
#include "base/CPdfInputFile.h"
#include "reader/CPdfSecurityHandler.h"
#include "object/CPdfStream.h"
#include "reader/CPdfXRef.h"

namespace {

// The first look at an object, and the most it grows to before the rest is
// searched in the file.
constexpr size_t kFirstRead = 2 * 1024;
constexpr size_t kLargestRead = 128 * 1024;
// Small blocks: around a large stream only its first and last bytes are
// read here, the data itself is copied file to file.
constexpr size_t kCacheBlocks = 256;
constexpr size_t kCacheBlockSize = 4 * 1024;
// An object read whole beyond this size is read straight into its text:
// through the cache it would cost a system call and a copy every block.
constexpr size_t kLargestCachedRead = 8 * 1024;
// Enough for a stream's length written as an object of its own.
constexpr size_t kLengthObjectRead = 64;
// Enough to see "endstream" after a stream's data in the usual layouts.
constexpr size_t kEndstreamRead = 256;

// The value of key in the object's own dictionary, as written ("/XRef" for
// /Type /XRef); empty when it is not there.
std::string ValueOf(const uint8_t* text, uint32_t length, uint32_t limit, const char* key)
{
    uint32_t start = 0, end = 0;
    if (!CPdfTextEdit(text, length, limit).FindValue(key, start, end))
        return std::string();
    return std::string(reinterpret_cast<const char*>(text) + start, end - start);
}

// The dictionary part of a stream object with /Length set to length.
void SetLength(std::string& dict, int64_t length)
{
    std::string value;
    objecttext::AppendNumber(value, length);
    CPdfTextEdit edit(reinterpret_cast<const uint8_t*>(dict.data()), static_cast<uint32_t>(dict.size()),
                      static_cast<uint32_t>(dict.size()));
    edit.SetKey("/Length", value);
    std::string edited;
    edit.Apply(edited);
    dict.swap(edited);
}

// Where the data of a stream in text ends when its /Length did not say: at
// the line end before the last "endstream", as a reader repairing it takes
// it; -1 when there is no "endstream" after dataStart.
int64_t DataEndBeforeEndstream(const uint8_t* text, uint32_t length, uint32_t dataStart)
{
    static constexpr char kWord[] = "endstream";
    const uint32_t n = sizeof(kWord) - 1;
    for (uint32_t e = length >= n ? length - n : 0; e > dataStart; --e) {
        if (std::memcmp(text + e, kWord, n) != 0)
            continue;
        return e - objecttext::LineEndLength(text + dataStart, e - dataStart);
    }
    return -1;
}

}  // namespace

CPdfRawReader::CPdfRawReader(CPdfInputFile& file, CPdfXRef& xref)
    : m_file(file), m_xref(xref), m_cache(file, kCacheBlocks, kCacheBlockSize)
{
}

bool CPdfRawReader::ReadRawObject(int32_t number, CPdfRawObject& out, bool allowTail)
{
    out.Release();
    const auto& entries = m_xref.GetEntries();
    if (number < 0 || static_cast<size_t>(number) >= entries.size())
        return false;
    const XRefEntry entry = entries[static_cast<size_t>(number)];
    if (entry.type == 1) {
        const int64_t position = m_xref.GetBaseOffset() + entry.offset;
        FilePlace place;
        if (!ReadFileObject(number, entry.generation, position, out, allowTail, place)) {
            // Not where its entry says: rather than losing the object, the
            // table is rebuilt (once per document) and the object looked
            // for again.
            if (place.misplaced && m_xref.RebuildFor(entry))
                return ReadRawObject(number, out, allowTail);
            // Its text has no end (a damaged file): the checks read it
            // through the parser, and so does the copy.
            return RestateFromParser(number, entry.generation, out);
        }
        // Members of object streams were decrypted with their stream. The
        // decrypted text states its data's length, a true one.
        if (m_xref.GetSecurityHandler() != nullptr && number != m_xref.GetEncryptNum())
            return DecryptObject(number, position, place, out) &&
                   (!out.GetLayout().unbalanced || RestateFromParser(number, entry.generation, out));
        if (place.lengthWrong)
            RestateLength(out, place.dataEnd - place.dataStart);
        return !out.GetLayout().unbalanced || RestateFromParser(number, entry.generation, out);
    }
    if (entry.type != 2)
        return false;
    int32_t length = 0;
    const bool rebuilt = m_xref.WasRebuilt();
    const uint8_t* data = m_xref.GetCompressedObjectData(number, 0, length);
    if (data == nullptr || length <= 0)
        return !rebuilt && m_xref.WasRebuilt() && ReadRawObject(number, out, allowTail);
    CPdfTextEdit::WrapMember(number, data, static_cast<uint32_t>(length), out.Head());
    objecttext::Scan(out.GetHead(), out.GetHeadLength(), out.Layout());
    return !out.GetLayout().unbalanced || RestateFromParser(number, 0, out);
}

bool CPdfRawReader::RestateFromParser(int32_t number, int32_t generation, CPdfRawObject& out)
{
    // Every check of the job read the object through the parser: the copy
    // holds the value it read, written out whole. A stream's data would
    // have to be read apart from it; such a stream, and a value the parser
    // cannot read either (or reads as null, as if absent), are not copied.
    out.Release();
    CPdfObject value;
    try {
        m_xref.FetchObject(number, generation, value);
    } catch (const CPdfException&) {
        return false;
    }
    switch (value.GetKind()) {
    case OBJ_NULL:
    case OBJ_ERROR:
    case OBJ_EOF:
    case OBJ_STREAM:
        return false;
    default:
        break;
    }
    std::string& text = out.Head();
    objecttext::AppendNumber(text, number);
    text.push_back(' ');
    objecttext::AppendNumber(text, generation);
    text += " obj\n";
    const CPdfValueWriter writer([](int64_t n) { return objecttext::Target{n}; });
    writer.Write(value, text);
    text += "\nendobj\n";
    objecttext::Scan(out.GetHead(), out.GetHeadLength(), out.Layout());
    return !out.GetLayout().unbalanced;
}

void CPdfRawReader::Release()
{
    m_cache.Release();
    std::vector<uint8_t>().swap(m_scratch);
}

const uint8_t* CPdfRawReader::Span(int64_t position, size_t want, size_t& available)
{
    return m_cache.Span(position, want, available, m_scratch);
}

size_t CPdfRawReader::ReadTailStart(const CPdfRawObject& raw, uint8_t* out, size_t length)
{
    if (!raw.HasTail() || raw.GetTailFile() != &m_file)
        return 0;
    return ReadCached(raw.GetTailPosition(),
                      out, static_cast<size_t>(std::min<int64_t>(raw.GetTailLength(), static_cast<int64_t>(length))));
}

size_t CPdfRawReader::ReadCached(int64_t position, uint8_t* out, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const size_t got = m_cache.Read(position + static_cast<int64_t>(done), out + done, length - done);
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

int64_t CPdfRawReader::FindEndobj(int64_t position)
{
    // Right after a stream's data: "endstream" and "endobj" are near.
    uint8_t bytes[kEndstreamRead];
    const size_t got = ReadCached(position, bytes, sizeof(bytes));
    const uint32_t found = bytesearch::FindPattern(bytes, 0, static_cast<uint32_t>(got), "endobj", 6);
    if (found != 0)
        return position + found;
    if (got < 6)
        return 0;
    return bytesearch::FindInFile(m_file.Descriptor(), position + static_cast<int64_t>(got) - 5, "endobj", 6);
}

int64_t CPdfRawReader::ReadIndirectLength(const objecttext::Layout& layout)
{
    const auto& entries = m_xref.GetEntries();
    if (layout.lengthNumber <= 0 || static_cast<size_t>(layout.lengthNumber) >= entries.size())
        return -1;
    const XRefEntry& entry = entries[static_cast<size_t>(layout.lengthNumber)];
    if (entry.type != 1 || entry.generation != layout.lengthGeneration)
        return -1;
    uint8_t text[kLengthObjectRead];
    const size_t n = ReadCached(m_xref.GetBaseOffset() + entry.offset, text, sizeof(text));
    return objecttext::IntegerObjectValue(text, static_cast<uint32_t>(n), layout.lengthNumber,
                                          layout.lengthGeneration);
}

int64_t CPdfRawReader::FindStreamEnd(int32_t number, int64_t position, const uint8_t* chunk, uint32_t got,
                                     const objecttext::Layout& layout, int64_t& dataStart)
{
    dataStart = -1;
    // The usual cases: a direct /Length, or one in a plain object of its
    // own nearby (as many producers write it, read through the cache
    // rather than the parser), whose data is followed by "endstream".
    // chunk is read first: reading the length object may reuse the cache
    // block it points into.
    const uint32_t start = objecttext::DataStart(chunk, got, layout.split);
    const int64_t length = layout.directLength >= 0 ? layout.directLength : ReadIndirectLength(layout);
    chunk = nullptr;
    if (length >= 0 && start < got) {
        const int64_t dataEnd = position + start + length;
        uint8_t after[kEndstreamRead];
        const size_t n = ReadCached(dataEnd, after, sizeof(after));
        if (objecttext::StartsWithEndstream(after, static_cast<uint32_t>(n))) {
            dataStart = position + start;
            return dataEnd;
        }
    }
    // Otherwise as a reader takes it: /Length through the table, and the
    // data must be followed by "endstream".
    try {
        CPdfObject raw;
        m_xref.FetchRawObject(number, raw);
        if (raw.GetKind() == OBJ_STREAM) {
            CPdfStream* data = raw.GetStream();
            dataStart = data->GetStart();
            return dataStart + data->GetLength();
        }
    } catch (const CPdfException&) {
        // No usable /Length.
    }
    dataStart = -1;
    return -1;
}

int64_t CPdfRawReader::FindRepairedDataEnd(int64_t dataStart, bool& endRebuilt)
{
    endRebuilt = false;
    const int64_t endstream = bytesearch::FindInFile(m_file.Descriptor(), dataStart, "endstream", 9);
    const int64_t endobj = bytesearch::FindInFile(m_file.Descriptor(), dataStart, "endobj", 6);
    int64_t end = -1;
    if (endstream != 0 && (endobj == 0 || endstream - 8 < endobj - 5)) {
        end = endstream - 8;
        // Bytes other than white space between that "endstream" and the
        // object's "endobj" are no part of the stream as a reader takes it:
        // the copy ends with the keywords alone.
        const int64_t after = endstream + 1;
        if (endobj != 0) {
            uint8_t gap[kEndstreamRead];
            const int64_t span = endobj - 5 - after;
            endRebuilt = span > static_cast<int64_t>(sizeof(gap));
            if (!endRebuilt && span > 0) {
                const size_t n = ReadCached(after, gap, static_cast<size_t>(span));
                for (size_t i = 0; i < n && !endRebuilt; ++i)
                    endRebuilt = !pdfchar::IsWhite(gap[i]);
            }
        }
    } else if (endobj != 0) {
        // No "endstream" before the object ends: the data runs up to its
        // "endobj", and the copy gets the keyword it lacks.
        end = endobj - 5;
        endRebuilt = true;
    } else {
        return -1;
    }
    // The line end before the keyword is not data: LF, CR LF or CR.
    uint8_t before[2] = {0, 0};
    const size_t n = static_cast<size_t>(std::min<int64_t>(2, end - dataStart));
    if (n > 0 && ReadCached(end - static_cast<int64_t>(n), before, n) == n)
        end -= objecttext::LineEndLength(before, static_cast<uint32_t>(n));
    return end;
}

bool CPdfRawReader::ReadFileObject(int32_t number, int32_t generation, int64_t position, CPdfRawObject& out,
                                   bool allowTail, FilePlace& place)
{
    int64_t& dataStart = place.dataStart;
    int64_t& dataEnd = place.dataEnd;
    place.misplaced = true;
    if (position < 0)
        return false;
    // Most objects are short: look at a small span first, a larger one only
    // when the object's end is not in it. A stream's dictionary is all that
    // is needed from its start.
    size_t available = 0;
    const uint8_t* chunk = nullptr;
    uint32_t got = 0;
    objecttext::Layout& layout = out.Layout();
    for (size_t want = kFirstRead;; want *= 4) {
        chunk = Span(position, want, available);
        got = static_cast<uint32_t>(available);
        objecttext::Scan(chunk, got, layout);
        if (layout.endobj >= 0 || layout.isStream || available < want || want >= kLargestRead)
            break;
    }
    // Bytes that do not begin with this object's own header are some other
    // object's, or none at all.
    if (!layout.hasHeader || layout.number != number || layout.generation != generation)
        return false;
    place.misplaced = false;

    // The "j" of "endobj": the keyword that ends the value, as a reader
    // reads it (a string or a comment may hold the same bytes); where the
    // text has no such keyword (it is damaged), the first such bytes.
    const bool endobjToken = layout.endobj >= 0;
    int64_t end = endobjToken ? position + layout.endobj + 5 : 0;
    if (!endobjToken) {
        const uint32_t found = bytesearch::FindPattern(chunk, 0, got, "endobj", 6);
        end = found != 0 ? position + found : 0;
    }
    dataStart = dataEnd = -1;
    if (layout.isStream || end == 0) {
        // A stream's data may itself hold "endobj" (an embedded file, an
        // uncompressed image): when /Length leads to an accepted
        // "endstream", the object ends at the first "endobj" after it.
        const uint32_t start = layout.isStream ? objecttext::DataStart(chunk, got, layout.split) : got;
        dataEnd = FindStreamEnd(number, position, chunk, got, layout, dataStart);
        if (dataEnd < 0 && start < got) {
            // A damaged input: its stated /Length does not lead to
            // "endstream". The copy states the length a reader repairing
            // the file finds, so the result does not carry the fault on.
            dataEnd = FindRepairedDataEnd(position + start, place.endRebuilt);
            if (dataEnd >= 0) {
                dataStart = position + start;
                place.lengthWrong = true;
            }
        }
        if (dataEnd >= 0) {
            const int64_t found = FindEndobj(dataEnd);
            if (found != 0) {
                end = found;
            } else {
                // No "endobj" after the data (an "endobj" before it is data):
                // the text is the object up to its data, and its keywords.
                place.endRebuilt = place.endobjMissing = true;
                end = dataEnd - 2;
            }
        }
        if (end == 0 && got >= 6)
            end = FindEndobj(position + static_cast<int64_t>(got) - 5);
        chunk = nullptr;  // the window may have moved
    }
    if (end == 0)
        return false;
    const int64_t length = end + 2 - position;
    std::string& text = out.Head();
    if (allowTail && !place.endRebuilt && dataStart > position && end + 2 - dataStart >= kTailMinimum) {
        text.resize(static_cast<size_t>(dataStart - position));
        const size_t head = ReadCached(position, reinterpret_cast<uint8_t*>(text.data()), text.size());
        if (head < text.size())
            return false;
        out.SetTail(&m_file, dataStart, end + 2 - dataStart);
        out.SetSource(&m_file, position);
        // The scan of the first bytes stopped at "stream": when the head
        // holds that keyword, it describes the head too.
        if (!layout.isStream || layout.split > out.GetHeadLength())
            objecttext::Scan(out.GetHead(), out.GetHeadLength(), layout);
        return true;
    }
    size_t have = 0;
    if (length <= static_cast<int64_t>(kLargestCachedRead)) {
        const uint8_t* bytes = Span(position, static_cast<size_t>(length), have);
        text.assign(reinterpret_cast<const char*>(bytes), have);
    } else {
        text.resize(static_cast<size_t>(length));
        have = pdfformat::ReadAt(m_file.Descriptor(), position, reinterpret_cast<uint8_t*>(text.data()), text.size());
    }
    if (have + 1 == static_cast<size_t>(length)) {
        // "endobj" is the file's last word: end the text with a line end.
        text.resize(have);
        text.push_back('\n');
    } else if (have < static_cast<size_t>(length)) {
        return false;
    } else {
        out.SetSource(&m_file, position);
    }
    if (place.endobjMissing) {
        text.resize(static_cast<size_t>(dataEnd - position));
        text += "\nendstream\nendobj\n";
        out.ClearSource();
    } else if (place.endRebuilt) {
        // The keyword goes where the data ends; the layout's split before it
        // stays right.
        const size_t at = static_cast<size_t>(dataEnd - position);
        const size_t endobjAt = static_cast<size_t>(end - 5 - position);
        if (at <= endobjAt && endobjAt <= text.size()) {
            text = text.substr(0, at) + "\nendstream\n" + text.substr(endobjAt);
            out.ClearSource();
        }
    }
    if (layout.isStream && layout.split <= text.size()) {
        // The first scan stopped at "stream": it describes this text too.
    } else if (!layout.isStream && endobjToken && position + layout.endobj + 5 == end) {
        layout.split = static_cast<uint32_t>(length);
    } else {
        objecttext::Scan(out.GetHead(), out.GetHeadLength(), layout);
    }
    return true;
}

void CPdfRawReader::RestateLength(CPdfRawObject& out, int64_t dataLength)
{
    const std::string& head = out.Head();
    const uint32_t split = out.GetLayout().split;
    std::string text = head.substr(0, split);
    SetLength(text, dataLength);
    text.append(head, split, std::string::npos);
    out.Head() = std::move(text);
    out.ClearSource();
    objecttext::Scan(out.GetHead(), out.GetHeadLength(), out.Layout());
}

bool CPdfRawReader::DecryptObject(int32_t number, int64_t position, const FilePlace& place, CPdfRawObject& out)
{
    const int64_t dataStart = place.dataStart, dataEnd = place.dataEnd;
    const CPdfSecurityHandler& security = *m_xref.GetSecurityHandler();
    const uint8_t* t = out.GetHead();
    const uint32_t length = out.GetHeadLength();
    const objecttext::Layout& layout = out.GetLayout();
    const int32_t generation = layout.generation;
    const uint32_t split = layout.split;
    const std::string type = ValueOf(t, length, split, "/Type");
    // Cross-reference streams are never encrypted.
    if (layout.isStream && type == "/XRef")
        return true;
    std::string text;
    objecttext::RewriteStrings(t, split, split,
                               [&](const std::string& value) { return security.DecryptString(number, generation, value); },
                               text);
    CPdfDecryptor decryptor = security.CreateDecryptor(CPdfSecurityHandler::DATA_STREAM, number, generation);
    const bool clearData = decryptor.GetCipher() == CPdfDecryptor::CIPHER_IDENTITY ||
                           (type == "/Metadata" && !security.EncryptsMetadata());
    if (!layout.isStream || clearData) {
        if (layout.isStream && place.lengthWrong)
            SetLength(text, dataEnd - dataStart);
        text.append(reinterpret_cast<const char*>(t) + split, length - split);
    } else if (out.HasTail()) {
        // The head ends where the data begins: the length is worked out from
        // the last blocks of the data, which is decrypted while it is copied.
        const int64_t dataLength = dataEnd - dataStart;
        uint8_t last[2 * CPdfDecryptor::kBlock];
        const size_t tailSize = decryptor.GetTailSize(dataLength);
        if (pdfformat::ReadAt(m_file.Descriptor(), dataEnd - static_cast<int64_t>(tailSize), last, tailSize) < tailSize)
            return false;
        const int64_t plainLength = decryptor.GetOutputLength(dataLength, last);
        SetLength(text, plainLength);
        text.append(reinterpret_cast<const char*>(t) + split, length - split);
        out.SetTailDecryption(decryptor, dataLength, plainLength);
    } else {
        const int64_t from = dataStart >= 0 ? dataStart - position : objecttext::DataStart(t, length, split);
        const int64_t to = dataEnd >= 0 ? dataEnd - position : DataEndBeforeEndstream(t, length, static_cast<uint32_t>(from));
        if (from < split || to < from || to > length) {
            // No data found to decrypt: the object goes as it is written.
            text.append(reinterpret_cast<const char*>(t) + split, length - split);
        } else {
            const std::vector<uint8_t> plain = decryptor.DecryptAll(t + from, static_cast<size_t>(to - from));
            SetLength(text, static_cast<int64_t>(plain.size()));
            text.append(reinterpret_cast<const char*>(t) + split, static_cast<size_t>(from) - split);
            text.append(reinterpret_cast<const char*>(plain.data()), plain.size());
            text.append(reinterpret_cast<const char*>(t) + to, length - static_cast<size_t>(to));
        }
    }
    out.Head() = std::move(text);
    out.ClearSource();
    objecttext::Scan(out.GetHead(), out.GetHeadLength(), out.Layout());
    return true;
}
