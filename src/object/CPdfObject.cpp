#include "object/CPdfObject.h"

#include <cstring>
#include <utility>

#include "object/CPdfResolver.h"
#include "object/CPdfString.h"

CPdfObject::CPdfObject(const CPdfObject& other) : CPdfObject()
{
    CopyFrom(other);
}

CPdfObject& CPdfObject::operator=(const CPdfObject& other)
{
    if (this != &other) {
        CPdfObject copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CPdfObject& CPdfObject::operator=(CPdfObject&& other) noexcept
{
    if (this != &other) {
        Clear();
        m_kind = other.m_kind;
        m_u = other.m_u;
        other.m_kind = OBJ_NONE;
    }
    return *this;
}

void CPdfObject::ReleasePayload()
{
    switch (m_kind) {
    case OBJ_TEXT:
    case OBJ_NAME:
    case OBJ_KEYWORD:
        delete[] m_u.text;
        break;
    case OBJ_STRING:
        delete m_u.string;
        break;
    case OBJ_ARRAY:
    case OBJ_DICTIONARY:
    case OBJ_STREAM:
        m_u.shared->Release();
        break;
    default:
        break;
    }
}

void CPdfObject::CopyFrom(const CPdfObject& source)
{
    Clear();
    switch (source.m_kind) {
    case OBJ_TEXT:
    case OBJ_NAME:
    case OBJ_KEYWORD:
        SetOwnedText(source.m_kind, source.m_u.text);
        return;
    case OBJ_STRING:
        SetString(*source.m_u.string);
        return;
    case OBJ_ARRAY:
    case OBJ_DICTIONARY:
    case OBJ_STREAM:
        source.m_u.shared->AddRef();
        break;
    default:
        break;
    }
    m_kind = source.m_kind;
    m_u = source.m_u;
}

void CPdfObject::Fetch(CPdfResolver* resolver, CPdfObject& out) const
{
    out.Clear();
    if (m_kind == OBJ_REFERENCE && resolver != nullptr)
        resolver->FetchObject(m_u.ref.number, m_u.ref.generation, out);
    else
        out.CopyFrom(*this);
}

void CPdfObject::SetBool(bool value)
{
    Clear();
    m_kind = OBJ_BOOL;
    m_u.boolean = value ? 1 : 0;
}

void CPdfObject::SetInt(int32_t value)
{
    Clear();
    m_kind = OBJ_INTEGER;
    m_u.integer = value;
}

void CPdfObject::SetInt64(int64_t value)
{
    Clear();
    m_kind = OBJ_INTEGER;
    m_u.integer = value;
}

void CPdfObject::SetReal(double value)
{
    Clear();
    m_kind = OBJ_REAL;
    m_u.real = value;
}

void CPdfObject::SetReference(int32_t number, int32_t generation)
{
    Clear();
    m_kind = OBJ_REFERENCE;
    m_u.ref.number = number;
    m_u.ref.generation = generation;
}

void CPdfObject::SetNull()
{
    Clear();
    m_kind = OBJ_NULL;
}

void CPdfObject::SetError()
{
    Clear();
    m_kind = OBJ_ERROR;
}

void CPdfObject::SetEof()
{
    Clear();
    m_kind = OBJ_EOF;
}

void CPdfObject::SetName(const char* text)
{
    SetOwnedText(OBJ_NAME, text);
}

void CPdfObject::SetKeyword(const char* text)
{
    SetOwnedText(OBJ_KEYWORD, text);
}

void CPdfObject::SetText(const char* text)
{
    SetOwnedText(OBJ_TEXT, text);
}

void CPdfObject::SetOwnedText(EPdfObjectKind kind, const char* text)
{
    Clear();
    const size_t length = text ? std::strlen(text) : 0;
    char* copy = new char[length + 1];
    if (length)
        std::memcpy(copy, text, length);
    copy[length] = '\0';
    m_kind = kind;
    m_u.text = copy;
}

void CPdfObject::SetString(const CPdfString& string)
{
    Clear();
    CPdfString* copy = new CPdfString(string);
    m_kind = OBJ_STRING;
    m_u.string = copy;
}

void CPdfObject::SetShared(EPdfObjectKind kind, CPdfShared* shared)
{
    Clear();
    m_kind = kind;
    m_u.shared = shared;
}

bool CPdfObject::IsKeyword(const char* text) const
{
    return m_kind == OBJ_KEYWORD && std::strcmp(m_u.text, text) == 0;
}
