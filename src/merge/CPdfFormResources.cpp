#include "merge/CPdfFormResources.h"

#include <algorithm>
#include <vector>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "merge/PdfFreeName.h"
#include "object/CPdfDictionary.h"
#include "text/CPdfTextLexer.h"
#include "text/CPdfValueWriter.h"
#include "base/PdfCharClass.h"

namespace {

// The decoded bytes of a name token ("/A#20B" gives "A B").
std::string DecodeName(const uint8_t* token, uint32_t length)
{
    std::string name;
    for (uint32_t i = 1; i < length; ++i) {
        if (token[i] == '#' && i + 2 < length) {
            const int high = pdfchar::HexValue(token[i + 1]), low = pdfchar::HexValue(token[i + 2]);
            if (high >= 0 && low >= 0) {
                name.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        name.push_back(static_cast<char>(token[i]));
    }
    return name;
}

}  // namespace

CPdfFormResources::Category& CPdfFormResources::CategoryNamed(const std::string& name)
{
    for (Category& c : m_categories)
        if (c.name == name)
            return c;
    m_categories.emplace_back();
    m_categories.back().name = name;
    return m_categories.back();
}

void CPdfFormResources::Join(size_t part, const CPdfDictionary& form, Renames& renames)
{
    CPdfObject dr;
    form.Lookup("DR", dr);
    if (dr.GetKind() != OBJ_DICTIONARY)
        return;
    const CPdfDictionary& resources = *dr.GetDictionary();
    resources.ForEachRaw([&](const std::string& key, const CPdfObject& raw) {
        CPdfObject value;
        resources.Lookup(key.c_str(), value);
        const bool isNew = std::none_of(m_categories.begin(), m_categories.end(),
                                        [&](const Category& c) { return c.name == key; });
        Category& category = CategoryNamed(key);
        if (value.GetKind() != OBJ_DICTIONARY || !category.isDictionary) {
            // Not a name-to-resource map (a /ProcSet array): the first
            // input's value stands for all.
            if (isNew) {
                category.isDictionary = false;
                category.whole = raw;
                category.wholePart = part;
            }
            return;
        }
        const CPdfDictionary& entries = *value.GetDictionary();
        entries.ForEachRaw([&](const std::string& name, const CPdfObject& resource) {
            std::string written = name;
            if (category.names.count(name) != 0) {
                // Taken by an earlier input: whether both name the same
                // resource is only known once sharing is decided, after the
                // appearance strings that use the name have been planned.
                written = freename::Find(name, part + 1, [&](const std::string& candidate) {
                    return category.names.count(candidate) != 0 || entries.Has(candidate.c_str());
                });
                renames[key][name] = written;
            }
            category.names.insert(written);
            category.entries.push_back({part, written, resource});
        });
    });
}

void CPdfFormResources::ExtendFieldResources(CPdfMergePlan& plan, size_t part, int32_t number,
                                             const CPdfDictionary& field, const Renames& renames,
                                             std::set<std::pair<int32_t, std::string>>& done)
{
    CPdfObject raw, dr;
    field.LookupRaw("DR", raw);
    field.Lookup("DR", dr);
    if (dr.GetKind() != OBJ_DICTIONARY)
        return;
    const CPdfDictionary& resources = *dr.GetDictionary();
    const int32_t tableSize = plan.GetParts()[part].GetTableSize();
    // Edits are written before sharing is decided: what they name keeps
    // its own copy.
    const CPdfValueWriter writer([&plan, part, tableSize](int64_t n) -> objecttext::Target {
        if (n <= 0 || n >= tableSize)
            return {-1};
        return {plan.OutputNumber(part, static_cast<int32_t>(n))};
    });
    // The text of dict with the entries added.
    const auto extendedText = [&writer](const CPdfDictionary& dict,
                                        const std::vector<std::pair<std::string, CPdfObject>>& added) {
        std::string text = "<<";
        dict.ForEachRaw([&](const std::string& key, const CPdfObject& value) {
            if (value.GetKind() == OBJ_NULL)
                return;
            CPdfValueWriter::WriteName(key, text);
            writer.Write(value, text);
        });
        for (const auto& [name, value] : added) {
            CPdfValueWriter::WriteName(name, text);
            writer.Write(value, text);
        }
        return text + ">>";
    };
    std::map<std::string, std::string> rewritten;  // direct categories of a direct /DR
    for (const auto& [category, names] : renames) {
        CPdfObject categoryRaw, value;
        resources.LookupRaw(category.c_str(), categoryRaw);
        resources.Lookup(category.c_str(), value);
        if (value.GetKind() != OBJ_DICTIONARY)
            continue;
        const CPdfDictionary& entries = *value.GetDictionary();
        std::vector<std::pair<std::string, CPdfObject>> added;
        for (const auto& [old, renamed] : names) {
            CPdfObject resource;
            entries.LookupRaw(old.c_str(), resource);
            if (resource.GetKind() != OBJ_NULL && !entries.Has(renamed.c_str()))
                added.push_back({renamed, std::move(resource)});
        }
        if (added.empty())
            continue;
        if (categoryRaw.GetKind() == OBJ_REFERENCE) {
            // A resource dictionary of its own, often shared by every field.
            if (!done.insert({categoryRaw.GetRefNum(), std::string()}).second)
                continue;
            for (const auto& [name, resource] : added) {
                std::string key;
                CPdfValueWriter::WriteName(name, key);
                plan.SetKey(part, categoryRaw.GetRefNum(), key.c_str(), writer.ToText(resource));
            }
        } else if (raw.GetKind() == OBJ_REFERENCE) {
            if (done.insert({raw.GetRefNum(), category}).second) {
                std::string key;
                CPdfValueWriter::WriteName(category, key);
                plan.SetKey(part, raw.GetRefNum(), key.c_str(), extendedText(entries, added));
            }
        } else {
            rewritten[category] = extendedText(entries, added);
        }
    }
    if (rewritten.empty())
        return;
    std::string text = "<<";
    resources.ForEachRaw([&](const std::string& key, const CPdfObject& value) {
        if (value.GetKind() == OBJ_NULL)
            return;
        CPdfValueWriter::WriteName(key, text);
        const auto it = rewritten.find(key);
        if (it != rewritten.end())
            text += it->second;
        else
            writer.Write(value, text);
    });
    plan.SetKey(part, number, "/DR", text + ">>");
}

void CPdfFormResources::Write(const CPdfMergeOutput& output, std::string& body) const
{
    if (m_categories.empty())
        return;
    body += "/DR<<";
    for (const Category& category : m_categories) {
        CPdfValueWriter::WriteName(category.name, body);
        if (!category.isDictionary) {
            output.WriterFor(category.wholePart).Write(category.whole, body);
            continue;
        }
        body += "<<";
        for (const Resource& resource : category.entries) {
            CPdfValueWriter::WriteName(resource.name, body);
            output.WriterFor(resource.part).Write(resource.value, body);
        }
        body += ">>";
    }
    body += ">>";
}

bool CPdfFormResources::RenameInAppearance(const std::string& da, const Renames& renames, std::string& out)
{
    // The operators of an appearance string that take a resource name, and
    // the category of /DR the name is looked up in.
    static const struct {
        const char* op;
        const char* category;
    } kOperators[] = {{"Tf", "Font"},        {"cs", "ColorSpace"}, {"CS", "ColorSpace"}, {"scn", "Pattern"},
                      {"SCN", "Pattern"},    {"gs", "ExtGState"},  {"Do", "XObject"},    {"sh", "Shading"}};
    const uint8_t* text = reinterpret_cast<const uint8_t*>(da.data());
    CPdfTextLexer lexer(text, static_cast<uint32_t>(da.size()));
    std::vector<TextToken> names;  // name operands since the last operator
    std::string result;
    uint32_t copied = 0;
    bool changed = false;
    TextToken token;
    while (lexer.Next(token)) {
        if (token.kind == ETextToken::Name) {
            names.push_back(token);
            continue;
        }
        if (token.kind != ETextToken::Keyword)
            continue;
        const std::map<std::string, std::string>* map = nullptr;
        for (const auto& o : kOperators) {
            if (lexer.Is(token, o.op)) {
                const auto it = renames.find(o.category);
                map = it == renames.end() ? nullptr : &it->second;
                break;
            }
        }
        for (const TextToken& name : names) {
            if (map == nullptr)
                break;
            const auto it = map->find(DecodeName(text + name.start, name.end - name.start));
            if (it == map->end())
                continue;
            result.append(da, copied, name.start - copied);
            CPdfValueWriter::WriteName(it->second, result);
            copied = name.end;
            changed = true;
        }
        names.clear();
    }
    if (!changed)
        return false;
    result.append(da, copied, std::string::npos);
    out.swap(result);
    return true;
}
