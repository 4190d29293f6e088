// Pattern search in memory and in files, across every boundary a read may fall on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/PdfByteSearch.h"
#include "support/PdfBuilder.h"

namespace {

const uint8_t* Bytes(const std::string& s)
{
    return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

TEST(PdfByteSearchTest, FindPatternGivesTheLastByteOfTheFirstMatchInsideTheRange)
{
    auto find = [](const std::string& s, uint32_t start, uint32_t length) {
        return bytesearch::FindPattern(Bytes(s), start, length, "endobj", 6);
    };
    // 0: none begins at the start or later and ends within the length.
    EXPECT_EQ(std::vector({find("abcendobjxyz", 0, 12), find("endendobj endobj", 0, 16), find("endobj endobj", 1, 13),
                           find("xxendobj", 3, 8), find("xendobj", 0, 6), find("endobj", 6, 6)}),
              std::vector<uint32_t>({8, 8, 12, 0, 0, 0}));
}

TEST(PdfByteSearchTest, FindInFileFindsPatternsAcrossEveryReadBoundary)
{
    constexpr int64_t kAt = 600000;
    std::string contents(kAt + 1000, 'x');
    contents.replace(kAt, 6, "endobj");
    MemoryFile file(contents);
    const int fd = open(file.Path().c_str(), O_RDONLY);
    // Reads grow from 4 KiB: a search starting d bytes before the pattern
    // must find it whatever read the pattern straddles.
    for (const int64_t boundary : {4096, 12283, 258023})
        for (int64_t d = boundary - 8; d <= boundary + 2; ++d)
            ASSERT_EQ(bytesearch::FindInFile(fd, kAt - d, "endobj", 6), kAt + 5) << "distance " << d;
    EXPECT_EQ(bytesearch::FindInFile(fd, kAt + 1, "endobj", 6), 0);
    EXPECT_EQ(bytesearch::FindInFile(fd, kAt + 5000, "endobj", 6), 0);
    EXPECT_EQ(bytesearch::FindInFile(fd, -1, "endobj", 6), 0);
    close(fd);
}
