#include "merge/CPdfPageTreeMerge.h"

#include "merge/CPdfMergePlan.h"
#include "object/CPdfDictionary.h"

namespace {

// The number of pages under a root node: its integer /Count, else the pages
// the tree walk found.
int64_t PageCount(const CPdfMergePart& part, const CPdfObject& root)
{
    if (root.GetKind() == OBJ_DICTIONARY) {
        CPdfObject count;
        root.GetDictionary()->Lookup("Count", count);
        if (count.GetKind() == OBJ_INTEGER)
            return count.GetInt();
    }
    return part.pageCount;
}

}  // namespace

void CPdfPageTreeMerge::Plan(CPdfMergePlan& plan)
{
    const auto& parts = plan.GetParts();
    CPdfObject root1;
    parts[0].Fetch(parts[0].pageTree, root1);
    if (root1.GetKind() != OBJ_DICTIONARY)
        return;
    const CPdfDictionary& first = *root1.GetDictionary();
    CPdfObject kids, rotate;
    first.LookupRaw("Kids", kids);
    first.Lookup("Rotate", rotate);
    const std::string parent = plan.OutputReference(0, parts[0].pageTree);
    int64_t sum = PageCount(parts[0], root1);
    for (size_t k = 1; k < parts.size(); ++k) {
        CPdfObject root;
        parts[k].Fetch(parts[k].pageTree, root);
        sum += PageCount(parts[k], root);
        const std::string kid = plan.OutputReference(k, parts[k].pageTree);
        if (kids.GetKind() == OBJ_REFERENCE)
            plan.AppendToArray(0, kids.GetRefNum(), nullptr, kid);
        else
            plan.AppendToArray(0, parts[0].pageTree, "/Kids", kid);
        plan.SetKey(k, parts[k].pageTree, "/Parent", parent);
        if (root.GetKind() != OBJ_DICTIONARY)
            continue;
        // Pages inherit /Resources, /Rotate, /CropBox and /MediaBox from
        // their ancestors. Hung under the first root node, this input's pages
        // would take what that node sets and their own tree does not: their
        // root gets the values those pages had by default instead. A crop
        // box larger than any page is cut to each page's media box, which is
        // the default crop box. Every page of this input found resources at
        // or below its root, so empty ones there change no page; they keep a
        // reader from searching further up.
        const CPdfDictionary& second = *root.GetDictionary();
        if (rotate.GetKind() == OBJ_INTEGER && rotate.GetInt() % 360 != 0 && !second.Has("Rotate"))
            plan.SetKey(k, parts[k].pageTree, "/Rotate", "0");
        if (first.Has("CropBox") && !second.Has("CropBox"))
            plan.SetKey(k, parts[k].pageTree, "/CropBox", "[-32767 -32767 32767 32767]");
        if (first.Has("MediaBox") && !second.Has("MediaBox"))
            plan.SetKey(k, parts[k].pageTree, "/MediaBox", "[0 0 612 792]");
        if (first.Has("Resources") && !second.Has("Resources"))
            plan.SetKey(k, parts[k].pageTree, "/Resources", "<<>>");
    }
    // The sum replaces the count's digits, or its whole "N G R" when the
    // count is an object of its own (that object stays as it was). The
    // leading space keeps the count's own separator.
    plan.SetKey(0, parts[0].pageTree, "/Count", " " + std::to_string(sum));
}
