#include "writer/CPdfFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfFileFormat.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"

namespace {

// The block gathered before a write: large, so that the output goes out
// in few system calls, as `cat` writes it.
constexpr size_t kBlockSize = size_t(1) << 20;

}  // namespace

void CPdfFile::AttachOutput(FILE* out, const std::string& name, int64_t start)
{
    m_output = out;
    m_outputLabel = name;
    m_outputPos = start;
    m_waiting = Range();
    m_copyCount = 0;
    m_kernelCopyCount = 0;
    m_blockUsed = 0;
}

void CPdfFile::Fail(int error) const
{
    throw CPdfException(msg::kWriteError).InFile(m_outputLabel).BecauseOf(error);
}

void CPdfFile::Write(const void* data, size_t length)
{
    if (length == 0)
        return;
    IssueCopy();
    Put(data, length);
    m_outputPos += static_cast<int64_t>(length);
}

void CPdfFile::Put(const void* data, size_t length)
{
    if (m_block.size() < kBlockSize)
        m_block.resize(kBlockSize);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        if (m_blockUsed == m_block.size())
            WriteBlock();
        const size_t n = std::min(length, m_block.size() - m_blockUsed);
        std::memcpy(m_block.data() + m_blockUsed, bytes, n);
        m_blockUsed += n;
        bytes += n;
        length -= n;
    }
}

void CPdfFile::WriteBlock()
{
    const int out = fileno(m_output);
    size_t done = 0;
    while (done < m_blockUsed) {
        const ssize_t n = write(out, m_block.data() + done, m_blockUsed - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    m_blockUsed = 0;
}

void CPdfFile::Write(const char* text)
{
    Write(text, std::strlen(text));
}

void CPdfFile::WriteNumber(int64_t value)
{
    char digits[24];
    Write(digits, pdfformat::FormatNumber(value, digits));
}

void CPdfFile::CopyFromFile(CPdfInputFile& file, int64_t position, int64_t length)
{
    if (length <= 0)
        return;
    if (m_waiting.length > 0 && m_waiting.file == &file && m_waiting.position + m_waiting.length == position) {
        m_waiting.length += length;
    } else {
        IssueCopy();
        m_waiting = {&file, position, length};
    }
    // Counted now: positions taken before the copy goes out are right.
    m_outputPos += length;
}

void CPdfFile::Flush()
{
    IssueCopy();
    if (m_blockUsed > 0)
        WriteBlock();
}

void CPdfFile::IssueCopy()
{
    if (m_waiting.length <= 0)
        return;
    const Range range = m_waiting;
    m_waiting = Range();
    ++m_copyCount;
    if (range.length >= kKernelCopy) {
        ++m_kernelCopyCount;
        CopyInKernel(*range.file, range.position, range.length);
    } else {
        CopyThroughBuffer(*range.file, range.position, range.length);
    }
}

void CPdfFile::CopyInKernel(CPdfInputFile& file, int64_t position, int64_t length)
{
    if (m_blockUsed > 0)
        WriteBlock();
    const int out = fileno(m_output);
    int64_t left = length;
    loff_t from = position;
    while (left > 0) {
        const ssize_t n = copy_file_range(file.Descriptor(), &from, out, nullptr, static_cast<size_t>(left), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // not supported here, or the input ended: copy by hand
        left -= n;
    }
    CopyThroughBuffer(file, from, left);
}

void CPdfFile::CopyThroughBuffer(CPdfInputFile& file, int64_t position, int64_t length)
{
    if (length > 0 && m_block.size() < kBlockSize)
        m_block.resize(kBlockSize);
    // Read straight into the block: the bytes are copied once on their way
    // in and once on their way out.
    while (length > 0) {
        if (m_blockUsed == m_block.size())
            WriteBlock();
        const size_t n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(m_block.size() - m_blockUsed)));
        uint8_t* to = m_block.data() + m_blockUsed;
        const size_t got = pdfformat::ReadAt(file.Descriptor(), position, to, n);
        std::memset(to + got, ' ', n - got);
        m_blockUsed += n;
        position += static_cast<int64_t>(n);
        length -= static_cast<int64_t>(n);
    }
}

void CPdfFile::CopyFromFile(CPdfInputFile& file, int64_t position, int64_t length, CPdfDecryptor decryptor,
                            int64_t plainLength)
{
    constexpr size_t kChunk = size_t(1) << 16;
    std::vector<uint8_t> input(kChunk), output;
    int64_t left = length, written = 0;
    const auto emit = [&]() {
        const size_t n = static_cast<size_t>(std::min<int64_t>(plainLength - written, static_cast<int64_t>(output.size())));
        Write(output.data(), n);
        written += static_cast<int64_t>(n);
        output.clear();
    };
    while (left > 0) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(kChunk)));
        const size_t got = pdfformat::ReadAt(file.Descriptor(), position, input.data(), want);
        if (got == 0)
            break;
        decryptor.Update(input.data(), got, output);
        emit();
        position += static_cast<int64_t>(got);
        left -= static_cast<int64_t>(got);
    }
    decryptor.Finish(output);
    emit();
    // Data that decrypts to fewer bytes than it did before is padded.
    while (written < plainLength) {
        output.assign(static_cast<size_t>(std::min<int64_t>(plainLength - written, static_cast<int64_t>(kChunk))), ' ');
        emit();
    }
}

