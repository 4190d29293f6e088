#include "merge/CPdfFormMerge.h"

#include <set>
#include <unordered_map>
#include <utility>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "merge/PdfFreeName.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "text/PdfTextString.h"

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
        CPdfFormResources::Renames renames;
        m_resources.Join(form.part, *form.dict.GetDictionary(), renames);
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

void CPdfFormMerge::PlanFields(CPdfMergePlan& plan, Form& form, const CPdfFormResources::Renames& renames)
{
    const CPdfDictionary& dict = *form.dict.GetDictionary();
    CPdfObject fields;
    dict.Lookup("Fields", fields);
    if (fields.GetKind() != OBJ_ARRAY)
        return;
    std::vector<int32_t> tops;
    const CPdfArray& array = *fields.GetArray();
    for (int32_t i = 0; i < array.GetSize(); ++i) {
        CPdfObject element;
        array.GetRaw(i, element);
        if (element.GetKind() == OBJ_REFERENCE)
            tops.push_back(element.GetRefNum());
    }
    std::unordered_set<int32_t> visited;
    const std::vector<std::pair<int32_t, std::string>> named = WalkFields(plan, form, tops, renames, visited);
    RenameTopFields(plan, form.part, named);
    WriteInheritedValues(plan, form, tops, visited, renames);
}

std::vector<std::pair<int32_t, std::string>> CPdfFormMerge::WalkFields(CPdfMergePlan& plan, Form& form,
                                                                      const std::vector<int32_t>& tops,
                                                                      const CPdfFormResources::Renames& renames,
                                                                      std::unordered_set<int32_t>& visited)
{
    // Every field and widget below the top-level fields, each once (a tree
    // that links back into itself ends there); the number of objects bounds
    // the walk. Named nodes reached through nameless ones only carry the
    // first part of their fully qualified names.
    const size_t k = form.part;
    const CPdfMergePart& part = plan.GetParts()[k];
    std::vector<std::pair<int32_t, std::string>> named;
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
        std::string ownDa, renamed;
        if (!renames.empty() && StringValue(appearance, ownDa) &&
            CPdfFormResources::RenameInAppearance(ownDa, renames, renamed))
            plan.SetKey(k, number, "/DA", StringText(renamed));
        if (!renames.empty())
            CPdfFormResources::ExtendFieldResources(plan, k, number, field, renames, extended);
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
    return named;
}

void CPdfFormMerge::RenameTopFields(CPdfMergePlan& plan, size_t k, const std::vector<std::pair<int32_t, std::string>>& named)
{
    // Top-level names an earlier input took: renamed, the same new name for
    // the same old one, so fields of this input that were one field stay one.
    std::unordered_set<std::string> own;
    for (const auto& [number, name] : named)
        own.insert(textstring::ToUtf8(name));
    std::unordered_map<std::string, std::string> newNames;  // by their text
    std::unordered_set<std::string> given;
    for (const auto& [number, name] : named) {
        const std::string key = textstring::ToUtf8(name);
        if (m_topNames.count(key) == 0)
            continue;
        auto it = newNames.find(key);
        if (it == newNames.end()) {
            const std::string free = freename::Find(name, k + 1, [&](const std::string& candidate) {
                const std::string c = textstring::ToUtf8(candidate);
                return m_topNames.count(c) != 0 || own.count(c) != 0 || given.count(c) != 0;
            });
            given.insert(textstring::ToUtf8(free));
            it = newNames.emplace(key, free).first;
        }
        plan.SetKey(k, number, "/T", StringText(it->second));
    }
    for (const auto& [number, name] : named) {
        const auto it = newNames.find(textstring::ToUtf8(name));
        m_topNames.insert(textstring::ToUtf8(it == newNames.end() ? name : it->second));
    }
}

void CPdfFormMerge::WriteInheritedValues(CPdfMergePlan& plan, const Form& form, const std::vector<int32_t>& tops,
                                         const std::unordered_set<int32_t>& visited,
                                         const CPdfFormResources::Renames& renames)
{
    // What this form gave the fields that state no /DA or /Q of their own,
    // written on its top-level fields where the joined form gives them
    // something else (once per field, however often /Fields lists it).
    const size_t k = form.part;
    const CPdfMergePart& part = plan.GetParts()[k];
    const CPdfDictionary& dict = *form.dict.GetDictionary();
    CPdfObject daValue;
    dict.Lookup("DA", daValue);
    std::string da, renamed;
    const bool hasDa = StringValue(daValue, da);
    if (hasDa && CPdfFormResources::RenameInAppearance(da, renames, renamed))
        da.swap(renamed);
    const bool writeDa = hasDa && (!m_hasDa || da != m_da);
    const int64_t q = dict.GetInteger("Q", 0);
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

    m_resources.Write(output, body);

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
    m_resources = CPdfFormResources();
}
