#pragma once

#include <string>

#include "object/CPdfObject.h"
#include "reader/CPdfFileStream.h"

class CPdfResolver;
class CPdfSecurityHandler;
class CPdfStream;

// Turns the bytes of one stream into PDF values: a lexer that cuts tokens and
// a parser that builds arrays, dictionaries, references and stream objects,
// with two tokens of look-ahead. Tolerant: bytes that cannot start a token
// become OBJ_ERROR tokens; the only failures raised are a stream whose data is
// not followed by "endstream" and nesting beyond kMaxDepth.
//
// Takes over the count its creator held on the source and releases it when
// destroyed. Borrows the resolver, which every array and dictionary it builds
// keeps, and through which a stream's /Length is dereferenced.
class CPdfParser {
public:
    // Arrays and dictionaries nested deeper than this are refused, so that a
    // file of brackets cannot exhaust the stack.
    static constexpr int kMaxDepth = 512;

    CPdfParser(CPdfResolver* resolver, CPdfStream* source);
    CPdfParser(const CPdfParser&) = delete;
    CPdfParser& operator=(const CPdfParser&) = delete;
    virtual ~CPdfParser();

    // Parses one complete object into out; OBJ_EOF once the source is
    // exhausted, and on every call after that.
    void ParseObject(CPdfObject& out);

    // With false, stream objects keep their raw data window instead of being
    // put behind their filters: used to locate the data, not to read it.
    void SetDecodeStreams(bool decode) { m_decodeStreams = decode; }

    // The object being parsed is indirect object (number, generation) of an
    // encrypted document: its strings come out decrypted, and so does its
    // stream data (before its filters) unless that data is never encrypted.
    // Borrows the handler. Not for objects inside object streams, whose
    // stream was decrypted as a whole, nor for cross-reference data.
    void SetDecryption(const CPdfSecurityHandler* handler, int32_t number, int32_t generation)
    {
        m_security = handler;
        m_objectNumber = number;
        m_objectGeneration = generation;
    }

    // Reads one token from the source (exposed for the lexer's tests).
    void NextToken(CPdfObject& out);

private:
    void ParseObjectAt(CPdfObject& out, int depth);
    void Advance();
    void MakeStream(CPdfObject& out);
    void DecryptString(CPdfObject& value) const;
    // The stream's raw window behind a decrypting stream, or the window
    // itself when its data is not encrypted. Takes over the count on raw.
    CPdfStream* Decrypting(CPdfStream* raw, const CPdfObject& dict) const;

    void ReadLiteralString(CPdfObject& out);
    void ReadHexString(CPdfObject& out);
    void ReadNumber(int first, CPdfObject& out);
    void ReadName(CPdfObject& out);
    void ReadKeyword(int first, CPdfObject& out);

    // The next byte, and the one after it without taking it. Most sources
    // are windows of the file, read here without a virtual call a byte.
    int Get() { return m_file != nullptr ? m_file->GetChar() : m_source->GetChar(); }
    int Peek() { return m_file != nullptr ? m_file->PeekChar() : m_source->PeekChar(); }

    CPdfResolver* m_resolver;
    CPdfObject m_current;
    CPdfObject m_next;
    CPdfStream* m_source;
    CPdfFileStream* m_file;  // the same source, when it is a window of the file
    bool m_decodeStreams = true;
    const CPdfSecurityHandler* m_security = nullptr;
    int32_t m_objectNumber = 0;
    int32_t m_objectGeneration = 0;
    std::string m_token;  // reused token buffer
};
