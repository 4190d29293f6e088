#include "merge/CPdfAttachmentMerge.h"

#include <unordered_set>
#include <vector>

#include "merge/CPdfMergePlan.h"
#include "merge/CPdfNameDictionaryMerge.h"
#include "merge/PdfFreeName.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfDictionary.h"

void CPdfAttachmentMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    std::vector<std::vector<CPdfNameTree::Entry>> entries(parts.size());
    std::vector<std::vector<int32_t>> nodes(parts.size());
    bool later = false;
    for (size_t k = 0; k < parts.size(); ++k) {
        const CPdfValueWriter writer([&plan, k](int64_t number) { return plan.OutputTarget(k, number); });
        CPdfObject names, root;
        parts[k].CatalogValue("Names", names);
        if (names.GetKind() == OBJ_DICTIONARY)
            names.GetDictionary()->LookupRaw("EmbeddedFiles", root);
        CPdfNameTree::Read(parts[k], writer, root, entries[k], nodes[k]);
        later = later || (k > 0 && !entries[k].empty());
    }
    // Only the first document's: its tree stays as it is.
    if (!later)
        return;
    std::unordered_set<std::string> taken;
    for (const auto& list : entries)
        for (const CPdfNameTree::Entry& e : list)
            taken.insert(e.key);
    std::vector<CPdfNameTree::Entry> all;
    std::unordered_set<std::string> listed;
    for (size_t k = 0; k < parts.size(); ++k) {
        // Names listed twice within one input stay as they were.
        std::unordered_set<std::string> own;
        for (CPdfNameTree::Entry& e : entries[k]) {
            if (listed.count(e.key) != 0 && own.count(e.key) == 0) {
                e.key = freename::Find(e.key, k + 1, [&](const std::string& c) { return taken.count(c) != 0; });
                taken.insert(e.key);
            }
            own.insert(e.key);
            all.push_back(std::move(e));
        }
        listed.insert(own.begin(), own.end());
        for (int32_t node : nodes[k])
            plan.Drop(k, node);
    }
    m_nameDictionary->Replace("EmbeddedFiles", m_tree.Plan(plan, std::move(all)));
}
