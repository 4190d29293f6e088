#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "object/CPdfObject.h"

class CPdfObjectStreamData;
class CPdfResolver;

// The parsed form of one object stream: every member parsed when the stream
// is loaded, kept with the object number the header gives it.
class CPdfObjectStream {
public:
    // Parses every member of the raw form; their references resolve through
    // resolver, which the values borrow.
    static std::unique_ptr<CPdfObjectStream> Load(const CPdfObjectStreamData& raw, CPdfResolver* resolver);

    int32_t GetNumber() const { return m_number; }
    // A copy of member `index` if the header lists `number` there (true),
    // else OBJ_NULL (false).
    bool GetMember(int32_t index, int32_t number, CPdfObject& out) const;

private:
    explicit CPdfObjectStream(int32_t number) : m_number(number) {}

    int32_t m_number;
    std::vector<CPdfObject> m_values;
    std::vector<int32_t> m_numbers;
};
