#include "object/CPdfDictionary.h"

#include <cstring>

CPdfDictionary::CPdfDictionary(CPdfResolver* resolver) : m_resolver(resolver) {}

CPdfDictionary::~CPdfDictionary() = default;

bool CPdfDictionary::KeyLess::operator()(const std::string& a, const std::string& b) const
{
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    const int c = std::memcmp(a.data(), b.data(), common);  // memcmp compares as unsigned char
    if (c != 0)
        return c < 0;
    return a.size() < b.size();
}

void CPdfDictionary::Add(const char* key, const CPdfObject& value)
{
    auto [it, inserted] = m_entries.try_emplace(key);
    if (inserted)
        it->second.CopyFrom(value);
}

void CPdfDictionary::Add(std::string&& key, CPdfObject&& value)
{
    m_entries.try_emplace(std::move(key), std::move(value));
}

void CPdfDictionary::Lookup(const char* key, CPdfObject& out) const
{
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        out.SetNull();
        return;
    }
    it->second.Fetch(m_resolver, out);
}

void CPdfDictionary::LookupRaw(const char* key, CPdfObject& out) const
{
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        out.SetNull();
        return;
    }
    out.CopyFrom(it->second);
}

bool CPdfDictionary::IsType(const char* typeName) const
{
    auto it = m_entries.find("Type");
    return it != m_entries.end() && it->second.GetKind() == OBJ_NAME &&
           std::strcmp(it->second.GetText(), typeName) == 0;
}

bool CPdfDictionary::Has(const char* key) const
{
    auto it = m_entries.find(key);
    return it != m_entries.end() && it->second.GetKind() != OBJ_NULL;
}

bool CPdfDictionary::IsName(const char* key, const char* name) const
{
    CPdfObject value;
    Lookup(key, value);
    return value.GetKind() == OBJ_NAME && std::strcmp(value.GetText(), name) == 0;
}

bool CPdfDictionary::HasArray(const char* key) const
{
    CPdfObject value;
    Lookup(key, value);
    return value.GetKind() == OBJ_ARRAY;
}

int64_t CPdfDictionary::GetInteger(const char* key, int64_t fallback) const
{
    CPdfObject value;
    Lookup(key, value);
    return value.GetKind() == OBJ_INTEGER ? value.GetInt64() : fallback;
}

int32_t CPdfDictionary::GetSize() const
{
    return static_cast<int32_t>(m_entries.size());
}

std::string CPdfDictionary::GetKey(int32_t index) const
{
    auto it = m_entries.begin();
    for (int32_t i = 0; i < index && it != m_entries.end(); ++i)
        ++it;
    return it == m_entries.end() ? std::string() : it->first;
}
