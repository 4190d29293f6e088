#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Assembles small PDF files in memory for tests: objects are given by their
// bodies (the text between "N G obj" and "endobj") and the builder computes
// every offset, so a test states only what it is about.
class PdfBuilder {
public:
    // Bytes written before "%PDF-" (the header offset case).
    PdfBuilder& Prefix(const std::string& junk);
    // The header line, "%PDF-1.4" by default.
    PdfBuilder& Version(const std::string& header);
    // Sets object number (with generation) to body.
    PdfBuilder& Object(int number, const std::string& body, int generation = 0);
    // A stream object: dict entries (without << >>) get /Length added.
    PdfBuilder& Stream(int number, const std::string& dictEntries, const std::string& data, int generation = 0);
    // Extra trailer entries, e.g. "/Root 1 0 R /Info 2 0 R".
    PdfBuilder& Trailer(const std::string& entries);

    // A complete file with one classic cross-reference table.
    std::string Build() const;
    // A complete file whose cross-reference section is a stream (object
    // number xrefNumber), W [1 4 2], optionally flate-compressed with PNG Up
    // predictor rows.
    std::string BuildWithXRefStream(int xrefNumber, bool compress) const;

    // Offsets of the objects in the last Build (relative to the header).
    const std::map<int, size_t>& Offsets() const { return m_offsets; }

private:
    std::string Body(size_t& headerPos) const;

    std::string m_prefix;
    std::string m_header = "%PDF-1.4";
    std::map<int, std::pair<int, std::string>> m_objects;
    std::string m_trailer;
    mutable std::map<int, size_t> m_offsets;
};

// A minimal valid document: catalog 1, page tree 2, `pages` pages with their
// own Resources, each with a small content stream.
std::string MinimalPdf(int pages, const std::string& extraTrailer = "");

// zlib-compresses data (for flate test inputs).
std::string Deflate(const std::string& data);

// A file in a fresh temporary directory, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& contents, const std::string& name = "test.pdf");
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
    const std::string& Path() const { return m_path; }
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_path;
};

// A fresh temporary directory, removed (with its contents) with the object.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::string& Path() const { return m_dir; }
    std::string File(const std::string& name) const { return m_dir + "/" + name; }
    void Write(const std::string& name, const std::string& contents) const;

private:
    std::string m_dir;
};

std::string ReadFile(const std::string& path);

// Writes a file piece by piece for cross-reference layouts that PdfBuilder
// does not make: several sections chained by /Prev, hybrid files, hand-made
// cross-reference streams and object streams. Offsets are counted from the
// start of the header line, as the file states them.
class PdfAssembler {
public:
    explicit PdfAssembler(const std::string& header = "%PDF-1.5", const std::string& prefix = "");

    // "N G obj\n<body>\nendobj\n"; the entry of N now names this copy.
    size_t Object(int number, const std::string& body, int generation = 0);
    // A stream object whose dictionary gets /Length appended.
    size_t Stream(int number, const std::string& dictEntries, const std::string& data, int generation = 0);
    // Records that member `index` of object stream `stream` holds number.
    void Compressed(int number, int stream, int index);
    // Forgets number's object: later sections describe it as free.
    void Free(int number);
    // Bytes written as they are.
    void Raw(const std::string& bytes);
    // The offset the next byte will have.
    size_t Here() const;

    // A classic section describing the listed numbers (consecutive runs
    // become subsections; a number without an object is written free),
    // then "trailer << entries >>". Returns the offset of "xref".
    size_t Table(const std::vector<int>& numbers, const std::string& trailerEntries);
    // A cross-reference stream (object `number`, W [1 4 2], /Index from the
    // runs of numbers, /Size the highest number + 1) describing the listed
    // numbers: compressed members as type 2, written objects as type 1, the
    // rest free. Returns its offset.
    size_t XRefStream(int number, const std::vector<int>& numbers, const std::string& extraEntries);
    // "startxref\n<offset>\n%%EOF\n".
    void StartXRef(size_t offset);

    const std::string& Bytes() const { return m_out; }

private:
    struct Entry {
        int type;
        size_t field2;
        int field3;
    };
    std::string m_out;
    size_t m_headerPos;
    std::map<int, Entry> m_entries;
};

// The decoded content of an object stream holding members (number, text):
// the header pairs, `gap` (bytes lying between First and the first member),
// then the members one after another. first receives the header length.
std::string ObjectStreamContent(const std::vector<std::pair<int, std::string>>& members, size_t& first,
                                const std::string& gap = "");

// One row of a cross-reference stream: the fields big-endian in the given
// widths.
std::string XRefRow(uint32_t type, uint32_t field2, uint32_t field3, int w0 = 1, int w1 = 4, int w2 = 2);
