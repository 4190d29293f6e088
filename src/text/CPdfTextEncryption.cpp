#include "text/CPdfTextEncryption.h"

#include <cstring>

#include "reader/CPdfSecurityHandler.h"
#include "text/CPdfTextEdit.h"
#include "text/PdfObjectText.h"

namespace {

// The value of key in the dictionary at text[0 .. limit), as written.
std::string ValueOf(const std::string& text, uint32_t limit, const char* key)
{
    uint32_t start = 0, end = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (!CPdfTextEdit(bytes, static_cast<uint32_t>(text.size()), limit).FindValue(key, start, end))
        return std::string();
    return text.substr(start, end - start);
}

// Where the data ends: before the line end ahead of the last "endstream"
// (the object's own keyword; the data may hold the word too); -1 when there
// is none after from.
int64_t DataEnd(const std::string& text, uint32_t from)
{
    const size_t at = text.rfind("endstream");
    if (at == std::string::npos || at < from)
        return -1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return static_cast<int64_t>(at) - objecttext::LineEndLength(bytes + from, static_cast<uint32_t>(at) - from);
}

}  // namespace

void CPdfTextEncryption::Encrypt(int64_t number, int32_t generation, std::string& text) const
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint32_t length = static_cast<uint32_t>(text.size());
    objecttext::Layout layout;
    objecttext::Scan(bytes, length, layout);
    const uint32_t split = layout.split;
    const std::string type = ValueOf(text, split, "/Type");
    if (layout.isStream && type == "/XRef")
        return;
    const int32_t n = static_cast<int32_t>(number);
    const CPdfEncryptor strings = m_security.CreateEncryptor(CPdfSecurityHandler::DATA_STRING, n, generation);
    std::string head;
    objecttext::RewriteStrings(bytes, split, split, [&](const std::string& value) { return strings.EncryptAll(value); },
                               head);
    const uint32_t from = layout.isStream ? objecttext::DataStart(bytes, length, split) : length;
    const int64_t to = layout.isStream ? DataEnd(text, from) : -1;
    const bool clear = type == "/Metadata" && !m_security.EncryptsMetadata();
    if (!layout.isStream || to < 0 || clear) {
        head.append(text, split, std::string::npos);
        text.swap(head);
        return;
    }
    const CPdfEncryptor streams = m_security.CreateEncryptor(CPdfSecurityHandler::DATA_STREAM, n, generation);
    const std::string data = streams.EncryptAll(text.substr(from, static_cast<size_t>(to) - from));
    CPdfTextEdit edit(reinterpret_cast<const uint8_t*>(head.data()), static_cast<uint32_t>(head.size()),
                      static_cast<uint32_t>(head.size()));
    std::string value;
    objecttext::AppendNumber(value, static_cast<int64_t>(data.size()));
    edit.SetKey("/Length", value);
    std::string out;
    edit.Apply(out);
    out.append(text, split, from - split);
    out += data;
    out.append(text, static_cast<size_t>(to), std::string::npos);
    text.swap(out);
}
