#include "merge/CPdfMergePlan.h"

#include "copy/CPdfNumbering.h"
#include "merge/CPdfTextTransform.h"
#include "text/CPdfTextEdit.h"

CPdfMergePlan::CPdfMergePlan(std::vector<CPdfMergePart> parts, CPdfNumbering& numbering)
    : m_parts(std::move(parts)), m_numbering(numbering)
{
    m_dropped.resize(m_parts.size());
    m_keptOwn.resize(m_parts.size());
    m_transforms.resize(m_parts.size());
    m_untransformed.resize(m_parts.size());
}

bool CPdfMergePlan::Flag(const std::vector<std::vector<uint8_t>>& flags, size_t part, int32_t number) const
{
    return part < flags.size() && number >= 0 && static_cast<size_t>(number) < flags[part].size() &&
           flags[part][static_cast<size_t>(number)] != 0;
}

void CPdfMergePlan::SetFlag(std::vector<std::vector<uint8_t>>& flags, size_t part, int32_t number)
{
    if (part >= flags.size() || number < 0 || number >= m_parts[part].GetTableSize())
        return;
    if (flags[part].empty())
        flags[part].assign(static_cast<size_t>(m_parts[part].GetTableSize()), 0);
    flags[part][static_cast<size_t>(number)] = 1;
}

void CPdfMergePlan::SetKey(size_t part, int32_t number, const char* key, const std::string& value)
{
    m_edits[KeyOf(part, number)].push_back({Edit::kSet, key, value});
}

void CPdfMergePlan::RemoveKey(size_t part, int32_t number, const char* key)
{
    m_edits[KeyOf(part, number)].push_back({Edit::kRemove, key, std::string()});
}

void CPdfMergePlan::AppendToArray(size_t part, int32_t number, const char* key, const std::string& element)
{
    m_edits[KeyOf(part, number)].push_back({Edit::kAppend, key ? key : "", element});
}

bool CPdfMergePlan::HasEdits(size_t part, int32_t number) const
{
    return m_edits.count(KeyOf(part, number)) != 0;
}

bool CPdfMergePlan::ApplyEdits(size_t part, int32_t number, const uint8_t* text, uint32_t length, uint32_t limit,
                               std::string& out) const
{
    const auto it = m_edits.find(KeyOf(part, number));
    if (it == m_edits.end())
        return false;
    CPdfTextEdit edit(text, length, limit);
    for (const Edit& e : it->second) {
        switch (e.kind) {
        case Edit::kSet:
            edit.SetKey(e.key.c_str(), e.value);
            break;
        case Edit::kRemove:
            edit.RemoveKey(e.key.c_str());
            break;
        case Edit::kAppend:
            edit.AppendToArray(e.key.empty() ? nullptr : e.key.c_str(), e.value);
            break;
        }
    }
    edit.Apply(out);
    return true;
}

void CPdfMergePlan::Drop(size_t part, int32_t number)
{
    SetFlag(m_dropped, part, number);
}

bool CPdfMergePlan::IsDropped(size_t part, int32_t number) const
{
    return Flag(m_dropped, part, number);
}

void CPdfMergePlan::KeepOwn(size_t part, int32_t number)
{
    SetFlag(m_keptOwn, part, number);
}

bool CPdfMergePlan::IsKeptOwn(size_t part, int32_t number) const
{
    return Flag(m_keptOwn, part, number);
}

int64_t CPdfMergePlan::OutputNumber(size_t part, int32_t number)
{
    if (part > 0)
        KeepOwn(part, number);
    return m_numbering.OutputNumber(part, number);
}

objecttext::Target CPdfMergePlan::OutputTarget(size_t part, int64_t number)
{
    const objecttext::Target target = m_numbering.PlannedTarget(part, number);
    if (part > 0 && target.number >= 0)
        KeepOwn(part, static_cast<int32_t>(number));
    return target;
}

std::string CPdfMergePlan::OutputReference(size_t part, int32_t number)
{
    return CPdfTextEdit::Reference(OutputNumber(part, number), m_numbering.OutputGeneration(part, number));
}

int64_t CPdfMergePlan::NewObject()
{
    return m_numbering.NewObject();
}

void CPdfMergePlan::AddTransform(size_t part, const CPdfTextTransform* transform)
{
    if (part < m_transforms.size())
        m_transforms[part].push_back(transform);
}

bool CPdfMergePlan::Transform(size_t part, int32_t number, const uint8_t* text, uint32_t length, std::string& out)
{
    if (part >= m_transforms.size() || m_transforms[part].empty() || Flag(m_untransformed, part, number))
        return false;
    bool changed = false;
    std::string current, next;
    for (const CPdfTextTransform* t : m_transforms[part]) {
        const uint8_t* in = changed ? reinterpret_cast<const uint8_t*>(current.data()) : text;
        const uint32_t n = changed ? static_cast<uint32_t>(current.size()) : length;
        if (t->Transform(in, n, next)) {
            current.swap(next);
            changed = true;
        }
    }
    if (changed)
        out.swap(current);
    else
        SetFlag(m_untransformed, part, number);
    return changed;
}
