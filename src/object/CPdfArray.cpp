#include "object/CPdfArray.h"

CPdfArray::CPdfArray(CPdfResolver* resolver) : m_resolver(resolver) {}

CPdfArray::~CPdfArray() = default;

void CPdfArray::Append(const CPdfObject& value)
{
    m_elements.emplace_back(value);
}

void CPdfArray::Append(CPdfObject&& value)
{
    m_elements.push_back(std::move(value));
}

int32_t CPdfArray::GetSize() const
{
    return static_cast<int32_t>(m_elements.size());
}

void CPdfArray::Get(int32_t index, CPdfObject& out) const
{
    if (index < 0 || index >= GetSize()) {
        out.SetNull();
        return;
    }
    m_elements[static_cast<size_t>(index)].Fetch(m_resolver, out);
}

void CPdfArray::GetRaw(int32_t index, CPdfObject& out) const
{
    if (index < 0 || index >= GetSize()) {
        out.SetNull();
        return;
    }
    out.CopyFrom(m_elements[static_cast<size_t>(index)]);
}
