#include "reader/CPdfObjectStreamData.h"

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfDictionary.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"
#include "base/PdfFileFormat.h"
#include "object/CPdfStream.h"

std::unique_ptr<CPdfObjectStreamData> CPdfObjectStreamData::Load(int32_t number, const CPdfObject& stream)
{
    std::unique_ptr<CPdfObjectStreamData> result(new CPdfObjectStreamData(number));
    if (stream.GetKind() != OBJ_STREAM)
        return result;
    // Decoded once: the data is read into memory and the header parsed from it.
    CPdfStream* s = stream.GetStream();
    for (int c = s->GetChar(); c >= 0; c = s->GetChar()) {
        result->m_data.push_back(static_cast<uint8_t>(c));
        if (result->m_data.size() > pdfformat::kMaxObjectStreamSize)
            throw CPdfException(msg::kObjectStreamTooLarge);
    }
    CPdfDictionary* dict = s->GetDict();
    if (dict == nullptr)
        return result;
    CPdfObject n, first;
    dict->Lookup("N", n);
    dict->Lookup("First", first);
    if (n.GetKind() != OBJ_INTEGER || n.GetInt() <= 0 || first.GetKind() != OBJ_INTEGER)
        return result;
    result->m_first = first.GetInt();
    size_t headerLength = result->m_data.size();
    if (first.GetInt() >= 0 && static_cast<size_t>(first.GetInt()) < headerLength)
        headerLength = static_cast<size_t>(first.GetInt());
    else if (first.GetInt() < 0)
        headerLength = 0;
    CPdfParser parser(nullptr, new CPdfMemoryStream(result->m_data.data(), headerLength));
    std::vector<int32_t> numbers, offsets;
    for (int32_t k = 0; k < n.GetInt(); ++k) {
        CPdfObject objNum, offset;
        parser.ParseObject(objNum);
        parser.ParseObject(offset);
        if (objNum.GetKind() != OBJ_INTEGER || offset.GetKind() != OBJ_INTEGER)
            return result;  // no usable header: no members
        numbers.push_back(objNum.GetInt());
        offsets.push_back(offset.GetInt());
    }
    result->m_numbers = std::move(numbers);
    result->m_offsets = std::move(offsets);
    return result;
}

bool CPdfObjectStreamData::GetMember(int32_t index, int32_t number, const uint8_t*& data, int32_t& length) const
{
    if (index < 0 || index >= GetCount() || m_numbers[static_cast<size_t>(index)] != number)
        return false;
    return GetMemberBytes(index, data, length);
}

bool CPdfObjectStreamData::GetMemberBytes(int32_t index, const uint8_t*& data, int32_t& length) const
{
    if (index < 0 || index >= GetCount())
        return false;
    const int64_t size = static_cast<int64_t>(m_data.size());
    const int64_t start = static_cast<int64_t>(m_first) + m_offsets[static_cast<size_t>(index)];
    const int64_t end = index + 1 < GetCount()
                            ? static_cast<int64_t>(m_first) + m_offsets[static_cast<size_t>(index) + 1]
                            : size;
    // Offsets that leave the data, or run backwards, describe no bytes.
    if (m_first < 0 || start < 0 || start > size || end < start || end > size)
        return false;
    data = m_data.data() + start;
    length = static_cast<int32_t>(end - start);
    return true;
}
