// The file an update is appended to in place: nothing before its end is
// touched, and an update that is not committed is cut off again.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "support/PdfBuilder.h"
#include "writer/CPdfUpdateFile.h"

namespace {

void Append(CPdfUpdateFile& file, const std::string& bytes)
{
    ASSERT_EQ(write(fileno(file.Get()), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

}  // namespace

TEST(CPdfUpdateFileTest, AnUpdateNotCommittedIsCutOffAndACommittedOneStays)
{
    TempDir dir;
    const std::string path = dir.File("a.pdf");
    dir.Write("a.pdf", "original bytes");
    {
        CPdfUpdateFile file;
        ASSERT_TRUE(file.Open(path));
        EXPECT_EQ(file.GetOriginalLength(), 14);
        Append(file, " and a failed update");
    }
    EXPECT_EQ(ReadFile(path), "original bytes");
    {
        CPdfUpdateFile file;
        ASSERT_TRUE(file.Open(path));
        Append(file, "+update");
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadFile(path), "original bytes+update");
}

TEST(CPdfUpdateFileTest, RoomAndOpeningFailuresAreReasons)
{
    TempDir dir;
    CPdfUpdateFile file;
    EXPECT_FALSE(file.Open(dir.File("missing.pdf")));
    EXPECT_NE(file.GetError().find("cannot open it for writing"), std::string::npos);
    EXPECT_FALSE(file.Open(dir.File("")));  // a directory
    dir.Write("a.pdf", "x");
    ASSERT_TRUE(file.Open(dir.File("a.pdf")));
    EXPECT_TRUE(file.CheckRoom(1));
    EXPECT_FALSE(file.CheckRoom(INT64_MAX));
    EXPECT_NE(file.GetError().find("not enough free space"), std::string::npos);
    file.Discard();
    EXPECT_EQ(ReadFile(dir.File("a.pdf")), "x");
}
