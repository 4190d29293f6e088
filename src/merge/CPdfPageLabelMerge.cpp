#include "merge/CPdfPageLabelMerge.h"

#include <algorithm>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "merge/CPdfNameTree.h"
#include "text/CPdfTextEdit.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"

namespace {

struct Label {
    int64_t index;
    CPdfObject value;
};

// The ranges of one input's number tree (/Nums, /Kids), sorted by page
// index, and the node objects read. False when it has none.
bool ReadLabels(const CPdfMergePart& part, std::vector<Label>& labels, std::vector<int32_t>& nodes)
{
    const CPdfObject& catalog = part.catalogValue;
    CPdfObject rootRef, root;
    if (catalog.GetKind() != OBJ_DICTIONARY)
        return false;
    catalog.GetDictionary()->LookupRaw("PageLabels", rootRef);
    catalog.GetDictionary()->Lookup("PageLabels", root);
    if (root.GetKind() != OBJ_DICTIONARY)
        return false;
    CPdfNameTree::Walk(part, rootRef, nodes, [&](const CPdfDictionary& node) {
        CPdfObject nums;
        node.Lookup("Nums", nums);
        for (int32_t i = 0; nums.GetKind() == OBJ_ARRAY && i + 1 < nums.GetArray()->GetSize(); i += 2) {
            CPdfObject key, value;
            nums.GetArray()->Get(i, key);
            nums.GetArray()->GetRaw(i + 1, value);
            // Ranges starting beyond the input's pages would label the next
            // input's pages.
            if (key.GetKind() == OBJ_INTEGER && key.GetInt() >= 0 && key.GetInt() < part.pageCount)
                labels.push_back({key.GetInt(), std::move(value)});
        }
    });
    std::stable_sort(labels.begin(), labels.end(), [](const Label& a, const Label& b) { return a.index < b.index; });
    return true;
}

}  // namespace

void CPdfPageLabelMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    bool any = false;
    int64_t first = 0;
    std::vector<std::vector<int32_t>> nodes(parts.size());
    for (size_t k = 0; k < parts.size(); ++k) {
        std::vector<Label> labels;
        const bool has = ReadLabels(parts[k], labels, nodes[k]);
        any = any || has;
        // Pages before the first range (or every page, without labels)
        // read 1, 2, 3 ... as they did in their input.
        if (labels.empty() || labels.front().index != 0)
            m_ranges.push_back({first, CPdfObject(), k});
        for (Label& label : labels)
            m_ranges.push_back({first + label.index, std::move(label.value), k});
        first += parts[k].pageCount;
    }
    if (!any || parts.size() < 2) {
        m_ranges.clear();
        return;
    }
    m_number = plan.NewObject();
    plan.SetKey(0, parts[0].catalog, "/PageLabels", CPdfTextEdit::Reference(m_number, 0));
    for (size_t k = 0; k < parts.size(); ++k)
        for (int32_t node : nodes[k])
            plan.Drop(k, node);
}

void CPdfPageLabelMerge::Write(CPdfMergeOutput& output)
{
    if (m_number < 0)
        return;
    std::string body = "<</Nums[";
    for (const Range& range : m_ranges) {
        CPdfTextEdit::Join(body, std::to_string(range.first));
        if (range.label.GetKind() == OBJ_NONE) {
            body += "<</S/D>>";
            continue;
        }
        output.WriterFor(range.part).Write(range.label, body);
    }
    body += "]>>";
    output.WriteNewObject(m_number, body);
    m_ranges.clear();
}
