#pragma once
// Shared by the object-model and reader tests: a resolver serving objects from
// a map and counting its calls, one-line parses of PDF text, and a compact
// text form of values so that a whole parse fits in one assertion.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfResolver.h"
#include "object/CPdfString.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"

struct MapResolver : CPdfResolver {
    void FetchObject(int32_t number, int32_t generation, CPdfObject& out) override
    {
        ++calls;
        auto it = objects.find({number, generation});
        it == objects.end() ? out.SetNull() : out.CopyFrom(it->second);
    }
    std::map<std::pair<int32_t, int32_t>, CPdfObject> objects;
    int calls = 0;
};

// Borrows the bytes: they must outlive the stream.
inline CPdfStream* NewMemoryStream(const std::string& bytes)
{
    return new CPdfMemoryStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Everything s still delivers (at most 4 MiB).
inline std::string ReadAll(CPdfStream* s)
{
    std::string out;
    for (int c = s->GetChar(); c >= 0 && out.size() < (4u << 20); c = s->GetChar())
        out += static_cast<char>(c);
    return out;
}

// The first object of text, which is read only during the call.
inline CPdfObject ParseOne(const std::string& text, CPdfResolver* resolver = nullptr)
{
    CPdfObject o;
    CPdfParser(resolver, NewMemoryStream(text)).ParseObject(o);
    return o;
}

// The value at path below o: dictionary keys and array indexes joined by
// "/" ("Names/Dests/Kids/0"), references followed where the containers have
// a resolver; null where there is no such value.
inline CPdfObject At(const CPdfObject& o, const std::string& path)
{
    CPdfObject value(o), next;
    for (size_t start = 0, end = 0; end < path.size(); start = end + 1, value = std::move(next)) {
        end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        const bool index = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
        if (value.GetKind() == OBJ_DICTIONARY)
            value.GetDictionary()->Lookup(part.c_str(), next);
        else if (value.GetKind() == OBJ_ARRAY && index)
            value.GetArray()->Get(std::stoi(part), next);
        else
            next.SetNull();
    }
    return value;
}

// i:5 r:0.5 (literal) <hex> /Name k:keyword 7 0 R [...] <</Key ...>>; string
// bytes outside printable ASCII, and backslashes, as \xNN.
inline std::string Describe(const CPdfObject& o)
{
    char buf[32];
    std::string out;
    CPdfObject e;
    switch (o.GetKind()) {
    case OBJ_BOOL: return o.GetBool() ? "true" : "false";
    case OBJ_INTEGER: return "i:" + std::to_string(o.GetInt());
    case OBJ_REAL: return std::snprintf(buf, sizeof buf, "r:%g", o.GetReal()), buf;
    case OBJ_NAME: return std::string("/") + o.GetText();
    case OBJ_KEYWORD: return std::string("k:") + o.GetText();
    case OBJ_REFERENCE: return std::to_string(o.GetRefNum()) + " " + std::to_string(o.GetRefGen()) + " R";
    case OBJ_STRING:
        for (uint32_t i = 0; i < o.GetString()->GetLength(); ++i) {
            const uint8_t c = o.GetString()->GetData()[i];
            out += (std::snprintf(buf, sizeof buf, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c), buf);
        }
        return o.GetString()->IsLiteral() ? "(" + out + ")" : "<" + out + ">";
    case OBJ_ARRAY:
        for (int32_t i = 0; i < o.GetArray()->GetSize(); ++i)
            out += (i ? " " : "") + (o.GetArray()->GetRaw(i, e), Describe(e));
        return "[" + out + "]";
    case OBJ_DICTIONARY:
        for (int32_t i = 0; i < o.GetDictionary()->GetSize(); ++i) {
            const std::string key = o.GetDictionary()->GetKey(i);
            out += (i ? " /" : "/") + key + " " + (o.GetDictionary()->LookupRaw(key.c_str(), e), Describe(e));
        }
        return "<<" + out + ">>";
    case OBJ_NULL: return "null";
    default: return o.GetKind() == OBJ_ERROR ? "error" : "kind " + std::to_string(o.GetKind());
    }
}

// A value as text for comparisons: a string's bytes, a name with its "/",
// an integer in decimal, "" for null, anything else as Describe gives it.
inline std::string Text(const CPdfObject& o)
{
    switch (o.GetKind()) {
    case OBJ_STRING: return o.GetString()->GetValue();
    case OBJ_NAME: return std::string("/") + o.GetText();
    case OBJ_INTEGER: return std::to_string(o.GetInt());
    case OBJ_NULL: return "";
    default: return Describe(o);
    }
}

// The objects of text up to OBJ_EOF, described and joined by single spaces.
inline std::string DescribeAll(const std::string& text, CPdfResolver* resolver = nullptr)
{
    CPdfParser parser(resolver, NewMemoryStream(text));
    std::string out;
    for (CPdfObject o; out.size() < 100000 && (parser.ParseObject(o), o.GetKind() != OBJ_EOF);)
        out += (out.empty() ? "" : " ") + Describe(o);
    return out;
}
