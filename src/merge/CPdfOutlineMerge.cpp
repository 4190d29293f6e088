#include "merge/CPdfOutlineMerge.h"

#include <unordered_set>
#include <vector>

#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "object/CPdfArray.h"
#include "object/CPdfDictionary.h"
#include "text/CPdfValueWriter.h"

namespace {

struct Outline {
    int32_t root = 0;
    int32_t first = 0;
    int32_t last = 0;
    int64_t count = 0;
    bool hasCount = false;
    std::vector<int32_t> tops;  // top-level items, in order
};

bool IsDictionary(const CPdfMergePart& part, int32_t number)
{
    CPdfObject value;
    part.Fetch(number, value);
    return value.GetKind() == OBJ_DICTIONARY;
}

// The items of the outline root number of part; false when it has none that
// can be linked (links to object 0, to the root itself or to the catalog
// would name unrelated objects).
bool ReadOutline(const CPdfMergePart& part, int32_t number, Outline& out)
{
    CPdfObject root;
    part.Fetch(number, root);
    if (root.GetKind() != OBJ_DICTIONARY)
        return false;
    out.root = number;
    out.first = CPdfMergePart::ReferenceIn(root, "First");
    out.last = CPdfMergePart::ReferenceIn(root, "Last");
    CPdfObject count;
    root.GetDictionary()->Lookup("Count", count);
    out.hasCount = count.GetKind() == OBJ_INTEGER;
    out.count = out.hasCount ? count.GetInt() : 0;
    auto usable = [&](int32_t item) {
        return item > 0 && item < part.GetTableSize() && item != number && item != part.catalog && IsDictionary(part, item);
    };
    if (!usable(out.first) || !usable(out.last))
        return false;
    // The top-level items along /Next; a chain that comes back on itself
    // ends where it does.
    std::unordered_set<int32_t> seen;
    for (int32_t item = out.first; usable(item) && seen.insert(item).second;) {
        out.tops.push_back(item);
        if (item == out.last)
            break;
        CPdfObject value;
        part.Fetch(item, value);
        item = CPdfMergePart::ReferenceIn(value, "Next");
    }
    return true;
}

// The first leaf of the page tree of part, by its first kids (0 when the
// tree leads to none).
int32_t FirstPage(const CPdfMergePart& part)
{
    int32_t number = part.pageTree;
    // Bounded: a tree deeper than its file has objects loops.
    for (int32_t depth = 0; depth < part.GetTableSize() && number > 0; ++depth) {
        CPdfObject node, kids, kid;
        part.Fetch(number, node);
        if (node.GetKind() != OBJ_DICTIONARY)
            return 0;
        if (node.GetDictionary()->IsType("Page"))
            return number;
        node.GetDictionary()->LookupRaw("Kids", kids);
        if (kids.GetKind() == OBJ_REFERENCE)
            part.Fetch(kids.GetRefNum(), kids);
        if (kids.GetKind() != OBJ_ARRAY || kids.GetArray()->GetSize() == 0)
            return 0;
        kids.GetArray()->GetRaw(0, kid);
        number = kid.GetKind() == OBJ_REFERENCE ? kid.GetRefNum() : 0;
    }
    return 0;
}

}  // namespace

void CPdfOutlineMerge::Plan(CPdfMergePlan& plan)
{
    switch (m_mode) {
    case EMode::kPerInput:
        PlanPerInput(plan);
        break;
    case EMode::kNone:
        PlanNone(plan);
        break;
    default:
        PlanJoin(plan);
        break;
    }
}

void CPdfOutlineMerge::PlanNone(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    if (parts[0].catalogValue.GetKind() != OBJ_DICTIONARY)
        return;
    CPdfObject outlines;
    parts[0].catalogValue.GetDictionary()->LookupRaw("Outlines", outlines);
    if (outlines.GetKind() != OBJ_NULL)
        plan.RemoveKey(0, parts[0].catalog, "/Outlines");
}

void CPdfOutlineMerge::PlanPerInput(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    if (parts[0].catalogValue.GetKind() != OBJ_DICTIONARY)
        return;
    m_root = plan.NewObject();
    plan.SetKey(0, parts[0].catalog, "/Outlines", std::to_string(m_root) + " 0 R");
    for (size_t k = 0; k < parts.size(); ++k) {
        InputItem item;
        item.number = plan.NewObject();
        item.title = k < m_titles.size() ? m_titles[k] : std::string();
        if (const int32_t page = FirstPage(parts[k]))
            item.page = plan.OutputReference(k, page);
        const int32_t number = CPdfMergePart::ReferenceIn(parts[k].catalogValue, "Outlines");
        Outline outline;
        if (number != 0 && ReadOutline(parts[k], number, outline)) {
            item.first = plan.OutputReference(k, outline.first);
            item.last = plan.OutputReference(k, outline.last);
            // What shows when the item is opened: the input's root counted
            // it, and its top-level items at the least.
            const int64_t tops = static_cast<int64_t>(outline.tops.size());
            item.hidden = outline.hasCount && outline.count > tops ? outline.count : tops;
            for (int32_t top : outline.tops)
                plan.SetKey(k, top, "/Parent", std::to_string(item.number) + " 0 R");
            // The root's place is taken; a later input's is not copied.
            if (k > 0)
                plan.Drop(k, number);
        }
        m_items.push_back(std::move(item));
    }
}

