#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "object/CPdfObject.h"
#include "base/PdfFileFormat.h"

class CPdfDictionary;
class CPdfInputFile;
class CPdfStream;

// Rebuilds the cross-reference data of a file whose own cannot be read as
// it states it, from the bytes themselves. One pass from the header to the
// end of the file finds the object headers "N G obj" (the last definition of
// a number wins), the members of the object streams met on the way (type-2
// entries, by the same rule, in file order), trailer dictionaries and
// cross-reference streams. The trailer is the newest of those whose /Root
// leads to a dictionary with /Pages (or, when some object stream could not
// be read, the newest with a /Root at all), or else one made from the newest
// object that is a /Catalog with /Pages.
//
// Stream data is stepped over whole when its /Length (direct, or an integer
// object defined before it) leads to "endstream", so that an embedded file or
// an image cannot pass for objects; otherwise the data ends at the next
// "endstream". Work is linear in the file size, memory grows with the object
// count, and nothing recurses on the input.
//
// Borrows the input file, read in large blocks, and its whole-file
// stream, which gives the parser windows over the few dictionaries it reads.
class CPdfXRefScanner {
public:
    // headerPosition: where offsets count from (the "%PDF-" header, or 0).
    CPdfXRefScanner(CPdfInputFile& file, CPdfStream* fileStream, int64_t headerPosition, int64_t fileSize);
    CPdfXRefScanner(const CPdfXRefScanner&) = delete;
    CPdfXRefScanner& operator=(const CPdfXRefScanner&) = delete;
    ~CPdfXRefScanner();

    // Scans the file once; raises nothing. An object that appears nowhere is
    // a free entry.
    void Scan();

    // Indexed by object number; type-1 offsets count from the header
    // position. The caller may take the table over.
    std::vector<XRefEntry>& GetEntries() { return m_entries; }
    // An OBJ_DICTIONARY, or OBJ_NONE when neither a usable trailer nor a
    // catalog was found. Parsed without a resolver.
    const CPdfObject& GetTrailer() const { return m_trailer; }
    // The absolute position of the first "%PDF-" met, -1 when none was: a
    // header too far into the file for the opener to look at.
    int64_t GetHeaderFound() const { return m_headerFound; }

    // An object stream whose members the scan could not read (its data
    // does not decode, as when it is encrypted), with the absolute position
    // of its header: the members it holds count from there in file order.
    struct SealedStream {
        int32_t number;
        int64_t position;
    };
    const std::vector<SealedStream>& GetSealedStreams() const { return m_sealed; }

    // Candidates kept for the trailer and the catalog: the newest few.
    static constexpr size_t kKeptCandidates = 8;

private:
    struct ObjectStreamSpot {
        int32_t number;
        int64_t dictStart, dictLength;  // absolute; the dictionary before "stream"
        int64_t dataStart, dataLength;  // absolute; the raw data
    };
    struct TrailerSpot {
        int64_t start, length;  // absolute; length 0: up to the end of the file
    };

    // The block reader behind the scan.
    int Get()
    {
        if (m_pos - m_blockStart >= static_cast<int64_t>(m_blockLength) && !Fill())
            return -1;
        return m_block[static_cast<size_t>(m_pos++ - m_blockStart)];
    }
    int Peek()
    {
        if (m_pos - m_blockStart >= static_cast<int64_t>(m_blockLength) && !Fill())
            return -1;
        return m_block[static_cast<size_t>(m_pos - m_blockStart)];
    }
    bool Fill();
    size_t ReadAt(int64_t position, uint8_t* out, size_t length) const;

    void SkipLiteralString();
    void SkipHexString();
    void SkipComment(int64_t start);

    void Define(int64_t number, int64_t generation, int64_t position);
    void Store(int32_t number, const XRefEntry& entry);
    // After the keyword "stream" that ends the dictionary at dictStart:
    // steps over the data and notes object and cross-reference streams.
    void OnStream(int64_t dictStart, int64_t keywordStart, int32_t object);
    bool EndstreamAt(int64_t position) const;
    int64_t FindEndstream(int64_t from);
    bool ReadLength(const CPdfObject& value, int64_t& length);

    // Parses the value at start (a window of length bytes, 0: unlimited)
    // into out; false on nothing usable.
    bool ParseWindow(int64_t start, int64_t length, CPdfObject& out) const;
    bool DecodeObjectStream(const ObjectStreamSpot& spot, std::vector<uint8_t>& data, int64_t& first,
                            std::vector<int64_t>& header);
    void ReadObjectStream(const ObjectStreamSpot& spot);
    // The value of object number as the rebuilt table gives it, read without
    // a resolver; false when there is none.
    bool ParseStoredObject(int32_t number, CPdfObject& out);
    bool IsCatalog(int32_t number, bool typeRequired);
    void ChooseTrailer();
    // /Encrypt (and /ID) for a trailer made from the catalog.
    void AddEncryption(CPdfDictionary& trailer);

    template <class T>
    static void Keep(std::vector<T>& list, const T& value)
    {
        if (list.size() == kKeptCandidates)
            list.erase(list.begin());
        list.push_back(value);
    }

    CPdfInputFile* m_file;
    CPdfStream* m_fileStream;
    int64_t m_base;
    int64_t m_fileSize;
    std::vector<XRefEntry> m_entries;
    CPdfObject m_trailer;
    int64_t m_headerFound = -1;

    std::vector<uint8_t> m_block;
    int64_t m_blockStart = 0;
    size_t m_blockLength = 0;
    int64_t m_pos = 0;

    // The last search for "endstream": from where, and where it was found
    // (-1: nowhere after). Later searches that start before the match reuse
    // it, so that the searches together read each byte once.
    int64_t m_searchFrom = -1;
    int64_t m_searchFound = -1;

    std::vector<ObjectStreamSpot> m_objectStreams;
    std::vector<SealedStream> m_sealed;
    std::vector<TrailerSpot> m_trailers;
    std::vector<int32_t> m_catalogs;
    std::vector<int32_t> m_encrypts;
    // Decoded object-stream bytes still allowed: a few compressed bombs must
    // not turn one pass into hours.
    int64_t m_decodeBudget;
    // Type-2 entries stored from object-stream headers, bounded the same way.
    int64_t m_memberBudget;
};
