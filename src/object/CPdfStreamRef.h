#pragma once

#include "object/CPdfStream.h"

// Holds one count on a stream for a scope: the RAII face of AddRef/Release.
class CPdfStreamRef {
public:
    CPdfStreamRef() = default;
    // Takes over the count the caller holds.
    explicit CPdfStreamRef(CPdfStream* stream) : m_stream(stream) {}
    CPdfStreamRef(const CPdfStreamRef&) = delete;
    CPdfStreamRef& operator=(const CPdfStreamRef&) = delete;
    CPdfStreamRef(CPdfStreamRef&& other) noexcept : m_stream(other.m_stream) { other.m_stream = nullptr; }
    CPdfStreamRef& operator=(CPdfStreamRef&& other) noexcept
    {
        if (this != &other) {
            Reset(other.m_stream);
            other.m_stream = nullptr;
        }
        return *this;
    }
    ~CPdfStreamRef() { Reset(nullptr); }

    void Reset(CPdfStream* stream)
    {
        if (m_stream)
            m_stream->Release();
        m_stream = stream;
    }
    // Gives up the count without releasing it.
    CPdfStream* Detach()
    {
        CPdfStream* s = m_stream;
        m_stream = nullptr;
        return s;
    }
    CPdfStream* Get() const { return m_stream; }
    CPdfStream* operator->() const { return m_stream; }
    explicit operator bool() const { return m_stream != nullptr; }

private:
    CPdfStream* m_stream = nullptr;
};
