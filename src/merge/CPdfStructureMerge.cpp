#include "merge/CPdfStructureMerge.h"

#include <algorithm>
#include <unordered_set>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "merge/CPdfStructNameRenamer.h"
#include "merge/PdfFreeName.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"

namespace {

CPdfValueWriter PlannedWriter(CPdfMergePlan& plan, size_t part)
{
    return CPdfValueWriter([&plan, part](int64_t number) { return plan.OutputTarget(part, number); });
}

// The bytes of a string value of dict (dereferenced); false when it has none.
bool StringIn(const CPdfObject& dict, const char* key, std::string& out)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return false;
    CPdfObject value;
    dict.GetDictionary()->Lookup(key, value);
    if (value.GetKind() != OBJ_STRING)
        return false;
    out = value.GetString()->GetValue();
    return true;
}

bool IsTrue(const CPdfObject& dict, const char* key)
{
    if (dict.GetKind() != OBJ_DICTIONARY)
        return false;
    CPdfObject value;
    dict.GetDictionary()->Lookup(key, value);
    return value.GetKind() == OBJ_BOOL && value.GetBool();
}

// The single element an input's root holds, when it is a /Document element
// of its own object; else 0.
int32_t SingleDocument(const CPdfMergePart& part, const CPdfObject& root)
{
    CPdfObject kids;
    root.GetDictionary()->LookupRaw("K", kids);
    if (kids.GetKind() == OBJ_ARRAY && kids.GetArray()->GetSize() == 1) {
        CPdfObject only;
        kids.GetArray()->GetRaw(0, only);
        kids = std::move(only);
    }
    if (kids.GetKind() != OBJ_REFERENCE)
        return 0;
    CPdfObject element;
    part.Fetch(kids.GetRefNum(), element);
    return element.GetKind() == OBJ_DICTIONARY && element.GetDictionary()->IsName("S", "Document") ? kids.GetRefNum()
                                                                                                    : 0;
}

// Calls f(raw element) for each top-level element of a root: its /K, an
// array of elements or one element.
template <typename F>
void ForEachKid(const CPdfObject& root, F&& f)
{
    CPdfObject kids;
    root.GetDictionary()->LookupRaw("K", kids);
    if (kids.GetKind() != OBJ_ARRAY) {
        if (kids.GetKind() == OBJ_REFERENCE || kids.GetKind() == OBJ_DICTIONARY)
            f(kids);
        return;
    }
    for (int32_t i = 0; i < kids.GetArray()->GetSize(); ++i) {
        CPdfObject kid;
        kids.GetArray()->GetRaw(i, kid);
        f(kid);
    }
}

}  // namespace

void CPdfStructureMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    if (parts.size() < 2)
        return;
    std::vector<Input> tagged;
    for (size_t k = 0; k < parts.size(); ++k) {
        const CPdfObject& catalog = parts[k].catalogValue;
        if (catalog.GetKind() != OBJ_DICTIONARY)
            continue;
        Input input{k, 0, CPdfObject()};
        CPdfObject raw;
        catalog.GetDictionary()->LookupRaw("StructTreeRoot", raw);
        catalog.GetDictionary()->Lookup("StructTreeRoot", input.value);
        if (input.value.GetKind() != OBJ_DICTIONARY)
            continue;
        input.root = raw.GetKind() == OBJ_REFERENCE ? raw.GetRefNum() : 0;
        tagged.push_back(std::move(input));
    }
    if (tagged.empty())
        return;
    for (size_t k = 0, t = 0; k < parts.size(); ++k) {
        if (t < tagged.size() && tagged[t].part == k)
            ++t;
        else
            m_untagged.push_back(k);
    }
    PlanKeys(plan, tagged);
    // Only the first document is tagged: its tree stays as it was.
    if (tagged.size() == 1 && tagged[0].part == 0)
        return;
    PlanTree(plan, tagged);
}

