#include "reader/CPdfParser.h"

#include <cstdlib>
#include <cstring>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "reader/CPdfDecryptStream.h"
#include "reader/CPdfFileStream.h"
#include "reader/CPdfSecurityHandler.h"
#include "object/CPdfStream.h"
#include "object/CPdfStreamRef.h"
#include "base/PdfCharClass.h"
#include "reader/PdfFilters.h"

using namespace pdfchar;

CPdfParser::CPdfParser(CPdfResolver* resolver, CPdfStream* source)
    : m_resolver(resolver), m_source(source), m_file(dynamic_cast<CPdfFileStream*>(source))
{
    NextToken(m_current);
    NextToken(m_next);
}

CPdfParser::~CPdfParser()
{
    m_source->Release();
    m_current.Clear();
    m_next.Clear();
}

void CPdfParser::Advance()
{
    m_current = std::move(m_next);
    NextToken(m_next);
}

void CPdfParser::ParseObject(CPdfObject& out)
{
    ParseObjectAt(out, 0);
}

void CPdfParser::ParseObjectAt(CPdfObject& out, int depth)
{
    out.Clear();
    if (m_current.IsKeyword("[")) {
        if (depth >= kMaxDepth)
            throw CPdfException(msg::kNestedTooDeep);
        Advance();
        CPdfArray* array = out.SetNewArray(m_resolver);
        // Data that ends inside an array gives the elements read so far.
        while (!m_current.IsKeyword("]") && m_current.GetKind() != OBJ_EOF) {
            CPdfObject element;
            ParseObjectAt(element, depth + 1);
            array->Append(std::move(element));
        }
        if (m_current.IsKeyword("]"))
            Advance();
        return;
    }
    if (m_current.IsKeyword("<<")) {
        if (depth >= kMaxDepth)
            throw CPdfException(msg::kNestedTooDeep);
        Advance();
        CPdfDictionary* dict = out.SetNewDictionary(m_resolver);
        // Data that ends inside a dictionary gives the entries read so far.
        while (!m_current.IsKeyword(">>") && m_current.GetKind() != OBJ_EOF) {
            if (m_current.GetKind() != OBJ_NAME) {
                Advance();  // not a key: dropped
                continue;
            }
            std::string key = m_current.GetText();
            Advance();
            if (m_current.GetKind() == OBJ_ERROR || m_current.GetKind() == OBJ_EOF)
                continue;  // the key goes; an error token is dropped by the next pass
            CPdfObject value;
            ParseObjectAt(value, depth + 1);
            dict->Add(std::move(key), std::move(value));
        }
        if (m_current.IsKeyword(">>")) {
            if (m_next.IsKeyword("stream"))
                MakeStream(out);
            else
                Advance();
        }
        return;
    }
    if (m_current.GetKind() == OBJ_INTEGER) {
        const int64_t number = m_current.GetInt64();
        Advance();
        if (m_current.GetKind() == OBJ_INTEGER && m_next.IsKeyword("R")) {
            out.SetReference(static_cast<int32_t>(number), m_current.GetInt());
            Advance();
            Advance();
        } else {
            out.SetInt64(number);
        }
        return;
    }
    out = std::move(m_current);
    if (out.GetKind() == OBJ_EOF) {
        m_current.SetEof();
        return;
    }
    if (m_security != nullptr && out.GetKind() == OBJ_STRING)
        DecryptString(out);
    Advance();
}

void CPdfParser::DecryptString(CPdfObject& value) const
{
    const std::string plain = m_security->DecryptString(m_objectNumber, m_objectGeneration, value.GetString()->GetValue());
    const CPdfString decrypted(reinterpret_cast<const uint8_t*>(plain.data()), static_cast<uint32_t>(plain.size()));
    value.Clear();
    value.SetString(decrypted);
}

CPdfStream* CPdfParser::Decrypting(CPdfStream* raw, const CPdfObject& dict) const
{
    // Cross-reference streams are never encrypted; metadata may be left in
    // the clear so that tools can read it without the key.
    const CPdfDictionary* d = dict.GetDictionary();
    if (d->IsType("XRef") || (d->IsType("Metadata") && !m_security->EncryptsMetadata()))
        return raw;
    const CPdfDecryptor decryptor =
        m_security->CreateDecryptor(CPdfSecurityHandler::DATA_STREAM, m_objectNumber, m_objectGeneration);
    if (decryptor.GetCipher() == CPdfDecryptor::CIPHER_IDENTITY)
        return raw;
    return new CPdfDecryptStream(raw, decryptor);
}

void CPdfParser::MakeStream(CPdfObject& out)
{
    // The rest of the line after the keyword "stream" is dropped.
    for (;;) {
        const int c = Get();
        if (c < 0 || c == '\n')
            break;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            break;
        }
    }
    const int64_t start = m_source->GetPosition();
    CPdfObject length;
    out.GetDictionary()->Lookup("Length", length);
    if (length.GetKind() != OBJ_INTEGER) {
        out.SetError();
        return;
    }
    CPdfStreamRef sub(m_source->CreateSubStream(start, length.GetInt(), out));
    if (!sub) {
        out.SetError();
        return;
    }
    if (length.GetInt() == 0) {
        if (auto* window = dynamic_cast<CPdfFileStream*>(sub.Get()))
            window->MarkEmpty();
    }
    CPdfStreamRef decoded;
    if (!m_decodeStreams) {
        decoded = std::move(sub);
    } else {
        if (m_security != nullptr)
            sub.Reset(Decrypting(sub.Detach(), out));
        CPdfStream* filtered = ApplyFilters(sub.Get(), out);
        if (filtered == sub.Get())
            decoded = std::move(sub);
        else if (filtered != nullptr) {
            sub.Detach();  // the decoding stream took over its count
            decoded.Reset(filtered);
        }
        // an unsupported filter: sub is released here, the value is OBJ_ERROR
    }
    int64_t end = start + length.GetInt();
    if (end < 0)
        end = 0;
    m_source->Seek(end, CPdfStream::SEEK_FROM_BEGIN);
    Advance();
    Advance();
    if (!m_current.IsKeyword("endstream"))
        throw CPdfException(msg::kMissingEndstream);
    Advance();
    out.Clear();
    if (decoded)
        out.SetStream(decoded.Get());
    else
        out.SetError();
}

