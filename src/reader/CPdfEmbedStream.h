#pragma once

#include "object/CPdfStream.h"

// A view of another stream that can stop after a given number of bytes.
// Borrows its source (no count taken): the source must outlive the view.
class CPdfEmbedStream : public CPdfStream {
public:
    CPdfEmbedStream(CPdfStream* source, const CPdfObject& dict, bool limited, int32_t length);

    void Reset() override {}
    int GetChar() override;
    int PeekChar() override;
    CPdfDictionary* GetDict() override;
    int64_t GetPosition() override;
    void Seek(int64_t, int) override {}
    int64_t GetStart() override { return 0; }
    void ShiftStart(int64_t) override {}
    int64_t GetLength() override { return 0; }
    CPdfStream* CreateSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

private:
    ~CPdfEmbedStream() override = default;

    CPdfObject m_dict;
    CPdfStream* m_source;
    bool m_limited;
    int32_t m_remaining;
};