void CPdfStructureMerge::PlanKeys(CPdfMergePlan& plan, std::vector<Input>& tagged)
{
    const auto& parts = plan.GetParts();
    const bool firstOnly = tagged.size() == 1 && tagged[0].part == 0;
    std::vector<CPdfNameTree::Entry> entries;
    int64_t base = 0;
    size_t t = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (t == tagged.size() || tagged[t].part != k) {
            // Keys an untagged input left behind resolve to nothing.
            m_shifters.push_back(std::make_unique<CPdfStructKeyShifter>(0, 0));
            plan.AddTransform(k, m_shifters.back().get());
            continue;
        }
        Input& input = tagged[t++];
        if (firstOnly)
            continue;
        // Its keys and what they name, written in output numbers.
        CPdfObject treeRoot;
        std::vector<int32_t> nodes;
        std::vector<std::pair<int64_t, std::string>> keys;
        const CPdfValueWriter writer = PlannedWriter(plan, k);
        input.value.GetDictionary()->LookupRaw("ParentTree", treeRoot);
        int64_t highest = -1;
        CPdfNameTree::Walk(parts[k], treeRoot, nodes, [&](const CPdfDictionary& node) {
            CPdfObject nums;
            node.Lookup("Nums", nums);
            for (int32_t i = 0; nums.GetKind() == OBJ_ARRAY && i + 1 < nums.GetArray()->GetSize(); i += 2) {
                CPdfObject key, value;
                nums.GetArray()->Get(i, key);
                nums.GetArray()->GetRaw(i + 1, value);
                if (key.GetKind() != OBJ_INTEGER || key.GetInt() < 0 || key.GetInt() > INT32_MAX)
                    continue;
                keys.push_back({key.GetInt(), writer.ToText(value)});
                highest = std::max<int64_t>(highest, key.GetInt());
            }
        });
        for (int32_t node : nodes)
            plan.Drop(k, node);
        const int64_t stated = input.value.GetDictionary()->GetInteger("ParentTreeNextKey", 0);
        // A stated next key beyond one key per object names no more keys.
        const int64_t size = parts[k].GetTableSize();
        input.next = std::max<int64_t>(highest + 1, stated > 0 ? std::min(stated, size) : 0);
        // Keys stay 32-bit integers, which every reader takes: past that,
        // an input's keys name nothing.
        input.next = std::min<int64_t>(input.next, INT32_MAX - base);
        input.offset = base;
        base += input.next;
        for (auto& [key, value] : keys)
            if (key < input.next)
                entries.push_back({std::to_string(key + input.offset), std::move(value)});
        m_shifters.push_back(std::make_unique<CPdfStructKeyShifter>(input.offset, input.next));
        plan.AddTransform(k, m_shifters.back().get());
    }
    if (!firstOnly)
        m_parentTreeRoot = m_parentTree.Plan(plan, std::move(entries));
}

