#pragma once

#include <cstddef>
#include <cstdint>

#include "object/CPdfStream.h"

// A stream over bytes already in memory (the decoded data of an object
// stream). Borrows the bytes: they must outlive the stream. Not a window on
// a file, so stream objects parsed from it cannot get their data.
class CPdfMemoryStream : public CPdfStream {
public:
    CPdfMemoryStream(const uint8_t* data, size_t length);

    void Reset() override { m_pos = 0; }
    int GetChar() override { return m_pos < m_length ? m_data[m_pos++] : -1; }
    int PeekChar() override { return m_pos < m_length ? m_data[m_pos] : -1; }
    CPdfDictionary* GetDict() override { return nullptr; }
    int64_t GetPosition() override { return static_cast<int64_t>(m_pos); }
    void Seek(int64_t offset, int origin) override;
    int64_t GetStart() override { return 0; }
    void ShiftStart(int64_t) override {}
    int64_t GetLength() override { return static_cast<int64_t>(m_length); }
    CPdfStream* CreateSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

private:
    ~CPdfMemoryStream() override = default;

    const uint8_t* m_data;
    size_t m_length;
    size_t m_pos = 0;
};