void CPdfOutlineMerge::Write(CPdfMergeOutput& output)
{
    if (m_mode != EMode::kPerInput || m_root == 0)
        return;
    const auto reference = [](int64_t number) { return std::to_string(number) + " 0 R"; };
    for (size_t i = 0; i < m_items.size(); ++i) {
        const InputItem& item = m_items[i];
        std::string body = "<</Title ";
        CPdfValueWriter::WriteString(item.title, body);
        body += "/Parent " + reference(m_root);
        if (!item.page.empty())
            body += "/Dest[" + item.page + "/Fit]";
        if (i > 0)
            body += "/Prev " + reference(m_items[i - 1].number);
        if (i + 1 < m_items.size())
            body += "/Next " + reference(m_items[i + 1].number);
        // Closed: a negative count of what opening it shows.
        if (!item.first.empty())
            body += "/First " + item.first + "/Last " + item.last + "/Count -" + std::to_string(item.hidden);
        body += ">>";
        output.WriteNewObject(item.number, body);
    }
    output.WriteNewObject(m_root, "<</Type/Outlines/First " + reference(m_items.front().number) + "/Last " +
                                      reference(m_items.back().number) + "/Count " +
                                      std::to_string(m_items.size()) + ">>");
}

void CPdfOutlineMerge::PlanJoin(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    const CPdfObject& catalog = parts[0].catalogValue;
    if (catalog.GetKind() != OBJ_DICTIONARY)
        return;
    CPdfObject outlines;
    catalog.GetDictionary()->LookupRaw("Outlines", outlines);

    // Where the items hang (part, number), the last item so far, the sum of
    // the counts, and whether the root's /Last and /Count need writing.
    size_t rootPart = 0;
    int32_t root = 0;
    size_t lastPart = 0;
    int32_t last = 0;
    int64_t count = 0;
    bool rootEdited = false;
    bool hasCount = false;
    if (outlines.GetKind() == OBJ_REFERENCE && IsDictionary(parts[0], outlines.GetRefNum())) {
        root = outlines.GetRefNum();
        Outline first;
        if (ReadOutline(parts[0], root, first)) {
            last = first.last;
            count = first.count;
            hasCount = first.hasCount;
        } else {
            // Items that cannot be linked stay as they are, unlinked.
            CPdfObject value;
            parts[0].Fetch(root, value);
            if (CPdfMergePart::ReferenceIn(value, "First") != 0 || CPdfMergePart::ReferenceIn(value, "Last") != 0)
                return;
        }
    } else if (outlines.GetKind() == OBJ_DICTIONARY && CPdfMergePart::ReferenceIn(outlines, "First") != 0) {
        // A direct outline with items: its items name a root that no
        // reference can reach, so nothing can hang beside them.
        return;
    }

    for (size_t k = 1; k < parts.size(); ++k) {
        const int32_t number = CPdfMergePart::ReferenceIn(parts[k].catalogValue, "Outlines");
        Outline outline;
        if (number == 0 || !ReadOutline(parts[k], number, outline))
            continue;
        if (root == 0) {
            // The first document has no outline (or a direct one without
            // items, or null): this input's root becomes the outline,
            // replacing the value rather than adding a second key.
            plan.SetKey(0, parts[0].catalog, "/Outlines", plan.OutputReference(k, number));
            rootPart = k;
            root = number;
            lastPart = k;
            last = outline.last;
            count = outline.count;
            hasCount = outline.hasCount;
            continue;
        }
        const std::string parent = plan.OutputReference(rootPart, root);
        if (last == 0) {
            // A root without items takes this input's items as its own.
            plan.SetKey(rootPart, root, "/First", plan.OutputReference(k, outline.first));
        } else {
            plan.SetKey(lastPart, last, "/Next", plan.OutputReference(k, outline.first));
            plan.SetKey(k, outline.first, "/Prev", plan.OutputReference(lastPart, last));
        }
        for (int32_t item : outline.tops)
            plan.SetKey(k, item, "/Parent", parent);
        plan.Drop(k, number);
        lastPart = k;
        last = outline.last;
        count += outline.count;
        hasCount = hasCount || outline.hasCount;
        rootEdited = true;
    }
    if (rootEdited) {
        plan.SetKey(rootPart, root, "/Last", plan.OutputReference(lastPart, last));
        // Roots that state no count (no open items) still state none.
        if (hasCount || count != 0)
            plan.SetKey(rootPart, root, "/Count", std::to_string(count));
    }
}