void CPdfStructureMerge::PlanTree(CPdfMergePlan& plan, std::vector<Input>& tagged)
{
    const auto& parts = plan.GetParts();
    const CPdfMergePart& first = parts[0];
    const bool firstTagged = tagged[0].part == 0;
    // The result's root: the first document's, edited, where it is an object.
    int64_t root = 0;
    if (firstTagged && tagged[0].root > 0) {
        root = tagged[0].root;
    } else {
        root = plan.NewObject();
        plan.SetKey(0, first.catalog, "/StructTreeRoot", CPdfTextEdit::Reference(root, 0));
    }
    const std::string rootRef = CPdfTextEdit::Reference(root, 0);
    // The one /Document element.
    int32_t firstDocument = firstTagged ? SingleDocument(first, tagged[0].value) : 0;
    int64_t document = firstDocument;
    std::string documentKids;
    if (firstDocument == 0) {
        document = plan.NewObject();
        if (firstTagged) {
            const CPdfValueWriter writer = PlannedWriter(plan, 0);
            ForEachKid(tagged[0].value, [&](const CPdfObject& kid) {
                writer.Write(kid, documentKids);
                if (kid.GetKind() == OBJ_REFERENCE)
                    plan.SetKey(0, kid.GetRefNum(), "/P", CPdfTextEdit::Reference(document, 0));
            });
        }
    } else {
        CPdfObject element, kids;
        first.Fetch(firstDocument, element);
        element.GetDictionary()->LookupRaw("K", kids);
        if (kids.GetKind() == OBJ_ARRAY) {
            for (int32_t i = 0; i < kids.GetArray()->GetSize(); ++i) {
                CPdfObject kid;
                kids.GetArray()->GetRaw(i, kid);
                PlannedWriter(plan, 0).Write(kid, documentKids);
            }
        } else if (kids.GetKind() != OBJ_NULL && kids.GetKind() != OBJ_NONE) {
            PlannedWriter(plan, 0).Write(kids, documentKids);
        }
    }
    const std::string documentRef = CPdfTextEdit::Reference(document, 0);
    std::string firstLang;
    const bool firstHasLang = StringIn(first.catalogValue, "Lang", firstLang);
    for (Input& input : tagged) {
        const size_t k = input.part;
        if (k == 0)
            continue;
        if (input.root > 0)
            plan.Drop(k, input.root);
        std::string lang, langText;
        if (StringIn(parts[k].catalogValue, "Lang", lang) && (!firstHasLang || lang != firstLang)) {
            langText = "/Lang";
            CPdfValueWriter::WriteString(lang, langText);
        }
        const int32_t own = SingleDocument(parts[k], input.value);
        if (own > 0) {
            plan.SetKey(k, own, "/P", documentRef);
            CPdfObject element;
            parts[k].Fetch(own, element);
            if (!langText.empty() && !element.GetDictionary()->Has("Lang"))
                plan.SetKey(k, own, "/Lang", langText.substr(5));
            CPdfTextEdit::Join(documentKids, plan.OutputReference(k, own));
            continue;
        }
        NewElement part{plan.NewObject(), "/Type/StructElem/S/Part/P " + documentRef + langText, k, CPdfObject(), ""};
        part.kids.CopyFrom(input.value);
        ForEachKid(input.value, [&](const CPdfObject& kid) {
            if (kid.GetKind() == OBJ_REFERENCE) {
                plan.OutputReference(k, kid.GetRefNum());
                plan.SetKey(k, kid.GetRefNum(), "/P", CPdfTextEdit::Reference(part.number, 0));
            }
        });
        CPdfTextEdit::Join(documentKids, CPdfTextEdit::Reference(part.number, 0));
        m_elements.push_back(std::move(part));
    }
    if (firstDocument > 0) {
        plan.SetKey(0, firstDocument, "/K", "[" + documentKids + "]");
    } else {
        NewElement element{document, "/Type/StructElem/S/Document/P " + rootRef, 0, CPdfObject(), documentKids};
        m_elements.push_back(std::move(element));
    }
    // The root's entries: what is joined, and everything else of the first
    // document's root as it was.
    std::vector<std::map<std::string, std::string>> roles(tagged.size()), classes(tagged.size()), idNames(tagged.size());
    const std::string roleMap = JoinMaps(plan, tagged, "RoleMap", roles);
    const std::string classMap = JoinMaps(plan, tagged, "ClassMap", classes);
    const std::string ids = JoinIds(plan, tagged, idNames);
    for (size_t i = 0; i < tagged.size(); ++i) {
        CPdfStructNameRenamer::Names renamed{std::move(roles[i]), std::move(classes[i]), std::move(idNames[i])};
        if (renamed.Empty())
            continue;
        m_renamers.push_back(std::make_unique<CPdfStructNameRenamer>(std::move(renamed)));
        plan.AddTransform(tagged[i].part, m_renamers.back().get());
    }
    std::map<std::string, std::string> entries;
    entries["/K"] = documentRef;
    entries["/ParentTree"] = m_parentTreeRoot;
    entries["/ParentTreeNextKey"] = std::to_string(tagged.back().offset + tagged.back().next);
    if (!roleMap.empty())
        entries["/RoleMap"] = roleMap;
    if (!classMap.empty())
        entries["/ClassMap"] = classMap;
    if (!ids.empty())
        entries["/IDTree"] = ids;
    // PDF 2.0 namespaces: each input's elements name their own.
    std::string namespaces;
    for (const Input& input : tagged) {
        CPdfObject list;
        input.value.GetDictionary()->Lookup("Namespaces", list);
        const CPdfValueWriter writer = PlannedWriter(plan, input.part);
        for (int32_t i = 0; list.GetKind() == OBJ_ARRAY && i < list.GetArray()->GetSize(); ++i) {
            CPdfObject element;
            list.GetArray()->GetRaw(i, element);
            writer.Write(element, namespaces);
        }
    }
    if (!namespaces.empty())
        entries["/Namespaces"] = "[" + namespaces + "]";
    if (firstTagged && tagged[0].root > 0) {
        for (const auto& [key, value] : entries)
            plan.SetKey(0, tagged[0].root, key.c_str(), value);
    } else {
        std::string head = "/Type/StructTreeRoot";
        for (const auto& [key, value] : entries) {
            if (key == "/K")
                continue;
            head += key;
            CPdfTextEdit::Join(head, value);
        }
        m_elements.push_back({root, head, 0, CPdfObject(), documentRef});
    }
    // Marked content is there to be read.
    CPdfObject mark;
    first.CatalogValue("MarkInfo", mark);
    bool suspects = false, properties = false;
    for (const CPdfMergePart& part : parts) {
        CPdfObject info;
        part.CatalogValue("MarkInfo", info);
        suspects = suspects || IsTrue(info, "Suspects");
        properties = properties || IsTrue(info, "UserProperties");
    }
    if (!IsTrue(mark, "Marked") || suspects != IsTrue(mark, "Suspects") || properties != IsTrue(mark, "UserProperties"))
        plan.SetKey(0, first.catalog, "/MarkInfo",
                    std::string("<</Marked true") + (suspects ? "/Suspects true" : "") +
                        (properties ? "/UserProperties true" : "") + ">>");
}

