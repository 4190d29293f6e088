#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "object/CPdfObject.h"
#include "reader/CPdfDecryptor.h"
#include "main/PdfFileFormat.h"

// Base of the append job: the output file and its cross-reference table, and
// the pieces of the output that are not objects (header, "xref" section,
// trailer). Writes go to the output handle, which the job opens and closes;
// the written byte count is kept here so positions need no system call.
class CPdfFile {
public:
    CPdfFile() = default;
    CPdfFile(const CPdfFile&) = delete;
    CPdfFile& operator=(const CPdfFile&) = delete;
    virtual bool ParseArguments(int argc, char** argv) = 0;
    virtual bool Run() = 0;
    virtual ~CPdfFile() = default;

    // count entries of (-1, 0, 0).
    void ResetXRefTable(int32_t count);
    void WriteHeader(const std::string& version);
    void WriteXRefTable();
    void WriteTrailer(int64_t startXRef, const CPdfObject& trailer);
    // false (and nothing set) for a number outside the table.
    bool SetOutputEntry(int32_t number, int32_t generation, int64_t offset, int32_t type);

protected:
    // Starts writing to an open handle at position 0; name is the file a
    // person knows the output by, for the reasons of write failures.
    void AttachOutput(FILE* out, const std::string& name = std::string());
    void Write(const void* data, size_t length);
    void Write(const char* text);
    void WriteNumber(int64_t value);
    // Copies length bytes at position of the file behind fd to the output,
    // inside the kernel where it can (stream data need not pass through
    // this process). A file that gives fewer bytes is padded with spaces,
    // so that the offsets already in the table stay right. The copy waits
    // for the next write, Flush or copy: a copy of the bytes that follow
    // in the same file joins it, so runs of objects that are contiguous in
    // the input and written unchanged cost one system call, as in `cat`.
    void CopyFromFile(int fd, int64_t position, int64_t length);
    // The same for encrypted stream data, decrypted a chunk at a time on its
    // way: exactly plainLength bytes are written (the length the object's
    // dictionary already states), cut or padded with spaces should the file
    // give other data than it did when that length was worked out.
    void CopyFromFile(int fd, int64_t position, int64_t length, CPdfDecryptor decryptor, int64_t plainLength);
    // The position of the next byte; raises when the output grows beyond
    // what the ten digits of a table entry can state.
    int64_t GetOutputPosition() const;
    // Hands everything written so far to the output handle (a waiting copy
    // goes out, the handle's buffer stays its own).
    void Flush();
    // How many copies have gone out (joined ones count once).
    int64_t GetCopyCount() const { return m_copyCount; }

    FILE* m_output = nullptr;
    std::string m_outputLabel;
    int64_t m_outputPos = 0;
    std::vector<XRefEntry> m_outputTable;

private:
    // Issues the waiting copy, if any.
    void IssueCopy();
    // The copy itself; the bytes were counted when it was asked for.
    void CopyNow(int fd, int64_t position, int64_t length);
    // Hands bytes to the output handle; raises on a failed write.
    void Put(const void* data, size_t length);

    // The copy that waits for its successor (length 0: none).
    struct Range {
        int fd = -1;
        int64_t position = 0;
        int64_t length = 0;
    };
    Range m_waiting;
    int64_t m_copyCount = 0;
};
