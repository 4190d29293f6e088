#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "text/PdfObjectText.h"

class CPdfObject;
class CPdfString;

// Writes parsed values back as PDF text, for the structures the merges build
// from both documents (a joined form, a merged name tree). References go
// through a mapping from the value's own document to the output; strings
// are written in hexadecimal form and names with # escapes, so any bytes
// survive; reals are written without exponents. Nesting is bounded by the
// parser's own depth limit.
class CPdfValueWriter {
public:
    // The output number (and generation, -1: as written) of a reference.
    using MapReference = std::function<objecttext::Target(int64_t number)>;

    explicit CPdfValueWriter(MapReference map) : m_map(std::move(map)) {}

    // Appends value, with a separator first where it would run into out.
    void Write(const CPdfObject& value, std::string& out) const;
    std::string ToText(const CPdfObject& value) const;

    static void WriteName(const std::string& name, std::string& out);
    static void WriteString(const std::string& bytes, std::string& out);

private:
    void WriteAt(const CPdfObject& value, std::string& out) const;

    MapReference m_map;
};