std::string CPdfStructureMerge::JoinMaps(CPdfMergePlan& plan, const std::vector<Input>& tagged, const char* key,
                                         std::vector<std::map<std::string, std::string>>& renamed)
{
    // Names any input maps, so that a new name is free in every one.
    std::unordered_set<std::string> taken;
    std::vector<CPdfObject> maps;
    for (const Input& input : tagged) {
        CPdfObject map;
        input.value.GetDictionary()->Lookup(key, map);
        if (map.GetKind() == OBJ_DICTIONARY)
            map.GetDictionary()->ForEachRaw([&](const std::string& name, const CPdfObject&) { taken.insert(name); });
        maps.push_back(std::move(map));
    }
    std::map<std::string, std::string> joined;
    for (size_t i = 0; i < tagged.size(); ++i) {
        if (maps[i].GetKind() != OBJ_DICTIONARY)
            continue;
        const size_t k = tagged[i].part;
        const CPdfValueWriter writer = PlannedWriter(plan, k);
        maps[i].GetDictionary()->ForEachRaw([&](const std::string& name, const CPdfObject& value) {
            const std::string text = writer.ToText(value);
            const auto it = joined.find(name);
            if (it == joined.end()) {
                joined[name] = text;
                return;
            }
            if (it->second == text)
                return;
            // Mapped otherwise before: this input's elements take a new name.
            const std::string free =
                freename::Find(name, k + 1, [&](const std::string& c) { return taken.count(c) != 0; });
            taken.insert(free);
            renamed[i][name] = free;
            joined[free] = text;
        });
    }
    if (joined.empty())
        return "";
    std::string out = "<<";
    for (const auto& [name, value] : joined) {
        CPdfValueWriter::WriteName(name, out);
        CPdfTextEdit::Join(out, value);
    }
    return out + ">>";
}

