#pragma once

#include <cstdint>
#include <vector>

#include "copy/CPdfRawObject.h"
#include "text/PdfObjectText.h"
#include "reader/CPdfFileCache.h"

class CPdfInputFile;
class CPdfXRef;

// Reads the raw text of objects of one input, through its file and the
// document's cross-reference data. Every offset the file
// states is taken relative to the document's "%PDF-" header. Borrows both.
class CPdfRawReader {
public:
    CPdfRawReader(CPdfInputFile& file, CPdfXRef& xref);

    // The raw text of object `number`: for an object in the file, from its
    // offset through "endobj" and one byte more (for a stream with a usable
    // /Length, the "endobj" after its data); for a member of an object
    // stream, "N 0 obj" CR, its bytes, "endobj" CR. False when there is none:
    // a free entry, no "endobj" or no bytes. An object whose bytes do not
    // begin with its own "N G obj" header has the document's table rebuilt
    // (once) and is looked for again. With allowTail, a large stream keeps
    // its data in the file (see CPdfRawObject). An object of an encrypted
    // document comes decrypted: its strings in hexadecimal form, its stream
    // data decrypted with a direct /Length that states the new length.
    bool ReadRawObject(int32_t number, CPdfRawObject& out, bool allowTail);

    // Up to length bytes from the start of the tail of raw, an object this
    // reader read (as the file holds them: still encrypted, if they are),
    // through the reader's cache, which usually holds them already.
    size_t ReadTailStart(const CPdfRawObject& raw, uint8_t* out, size_t length);

    // Frees what was kept to read the next objects faster; reading goes on
    // as before.
    void Release();

    // Stream data at least this long stays in the file until it is copied.
    static constexpr int64_t kTailMinimum = 4 * 1024;

private:
    // What reading an object in the file found besides its text.
    struct FilePlace {
        // Where the data of a stream object lies in the file, when it was
        // found (else -1).
        int64_t dataStart = -1;
        int64_t dataEnd = -1;
        // The object's stated /Length does not lead to "endstream": the
        // data was taken up to the first "endstream" after it.
        bool lengthWrong = false;
        // And no "endstream" before its "endobj", or other bytes between
        // the two: the text read ends with the data and the keywords alone.
        bool endRebuilt = false;
        // No "endobj" follows the data at all.
        bool endobjMissing = false;
        // The object's header "N G obj" was not at its position.
        bool misplaced = true;
    };
    bool ReadFileObject(int32_t number, int32_t generation, int64_t position, CPdfRawObject& out, bool allowTail,
                        FilePlace& place);
    // Where the data of a stream whose stated /Length does not lead to
    // "endstream" ends, as a reader repairing the file takes it: before the
    // first "endstream" after dataStart and the line end ahead of it, or
    // before the first "endobj" when that comes first (endRebuilt, which is
    // also set when more than white space separates the two keywords);
    // -1 when there is neither.
    int64_t FindRepairedDataEnd(int64_t dataStart, bool& endRebuilt);
    // Replaces the text of an object whose value does not close (see
    // objecttext::Layout::unbalanced), or whose text has no end, with the
    // value the parser reads; false when there is none to write.
    bool RestateFromParser(int32_t number, int32_t generation, CPdfRawObject& out);
    // Sets the /Length of a stream object read from the file to dataLength.
    static void RestateLength(CPdfRawObject& out, int64_t dataLength);
    // Rewrites the text read for object `number` at position in its
    // decrypted form; false when its tail cannot be read.
    bool DecryptObject(int32_t number, int64_t position, const FilePlace& place, CPdfRawObject& out);
    // The value of a stream's /Length written as "N G R", when object N is
    // a plain integer in the file; -1 otherwise (the parser decides then).
    int64_t ReadIndirectLength(const objecttext::Layout& layout);
    // Where the data of the stream object at position ends (-1 when no
    // "endstream" follows it at its /Length); dataStart is set with it.
    int64_t FindStreamEnd(int32_t number, int64_t position, const uint8_t* chunk, uint32_t got,
                          const objecttext::Layout& layout, int64_t& dataStart);

    // Up to want bytes at position. The pointer is valid until the next
    // call; available tells how many bytes it holds (fewer at the end of the
    // file).
    const uint8_t* Span(int64_t position, size_t want, size_t& available);
    // Copies up to length bytes at position through the cache (the bytes
    // around a stream's data are near the object's other bytes); returns
    // the count, fewer only at the end of the file.
    size_t ReadCached(int64_t position, uint8_t* out, size_t length);
    // The last byte of the first "endobj" at or after position, or 0.
    int64_t FindEndobj(int64_t position);

    CPdfInputFile& m_file;
    CPdfXRef& m_xref;
    // Objects are read in number order, which producers often do not
    // follow in the file: a set of blocks keeps the regions in use.
    CPdfFileCache m_cache;
    std::vector<uint8_t> m_scratch;
};