int64_t CPdfFile::GetOutputPosition() const
{
    if (m_outputPos > pdfformat::kMaxEntryOffset)
        throw CPdfException(msg::kOutputTooLarge).InFile(m_outputLabel);
    return m_outputPos;
}

void CPdfFile::ResetXRefTable(int32_t count)
{
    m_outputTable.assign(static_cast<size_t>(count < 0 ? 0 : count), XRefEntry{-1, 0, 0});
}

bool CPdfFile::SetOutputEntry(int32_t number, int32_t generation, int64_t offset, int32_t type)
{
    if (number < 0 || static_cast<size_t>(number) >= m_outputTable.size())
        return false;
    m_outputTable[static_cast<size_t>(number)] = {offset, generation, type};
    return true;
}

int32_t CPdfFile::AddOutputEntry(const XRefEntry& entry)
{
    m_outputTable.push_back(entry);
    return static_cast<int32_t>(m_outputTable.size()) - 1;
}

void CPdfFile::WriteNewObject(int64_t number, const std::string& body)
{
    SetOutputEntry(static_cast<int32_t>(number), 0, GetOutputPosition(), 1);
    WriteNumber(number);
    Write(" 0 obj\r");
    if (m_bodyFilter) {
        std::string filtered = body;
        m_bodyFilter(number, filtered);
        Write(filtered.data(), filtered.size());
    } else {
        Write(body.data(), body.size());
    }
    Write("\rendobj\r");
}

void CPdfFile::WriteHeader(const std::string& version)
{
    Write("%");
    Write(version.data(), version.size());
    static const unsigned char kBinaryComment[] = {'\r', 0x25, 0xE2, 0xE3, 0xCF, 0xD3, '\r', '\n'};
    Write(kBinaryComment, sizeof(kBinaryComment));
}

void CPdfFile::WriteXRefTable()
{
    const int64_t n = static_cast<int64_t>(m_outputTable.size());
    Write("xref\n0 ");
    WriteNumber(n);
    Write("\r");
    Write("0000000000 65535 f \r");
    char entry[pdfformat::kEntrySize];
    for (size_t i = 1; i < m_outputTable.size(); ++i) {
        const XRefEntry& e = m_outputTable[i];
        // A free entry names no next free object: the list ends at once.
        pdfformat::FormatEntry(e.type != 0 ? e.offset : 0, e.generation, e.type != 0, entry);
        Write(entry, sizeof(entry));
    }
}

namespace {

// The trailer value of key as text ("12 0 R", "<hex>"...), empty when it is
// absent or of a kind a trailer does not carry over.
std::string TrailerValue(const CPdfObject& trailer, const char* key)
{
    if (trailer.GetKind() != OBJ_DICTIONARY)
        return std::string();
    CPdfObject value;
    trailer.GetDictionary()->LookupRaw(key, value);
    switch (value.GetKind()) {
    case OBJ_INTEGER:
        return std::to_string(value.GetInt());
    case OBJ_REFERENCE:
        return std::to_string(value.GetRefNum()) + " " + std::to_string(value.GetRefGen()) + " R";
    default:
        return std::string();
    }
}

// The first string of the trailer's /ID, as bytes; empty when it has none.
std::string FirstId(const CPdfObject& trailer)
{
    CPdfObject id, first;
    if (trailer.GetKind() != OBJ_DICTIONARY)
        return std::string();
    trailer.GetDictionary()->LookupRaw("ID", id);
    if (id.GetKind() != OBJ_ARRAY || id.GetArray()->GetSize() < 1)
        return std::string();
    id.GetArray()->Get(0, first);
    if (first.GetKind() == OBJ_TEXT) {
        CPdfString text(first.GetText());
        first.SetString(text);
    }
    return first.GetKind() == OBJ_STRING ? first.GetString()->GetValue() : std::string();
}

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "<";
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    out.push_back('>');
    return out;
}

// The keys an update's trailer (or cross-reference stream) states besides
// /Size and /Prev.
std::string UpdateKeys(const CPdfFile::Update& update, const CPdfObject& trailer)
{
    std::string keys;
    for (const char* key : {"Root", "Info", "Encrypt"}) {
        const std::string value = TrailerValue(trailer, key);
        if (!value.empty())
            keys += std::string("/") + key + " " + value + "\n";
    }
    const std::string first = FirstId(trailer);
    keys += "/ID [" + Hex(first.empty() ? update.newId : first) + Hex(update.newId) + "]\n";
    return keys;
}

}  // namespace

