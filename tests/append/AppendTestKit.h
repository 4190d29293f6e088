#pragma once

// Running whole append jobs in the test process and reading their results
// back with the program's own reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "append/CPdfFileAppend.h"
#include "main/CPdfException.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfDocument.h"
#include "reader/CPdfXRef.h"
#include "support/PdfBuilder.h"

// Appends b onto a (both given as file bytes) into out.pdf in dir; returns
// the message of a failure, "" on success.
inline std::string Append(const TempDir& dir, const std::string& a, const std::string& b, bool compact)
{
    dir.Write("a.pdf", a);
    dir.Write("b.pdf", b);
    std::vector<std::string> args = {"korvel", dir.File("a.pdf"), dir.File("b.pdf"), dir.File("out.pdf")};
    if (compact)
        args.push_back("/s");
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

// The raw text of object number in file bytes, from "N G obj" through
// "endobj"; "" when the table marks it free.
inline std::string ObjectText(const std::string& file, int number)
{
    const size_t xref = file.rfind("\nxref\n");
    if (xref == std::string::npos)
        return "";
    const size_t entries = file.find('\r', xref + 6) + 1;
    const std::string entry = file.substr(entries + 20 * static_cast<size_t>(number), 20);
    if (entry.size() < 20 || entry[17] != 'n')
        return "";
    const size_t offset = std::stoul(entry.substr(0, 10));
    const size_t end = file.find("endobj", offset);
    return file.substr(offset, end + 6 - offset);
}

// The number of entries of the file's one cross-reference section.
inline int TableSize(const std::string& file)
{
    const size_t xref = file.rfind("\nxref\n0 ");
    return xref == std::string::npos ? -1 : std::stoi(file.substr(xref + 8));
}
