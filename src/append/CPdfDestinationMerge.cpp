#include "append/CPdfDestinationMerge.h"

#include <algorithm>

#include "append/CPdfDestinationRenamer.h"
#include "append/CPdfMergeOutput.h"
#include "append/CPdfMergePlan.h"
#include "append/CPdfTextEdit.h"
#include "append/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"

namespace {

bool KeyBytes(const CPdfObject& key, std::string& out)
{
    if (key.GetKind() == OBJ_STRING) {
        out = key.GetString()->GetValue();
        return true;
    }
    if (key.GetKind() == OBJ_NAME) {  // written so by some producers
        out = key.GetText();
        return true;
    }
    return false;
}

}  // namespace

CPdfDestinationMerge::CPdfDestinationMerge() = default;

CPdfDestinationMerge::~CPdfDestinationMerge() = default;

void CPdfDestinationMerge::ReadNames(CPdfMergePlan& plan, size_t index, Names& out)
{
    const CPdfMergePart& part = plan.GetParts()[index];
    const CPdfValueWriter writer([&plan, index](int64_t number) { return plan.OutputTarget(index, number); });
    CPdfObject names;
    part.CatalogValue("Names", names);
    CPdfObject rootRef;
    if (names.GetKind() == OBJ_DICTIONARY)
        names.GetDictionary()->LookupRaw("Dests", rootRef);
    // The tree, walked with a stack; a node met twice (a cycle, or a kid
    // named twice) is read once, and no tree has more nodes than objects.
    std::vector<CPdfObject> stack;
    std::unordered_set<int32_t> seen;
    if (rootRef.GetKind() == OBJ_REFERENCE) {
        seen.insert(rootRef.GetRefNum());
        out.treeNodes.push_back(rootRef.GetRefNum());
    }
    CPdfObject root;
    if (names.GetKind() == OBJ_DICTIONARY)
        names.GetDictionary()->Lookup("Dests", root);
    if (root.GetKind() == OBJ_DICTIONARY)
        stack.push_back(std::move(root));
    size_t visited = 0;
    while (!stack.empty() && visited++ <= static_cast<size_t>(part.tableSize)) {
        const CPdfObject node = std::move(stack.back());
        stack.pop_back();
        const CPdfDictionary& dict = *node.GetDictionary();
        CPdfObject pairs;
        dict.Lookup("Names", pairs);
        if (pairs.GetKind() == OBJ_ARRAY) {
            const CPdfArray& a = *pairs.GetArray();
            for (int32_t i = 0; i + 1 < a.GetSize(); i += 2) {
                CPdfObject key, value;
                a.Get(i, key);
                a.GetRaw(i + 1, value);
                std::string bytes;
                if (!KeyBytes(key, bytes))
                    continue;
                out.defined.insert(bytes);
                out.tree.push_back({std::move(bytes), writer.ToText(value)});
            }
        }
        CPdfObject kids;
        dict.Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY)
            continue;
        // Pushed in reverse, so kids are read in order.
        for (int32_t i = kids.GetArray()->GetSize() - 1; i >= 0; --i) {
            CPdfObject raw, kid;
            kids.GetArray()->GetRaw(i, raw);
            if (raw.GetKind() == OBJ_REFERENCE) {
                if (!seen.insert(raw.GetRefNum()).second)
                    continue;
                out.treeNodes.push_back(raw.GetRefNum());
            }
            kids.GetArray()->Get(i, kid);
            if (kid.GetKind() == OBJ_DICTIONARY)
                stack.push_back(std::move(kid));
        }
    }
    // The older form: a dictionary from names to destinations.
    CPdfObject destsRef, dests;
    CPdfObject catalog;
    part.Fetch(part.catalog, catalog);
    if (catalog.GetKind() == OBJ_DICTIONARY) {
        catalog.GetDictionary()->LookupRaw("Dests", destsRef);
        catalog.GetDictionary()->Lookup("Dests", dests);
    }
    if (destsRef.GetKind() == OBJ_REFERENCE)
        out.destsNodes.push_back(destsRef.GetRefNum());
    if (dests.GetKind() == OBJ_DICTIONARY) {
        dests.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
            out.defined.insert(key);
            out.dests.push_back({key, writer.ToText(value)});
        });
    }
}