std::string CPdfStructureMerge::JoinIds(CPdfMergePlan& plan, const std::vector<Input>& tagged,
                                        std::vector<std::map<std::string, std::string>>& renamed)
{
    const auto& parts = plan.GetParts();
    struct Id {
        std::string key;
        CPdfObject value;
    };
    std::vector<std::vector<Id>> ids(tagged.size());
    std::unordered_set<std::string> taken;
    bool any = false;
    for (size_t i = 0; i < tagged.size(); ++i) {
        const size_t k = tagged[i].part;
        CPdfObject tree;
        tagged[i].value.GetDictionary()->LookupRaw("IDTree", tree);
        std::vector<int32_t> nodes;
        CPdfNameTree::Walk(parts[k], tree, nodes, [&](const CPdfDictionary& node) {
            CPdfObject pairs;
            node.Lookup("Names", pairs);
            for (int32_t j = 0; pairs.GetKind() == OBJ_ARRAY && j + 1 < pairs.GetArray()->GetSize(); j += 2) {
                CPdfObject key, value;
                pairs.GetArray()->Get(j, key);
                pairs.GetArray()->GetRaw(j + 1, value);
                if (key.GetKind() != OBJ_STRING)
                    continue;
                taken.insert(key.GetString()->GetValue());
                ids[i].push_back({key.GetString()->GetValue(), std::move(value)});
            }
        });
        for (int32_t node : nodes)
            plan.Drop(k, node);
        any = any || !ids[i].empty();
    }
    if (!any)
        return "";
    std::vector<CPdfNameTree::Entry> entries;
    std::unordered_set<std::string> listed;
    for (size_t i = 0; i < tagged.size(); ++i) {
        const size_t k = tagged[i].part;
        const CPdfValueWriter writer = PlannedWriter(plan, k);
        std::unordered_set<std::string> own;
        for (Id& id : ids[i]) {
            std::string key = id.key;
            // An ID an earlier input uses: the element takes a free one.
            if (listed.count(key) != 0 && own.count(key) == 0 && id.value.GetKind() == OBJ_REFERENCE) {
                key = freename::Find(key, k + 1, [&](const std::string& c) { return taken.count(c) != 0; });
                taken.insert(key);
                renamed[i][id.key] = key;
                std::string text;
                CPdfValueWriter::WriteString(key, text);
                plan.SetKey(k, id.value.GetRefNum(), "/ID", text);
            }
            own.insert(key);
            entries.push_back({key, writer.ToText(id.value)});
        }
        listed.insert(own.begin(), own.end());
    }
    return m_idTree.Plan(plan, std::move(entries));
}

void CPdfStructureMerge::Write(CPdfMergeOutput& output)
{
    m_parentTree.Write(output);
    m_idTree.Write(output);
    for (const NewElement& element : m_elements) {
        std::string body = "<<" + element.head + "/K[";
        if (element.kids.GetKind() == OBJ_DICTIONARY) {
            const CPdfValueWriter writer = output.WriterFor(element.part);
            ForEachKid(element.kids, [&](const CPdfObject& kid) {
                if (kid.GetKind() != OBJ_DICTIONARY) {
                    writer.Write(kid, body);
                    return;
                }
                // An element written into the root names the part it now
                // hangs under.
                body += "<</P " + CPdfTextEdit::Reference(element.number, 0);
                kid.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
                    if (key == "P")
                        return;
                    CPdfValueWriter::WriteName(key, body);
                    writer.Write(value, body);
                });
                body += ">>";
            });
        } else {
            body += element.kidsText;
        }
        body += "]>>";
        output.WriteNewObject(element.number, body);
    }
    m_elements.clear();
}
