// Inputs past 2 and 4 GB: every object lies beyond 2^31 or 2^32, in sparse
// files that cost no disk, described by a classic table with ten-digit
// offsets or by a cross-reference stream with five-byte offsets.
#include <fcntl.h>
#include <unistd.h>

#include "support/AppendTestKit.h"
#include "document/CPdfCatalog.h"
#include "base/PdfFileFormat.h"
#include "support/XRefFixture.h"

namespace {

// "%PDF-1.4" at 0, then a two-page document written at base (catalog 1,
// page tree 2, pages 3 and 5 with contents 4 and 6).
std::string SparsePdf(const TempDir& dir, const std::string& name, int64_t base, bool xrefStream)
{
    std::string tail;
    std::vector<int64_t> offsets(8, 0);
    auto object = [&](int n, const std::string& body) {
        offsets[size_t(n)] = base + int64_t(tail.size());
        tail += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    };
    object(1, "<</Type/Catalog/Pages 2 0 R>>");
    object(2, "<</Type/Pages/Kids[3 0 R 5 0 R]/Count 2>>");
    for (int page : {3, 5}) {
        object(page, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 99 99]/Resources<<>>/Contents " +
                         std::to_string(page + 1) + " 0 R>>");
        object(page + 1, StreamObject("", "0 0 1 rg 9 9 " + std::to_string(page * 9) + " 9 re f"));
    }
    const int64_t xref = base + int64_t(tail.size());
    if (xrefStream) {
        std::string rows;
        for (int n = 0; n < 8; ++n) {
            const int64_t o = n == 7 ? xref : offsets[size_t(n)];
            rows += char(n == 0 ? 0 : 1);
            for (int shift = 32; shift >= 0; shift -= 8)  // five offset bytes
                rows += char((o >> shift) & 0xFF);
            rows += char(0);
        }
        object(7, StreamObject("/Type/XRef/Size 8/W[1 5 1]/Root 1 0 R", rows));
    } else {
        tail += "xref\n0 7\n0000000000 65535 f \n";
        char line[32];
        for (int n = 1; n < 7; ++n) {
            std::snprintf(line, sizeof(line), "%010lld 00000 n \n", static_cast<long long>(offsets[size_t(n)]));
            tail += line;
        }
        tail += "trailer\n<</Size 7/Root 1 0 R>>\n";
    }
    tail += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    const std::string path = dir.File(name);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string head = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    const bool ok = pwrite(fd, head.data(), head.size(), 0) == ssize_t(head.size()) &&
                    pwrite(fd, tail.data(), tail.size(), off_t(base)) == ssize_t(tail.size());
    close(fd);
    if (!ok)
        throw std::runtime_error("sparse write failed");
    return path;
}

}  // namespace

TEST(LargeOffsets, DocumentsBeyondTwoAndFourGigabytesOpenAndAppend)
{
    for (const int64_t base : {(int64_t(1) << 31) + 77, (int64_t(1) << 32) + 5}) {
        for (const bool xrefStream : {false, true}) {
            SCOPED_TRACE(std::to_string(base) + (xrefStream ? " xref stream" : " table"));
            TempDir dir;
            const std::string big = SparsePdf(dir, "big.pdf", base, xrefStream);
            {
                CPdfDocument doc;
                doc.Open(big);
                EXPECT_EQ(doc.GetCatalog()->GetPageCount(), 2);
                EXPECT_EQ(doc.GetXRef()->GetEntries()[3].offset > base, true);
            }
            dir.Write("small.pdf", MinimalPdf(1));
            // As the first and as the second document: only the objects are
            // copied, so the results are small.
            for (const bool first : {true, false}) {
                const std::string out = dir.File(first ? "first.pdf" : "second.pdf");
                EXPECT_EQ(RunJob({first ? big : dir.File("small.pdf"), first ? dir.File("small.pdf") : big, out}), "");
                CPdfDocument result;
                result.Open(out);
                EXPECT_EQ(result.GetCatalog()->GetPageCount(), 3);
                EXPECT_LT(std::filesystem::file_size(out), 4096u);
            }
        }
    }
}
