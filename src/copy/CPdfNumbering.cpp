#include "copy/CPdfNumbering.h"

#include <cassert>

void CPdfNumbering::AddInput(const std::vector<XRefEntry>& entries)
{
    assert(m_dangling < 0);
    const int64_t offset = m_inputs.empty() ? 0 : m_next - 1;
    m_inputs.push_back({&entries, offset, {}});
    m_next = offset + static_cast<int64_t>(entries.size());
}

int32_t CPdfNumbering::OutputGeneration(size_t part, int64_t number) const
{
    const std::vector<XRefEntry>& entries = *m_inputs[part].entries;
    if (number < 0 || static_cast<size_t>(number) >= entries.size())
        return 0;
    const XRefEntry& entry = entries[static_cast<size_t>(number)];
    return entry.type == 1 ? entry.generation : 0;
}

int64_t CPdfNumbering::NewObject()
{
    assert(m_dangling < 0);
    return m_next++;
}

void CPdfNumbering::SetDuplicates(size_t part, std::vector<CPdfDuplicateMatcher::Entry> duplicates)
{
    m_inputs[part].duplicates = std::move(duplicates);
}

bool CPdfNumbering::IsShared(size_t part, int32_t number) const
{
    const auto& duplicates = m_inputs[part].duplicates;
    return number >= 0 && static_cast<size_t>(number) < duplicates.size() &&
           duplicates[static_cast<size_t>(number)].matched;
}

objecttext::Target CPdfNumbering::PlannedTarget(size_t part, int64_t number) const
{
    // A reference that names nothing in its input names nothing here.
    if (number <= 0 || number >= GetTableSize(part))
        return {-1};
    if (part == 0)
        return {number};
    return {OutputNumber(part, number), OutputGeneration(part, number)};
}

objecttext::Target CPdfNumbering::OutputTarget(size_t part, int64_t number) const
{
    const Input& input = m_inputs[part];
    // Object 0 is never an object: such a reference stays as it was rather
    // than naming one of the first document's objects.
    if (number <= 0 && part > 0)
        return {-1};
    // A number beyond its own table named nothing there and names nothing
    // here: the one free entry kept for that.
    if (number <= 0 || number >= GetTableSize(part)) {
        m_danglingUsed = true;
        return {m_dangling, 0};
    }
    if (number < static_cast<int64_t>(input.duplicates.size())) {
        const CPdfDuplicateMatcher::Entry& d = input.duplicates[static_cast<size_t>(number)];
        // Shared: the earlier object, under its own generation.
        if (d.matched || d.target != number || d.part != static_cast<int32_t>(part)) {
            const size_t target = static_cast<size_t>(d.part);
            return {OutputNumber(target, d.target), OutputGeneration(target, d.target)};
        }
    }
    return {OutputNumber(part, number)};
}
