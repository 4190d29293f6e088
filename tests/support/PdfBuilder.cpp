#include "support/PdfBuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

PdfBuilder& PdfBuilder::Prefix(const std::string& junk)
{
    m_prefix = junk;
    return *this;
}

PdfBuilder& PdfBuilder::Version(const std::string& header)
{
    m_header = header;
    return *this;
}

PdfBuilder& PdfBuilder::Object(int number, const std::string& body, int generation)
{
    m_objects[number] = {generation, body};
    return *this;
}

PdfBuilder& PdfBuilder::Stream(int number, const std::string& dictEntries, const std::string& data, int generation)
{
    return Object(number,
                  "<<" + dictEntries + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data +
                      "\nendstream",
                  generation);
}

PdfBuilder& PdfBuilder::Trailer(const std::string& entries)
{
    m_trailer = entries;
    return *this;
}

std::string PdfBuilder::Body(size_t& headerPos) const
{
    std::string out = m_prefix;
    headerPos = out.size();
    out += m_header + "\n%\xE2\xE3\xCF\xD3\n";
    m_offsets.clear();
    for (const auto& [number, object] : m_objects) {
        m_offsets[number] = out.size() - headerPos;
        out += std::to_string(number) + " " + std::to_string(object.first) + " obj\n" + object.second + "\nendobj\n";
    }
    return out;
}

