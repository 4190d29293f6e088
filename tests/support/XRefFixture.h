#pragma once
// Test bytes loaded as a bare CPdfXRef (no catalog checks) or a document, and the messages raised.
#include <gtest/gtest.h>

#include "base/CPdfException.h"
#include "base/CPdfInputFile.h"
#include "base/Messages.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "document/CPdfDocument.h"
#include "reader/CPdfFileStream.h"
#include "reader/CPdfXRef.h"
#include "support/PdfBuilder.h"

// The message f raises, or "" when it raises nothing.
template <class F>
std::string ErrorOf(F&& f)
{
    try { f(); } catch (const CPdfException& e) { return e.GetMessageText(); }
    return "";
}

class LoadedXRef {
public:
    explicit LoadedXRef(const std::string& bytes)
        : m_file(bytes), m_input(m_file.Path())
    {
        m_stream.Reset(new CPdfFileStream(&m_input, 0, 0, CPdfObject()));
        m_xref.Load(m_stream.Get());
    }
    CPdfXRef* operator->() { return &m_xref; }
    CPdfObject Fetch(int number, int generation = 0)
    {
        CPdfObject v;
        m_xref.FetchObject(number, generation, v);
        return v;
    }
    EPdfObjectKind Kind(int number, int generation = 0) { return Fetch(number, generation).GetKind(); }
    std::string String(int number, int generation = 0)  // "" for an object of another kind
    {
        const CPdfObject v = Fetch(number, generation);
        const CPdfString* s = v.GetKind() == OBJ_STRING ? v.GetString() : nullptr;
        return s ? std::string(reinterpret_cast<const char*>(s->GetData()), size_t(s->GetLength())) : "";
    }

private:
    MemoryFile m_file;
    CPdfInputFile m_input;
    CPdfStreamRef m_stream;
    CPdfXRef m_xref;  // destroyed first: it borrows the stream
};

struct OpenedDocument {
    MemoryFile file;
    CPdfDocument doc;
    explicit OpenedDocument(const std::string& bytes) : file(bytes) { doc.Open(file.Path()); }
};

inline std::string OpenError(const std::string& bytes) { return ErrorOf([&] { OpenedDocument opened(bytes); }); }
