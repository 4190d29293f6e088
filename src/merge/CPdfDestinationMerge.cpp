#include "merge/CPdfDestinationMerge.h"

#include <algorithm>

#include "merge/CPdfDestinationRenamer.h"
#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "merge/CPdfNameDictionaryMerge.h"
#include "merge/PdfFreeName.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "object/CPdfString.h"


CPdfDestinationMerge::CPdfDestinationMerge(CPdfNameDictionaryMerge& names) : m_nameDictionary(&names) {}

CPdfDestinationMerge::~CPdfDestinationMerge() = default;

void CPdfDestinationMerge::ReadNames(CPdfMergePlan& plan, size_t index, Names& out)
{
    const CPdfMergePart& part = plan.GetParts()[index];
    const CPdfValueWriter writer([&plan, index](int64_t number) { return plan.OutputTarget(index, number); });
    CPdfObject names;
    part.CatalogValue("Names", names);
    CPdfObject root;
    if (names.GetKind() == OBJ_DICTIONARY)
        names.GetDictionary()->LookupRaw("Dests", root);
    CPdfNameTree::Read(part, writer, root, out.tree, out.treeNodes);
    for (const Entry& e : out.tree)
        out.defined.insert(e.key);
    // The older form: a dictionary from names to destinations.
    CPdfObject destsRef, dests;
    const CPdfObject& catalog = part.catalogValue;
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
    const std::string candidate = freename::Find(name, part + 1, taken);
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
    size_t defining = 0;
    for (const Names& names : m_names)
        defining += names.defined.empty() ? 0 : 1;
    for (size_t k = 0; k < parts.size(); ++k) {
        const bool others = defining > (m_names[k].defined.empty() ? 0 : 1);
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
        std::vector<Entry> tree;
        tree.reserve(total);
        for (Names& names : m_names) {
            for (Entry& e : names.tree)
                tree.push_back(std::move(e));
            names.tree = std::vector<Entry>();
        }
        m_nameDictionary->Replace("Dests", m_tree.Plan(plan, std::move(tree)));
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

void CPdfDestinationMerge::Write(CPdfMergeOutput& output)
{
    m_tree.Write(output);
    std::string body;
    if (m_destsNumber >= 0) {
        body = "<<";
        for (const Entry& e : m_dests) {
            CPdfValueWriter::WriteName(e.key, body);
            CPdfTextEdit::Join(body, e.value);
        }
        body += ">>";
        output.WriteNewObject(m_destsNumber, body);
    }
    m_dests.clear();
}