void CPdfFile::WriteUpdateTable(const Update& update, const CPdfObject& trailer)
{
    Flush();
    const int64_t start = GetOutputPosition();
    Write("xref\n");
    char entry[pdfformat::kEntrySize];
    const size_t n = m_outputTable.size();
    ForEachSetRun([&](size_t first, size_t end) {
        WriteNumber(static_cast<int64_t>(first));
        Write(" ");
        WriteNumber(static_cast<int64_t>(end - first));
        Write("\n");
        for (size_t i = first; i < end; ++i) {
            const XRefEntry& e = m_outputTable[i];
            pdfformat::FormatEntry(e.type != 0 ? e.offset - update.base : 0, e.generation, e.type != 0, entry);
            Write(entry, sizeof(entry));
        }
    });
    Write("trailer\n<<\n/Size ");
    WriteNumber(static_cast<int64_t>(n));
    Write("\n/Prev ");
    WriteNumber(update.prev);
    Write("\n");
    const std::string keys = UpdateKeys(update, trailer);
    Write(keys.data(), keys.size());
    Write(">>\nstartxref\n");
    WriteNumber(start - update.base);
    Write("\n%%EOF\n");
    Flush();
}

void CPdfFile::WriteUpdateStream(const Update& update, const CPdfObject& trailer)
{
    Flush();
    const int64_t start = GetOutputPosition();
    const int32_t self = AddOutputEntry({start, 0, 1});
    const size_t n = m_outputTable.size();
    // Fields wide enough for the largest offset; generations in two bytes.
    int width = 1;
    while (width < 8 && ((start - update.base) >> (8 * width)) != 0)
        ++width;
    std::string index, data;
    ForEachSetRun([&](size_t first, size_t end) {
        index += (index.empty() ? "" : " ") + std::to_string(first) + " " + std::to_string(end - first);
        for (size_t i = first; i < end; ++i) {
            const XRefEntry& e = m_outputTable[i];
            const int64_t field = e.type != 0 ? e.offset - update.base : 0;
            data.push_back(static_cast<char>(e.type != 0 ? 1 : 0));
            for (int b = width - 1; b >= 0; --b)
                data.push_back(static_cast<char>((field >> (8 * b)) & 0xFF));
            const int32_t generation = e.type != 0 ? e.generation : (e.generation > 0xFFFF ? 0xFFFF : e.generation);
            data.push_back(static_cast<char>((generation >> 8) & 0xFF));
            data.push_back(static_cast<char>(generation & 0xFF));
        }
    });
    WriteNumber(self);
    Write(" 0 obj\n<<\n/Type /XRef\n/Size ");
    WriteNumber(static_cast<int64_t>(n));
    Write("\n/W [1 ");
    WriteNumber(width);
    Write(" 2]\n/Index [");
    Write(index.data(), index.size());
    Write("]\n/Prev ");
    WriteNumber(update.prev);
    Write("\n");
    const std::string keys = UpdateKeys(update, trailer);
    Write(keys.data(), keys.size());
    Write("/Length ");
    WriteNumber(static_cast<int64_t>(data.size()));
    Write("\n>>\nstream\n");
    Write(data.data(), data.size());
    Write("\nendstream\nendobj\nstartxref\n");
    WriteNumber(start - update.base);
    Write("\n%%EOF\n");
    Flush();
}

void CPdfFile::WriteTrailer(int64_t startXRef, const CPdfObject& trailer)
{
    Write("trailer\n<<\n/Size ");
    WriteNumber(static_cast<int64_t>(m_outputTable.size()));
    Write("\n");
    if (trailer.GetKind() == OBJ_DICTIONARY) {
        const CPdfDictionary* dict = trailer.GetDictionary();
        for (int32_t i = 0; i < dict->GetSize(); ++i) {
            const std::string key = dict->GetKey(i);
            if (key != "Root" && key != "Info" && key != "ID")
                continue;
            CPdfObject value;
            dict->LookupRaw(key.c_str(), value);
            switch (value.GetKind()) {
            case OBJ_INTEGER:
                Write("/");
                Write(key.c_str());
                Write(" ");
                WriteNumber(value.GetInt());
                Write(" \n");
                break;
            case OBJ_REFERENCE:
                Write("/");
                Write(key.c_str());
                Write(" ");
                WriteNumber(value.GetRefNum());
                Write(" ");
                WriteNumber(value.GetRefGen());
                Write(" R\n");
                break;
            case OBJ_ARRAY: {
                Write("/");
                Write(key.c_str());
                Write(" [");
                const CPdfArray* array = value.GetArray();
                for (int32_t k = 0; k < array->GetSize(); ++k) {
                    CPdfObject element;
                    array->Get(k, element);
                    if (element.GetKind() == OBJ_TEXT) {
                        CPdfString text(element.GetText());
                        element.SetString(text);
                    }
                    if (element.GetKind() == OBJ_STRING) {
                        const std::string hex = element.GetString()->GetHexText();
                        Write(hex.data(), hex.size());
                    }
                }
                Write("]\n");
                break;
            }
            default:
                break;
            }
        }
    }
    Write(">>\nstartxref\n");
    WriteNumber(startXRef);
    Write("\n%%EOF");
    Flush();
}
