#pragma once
// Small PDF files made in memory for tests; offsets count from the header.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

std::string Deflate(const std::string& data);

inline std::string ReadFile(const std::string& path)
{
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// "<<dictEntries /Length n>>\nstream\n<data>\nendstream", a stream object's body.
inline std::string StreamObject(const std::string& dictEntries, const std::string& data)
{
    return "<<" + dictEntries + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
}

inline std::string XRefRow(uint32_t type, uint32_t field2, uint32_t field3)  // for W [1 4 2]
{
    std::string row;
    for (uint32_t b : {type, field2 >> 24, field2 >> 16, field2 >> 8, field2, field3 >> 8, field3})
        row += char(b & 0xFF);
    return row;
}

// Writes a file piece by piece, for layouts PdfBuilder does not make.
class PdfAssembler {
public:
    explicit PdfAssembler(const std::string& header = "%PDF-1.5", const std::string& prefix = "")
        : m_out(prefix + header + "\n%\xE2\xE3\xCF\xD3\n"), m_headerPos(prefix.size()) {}
    // "N G obj\n<body>\nendobj\n" ("N G obj<body>..." when glued, as compact
    // producers write it); the entry of N now names this copy.
    size_t Object(int number, const std::string& body, int generation = 0, bool glued = false)
    {
        const size_t at = Here();
        m_out += std::to_string(number) + " " + std::to_string(generation) + (glued ? " obj" : " obj\n") + body +
                 "\nendobj\n";
        m_entries[number] = {1, at, generation};
        return at;
    }
    void Objects(const std::vector<std::pair<int, std::string>>& all) { for (const auto& [n, o] : all) Object(n, o); }
    // Object stream `number` holding the members one after another without
    // white space, as producers write them (the last one included); their
    // entries now name it.
    size_t ObjectStream(int number, const std::vector<std::pair<int, std::string>>& members, bool compress = false)
    {
        std::string header, data;
        int index = 0;
        for (const auto& [member, body] : members) {
            SetEntry(member, 2, size_t(number), index++);
            header += std::to_string(member) + " " + std::to_string(data.size()) + " ";
            data += body;
        }
        const std::string dict = "/Type/ObjStm/N " + std::to_string(members.size()) + "/First " +
                                 std::to_string(header.size());
        return Object(number, compress ? StreamObject(dict + "/Filter/FlateDecode", Deflate(header + data))
                                       : StreamObject(dict, header + data));
    }
    // The entry sections will state (type 2: member field3 of stream field2).
    void SetEntry(int number, int type, size_t field2, int field3) { m_entries[number] = {type, field2, field3}; }
    // Sections over the numbers (none given: 0 to the highest known), returning their offsets.
    size_t Table(const std::vector<int>& numbers, const std::string& trailerEntries)
    {
        const size_t at = Here();
        m_out += "xref\n";
        char line[32];
        for (const auto& [first, count] : Runs(numbers)) {
            m_out += std::to_string(first) + " " + std::to_string(count) + "\n";
            for (int n = first; n < first + count; ++n) {
                const Entry e = At(n, true);
                std::snprintf(line, sizeof(line), "%010zu %05d %c \n", e.field2, e.field3, e.type ? 'n' : 'f');
                m_out += line;
            }
        }
        m_out += "trailer\n<< " + trailerEntries + " >>\n";
        return at;
    }
    // W [1 4 2], /Index from the runs of numbers, flate if compress.
    size_t XRefStream(int number, const std::vector<int>& numbers, const std::string& extra, bool compress = false)
    {
        m_entries[number] = {1, Here(), 0};
        std::string index, rows, size;
        for (const auto& [first, count] : Runs(numbers, number)) {
            index += std::to_string(first) + " " + std::to_string(count) + " ";
            size = std::to_string(first + count);
            for (int n = first; n < first + count; ++n)
                rows += XRefRow(uint32_t(At(n).type), uint32_t(At(n).field2), uint32_t(At(n).field3));
        }
        const std::string dict = " /Type /XRef /Size " + size + " /W [1 4 2] /Index [" + index + "] " + extra;
        return Object(number, compress ? StreamObject(dict + " /Filter /FlateDecode", Deflate(rows))
                                       : StreamObject(dict, rows));
    }
    void StartXRef(size_t offset) { m_out += "startxref\n" + std::to_string(offset) + "\n%%EOF\n"; }
    const std::string& Bytes() const { return m_out; }

private:
    struct Entry { int type; size_t field2; int field3; };
    Entry At(int n, bool inFile = false) const  // inFile: other types read as free
    {
        const auto it = m_entries.find(n);
        return it != m_entries.end() && (!inFile || it->second.type == 1) ? it->second : Entry{0, 0, n ? 0 : 65535};
    }
    size_t Here() const { return m_out.size() - m_headerPos; }
    // Consecutive runs of the numbers and `also` (none: 0 to the highest known) as (first, count).
    std::vector<std::pair<int, int>> Runs(std::vector<int> numbers, int also = -1) const
    {
        for (int n = 0, all = numbers.empty(); all && !m_entries.empty() && n <= m_entries.rbegin()->first; ++n)
            numbers.push_back(n);
        numbers.push_back(also);
        std::sort(numbers.begin(), numbers.end());
        std::vector<std::pair<int, int>> runs;
        for (int n : numbers)  // a repeated number is skipped
            if (n >= 0 && (runs.empty() || runs.back().first + runs.back().second < n))
                runs.push_back({n, 1});
            else if (n >= 0 && runs.back().first + runs.back().second == n)
                ++runs.back().second;
        return runs;
    }
    std::string m_out;
    size_t m_headerPos;
    std::map<int, Entry> m_entries;
};

// A whole file from objects given by their bodies: one section over 0..max.
class PdfBuilder {
public:
    PdfBuilder& Prefix(const std::string& junk) { m_prefix = junk; return *this; }  // bytes before "%PDF-"
    PdfBuilder& Version(const std::string& header) { m_header = header; return *this; }
    PdfBuilder& Trailer(const std::string& entries) { m_trailer = entries; return *this; }  // beside /Size
    PdfBuilder& Object(int n, const std::string& body, int gen = 0) { m_objects[n] = {gen, body}; return *this; }
    // Every object's value right after its "obj", with no white space between.
    PdfBuilder& Glued() { m_glued = true; return *this; }
    PdfBuilder& Stream(int number, const std::string& dictEntries, const std::string& data, int generation = 0)
    {
        return Object(number, StreamObject(dictEntries, data), generation);
    }
    std::string Build() const { return Make(-1, false); }
    std::string BuildWithXRefStream(int xrefNumber, bool compress) const { return Make(xrefNumber, compress); }

private:
    std::string Make(int xrefNumber, bool compress) const
    {
        PdfAssembler a(m_header, m_prefix);
        for (const auto& [number, object] : m_objects)
            a.Object(number, object.second, object.first, m_glued);
        const std::string size = "/Size " + std::to_string(m_objects.empty() ? 1 : m_objects.rbegin()->first + 1) + " ";
        a.StartXRef(xrefNumber < 0 ? a.Table({}, size + m_trailer) : a.XRefStream(xrefNumber, {}, m_trailer, compress));
        return a.Bytes();
    }
    std::string m_prefix, m_header = "%PDF-1.4", m_trailer;
    std::map<int, std::pair<int, std::string>> m_objects;
    bool m_glued = false;
};

// bytes (made by PdfBuilder, one classic section from 0) with the offset its
// table states for object `number` moved by delta, or set to `set` (>= 0).
inline std::string MoveEntry(std::string bytes, int number, long long delta, long long set = -1)
{
    const size_t row = bytes.find('\n', bytes.rfind("\nxref\n") + 6) + 1 + 20 * size_t(number);
    const long long offset = set >= 0 ? set : std::stoll(bytes.substr(row, 10)) + delta;
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%010lld", offset);
    return bytes.replace(row, 10, digits);
}

// Catalog 1, page tree 2, `pages` pages with Resources and content streams.
std::string MinimalPdf(int pages, const std::string& extraTrailer = "", const std::string& prefix = "",
                       const std::string& header = "%PDF-1.4");

// A fresh temporary directory, removed with its contents.
class TempDir {
public:
    TempDir() : m_dir((std::filesystem::temp_directory_path() / "korvel-test-XXXXXX").string())
    {
        if (mkdtemp(m_dir.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& Path() const { return m_dir; }
    std::string File(const std::string& name) const { return m_dir + "/" + name; }
    void Write(const std::string& name, const std::string& data) const
    {
        std::ofstream(File(name)) << data;
        // Every file a test writes is an input worth fuzzing from: with
        // KORVEL_SEED_DIR set (tests/fuzz/make_seeds.py), a copy is kept
        // there under a name its contents give.
        if (const char* seeds = std::getenv("KORVEL_SEED_DIR"))
            std::ofstream(std::string(seeds) + "/" + std::to_string(std::hash<std::string>()(data)) + ".pdf",
                          std::ios::binary)
                << data;
    }

private:
    std::string m_dir;
};

// A file held in memory (memfd), named by its /proc/self/fd path, which
// opens like any file: readers under test are fed from memory, nothing
// touches the disk. Closed with the object.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& contents) : m_fd(memfd_create("korvel-test", MFD_CLOEXEC))
    {
        if (m_fd < 0)
            throw std::runtime_error("memfd_create failed");
        for (size_t done = 0; done < contents.size();) {
            const ssize_t n = pwrite(m_fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
            if (n <= 0)
                throw std::runtime_error("writing a memory file failed");
            done += static_cast<size_t>(n);
        }
        // Inputs worth fuzzing from, as TempDir::Write keeps them.
        if (const char* seeds = std::getenv("KORVEL_SEED_DIR"))
            std::ofstream(std::string(seeds) + "/" + std::to_string(std::hash<std::string>()(contents)) + ".pdf",
                          std::ios::binary)
                << contents;
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { close(m_fd); }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }
    // What the file holds now.
    std::string Contents() const
    {
        std::string out;
        char buf[65536];
        for (ssize_t n; (n = pread(m_fd, buf, sizeof buf, static_cast<off_t>(out.size()))) > 0;)
            out.append(buf, static_cast<size_t>(n));
        return out;
    }

private:
    int m_fd;
};
