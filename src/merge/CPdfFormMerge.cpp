#include "merge/CPdfFormMerge.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfTextLexer.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "base/PdfCharClass.h"

namespace {

// The bytes of a string value; false for any other kind.
bool StringValue(const CPdfObject& value, std::string& out)
{
    if (value.GetKind() == OBJ_STRING) {
        out = value.GetString()->GetValue();
        return true;
    }
    if (value.GetKind() == OBJ_TEXT) {
        out = value.GetText();
        return true;
    }
    return false;
}

std::string StringText(const std::string& bytes)
{
    std::string text;
    CPdfValueWriter::WriteString(bytes, text);
    return text;
}

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

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

void CPdfFormMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    for (size_t k = 0; k < parts.size(); ++k) {
        Form form;
        form.part = k;
        parts[k].CatalogValue("AcroForm", form.dict);
        if (form.dict.GetKind() != OBJ_DICTIONARY)
            continue;
        CPdfObject flag;
        form.dict.GetDictionary()->Lookup("NeedAppearances", flag);
        form.asksForAppearances = flag.GetKind() == OBJ_BOOL && flag.GetBool();
        m_forms.push_back(std::move(form));
    }
    // Only the first document has a form (or none has): it stays as it was.
    if (m_forms.empty() || m_forms.back().part == 0) {
        m_forms.clear();
        return;
    }
    // The first form's document-level values are the joined form's.
    const CPdfDictionary& first = *m_forms.front().dict.GetDictionary();
    CPdfObject da;
    first.Lookup("DA", da);
    m_hasDa = StringValue(da, m_da);
    m_q = first.GetInteger("Q", 0);
    for (Form& form : m_forms) {
        ResourceRenames renames;
        JoinResources(form, renames);
        PlanFields(plan, form, renames);
    }
    // /NeedAppearances makes a reader draw every widget of the result anew,
    // a signed signature of another input too, which poppler then shows
    // blank. Where every form that asks for it brings an appearance for each
    // of its widgets, a reader shows those without the flag, so a signature
    // elsewhere wins; a widget drawn by nobody keeps the flag.
    bool asked = false, needed = false, signedElsewhere = false;
    for (const Form& form : m_forms) {
        asked = asked || form.asksForAppearances;
        needed = needed || (form.asksForAppearances && !form.drawsEveryWidget);
        signedElsewhere = signedElsewhere || (!form.asksForAppearances && form.hasSignature);
    }
    m_needAppearances = asked && (needed || !signedElsewhere);
    m_number = plan.NewObject();
    plan.SetKey(0, parts[0].catalog, "/AcroForm", CPdfTextEdit::Reference(m_number, 0));
}

CPdfFormMerge::Category& CPdfFormMerge::CategoryNamed(const std::string& name)
{
    for (Category& c : m_resources)
        if (c.name == name)
            return c;
    m_resources.emplace_back();
    m_resources.back().name = name;
    return m_resources.back();
}

void CPdfFormMerge::JoinResources(const Form& form, ResourceRenames& renames)
{
    CPdfObject dr;
    form.dict.GetDictionary()->Lookup("DR", dr);
    if (dr.GetKind() != OBJ_DICTIONARY)
        return;
    const CPdfDictionary& resources = *dr.GetDictionary();
    resources.ForEachRaw([&](const std::string& key, const CPdfObject& raw) {
        CPdfObject value;
        resources.Lookup(key.c_str(), value);
        const bool isNew = std::none_of(m_resources.begin(), m_resources.end(),
                                        [&](const Category& c) { return c.name == key; });
        Category& category = CategoryNamed(key);
        if (value.GetKind() != OBJ_DICTIONARY || !category.isDictionary) {
            // Not a name-to-resource map (a /ProcSet array): the first
            // input's value stands for all.
            if (isNew) {
                category.isDictionary = false;
                category.whole = raw;
                category.wholePart = form.part;
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
                written = FreeName(name, form.part + 1, [&](const std::string& candidate) {
                    return category.names.count(candidate) != 0 || entries.Has(candidate.c_str());
                });
                renames[key][name] = written;
            }
            category.names.insert(written);
            category.entries.push_back({form.part, written, resource});
        });
    });
}

