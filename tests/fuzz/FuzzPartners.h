#pragma once
// The small valid documents a fuzzed document is appended to or onto. Each
// brings other work for the merges: a plain one, one with every
// document-level structure the job joins (outlines, named destinations, a
// form, page labels, layers, inherited attributes, a structure tree), one written with a
// cross-reference stream and object streams, and an encrypted one.
#include <string>
#include <vector>

#include "support/EncryptTestKit.h"
#include "support/PdfBuilder.h"

namespace fuzzpartners {

inline std::string Rich()
{
    const std::string content = "BT/Helv 12 Tf 20 150 Td(rich)Tj ET 0.5 g 20 20 60 40 re f";
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R/Outlines 5 0 R/Names<</Dests 8 0 R>>"
                "/AcroForm<</Fields[9 0 R]/DA(/Helv 0 Tf 0 g)/DR<</Font<</Helv 10 0 R>>>>>>"
                "/PageLabels<</Nums[0<</S/r>>1<</S/D/P(A-)>>]>>"
                "/OCProperties<</OCGs[11 0 R]/D<</OFF[11 0 R]/Order[11 0 R]>>>>"
                "/StructTreeRoot 14 0 R/MarkInfo<</Marked true>>/Lang(en)>>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R 4 0 R]/Count 2/Resources<</Font<</Helv 10 0 R>>>>"
                "/MediaBox[0 0 200 200]/Rotate 90>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/Contents 12 0 R/Annots[9 0 R 13 0 R]/StructParents 0>>");
    b.Object(4, "<</Type/Page/Parent 2 0 R/Contents 12 0 R>>");
    b.Object(5, "<</Type/Outlines/First 6 0 R/Last\n7 0 R/Count 2>>");
    b.Object(6, "<</Title(One)/Parent 5 0 R/Next 7 0 R/Dest(two)>>");
    b.Object(7, "<</Title<FEFF00540077006F>/Parent 5 0 R/Prev 6 0 R/Dest[4 0 R/Fit]>>");
    b.Object(8, "<</Names[(two)[4 0 R/XYZ 0 0 0]]>>");
    b.Object(9, "<</Type/Annot/Subtype/Widget/FT/Tx/T(name)/V(value)/Rect[0 0 50 20]/P 3 0 R>>");
    b.Object(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    b.Object(11, "<</Type/OCG/Name(Layer)>>");
    b.Stream(12, "", content);
    b.Object(13, "<</Type/Annot/Subtype/Link/Rect[0 0 10 10]/Dest(two)/StructParent 1>>");
    b.Object(14, "<</Type/StructTreeRoot/K 15 0 R/ParentTree<</Nums[0[16 0 R]1 16 0 R]>>/ParentTreeNextKey 2"
                 "/RoleMap<</Custom/H1>>/IDTree<</Names[(h)16 0 R]>>>>");
    b.Object(15, "<</Type/StructElem/S/Document/P 14 0 R/K 16 0 R>>");
    b.Object(16, "<</S/Custom/P 15 0 R/Pg 3 0 R/ID(h)/K[0<</Type/OBJR/Obj 13 0 R>>]>>");
    return b.Trailer("/Root 1 0 R/Info<</Title(rich)>>").Build();
}

// Catalog 1 and page content 4 in the file; page tree 2 and page 3 in the
// object stream 5, whose last member has no white space after it; a
// compressed cross-reference stream 6.
inline std::string Compressed()
{
    const std::string tree = "<</Type/Pages/Kids[3 0 R]/Count 1>>";
    const std::string page = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]/Resources<<>>/Contents 4 0 R>>";
    const std::string members = tree + page;
    const std::string header = "2 0 3 " + std::to_string(tree.size()) + " ";
    PdfAssembler a("%PDF-1.5");
    a.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    a.Object(4, StreamObject("/Filter/FlateDecode", Deflate("0 0 1 rg 10 10 50 50 re f")));
    a.Object(5, StreamObject("/Type/ObjStm/N 2/First " + std::to_string(header.size()), header + members));
    a.SetEntry(2, 2, 5, 0);
    a.SetEntry(3, 2, 5, 1);
    a.StartXRef(a.XRefStream(6, {}, "/Root 1 0 R", true));
    return a.Bytes();
}

inline std::vector<std::string> All()
{
    return {MinimalPdf(1), Rich(), Compressed(), encrypttest::Document(encrypttest::kAes)};
}

}  // namespace fuzzpartners