std::string PdfBuilder::Build() const
{
    size_t headerPos = 0;
    std::string out = Body(headerPos);
    const int size = m_objects.empty() ? 1 : m_objects.rbegin()->first + 1;
    const size_t xref = out.size() - headerPos;
    out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    char line[32];
    for (int i = 1; i < size; ++i) {
        auto it = m_objects.find(i);
        if (it == m_objects.end())
            std::snprintf(line, sizeof(line), "%010d %05d f \n", 0, 0);
        else
            std::snprintf(line, sizeof(line), "%010zu %05d n \n", m_offsets.at(i), it->second.first);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(size) + " " + m_trailer + " >>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
    return out;
}

std::string PdfBuilder::BuildWithXRefStream(int xrefNumber, bool compress) const
{
    size_t headerPos = 0;
    std::string out = Body(headerPos);
    const size_t xref = out.size() - headerPos;
    int size = xrefNumber + 1;
    if (!m_objects.empty() && m_objects.rbegin()->first + 1 > size)
        size = m_objects.rbegin()->first + 1;
    std::string rows;
    auto entry = [&](int type, uint32_t field2, uint32_t field3) {
        rows.push_back(static_cast<char>(type));
        for (int s = 24; s >= 0; s -= 8)
            rows.push_back(static_cast<char>((field2 >> s) & 0xFF));
        rows.push_back(static_cast<char>((field3 >> 8) & 0xFF));
        rows.push_back(static_cast<char>(field3 & 0xFF));
    };
    for (int i = 0; i < size; ++i) {
        auto it = m_objects.find(i);
        if (i == xrefNumber)
            entry(1, static_cast<uint32_t>(xref), 0);
        else if (it == m_objects.end())
            entry(0, 0, i == 0 ? 65535 : 0);
        else
            entry(1, static_cast<uint32_t>(m_offsets.at(i)), static_cast<uint32_t>(it->second.first));
    }
    std::string data = rows;
    std::string filter;
    if (compress) {
        // PNG Up rows: tag 2, then each byte minus the byte above it.
        const size_t width = 7;
        std::string predicted;
        std::string previous(width, '\0');
        for (size_t r = 0; r + width <= rows.size(); r += width) {
            predicted.push_back('\x02');
            for (size_t k = 0; k < width; ++k)
                predicted.push_back(static_cast<char>(static_cast<uint8_t>(rows[r + k]) - static_cast<uint8_t>(previous[k])));
            previous = rows.substr(r, width);
        }
        data = Deflate(predicted);
        filter = " /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 7 >>";
    }
    out += std::to_string(xrefNumber) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(size) + " /W [1 4 2]" +
           filter + " " + m_trailer + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string MinimalPdf(int pages, const std::string& extraTrailer)
{
    PdfBuilder b;
    std::string kids;
    for (int p = 0; p < pages; ++p) {
        const int page = 3 + 2 * p;
        kids += std::to_string(page) + " 0 R ";
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << >> /Contents " +
                           std::to_string(page + 1) + " 0 R >>");
        b.Stream(page + 1, "", "0 0 1 rg 10 10 " + std::to_string(20 + p) + " 20 re f");
    }
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    b.Trailer("/Root 1 0 R " + extraTrailer);
    return b.Build();
}

std::string Deflate(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                 static_cast<uLong>(data.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    out.resize(size);
    return out;
}

namespace {

std::string MakeTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "korvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void WriteAll(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

}  // namespace

TempFile::TempFile(const std::string& contents, const std::string& name)
    : m_dir(MakeTempDir()), m_path(m_dir + "/" + name)
{
    WriteAll(m_path, contents);
}

TempFile::~TempFile()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

TempDir::TempDir() : m_dir(MakeTempDir()) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

void TempDir::Write(const std::string& name, const std::string& contents) const
{
    WriteAll(File(name), contents);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

PdfAssembler::PdfAssembler(const std::string& header, const std::string& prefix)
    : m_out(prefix + header + "\n%\xE2\xE3\xCF\xD3\n"), m_headerPos(prefix.size())
{
}

size_t PdfAssembler::Here() const
{
    return m_out.size() - m_headerPos;
}

void PdfAssembler::Raw(const std::string& bytes)
{
    m_out += bytes;
}

size_t PdfAssembler::Object(int number, const std::string& body, int generation)
{
    const size_t at = Here();
    m_out += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
    m_entries[number] = {1, at, generation};
    return at;
}

size_t PdfAssembler::Stream(int number, const std::string& dictEntries, const std::string& data, int generation)
{
    return Object(number,
                  "<<" + dictEntries + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data +
                      "\nendstream",
                  generation);
}

void PdfAssembler::Compressed(int number, int stream, int index)
{
    m_entries[number] = {2, static_cast<size_t>(stream), index};
}

void PdfAssembler::Free(int number)
{
    m_entries.erase(number);
}

namespace {

// Consecutive runs of the (sorted) numbers: (first, count) pairs.
std::vector<std::pair<int, int>> Runs(std::vector<int> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::pair<int, int>> runs;
    for (int n : numbers) {
        if (!runs.empty() && runs.back().first + runs.back().second == n)
            ++runs.back().second;
        else
            runs.push_back({n, 1});
    }
    return runs;
}

}  // namespace

size_t PdfAssembler::Table(const std::vector<int>& numbers, const std::string& trailerEntries)
{
    const size_t at = Here();
    m_out += "xref\n";
    char line[32];
    for (const auto& [first, count] : Runs(numbers)) {
        m_out += std::to_string(first) + " " + std::to_string(count) + "\n";
        for (int n = first; n < first + count; ++n) {
            auto it = m_entries.find(n);
            if (it != m_entries.end() && it->second.type == 1)
                std::snprintf(line, sizeof(line), "%010zu %05d n \n", it->second.field2, it->second.field3);
            else
                std::snprintf(line, sizeof(line), "%010d %05d f \n", 0, n == 0 ? 65535 : 0);
            m_out += line;
        }
    }
    m_out += "trailer\n<< " + trailerEntries + " >>\n";
    return at;
}

std::string XRefRow(uint32_t type, uint32_t field2, uint32_t field3, int w0, int w1, int w2)
{
    std::string row;
    const uint32_t fields[3] = {type, field2, field3};
    const int widths[3] = {w0, w1, w2};
    for (int k = 0; k < 3; ++k)
        for (int b = widths[k] - 1; b >= 0; --b)
            row.push_back(static_cast<char>(b >= 4 ? 0 : (fields[k] >> (8 * b)) & 0xFF));
    return row;
}

size_t PdfAssembler::XRefStream(int number, const std::vector<int>& numbers, const std::string& extraEntries)
{
    const size_t at = Here();
    m_entries[number] = {1, at, 0};
    std::vector<int> all = numbers;
    if (std::find(all.begin(), all.end(), number) == all.end())
        all.push_back(number);
    std::string index, rows;
    int size = 0;
    for (const auto& [first, count] : Runs(all)) {
        index += std::to_string(first) + " " + std::to_string(count) + " ";
        size = std::max(size, first + count);
        for (int n = first; n < first + count; ++n) {
            auto it = m_entries.find(n);
            if (it == m_entries.end())
                rows += XRefRow(0, 0, n == 0 ? 65535 : 0);
            else
                rows += XRefRow(static_cast<uint32_t>(it->second.type), static_cast<uint32_t>(it->second.field2),
                                static_cast<uint32_t>(it->second.field3));
        }
    }
    m_out += std::to_string(number) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] /Index [" +
             index + "] " + extraEntries + " /Length " + std::to_string(rows.size()) + " >>\nstream\n" + rows +
             "\nendstream\nendobj\n";
    return at;
}

void PdfAssembler::StartXRef(size_t offset)
{
    m_out += "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
}

std::string ObjectStreamContent(const std::vector<std::pair<int, std::string>>& members, size_t& first,
                                const std::string& gap)
{
    std::string header, body = gap;
    for (const auto& [number, text] : members) {
        header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
        body += text + " ";
    }
    header += "\n";
    first = header.size();
    return header + body;
}