std::string CPdfDestinationMerge::UniqueName(size_t part, const std::string& name)
{
    // Free when no input defines it and no rename gave it out already.
    const auto taken = [this](const std::string& candidate) {
        for (const Names& names : m_names)
            if (names.defined.count(candidate) != 0)
                return true;
        return m_given.count(candidate) != 0;
    };
    std::string candidate = name;
    do
        candidate += "-" + std::to_string(part + 1);
    while (taken(candidate));
    m_given.insert(candidate);
    return candidate;
}

bool CPdfDestinationMerge::Rename(size_t part, const std::string& name, std::string& newName)
{
    Names& names = m_names[part];
    const auto memo = names.renamed.find(name);
    if (memo != names.renamed.end()) {
        newName = memo->second;
        return true;
    }
    bool rename = false;
    if (names.defined.count(name) != 0) {
        // Defined here: renamed when an earlier input defines it too.
        for (size_t k = 0; k < part && !rename; ++k)
            rename = m_names[k].defined.count(name) != 0;
    } else {
        // Not defined here: it must not start leading into another input.
        for (size_t k = 0; k < m_names.size() && !rename; ++k)
            rename = m_names[k].defined.count(name) != 0;
    }
    if (!rename)
        return false;
    newName = UniqueName(part, name);
    names.renamed.emplace(name, newName);
    return true;
}

void CPdfDestinationMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    m_names.resize(parts.size());
    bool laterNames = false, laterTree = false, laterDests = false;
    for (size_t k = 0; k < parts.size(); ++k) {
        ReadNames(plan, k, m_names[k]);
        if (k > 0) {
            laterNames = laterNames || !m_names[k].defined.empty();
            laterTree = laterTree || !m_names[k].tree.empty();
            laterDests = laterDests || !m_names[k].dests.empty();
        }
    }
    // Objects are rewritten only where they name something another input
    // defines: a later input's colliding names, and any input's names that
    // it does not define itself (dead links stay dead).
    for (size_t k = 0; k < parts.size(); ++k) {
        bool others = false;
        for (size_t j = 0; j < parts.size() && !others; ++j)
            others = j != k && !m_names[j].defined.empty();
        if (!others)
            continue;
        m_renamers.push_back(std::make_unique<CPdfDestinationRenamer>(
            [this, k](const std::string& name, std::string& newName) { return Rename(k, name, newName); }));
        plan.AddTransform(k, m_renamers.back().get());
    }
    if (!laterNames)
        return;
    // Every input's entries under their final names.
    for (size_t k = 0; k < parts.size(); ++k) {
        for (std::vector<Entry>* list : {&m_names[k].tree, &m_names[k].dests}) {
            for (Entry& e : *list) {
                std::string newName;
                if (k > 0 && Rename(k, e.key, newName))
                    e.key = newName;
            }
        }
    }
    if (laterTree) {
        size_t total = 0;
        for (const Names& names : m_names)
            total += names.tree.size();
        m_tree.reserve(total);
        for (Names& names : m_names) {
            for (Entry& e : names.tree)
                m_tree.push_back(std::move(e));
            names.tree = std::vector<Entry>();
        }
        std::stable_sort(m_tree.begin(), m_tree.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
        PlanTree(plan);
    }
    if (laterDests) {
        for (Names& names : m_names) {
            for (Entry& e : names.dests)
                m_dests.push_back(std::move(e));
            names.dests = std::vector<Entry>();
        }
        m_destsNumber = plan.NewObject();
        plan.SetKey(0, parts[0].catalog, "/Dests", CPdfTextEdit::Reference(m_destsNumber, 0));
    }
    // The old trees and dictionaries are replaced whole; their nodes (not
    // the destinations they hold) are left out. The first document's stay
    // when nothing of theirs is replaced.
    for (size_t k = 0; k < parts.size(); ++k) {
        if (laterTree)
            for (int32_t node : m_names[k].treeNodes)
                plan.Drop(k, node);
        if (laterDests)
            for (int32_t node : m_names[k].destsNodes)
                plan.Drop(k, node);
    }
}

