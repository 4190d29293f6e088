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

void CPdfFile::AttachOutput(FILE* out, const std::string& name)
{
    m_output = out;
    m_outputLabel = name;
    m_outputPos = 0;
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

void CPdfFile::CopyFromFile(int fd, int64_t position, int64_t length)
{
    if (length <= 0)
        return;
    if (m_waiting.length > 0 && m_waiting.fd == fd && m_waiting.position + m_waiting.length == position) {
        m_waiting.length += length;
    } else {
        IssueCopy();
        m_waiting = {fd, position, length};
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
        CopyInKernel(range.fd, range.position, range.length);
    } else {
        CopyThroughBuffer(range.fd, range.position, range.length);
    }
}

void CPdfFile::CopyInKernel(int fd, int64_t position, int64_t length)
{
    if (m_blockUsed > 0)
        WriteBlock();
    const int out = fileno(m_output);
    int64_t left = length;
    loff_t from = position;
    while (left > 0) {
        const ssize_t n = copy_file_range(fd, &from, out, nullptr, static_cast<size_t>(left), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // not supported here, or the input ended: copy by hand
        left -= n;
    }
    CopyThroughBuffer(fd, from, left);
}

void CPdfFile::CopyThroughBuffer(int fd, int64_t position, int64_t length)
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
        const size_t got = pdfformat::ReadAt(fd, position, to, n);
        std::memset(to + got, ' ', n - got);
        m_blockUsed += n;
        position += static_cast<int64_t>(n);
        length -= static_cast<int64_t>(n);
    }
}

void CPdfFile::CopyFromFile(int fd, int64_t position, int64_t length, CPdfDecryptor decryptor, int64_t plainLength)
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
        const size_t got = pdfformat::ReadAt(fd, position, input.data(), want);
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
    Write(body.data(), body.size());
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
        pdfformat::FormatEntry(e.offset, e.generation, e.type != 0, entry);
        Write(entry, sizeof(entry));
    }
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
