#pragma once

#include "object/CPdfStream.h"

// A stream that decodes the data of another, its source (inflating it,
// decrypting it): the dictionary and the window (start, length, position)
// are the source's, and it cannot be repositioned or windowed itself. Takes
// over the count its creator held on the source and releases it when
// destroyed, after the decoder's own state.
class CPdfFilterStream : public CPdfStream {
public:
    explicit CPdfFilterStream(CPdfStream* source) : m_source(source) {}

    CPdfDictionary* GetDict() override { return m_source->GetDict(); }
    int64_t GetPosition() override { return m_source->GetPosition(); }
    void Seek(int64_t, int) override {}
    int64_t GetStart() override { return m_source->GetStart(); }
    void ShiftStart(int64_t delta) override { m_source->ShiftStart(delta); }
    int64_t GetLength() override { return m_source->GetLength(); }
    CPdfStream* CreateSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

protected:
    ~CPdfFilterStream() override { m_source->Release(); }
    CPdfStream* Source() const { return m_source; }

private:
    CPdfStream* m_source;
};
