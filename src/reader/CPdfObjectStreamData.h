#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CPdfObject;

// The raw form of one object stream: its whole decoded data and the header
// pairs (member number, offset relative to First). A stream without a usable
// header has no members.
class CPdfObjectStreamData {
public:
    // Decodes the value of object stream `number` (OBJ_NULL or any other
    // kind gives a stream without members). Raises only what reading the
    // data raises, or when the decoded data is absurdly large.
    static std::unique_ptr<CPdfObjectStreamData> Load(int32_t number, const CPdfObject& stream);

    int32_t GetNumber() const { return m_number; }
    int32_t GetCount() const { return static_cast<int32_t>(m_numbers.size()); }
    // The bytes of member `index` if the header lists `number` there; the
    // range is checked against the data.
    bool GetMember(int32_t index, int32_t number, const uint8_t*& data, int32_t& length) const;
    // The same without the number check.
    bool GetMemberBytes(int32_t index, const uint8_t*& data, int32_t& length) const;
    int32_t GetMemberNumber(int32_t index) const { return m_numbers[static_cast<size_t>(index)]; }

private:
    explicit CPdfObjectStreamData(int32_t number) : m_number(number) {}

    int32_t m_number;
    std::vector<int32_t> m_numbers;
    std::vector<uint8_t> m_data;
    int32_t m_first = 0;
    std::vector<int32_t> m_offsets;
};