void CPdfFormMerge::PlanFields(CPdfMergePlan& plan, Form& form, const ResourceRenames& renames)
{
    const size_t k = form.part;
    const CPdfMergePart& part = plan.GetParts()[k];
    const CPdfDictionary& dict = *form.dict.GetDictionary();
    CPdfObject fields;
    dict.Lookup("Fields", fields);
    if (fields.GetKind() != OBJ_ARRAY)
        return;

    // What this form gave the fields that state no /DA or /Q of their own,
    // and whether the joined form gives them something else.
    CPdfObject daValue;
    dict.Lookup("DA", daValue);
    std::string da, renamed;
    const bool hasDa = StringValue(daValue, da);
    if (hasDa && RenameResources(da, renames, renamed))
        da.swap(renamed);
    const bool writeDa = hasDa && (!m_hasDa || da != m_da);
    const int64_t q = dict.GetInteger("Q", 0);

    std::vector<int32_t> tops;
    const CPdfArray& array = *fields.GetArray();
    for (int32_t i = 0; i < array.GetSize(); ++i) {
        CPdfObject element;
        array.GetRaw(i, element);
        if (element.GetKind() == OBJ_REFERENCE)
            tops.push_back(element.GetRefNum());
    }

    // Every field and widget below the top-level fields, each once (a tree
    // that links back into itself ends there); the number of objects bounds
    // the walk. Named nodes reached through nameless ones only carry the
    // first part of their fully qualified names.
    std::vector<std::pair<int32_t, std::string>> named;
    std::unordered_set<int32_t> visited;
    std::set<std::pair<int32_t, std::string>> extended;
    struct Pending {
        int32_t number;
        bool belowName;  // below a named node
        bool signature;  // a signature field's, by its own /FT or a parent's
    };
    std::vector<Pending> stack;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it)
        stack.push_back({*it, false, false});
    while (!stack.empty()) {
        const auto [number, belowName, aboveSignature] = stack.back();
        stack.pop_back();
        if (number <= 0 || number >= part.GetTableSize() || !visited.insert(number).second)
            continue;
        CPdfObject node;
        part.Fetch(number, node);
        if (node.GetKind() != OBJ_DICTIONARY)
            continue;
        const CPdfDictionary& field = *node.GetDictionary();
        if (k > 0)
            plan.KeepOwn(k, number);
        const bool signature = field.IsName("FT", "Sig") || (aboveSignature && !field.Has("FT"));
        form.hasSignature = form.hasSignature || (signature && field.Has("V"));
        if (field.IsName("Subtype", "Widget")) {
            CPdfObject ap;
            field.Lookup("AP", ap);
            form.drawsEveryWidget = form.drawsEveryWidget && ap.GetKind() == OBJ_DICTIONARY && ap.GetDictionary()->Has("N");
        }
        CPdfObject title, appearance;
        field.Lookup("T", title);
        std::string name;
        const bool hasName = StringValue(title, name);
        if (hasName && !belowName)
            named.push_back({number, name});
        field.Lookup("DA", appearance);
        std::string ownDa;
        if (!renames.empty() && StringValue(appearance, ownDa) && RenameResources(ownDa, renames, renamed))
            plan.SetKey(k, number, "/DA", StringText(renamed));
        if (!renames.empty())
            ExtendOwnResources(plan, k, number, field, renames, extended);
        CPdfObject kids;
        field.Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY)
            continue;
        const CPdfArray& kidArray = *kids.GetArray();
        for (int32_t i = kidArray.GetSize() - 1; i >= 0; --i) {
            CPdfObject kid;
            kidArray.GetRaw(i, kid);
            if (kid.GetKind() == OBJ_REFERENCE)
                stack.push_back({kid.GetRefNum(), belowName || hasName, signature});
        }
    }

    // Top-level names an earlier input took: renamed, the same new name for
    // the same old one, so fields of this input that were one field stay one.
    std::unordered_set<std::string> own;
    for (const auto& [number, name] : named)
        own.insert(NameKey(name));
    std::unordered_map<std::string, std::string> newNames;  // by NameKey
    std::unordered_set<std::string> given;
    for (const auto& [number, name] : named) {
        const std::string key = NameKey(name);
        if (m_topNames.count(key) == 0)
            continue;
        auto it = newNames.find(key);
        if (it == newNames.end()) {
            const std::string free = FreeName(name, k + 1, [&](const std::string& candidate) {
                const std::string c = NameKey(candidate);
                return m_topNames.count(c) != 0 || own.count(c) != 0 || given.count(c) != 0;
            });
            given.insert(NameKey(free));
            it = newNames.emplace(key, free).first;
        }
        plan.SetKey(k, number, "/T", StringText(it->second));
    }
    for (const auto& [number, name] : named) {
        const auto it = newNames.find(NameKey(name));
        m_topNames.insert(it == newNames.end() ? NameKey(name) : NameKey(it->second));
    }

    // Inherited form-level values, written where the joined form's differ
    // (once per field, however often /Fields lists it).
    std::unordered_set<int32_t> written;
    for (int32_t number : tops) {
        if (visited.count(number) == 0 || !written.insert(number).second)
            continue;
        CPdfObject node;
        part.Fetch(number, node);
        if (node.GetKind() != OBJ_DICTIONARY)
            continue;
        if (writeDa && !node.GetDictionary()->Has("DA"))
            plan.SetKey(k, number, "/DA", StringText(da));
        if (q != m_q && !node.GetDictionary()->Has("Q"))
            plan.SetKey(k, number, "/Q", std::to_string(q));
    }
}

