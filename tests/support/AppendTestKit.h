#pragma once

// Running whole append jobs in the test process and reading their results.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "append/CPdfFileAppend.h"
#include "copy/CPdfRawReader.h"
#include "base/CPdfException.h"
#include "support/ObjectTestKit.h"
#include "document/CPdfDocument.h"
#include "reader/CPdfXRef.h"
#include "support/PdfBuilder.h"

// Runs the job as `korvel args...` would: "" or the failure.
inline std::string RunJob(std::vector<std::string> args)
{
    args.insert(args.begin(), "korvel");
    std::vector<char*> argv;
    for (auto& s : args)
        argv.push_back(s.data());
    try {
        CPdfFileAppend job;
        job.ParseArguments(static_cast<int>(argv.size()), argv.data());
        job.Run();
    } catch (const CPdfException& e) {
        return e.GetMessageText();
    }
    return "";
}

// Appends b onto a (file bytes) into out.pdf in dir: "" or the failure.
inline std::string Append(const TempDir& dir, const std::string& a, const std::string& b, bool compact)
{
    dir.Write("a.pdf", a);
    dir.Write("b.pdf", b);
    std::vector<std::string> args = {dir.File("a.pdf"), dir.File("b.pdf"), dir.File("out.pdf")};
    if (compact)
        args.push_back("/s");
    return RunJob(args);
}

// A one-page document: catalog 1, page tree 2 (/Count and what follows it
// given by count), page 3 with the given resources, and more objects by
// number (a negative number: that object with generation 3).
inline std::string OnePageWith(const std::string& resources, const std::vector<std::pair<int, std::string>>& objects,
                               const std::string& count = "1")
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count " + count + " >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << " + resources + " >> >>");
    for (const auto& [number, body] : objects)
        b.Object(number < 0 ? -number : number, body, number < 0 ? 3 : 0);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// Object number of a written file, "N G obj" through "endobj"; "" when free.
inline std::string ObjectText(const std::string& file, int number)
{
    // The one section "xref\n0 N" CR follows the last object's "endobj" and
    // a line end of either kind.
    const size_t entries = file.find('\r', file.rfind("xref\n0 ") + 5) + 1;
    const std::string entry = file.substr(entries + 20 * static_cast<size_t>(number), 20);
    if (entry.size() < 20 || entry[17] != 'n')
        return "";
    const size_t offset = std::stoul(entry.substr(0, 10));
    return file.substr(offset, file.find("endobj", offset) + 6 - offset);
}

// The size of a file's one cross-reference section.
inline int TableSize(const std::string& file)
{
    return std::stoi(file.substr(file.rfind("xref\n0 ") + 7));
}

// A written file opened again: its objects, and values below its catalog.
struct Result {
    CPdfDocument doc;
    CPdfObject catalog;
    explicit Result(const std::string& path)
    {
        doc.Open(path);
        catalog = Object(doc.GetXRef()->GetRootNum(), doc.GetXRef()->GetRootGen());
    }
    CPdfObject Object(int number, int generation = 0) const
    {
        CPdfObject value;
        doc.GetXRef()->FetchObject(number, generation, value);
        return value;
    }
    CPdfObject operator[](const std::string& path) const { return At(catalog, path); }
};

inline std::string Text(const CPdfRawObject& raw)
{
    return std::string(reinterpret_cast<const char*>(raw.GetHead()), raw.GetHeadLength());
}

// The objects of file bytes as the raw reader gives them, through the table
// their document opened with.
class RawReading {
public:
    explicit RawReading(const std::string& bytes)
        : m_file(bytes), m_input(m_file.Path())
    {
        m_doc.Open(m_file.Path());
        m_reader = std::make_unique<CPdfRawReader>(m_input, *m_doc.GetXRef());
    }
    CPdfDocument& Doc() { return m_doc; }
    bool Read(int number, CPdfRawObject& raw, bool allowTail) { return m_reader->ReadRawObject(number, raw, allowTail); }
    std::string Read(int number)  // "<none>" when there is no such object
    {
        CPdfRawObject raw;
        return Read(number, raw, false) ? Text(raw) : "<none>";
    }

private:
    MemoryFile m_file;
    CPdfInputFile m_input;
    CPdfDocument m_doc;
    std::unique_ptr<CPdfRawReader> m_reader;  // destroyed first: it borrows the table
};
