#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "text/CPdfValueWriter.h"
#include "text/PdfObjectText.h"

// What the document-level merges write through once every input has been
// copied: where a reference of an input points in the output (sharing
// decided), and the new objects they build.
class CPdfMergeOutput {
public:
    virtual ~CPdfMergeOutput() = default;
    // The output number (and generation; -1: as written) of object number
    // of part; a negative number when it names nothing there.
    virtual objecttext::Target MapReference(size_t part, int64_t number) const = 0;
    // Writes "N 0 obj", CR, body, CR, "endobj", CR as the new object number.
    virtual void WriteNewObject(int64_t number, const std::string& body) = 0;

    // A writer of part's parsed values, their references mapped here.
    CPdfValueWriter WriterFor(size_t part) const
    {
        return CPdfValueWriter([this, part](int64_t number) { return MapReference(part, number); });
    }
};