void CPdfFormMerge::ExtendOwnResources(CPdfMergePlan& plan, size_t part, int32_t number, const CPdfDictionary& field,
                                       const ResourceRenames& renames, std::set<std::pair<int32_t, std::string>>& done)
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

void CPdfFormMerge::Write(CPdfMergeOutput& output)
{
    if (m_number == 0)
        return;
    const Form& base = m_forms.front();
    const CPdfDictionary& first = *base.dict.GetDictionary();
    std::string body = "<<";

    body += "/Fields[";
    bool hasSigFlags = false, hasCo = false;
    int64_t sigFlags = 0;
    for (const Form& form : m_forms) {
        const CPdfDictionary& dict = *form.dict.GetDictionary();
        const CPdfValueWriter writer = output.WriterFor(form.part);
        CPdfObject fields, co;
        dict.Lookup("Fields", fields);
        if (fields.GetKind() == OBJ_ARRAY) {
            for (int32_t i = 0; i < fields.GetArray()->GetSize(); ++i) {
                CPdfObject element;
                fields.GetArray()->GetRaw(i, element);
                writer.Write(element, body);
            }
        }
        const int64_t flags = dict.GetInteger("SigFlags", -1);
        if (flags >= 0) {
            hasSigFlags = true;
            sigFlags |= flags;
        }
        dict.Lookup("CO", co);
        hasCo = hasCo || co.GetKind() == OBJ_ARRAY;
    }
    body += "]";

    if (hasCo) {
        body += "/CO[";
        for (const Form& form : m_forms) {
            const CPdfValueWriter writer = output.WriterFor(form.part);
            CPdfObject co;
            form.dict.GetDictionary()->Lookup("CO", co);
            for (int32_t i = 0; co.GetKind() == OBJ_ARRAY && i < co.GetArray()->GetSize(); ++i) {
                CPdfObject element;
                co.GetArray()->GetRaw(i, element);
                writer.Write(element, body);
            }
        }
        body += "]";
    }
    if (m_needAppearances)
        body += "/NeedAppearances true";
    if (hasSigFlags)
        body += "/SigFlags " + std::to_string(sigFlags);

    if (!m_resources.empty()) {
        body += "/DR<<";
        for (const Category& category : m_resources) {
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

    // The first form's other entries (/DA, /Q among them) as they were.
    const CPdfValueWriter writer = output.WriterFor(base.part);
    first.ForEachRaw([&](const std::string& key, const CPdfObject& value) {
        static const char* const kJoined[] = {"Fields", "CO", "NeedAppearances", "SigFlags", "DR", "XFA"};
        for (const char* joined : kJoined)
            if (key == joined)
                return;
        if (value.GetKind() == OBJ_NULL)
            return;
        CPdfValueWriter::WriteName(key, body);
        writer.Write(value, body);
    });
    if (!m_needAppearances && !base.asksForAppearances) {
        // A form that said false keeps saying so.
        CPdfObject flag;
        first.LookupRaw("NeedAppearances", flag);
        if (flag.GetKind() != OBJ_NULL) {
            body += "/NeedAppearances";
            writer.Write(flag, body);
        }
    }
    body += ">>";
    output.WriteNewObject(m_number, body);
    m_forms.clear();
    m_resources.clear();
}

bool CPdfFormMerge::RenameResources(const std::string& da, const ResourceRenames& renames, std::string& out)
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

std::string CPdfFormMerge::FreeName(const std::string& name, size_t ordinal,
                                    const std::function<bool(const std::string&)>& taken)
{
    const bool utf16 = name.size() >= 2 && static_cast<uint8_t>(name[0]) == 0xFE && static_cast<uint8_t>(name[1]) == 0xFF;
    for (size_t n = ordinal;; ++n) {
        std::string candidate = name;
        for (char c : "-" + std::to_string(n)) {
            if (utf16)
                candidate.push_back('\0');
            candidate.push_back(c);
        }
        if (!taken(candidate))
            return candidate;
    }
}

std::string CPdfFormMerge::NameKey(const std::string& bytes)
{
    const auto byte = [&bytes](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    std::string key;
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            uint32_t code = (static_cast<uint32_t>(byte(i)) << 8) | byte(i + 1);
            if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
                const uint32_t low = (static_cast<uint32_t>(byte(i + 2)) << 8) | byte(i + 3);
                if (low >= 0xDC00 && low < 0xE000) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            AppendUtf8(key, code);
        }
        return key;
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
        return bytes.substr(3);
    // PDFDocEncoding: taken as Latin-1, which it matches in the printable
    // range names are written in.
    for (size_t i = 0; i < bytes.size(); ++i)
        AppendUtf8(key, byte(i));
    return key;
}
