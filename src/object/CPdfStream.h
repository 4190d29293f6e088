#pragma once

#include <cstdint>

#include "object/CPdfObject.h"
#include "object/CPdfShared.h"

class CPdfDictionary;

// A reference-counted source of bytes: GetChar and PeekChar give 0..255, or
// -1 at the end of the data (and keep giving -1). The creator holds the first
// count; Release destroys the stream through its virtual destructor.
class CPdfStream : public CPdfShared {
public:
    enum { SEEK_FROM_BEGIN = 0, SEEK_FROM_END = 2 };

    virtual void Reset() = 0;
    virtual int GetChar() = 0;
    // Only a flate stream delivers undecoded bytes; everywhere else this is a
    // programming error.
    virtual int GetRawChar();
    virtual int PeekChar() = 0;
    virtual CPdfDictionary* GetDict() = 0;
    virtual int64_t GetPosition() = 0;
    virtual void Seek(int64_t offset, int origin) = 0;
    virtual int64_t GetStart() = 0;
    virtual void ShiftStart(int64_t delta) = 0;
    virtual int64_t GetLength() = 0;
    // A new window (count 1) over the same file, or nullptr when this stream
    // is not a window on a file.
    virtual CPdfStream* CreateSubStream(int64_t start, int64_t length, const CPdfObject& dict) = 0;

protected:
    ~CPdfStream() override = default;
};
