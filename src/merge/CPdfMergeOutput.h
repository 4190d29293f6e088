#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/CPdfValueWriter.h"
#include "text/PdfObjectText.h"

class CPdfFile;
class CPdfNumbering;

// What the document-level merges write through once every input has been
// copied: where a reference of an input points in the output (sharing
// decided), and the new objects they build. Borrows the numbering and the
// writer.
class CPdfMergeOutput {
public:
    CPdfMergeOutput(const CPdfNumbering& numbering, CPdfFile& file) : m_numbering(numbering), m_file(file) {}

    // The output number (and generation; -1: as written) of object number
    // of part; a negative number when it names nothing there.
    objecttext::Target MapReference(size_t part, int64_t number) const;
    // Writes "N 0 obj", CR, body, CR, "endobj", CR as the new object number.
    void WriteNewObject(int64_t number, const std::string& body);

    // A writer of part's parsed values, their references mapped here.
    CPdfValueWriter WriterFor(size_t part) const
    {
        return CPdfValueWriter([this, part](int64_t number) { return MapReference(part, number); });
    }

private:
    const CPdfNumbering& m_numbering;
    CPdfFile& m_file;
};
