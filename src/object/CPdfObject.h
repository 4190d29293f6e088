#pragma once

#include <cstdint>

#include "object/CPdfShared.h"

class CPdfArray;
class CPdfDictionary;
class CPdfResolver;
class CPdfStream;
class CPdfString;

// The kinds of a PDF value; the numeric values are part of the design.
enum EPdfObjectKind : int32_t {
    OBJ_BOOL = 0,
    OBJ_INTEGER = 1,
    OBJ_REAL = 2,
    OBJ_TEXT = 3,
    OBJ_STRING = 4,
    OBJ_NAME = 5,
    OBJ_NULL = 6,
    OBJ_ARRAY = 7,
    OBJ_DICTIONARY = 8,
    OBJ_STREAM = 9,
    OBJ_REFERENCE = 10,
    OBJ_KEYWORD = 11,
    OBJ_ERROR = 12,
    OBJ_EOF = 13,
    OBJ_NONE = 14,
};

// A tagged PDF value. Scalars live inside it; text and strings are owned and
// copied deeply; arrays, dictionaries and streams are shared through their
// reference counts (one count per value of that kind). The destructor clears
// the value; Clear stays public because callers empty values explicitly and
// clearing twice is harmless.
//
// The containers are made of values, so this type holds them only as
// CPdfShared: what needs a container's complete type (making one, handing
// it out) is a template, compiled where the container's own header is
// included, and the value type never depends on the types it carries.
class CPdfObject {
public:
    // Made, moved and emptied inline: the parser makes and drops values by
    // the million, and most of them (numbers, references) own nothing.
    CPdfObject() : m_kind(OBJ_NONE) { m_u.real = 0; }
    CPdfObject(const CPdfObject& other);
    CPdfObject(CPdfObject&& other) noexcept : m_kind(other.m_kind), m_u(other.m_u) { other.m_kind = OBJ_NONE; }
    CPdfObject& operator=(const CPdfObject& other);
    CPdfObject& operator=(CPdfObject&& other) noexcept;
    ~CPdfObject() { Clear(); }

    // Releases the payload; the kind becomes OBJ_NONE.
    void Clear()
    {
        if (OwnsPayload(m_kind))
            ReleasePayload();
        m_kind = OBJ_NONE;
        m_u.real = 0;
    }
    // This value must be empty; takes the source's kind and a copy of its
    // payload (shared containers gain one count).
    void CopyFrom(const CPdfObject& source);
    // Dereferences one level: a reference is resolved through the resolver
    // (when there is one), anything else is copied into out.
    void Fetch(CPdfResolver* resolver, CPdfObject& out) const;

    // Setters; the value must be empty.
    void SetBool(bool value);
    void SetInt(int32_t value);
    // An integer as written, beyond 32 bits: file offsets (/Prev, /XRefStm)
    // are such integers. GetInt still gives its low 32 bits.
    void SetInt64(int64_t value);
    void SetReal(double value);
    void SetReference(int32_t number, int32_t generation);
    void SetNull();
    void SetError();
    void SetEof();
    void SetName(const char* text);
    void SetKeyword(const char* text);
    void SetText(const char* text);
    void SetString(const CPdfString& string);
    // A new, empty container (count 1, held by this value) that keeps
    // resolver; returned for the caller to fill.
    template <class Array = CPdfArray>
    Array* SetNewArray(CPdfResolver* resolver)
    {
        Array* array = new Array(resolver);
        SetShared(OBJ_ARRAY, array);
        return array;
    }
    template <class Dictionary = CPdfDictionary>
    Dictionary* SetNewDictionary(CPdfResolver* resolver)
    {
        Dictionary* dictionary = new Dictionary(resolver);
        SetShared(OBJ_DICTIONARY, dictionary);
        return dictionary;
    }
    // Shares an existing container (one more count).
    template <class Dictionary>
    void SetDictionary(Dictionary* dictionary)
    {
        CPdfShared* shared = dictionary;
        shared->AddRef();
        SetShared(OBJ_DICTIONARY, shared);
    }
    template <class Stream>
    void SetStream(Stream* stream)
    {
        CPdfShared* shared = stream;
        shared->AddRef();
        SetShared(OBJ_STREAM, shared);
    }

    bool IsKeyword(const char* text) const;

    EPdfObjectKind GetKind() const { return m_kind; }
    bool GetBool() const { return m_u.boolean != 0; }
    int32_t GetInt() const { return static_cast<int32_t>(m_u.integer); }
    int64_t GetInt64() const { return m_u.integer; }
    double GetReal() const { return m_u.real; }
    const char* GetText() const { return m_u.text; }
    CPdfString* GetString() const { return m_u.string; }
    // The container of a value of that kind.
    template <class Array = CPdfArray>
    Array* GetArray() const
    {
        return static_cast<Array*>(m_u.shared);
    }
    template <class Dictionary = CPdfDictionary>
    Dictionary* GetDictionary() const
    {
        return static_cast<Dictionary*>(m_u.shared);
    }
    template <class Stream = CPdfStream>
    Stream* GetStream() const
    {
        return static_cast<Stream*>(m_u.shared);
    }
    int32_t GetRefNum() const { return m_u.ref.number; }
    int32_t GetRefGen() const { return m_u.ref.generation; }

private:
    static bool OwnsPayload(EPdfObjectKind kind)
    {
        return kind == OBJ_TEXT || kind == OBJ_NAME || kind == OBJ_KEYWORD || kind == OBJ_STRING ||
               kind == OBJ_ARRAY || kind == OBJ_DICTIONARY || kind == OBJ_STREAM;
    }
    // Frees the text or string, or gives up the count on the container.
    void ReleasePayload();
    void SetOwnedText(EPdfObjectKind kind, const char* text);
    // Clears the value, then makes it kind, holding the count it is given.
    void SetShared(EPdfObjectKind kind, CPdfShared* shared);

    EPdfObjectKind m_kind;
    union Payload {
        uint8_t boolean;
        int64_t integer;
        double real;
        char* text;
        CPdfString* string;
        CPdfShared* shared;  // the array, dictionary or stream
        struct {
            int32_t number;
            int32_t generation;
        } ref;
    } m_u;
};
