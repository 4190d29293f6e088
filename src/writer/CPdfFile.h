#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "object/CPdfObject.h"
#include "base/CPdfDecryptor.h"
#include "base/CPdfInputFile.h"
#include "base/PdfFileFormat.h"

// The output file as it is written, front to back: the header, objects
// written or copied from the inputs, the cross-reference table filled on the
// way, and the trailer. Writes are gathered here in a large block and go to
// the descriptor of the output handle, which its owner opens and closes (its
// stdio buffer is never used); the written byte count is kept here so
// positions need no system call. Knows PDF output syntax, not where the
// objects come from.
class CPdfFile {
public:
    CPdfFile() = default;
    CPdfFile(const CPdfFile&) = delete;
    CPdfFile& operator=(const CPdfFile&) = delete;

    // Starts writing to an open handle at position start (0 for a new file;
    // its end for an update appended to it); name is the file a person
    // knows the output by, for the reasons of write failures.
    void AttachOutput(FILE* out, const std::string& name = std::string(), int64_t start = 0);

    // count entries of (-1, 0, 0).
    void ResetXRefTable(int32_t count);
    // false (and nothing set) for a number outside the table.
    bool SetOutputEntry(int32_t number, int32_t generation, int64_t offset, int32_t type);
    // Adds an entry after the last; returns its number.
    int32_t AddOutputEntry(const XRefEntry& entry);
    int32_t GetTableSize() const { return static_cast<int32_t>(m_outputTable.size()); }

    void WriteHeader(const std::string& version);
    // "N 0 obj" CR, body, CR, "endobj" CR as object number, entered in the
    // table where it begins.
    void WriteNewObject(int64_t number, const std::string& body);
    // Applied to every body WriteNewObject writes (an update of an
    // encrypted document encrypts them).
    using BodyFilter = std::function<void(int64_t number, std::string& body)>;
    void SetBodyFilter(BodyFilter filter) { m_bodyFilter = std::move(filter); }
    void WriteXRefTable();
    // The last bytes of the file: everything is handed to the file after
    // it (see Flush).
    void WriteTrailer(int64_t startXRef, const CPdfObject& trailer);

    // An incremental update's cross-reference data: only the entries set
    // since ResetXRefTable, in subsections of consecutive numbers, with
    // offsets taken relative to base (where the file's "%PDF-" header
    // stands). The trailer has the table's /Size, /Prev, /Root, /Info and
    // /Encrypt as the updated file's trailer states them and /ID with its
    // first string kept (newId for a file that had none) and newId second.
    struct Update {
        int64_t base = 0;
        int64_t prev = 0;
        std::string newId;  // 16 bytes
    };
    // As a table and trailer...
    void WriteUpdateTable(const Update& update, const CPdfObject& trailer);
    // ... or as a cross-reference stream, object number (an entry added
    // after the last for it).
    void WriteUpdateStream(const Update& update, const CPdfObject& trailer);

    void Write(const void* data, size_t length);
    void Write(const char* text);
    void WriteNumber(int64_t value);
    // Copies length bytes at position of file to the output.
    // A file that gives fewer bytes is padded with spaces, so that the
    // offsets already in the table stay right. The copy waits for the next
    // write, Flush or copy: a copy of the bytes that follow in the same
    // file joins it, so runs of objects that are contiguous in the input
    // and written unchanged go out together, as in `cat`. A run of
    // kKernelCopy bytes or more is copied inside the kernel, without
    // passing through this process; a shorter one is read into the block
    // being gathered, which costs fewer and larger writes than a kernel
    // copy of every object's data between the writes of their texts.
    void CopyFromFile(CPdfInputFile& file, int64_t position, int64_t length);
    static constexpr int64_t kKernelCopy = 256 * 1024;
    // The same for encrypted stream data, decrypted a chunk at a time on its
    // way: exactly plainLength bytes are written (the length the object's
    // dictionary already states), cut or padded with spaces should the file
    // give other data than it did when that length was worked out.
    void CopyFromFile(CPdfInputFile& file, int64_t position, int64_t length, CPdfDecryptor decryptor,
                      int64_t plainLength);
    // The position of the next byte; raises when the output grows beyond
    // what the ten digits of a table entry can state.
    int64_t GetOutputPosition() const;
    // Hands everything written and copied so far to the output file.
    void Flush();
    // How many copies have gone out (joined ones count once), and how many
    // of them inside the kernel.
    int64_t GetCopyCount() const { return m_copyCount; }
    int64_t GetKernelCopyCount() const { return m_kernelCopyCount; }

private:
    // Calls visit(first, end) for each run of consecutive numbers whose
    // entries were set since ResetXRefTable (entry 0 aside), in order.
    template <typename Visit>
    void ForEachSetRun(Visit visit) const
    {
        const size_t n = m_outputTable.size();
        for (size_t i = 1; i < n;) {
            if (m_outputTable[i].offset < 0) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < n && m_outputTable[end].offset >= 0)
                ++end;
            visit(i, end);
            i = end;
        }
    }
    // Issues the waiting copy, if any.
    void IssueCopy();
    // The copies themselves; the bytes were counted when they were asked
    // for.
    void CopyInKernel(CPdfInputFile& file, int64_t position, int64_t length);
    void CopyThroughBuffer(CPdfInputFile& file, int64_t position, int64_t length);
    // Adds bytes to the block; raises on a failed write.
    void Put(const void* data, size_t length);
    // Writes the block out; raises on a failed write.
    void WriteBlock();
    void Fail(int error) const;

    FILE* m_output = nullptr;
    std::string m_outputLabel;
    int64_t m_outputPos = 0;
    std::vector<XRefEntry> m_outputTable;
    BodyFilter m_bodyFilter;

    // The copy that waits for its successor (length 0: none).
    struct Range {
        CPdfInputFile* file = nullptr;
        int64_t position = 0;
        int64_t length = 0;
    };
    Range m_waiting;
    int64_t m_copyCount = 0;
    int64_t m_kernelCopyCount = 0;
    // The block being gathered: its first m_blockUsed bytes.
    std::vector<uint8_t> m_block;
    size_t m_blockUsed = 0;
};
