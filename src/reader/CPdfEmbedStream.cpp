#include "reader/CPdfEmbedStream.h"

#include "object/CPdfDictionary.h"

CPdfEmbedStream::CPdfEmbedStream(CPdfStream* source, const CPdfObject& dict, bool limited, int32_t length)
    : m_source(source), m_limited(limited), m_remaining(length)
{
    m_dict.CopyFrom(dict);
}

int CPdfEmbedStream::GetChar()
{
    if (m_limited) {
        if (m_remaining <= 0)
            return -1;
        --m_remaining;
    }
    return m_source->GetChar();
}

int CPdfEmbedStream::PeekChar()
{
    if (m_limited && m_remaining <= 0)
        return -1;
    return m_source->PeekChar();
}

CPdfDictionary* CPdfEmbedStream::GetDict()
{
    return m_dict.GetKind() == OBJ_DICTIONARY ? m_dict.GetDictionary() : nullptr;
}

int64_t CPdfEmbedStream::GetPosition()
{
    return m_source->GetPosition();
}