void CPdfParser::NextToken(CPdfObject& out)
{
    out.Clear();
    int c;
    for (;;) {
        c = Get();
        if (c < 0) {
            out.SetEof();
            return;
        }
        if (c == '%') {
            do {
                c = Get();
            } while (c >= 0 && c != '\r' && c != '\n');
            if (c < 0) {
                out.SetEof();
                return;
            }
            continue;
        }
        if (!IsWhite(c))
            break;
    }
    switch (c) {
    case '(':
        ReadLiteralString(out);
        return;
    case '/':
        ReadName(out);
        return;
    case '<':
        if (Peek() == '<') {
            Get();
            out.SetKeyword("<<");
        } else {
            ReadHexString(out);
        }
        return;
    case '>':
        if (Peek() == '>') {
            Get();
            out.SetKeyword(">>");
        } else {
            out.SetError();
        }
        return;
    case ')':
    case '{':
    case '}':
        out.SetError();
        return;
    case '[':
        out.SetKeyword("[");
        return;
    case ']':
        out.SetKeyword("]");
        return;
    default:
        break;
    }
    if (IsDigit(c) || c == '-' || c == '.')
        ReadNumber(c, out);
    else
        ReadKeyword(c, out);
}

void CPdfParser::ReadLiteralString(CPdfObject& out)
{
    m_token.clear();
    int depth = 1;
    for (;;) {
        int c = Get();
        if (c < 0)
            break;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                break;
        } else if (c == '\\') {
            c = Get();
            if (c < 0)
                break;
            switch (c) {
            case '\n':
                continue;
            case '\r':
                if (Peek() == '\n')
                    Get();
                continue;
            case 'n':
                c = 0x0A;
                break;
            case 'r':
                c = 0x0D;
                break;
            case 't':
                c = 0x09;
                break;
            case 'b':
                c = 0x08;
                break;
            case 'f':
                c = 0x0C;
                break;
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0';
                    for (int digits = 1; digits < 3; ++digits) {
                        const int d = Peek();
                        if (d < '0' || d > '7')
                            break;
                        Get();
                        value = value * 8 + (d - '0');
                    }
                    c = value & 0xFF;
                }
                break;
            }
        }
        m_token.push_back(static_cast<char>(c));
    }
    CPdfString string(reinterpret_cast<const uint8_t*>(m_token.data()), static_cast<uint32_t>(m_token.size()));
    string.SetLiteral(true);
    out.SetString(string);
}

void CPdfParser::ReadHexString(CPdfObject& out)
{
    m_token.clear();
    for (;;) {
        const int c = Get();
        if (c < 0 || c == '>')
            break;
        m_token.push_back(static_cast<char>(c));
    }
    CPdfString string(reinterpret_cast<const uint8_t*>(m_token.data()), static_cast<uint32_t>(m_token.size()));
    string.SetLiteral(false);
    out.SetString(string);
}

void CPdfParser::ReadNumber(int first, CPdfObject& out)
{
    m_token.assign(1, static_cast<char>(first));
    bool real = first == '.';
    for (;;) {
        const int c = Peek();
        if (!IsDigit(c) && c != '.')
            break;
        Get();
        real = real || c == '.';
        m_token.push_back(static_cast<char>(c));
    }
    if (real) {
        out.SetReal(std::strtod(m_token.c_str(), nullptr));
        return;
    }
    // Kept whole as far as 64 bits hold it, for offsets; as a PDF integer
    // (GetInt) it wraps modulo 2^32 like a 32-bit accumulation.
    uint64_t value = 0;
    size_t i = m_token[0] == '-' ? 1 : 0;
    for (; i < m_token.size(); ++i)
        value = value * 10u + static_cast<uint64_t>(m_token[i] - '0');
    if (m_token[0] == '-')
        value = 0u - value;
    out.SetInt64(static_cast<int64_t>(value));
}

void CPdfParser::ReadName(CPdfObject& out)
{
    m_token.clear();
    for (;;) {
        int c = Peek();
        if (!IsRegular(c))
            break;
        Get();
        if (c == '#') {
            const int high = HexValue(Peek());
            if (high >= 0) {
                Get();
                const int second = Get();
                const int low = HexValue(second);
                c = high * 16 + (low >= 0 ? low : 0);
                // A second byte that is not a hex digit is dropped.
            }
        }
        m_token.push_back(static_cast<char>(c));
    }
    // The name's text ends at its first zero byte (a decoded #00).
    out.SetName(m_token.c_str());
}

void CPdfParser::ReadKeyword(int first, CPdfObject& out)
{
    m_token.assign(1, static_cast<char>(first));
    while (IsRegular(Peek()))
        m_token.push_back(static_cast<char>(Get()));
    if (m_token == "true")
        out.SetBool(true);
    else if (m_token == "false")
        out.SetBool(false);
    else if (m_token == "null")
        out.SetNull();
    else
        out.SetKeyword(m_token.c_str());
}
