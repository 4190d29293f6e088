#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "object/CPdfObject.h"
#include "object/CPdfShared.h"

// The entries of one PDF dictionary, shared by reference count. Keys are kept
// in unsigned byte-wise order (the order GetKey hands them out, visible in
// the written trailer); the first value given for a key wins. Borrows the
// resolver of the document it was read from.
class CPdfDictionary : public CPdfShared {
public:
    explicit CPdfDictionary(CPdfResolver* resolver);

    // Stores a copy of value under key unless the key is already present.
    void Add(const char* key, const CPdfObject& value);
    // The same, taking the value over instead of copying it.
    void Add(std::string&& key, CPdfObject&& value);
    // Absent key: OBJ_NULL. A stored reference is resolved one level.
    void Lookup(const char* key, CPdfObject& out) const;
    // As Lookup, but a stored reference stays a reference.
    void LookupRaw(const char* key, CPdfObject& out) const;
    // True when /Type, not dereferenced, is the name typeName.
    bool IsType(const char* typeName) const;
    // The key is there with a value other than null, as written.
    bool Has(const char* key) const;
    // The key's value, dereferenced, is the name name.
    bool IsName(const char* key, const char* name) const;
    // The key's value, dereferenced, is an array.
    bool HasArray(const char* key) const;
    // The key's value, dereferenced, as an integer; fallback for any other.
    int64_t GetInteger(const char* key, int64_t fallback) const;
    int32_t GetSize() const;
    std::string GetKey(int32_t index) const;
    // Calls f(key, value as written) for every entry in key order; linear,
    // where walking by GetKey would be quadratic in large dictionaries.
    template <typename F>
    void ForEachRaw(F&& f) const
    {
        for (const auto& [key, value] : m_entries)
            f(key, value);
    }
    CPdfResolver* GetResolver() const { return m_resolver; }
    // A trailer is parsed before its document's table exists; once the table
    // is loaded, the trailer's lookups resolve through it.
    void SetResolver(CPdfResolver* resolver) { m_resolver = resolver; }

private:
    ~CPdfDictionary() override;

    // Unsigned byte-wise order; a prefix sorts before the longer key.
    struct KeyLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    CPdfResolver* m_resolver;
    std::map<std::string, CPdfObject, KeyLess> m_entries;
};
