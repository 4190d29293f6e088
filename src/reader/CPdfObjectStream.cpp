#include "reader/CPdfObjectStream.h"

#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfObjectStreamData.h"
#include "reader/CPdfParser.h"

std::unique_ptr<CPdfObjectStream> CPdfObjectStream::Load(const CPdfObjectStreamData& raw, CPdfResolver* resolver)
{
    std::unique_ptr<CPdfObjectStream> result(new CPdfObjectStream(raw.GetNumber()));
    const int32_t count = raw.GetCount();
    result->m_values.resize(static_cast<size_t>(count));
    result->m_numbers.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
        const uint8_t* data = nullptr;
        int32_t length = 0;
        // A member whose bytes lie outside the data stays unusable: -1 never
        // matches a requested number.
        result->m_numbers[static_cast<size_t>(k)] = -1;
        if (!raw.GetMemberBytes(k, data, length))
            continue;
        result->m_numbers[static_cast<size_t>(k)] = raw.GetMemberNumber(k);
        CPdfParser parser(resolver, new CPdfMemoryStream(data, static_cast<size_t>(length)));
        parser.ParseObject(result->m_values[static_cast<size_t>(k)]);
    }
    return result;
}

bool CPdfObjectStream::GetMember(int32_t index, int32_t number, CPdfObject& out) const
{
    out.Clear();
    if (index < 0 || index >= static_cast<int32_t>(m_numbers.size()) ||
        m_numbers[static_cast<size_t>(index)] != number) {
        out.SetNull();
        return false;
    }
    out.CopyFrom(m_values[static_cast<size_t>(index)]);
    return true;
}
