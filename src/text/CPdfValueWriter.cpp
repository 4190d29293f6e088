#include "text/CPdfValueWriter.h"

#include <charconv>
#include <cmath>

#include "text/CPdfTextEdit.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfObject.h"
#include "object/CPdfString.h"
#include "base/PdfCharClass.h"

namespace {

void AppendReal(double value, std::string& out)
{
    // PDF has no exponents; values this small are zero on any page.
    if (!std::isfinite(value) || std::fabs(value) < 1e-9)
        value = 0;
    char text[400];
    const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed);
    std::string digits = result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0");
    out += digits;
}

}  // namespace

std::string CPdfValueWriter::ToText(const CPdfObject& value) const
{
    std::string out;
    WriteAt(value, out);
    return out;
}

void CPdfValueWriter::Write(const CPdfObject& value, std::string& out) const
{
    std::string piece;
    WriteAt(value, piece);
    CPdfTextEdit::Join(out, piece);
}

void CPdfValueWriter::WriteAt(const CPdfObject& value, std::string& out) const
{
    auto join = [&out](const std::string& piece) { CPdfTextEdit::Join(out, piece); };
    switch (value.GetKind()) {
    case OBJ_BOOL:
        join(value.GetBool() ? "true" : "false");
        break;
    case OBJ_INTEGER:
        join(std::to_string(value.GetInt64()));
        break;
    case OBJ_REAL: {
        std::string text;
        AppendReal(value.GetReal(), text);
        join(text);
        break;
    }
    case OBJ_NAME: {
        std::string text;
        WriteName(value.GetText(), text);
        join(text);
        break;
    }
    case OBJ_STRING: {
        WriteString(value.GetString()->GetValue(), out);
        break;
    }
    case OBJ_TEXT: {
        std::string text;
        WriteString(value.GetText(), text);
        out += text;
        break;
    }
    case OBJ_ARRAY: {
        const CPdfArray& array = *value.GetArray();
        out += "[";
        for (int32_t i = 0; i < array.GetSize(); ++i) {
            CPdfObject element;
            array.GetRaw(i, element);
            WriteAt(element, out);
        }
        out += "]";
        break;
    }
    case OBJ_DICTIONARY:
        out += "<<";
        value.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& entry) {
            if (entry.GetKind() == OBJ_NULL)
                return;  // an absent key says the same
            WriteName(key, out);
            WriteAt(entry, out);
        });
        out += ">>";
        break;
    case OBJ_REFERENCE: {
        const objecttext::Target target = m_map(value.GetRefNum());
        if (target.number < 0) {
            join("null");  // names nothing in the output
            break;
        }
        join(CPdfTextEdit::Reference(target.number, target.generation >= 0 ? target.generation : value.GetRefGen()));
        break;
    }
    default:
        // Streams are always objects of their own; anything else has no text.
        join("null");
        break;
    }
}

void CPdfValueWriter::WriteName(const std::string& name, std::string& out)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back('/');
    for (unsigned char c : name) {
        if (pdfchar::IsRegular(c) && c != '#' && c > 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('#');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        }
    }
}

void CPdfValueWriter::WriteString(const std::string& bytes, std::string& out)
{
    out += CPdfString(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())).GetHexText();
}
