#include "append/CPdfRawReader.h"

#include "append/CPdfTextEdit.h"
#include "append/PdfByteSearch.h"
#include "main/PdfFileFormat.h"
#include "append/PdfObjectText.h"
#include "main/CPdfException.h"
#include "reader/CPdfStream.h"
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
// Enough to see "endstream" after a stream's data in the usual layouts.
constexpr size_t kEndstreamRead = 256;

}  // namespace

CPdfRawReader::CPdfRawReader(int fd, CPdfXRef& xref)
    : m_fd(fd), m_xref(xref), m_cache(fd, kCacheBlocks, kCacheBlockSize)
{
}

bool CPdfRawReader::ReadRawObject(int32_t number, CPdfRawObject& out, bool allowTail)
{
    out.Release();
    const auto& entries = m_xref.GetEntries();
    if (number < 0 || static_cast<size_t>(number) >= entries.size())
        return false;
    const XRefEntry& entry = entries[static_cast<size_t>(number)];
    if (entry.type == 1)
        return ReadFileObject(number, m_xref.GetBaseOffset() + entry.offset, out, allowTail);
    if (entry.type != 2)
        return false;
    int32_t length = 0;
    const uint8_t* data = m_xref.GetCompressedObjectData(number, 0, length);
    if (data == nullptr || length <= 0)
        return false;
    CPdfTextEdit::WrapMember(number, data, static_cast<uint32_t>(length), out.Head());
    objecttext::Scan(out.GetHead(), out.GetHeadLength(), out.Layout());
    return true;
}

const uint8_t* CPdfRawReader::Span(int64_t position, size_t want, size_t& available)
{
    return m_cache.Span(position, want, available, m_scratch);
}

int64_t CPdfRawReader::FindEndobj(int64_t position)
{
    // Right after a stream's data: "endstream" and "endobj" are near.
    uint8_t bytes[kEndstreamRead];
    const size_t got = pdfformat::ReadAt(m_fd, position, bytes, sizeof(bytes));
    const uint32_t found = bytesearch::FindPattern(bytes, 0, static_cast<uint32_t>(got), "endobj", 6);
    if (found != 0)
        return position + found;
    return got >= 6 ? bytesearch::FindInFile(m_fd, position + static_cast<int64_t>(got) - 5, "endobj", 6) : 0;
}

int64_t CPdfRawReader::FindStreamEnd(int32_t number, int64_t position, const uint8_t* chunk, uint32_t got,
                                     const objecttext::Layout& layout, int64_t& dataStart)
{
    dataStart = -1;
    // The usual case, read from the first chunk alone: a direct /Length
    // whose data is followed by "endstream".
    if (layout.directLength >= 0) {
        const uint32_t start = objecttext::DataStart(chunk, got, layout.split);
        if (start < got) {
            const int64_t dataEnd = position + start + layout.directLength;
            uint8_t after[kEndstreamRead];
            const size_t n = pdfformat::ReadAt(m_fd, dataEnd, after, sizeof(after));
            if (objecttext::StartsWithEndstream(after, static_cast<uint32_t>(n))) {
                dataStart = position + start;
                return dataEnd;
            }
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

bool CPdfRawReader::ReadFileObject(int32_t number, int64_t position, CPdfRawObject& out, bool allowTail)
{
    if (position < 0)
        return false;
    // Most objects are short: look at a small span first, a larger one only
    // when "endobj" is not in it.
    size_t available = 0;
    const uint8_t* chunk = nullptr;
    uint32_t got = 0;
    uint32_t firstEnd = 0;
    objecttext::Layout& layout = out.Layout();
    for (size_t want = kFirstRead;; want *= 4) {
        chunk = Span(position, want, available);
        got = static_cast<uint32_t>(available);
        firstEnd = bytesearch::FindPattern(chunk, 0, got, "endobj", 6);
        if (firstEnd != 0 || available < want || want >= kLargestRead)
            break;
        // A stream's dictionary is all that is needed from its start.
        objecttext::Scan(chunk, got, layout);
        if (layout.isStream)
            break;
    }
    objecttext::Scan(chunk, firstEnd != 0 ? firstEnd + 1 : got, layout);
    // Bytes that do not begin with this object's own header are some other
    // object's, or none at all.
    if (!layout.hasHeader || layout.number != number)
        return false;

    int64_t end = firstEnd != 0 ? position + firstEnd : 0;  // the "j" of "endobj"
    int64_t dataStart = -1;
    if (layout.isStream || firstEnd == 0) {
        // A stream's data may itself hold "endobj" (an embedded file, an
        // uncompressed image): when /Length leads to an accepted
        // "endstream", the object ends at the first "endobj" after it.
        const int64_t dataEnd = FindStreamEnd(number, position, chunk, got, layout, dataStart);
        if (dataEnd >= 0) {
            const int64_t found = FindEndobj(dataEnd);
            if (found != 0)
                end = found;
        }
        if (end == 0 && got >= 6)
            end = FindEndobj(position + static_cast<int64_t>(got) - 5);
        chunk = nullptr;  // the window may have moved
    }
    if (end == 0)
        return false;
    const int64_t length = end + 2 - position;
    std::string& text = out.Head();
    if (allowTail && dataStart > position && end + 2 - dataStart >= kTailMinimum) {
        text.resize(static_cast<size_t>(dataStart - position));
        const size_t head = pdfformat::ReadAt(m_fd, position, reinterpret_cast<uint8_t*>(text.data()), text.size());
        if (head < text.size())
            return false;
        out.SetTail(m_fd, dataStart, end + 2 - dataStart);
        objecttext::Scan(out.GetHead(), out.GetHeadLength(), layout);
        return true;
    }
    size_t have = 0;
    if (length <= static_cast<int64_t>(kLargestRead)) {
        const uint8_t* bytes = Span(position, static_cast<size_t>(length), have);
        text.assign(reinterpret_cast<const char*>(bytes), have);
    } else {
        text.resize(static_cast<size_t>(length));
        have = pdfformat::ReadAt(m_fd, position, reinterpret_cast<uint8_t*>(text.data()), text.size());
    }
    if (have + 1 == static_cast<size_t>(length)) {
        // "endobj" is the file's last word: end the text with a line end.
        text.resize(have);
        text.push_back('\n');
    } else if (have < static_cast<size_t>(length)) {
        return false;
    }
    if (layout.isStream && firstEnd != 0) {
        // The first scan stopped at "stream": it describes this text too.
    } else if (!layout.isStream && firstEnd != 0 && position + firstEnd == end) {
        layout.split = static_cast<uint32_t>(length);
    } else {
        objecttext::Scan(out.GetHead(), out.GetHeadLength(), layout);
    }
    return true;
}