void CPdfDestinationMerge::PlanTree(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    // Leaves of kNodeSize entries, then levels of kNodeSize kids, up to one
    // root; the root is numbered first.
    std::vector<Node> level;
    for (size_t i = 0; i < m_tree.size(); i += kNodeSize)
        level.push_back({0, i, std::min(i + kNodeSize, m_tree.size()), true});
    if (level.empty())
        level.push_back({0, 0, 0, true});
    m_levels.push_back(level);
    while (m_levels.back().size() > 1) {
        const std::vector<Node>& below = m_levels.back();
        std::vector<Node> up;
        for (size_t i = 0; i < below.size(); i += kNodeSize)
            up.push_back({0, i, std::min(i + kNodeSize, below.size()), false});
        m_levels.push_back(up);
    }
    for (size_t l = m_levels.size(); l-- > 0;)
        for (Node& node : m_levels[l])
            node.number = plan.NewObject();
    const std::string root = CPdfTextEdit::Reference(m_levels.back().front().number, 0);

    // The tree hangs from the /Names dictionary: edited where it is an
    // object of its own, written anew into the catalog where it is direct.
    CPdfObject catalog, names;
    parts[0].Fetch(parts[0].catalog, catalog);
    if (catalog.GetKind() == OBJ_DICTIONARY)
        catalog.GetDictionary()->LookupRaw("Names", names);
    if (names.GetKind() == OBJ_REFERENCE) {
        CPdfObject dict;
        parts[0].Fetch(names.GetRefNum(), dict);
        if (dict.GetKind() == OBJ_DICTIONARY) {
            plan.SetKey(0, names.GetRefNum(), "/Dests", root);
            return;
        }
    }
    std::string text = "<</Dests " + root;
    if (names.GetKind() == OBJ_DICTIONARY) {
        const CPdfValueWriter identity([](int64_t number) { return objecttext::Target{number}; });
        names.GetDictionary()->ForEachRaw([&](const std::string& key, const CPdfObject& value) {
            if (key == "Dests" || value.GetKind() == OBJ_NULL)
                return;
            CPdfValueWriter::WriteName(key, text);
            identity.Write(value, text);
        });
    }
    plan.SetKey(0, parts[0].catalog, "/Names", text + ">>");
}

void CPdfDestinationMerge::Write(CPdfMergeOutput& output)
{
    std::string body;
    for (size_t l = 0; l < m_levels.size(); ++l) {
        const bool root = l + 1 == m_levels.size();
        for (const Node& node : m_levels[l]) {
            body.clear();
            body += "<<";
            // The smallest and largest key below the node.
            size_t lo = node.first, hi = node.last;
            for (size_t down = l; down > 0; --down) {
                lo = m_levels[down - 1][lo].first;
                hi = m_levels[down - 1][hi - 1].last;
            }
            if (!root && hi > lo) {
                body += "/Limits[";
                CPdfValueWriter::WriteString(m_tree[lo].key, body);
                CPdfValueWriter::WriteString(m_tree[hi - 1].key, body);
                body += "]";
            }
            if (node.leaf) {
                body += "/Names[";
                for (size_t i = node.first; i < node.last; ++i) {
                    CPdfValueWriter::WriteString(m_tree[i].key, body);
                    CPdfTextEdit::Join(body, m_tree[i].value);
                }
            } else {
                body += "/Kids[";
                for (size_t i = node.first; i < node.last; ++i)
                    CPdfTextEdit::Join(body, CPdfTextEdit::Reference(m_levels[l - 1][i].number, 0));
            }
            body += "]>>";
            output.WriteNewObject(node.number, body);
        }
    }
    if (m_destsNumber >= 0) {
        body = "<<";
        for (const Entry& e : m_dests) {
            CPdfValueWriter::WriteName(e.key, body);
            CPdfTextEdit::Join(body, e.value);
        }
        body += ">>";
        output.WriteNewObject(m_destsNumber, body);
    }
    m_tree.clear();
    m_dests.clear();
    m_levels.clear();
}
