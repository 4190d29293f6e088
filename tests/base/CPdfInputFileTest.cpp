// CPdfInputFile and its pool: more files than descriptors take turns, every
// read still reaches its own file, and a file that is not the one first
// opened is refused when it is opened again.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "base/CPdfException.h"
#include "base/CPdfInputFile.h"
#include "base/CPdfInputFilePool.h"
#include "base/Messages.h"
#include "base/PdfFileFormat.h"
#include "support/PdfBuilder.h"

namespace {

std::string ReadFrom(CPdfInputFile& file, int64_t position, size_t length)
{
    std::string bytes(length, '\0');
    bytes.resize(pdfformat::ReadAt(file.Descriptor(), position, reinterpret_cast<uint8_t*>(bytes.data()), length));
    return bytes;
}

// The failure Descriptor raises, as "message: reason"; "" when it raises none.
std::string FailureOf(CPdfInputFile& file)
{
    try {
        file.Descriptor();
    } catch (const CPdfException& e) {
        return std::string(e.GetMessageText()) + ": " + e.GetReason();
    }
    return "";
}

}  // namespace

TEST(CPdfInputFileTest, MoreFilesThanTheBoundTakeTurnsAndReadTheirOwnBytes)
{
    TempDir dir;
    CPdfInputFilePool pool(3);
    std::vector<std::unique_ptr<CPdfInputFile>> files;
    for (int i = 0; i < 10; ++i) {
        dir.Write(std::to_string(i), "file " + std::to_string(i) + " of ten");
        files.push_back(std::make_unique<CPdfInputFile>(dir.File(std::to_string(i)), &pool));
        EXPECT_LE(pool.GetOpenCount(), 3u);
    }
    EXPECT_EQ(pool.GetReopenCount(), 0u);
    // In turn, backwards and at random: each read reaches its own file.
    std::vector<int> order;
    for (int i = 0; i < 10; ++i)
        order.push_back(i);
    for (int i = 9; i >= 0; --i)
        order.push_back(i);
    for (int i = 0; i < 40; ++i)
        order.push_back((i * 7 + 3) % 10);
    for (int i : order) {
        EXPECT_EQ(ReadFrom(*files[i], 5, 1), std::to_string(i));
        EXPECT_EQ(files[i]->GetSize(), 13);
        EXPECT_TRUE(files[i]->IsOpen());
        EXPECT_LE(pool.GetOpenCount(), 3u);
    }
    EXPECT_GT(pool.GetReopenCount(), 0u);
    // The two used last are never the one closed.
    const size_t reopened = pool.GetReopenCount();
    for (int round = 0; round < 5; ++round)
        for (int i : {4, 5, 6})
            EXPECT_EQ(ReadFrom(*files[i], 5, 1), std::to_string(i));
    EXPECT_LE(pool.GetReopenCount(), reopened + 3);
    // Files leave the pool when they go, in any order.
    files[5].reset();
    files[0].reset();
    EXPECT_LE(pool.GetOpenCount(), 3u);
    files.clear();
    EXPECT_EQ(pool.GetOpenCount(), 0u);
}

TEST(CPdfInputFileTest, PassAfterPassOverAllFilesKeepsMostOfThemOpen)
{
    // 100 files, 90 descriptors, five passes in order: a few files take
    // turns, the others are opened once (closing the least recently used
    // would open every file again on every pass).
    TempDir dir;
    CPdfInputFilePool pool(90);
    std::vector<std::unique_ptr<CPdfInputFile>> files;
    for (int i = 0; i < 100; ++i) {
        dir.Write(std::to_string(i), std::to_string(i));
        files.push_back(std::make_unique<CPdfInputFile>(dir.File(std::to_string(i)), &pool));
    }
    for (int pass = 0; pass < 5; ++pass)
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(ReadFrom(*files[i], 0, 3), std::to_string(i));
    EXPECT_LE(pool.GetReopenCount(), 5u * 13u);
    EXPECT_LE(pool.GetOpenCount(), 90u);
}

TEST(CPdfInputFileTest, APinnedFileKeepsItsDescriptor)
{
    TempDir dir;
    CPdfInputFilePool pool(1);
    dir.Write("first", "first");
    dir.Write("other", "other");
    CPdfInputFile first(dir.File("first"), &pool), other(dir.File("other"), &pool);
    EXPECT_FALSE(first.IsOpen());
    first.Pin();
    const int fd = first.Descriptor();
    // The file grows (an update appended in place): it is not opened again,
    // and its size stays the one first seen.
    std::ofstream(dir.File("first"), std::ios::app) << " and more";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFrom(other, 0, 5), "other");
        EXPECT_EQ(first.Descriptor(), fd);
        EXPECT_EQ(ReadFrom(first, 0, 5), "first");
    }
    EXPECT_EQ(first.GetSize(), 5);
}

TEST(CPdfInputFileTest, AFileThatIsNoLongerTheSameIsRefusedWhenOpenedAgain)
{
    TempDir dir;
    CPdfInputFilePool pool(1);
    for (const char* name : {"replaced", "rewritten", "removed", "touched", "kept", "next"})
        dir.Write(name, "0123456789");
    CPdfInputFile replaced(dir.File("replaced"), &pool), rewritten(dir.File("rewritten"), &pool),
        removed(dir.File("removed"), &pool), touched(dir.File("touched"), &pool), kept(dir.File("kept"), &pool),
        next(dir.File("next"), &pool);
    // Only the last is open now. Another file at the name, a longer one
    // written in place, none at all, the same bytes with a new time.
    dir.Write("other", "0123456789");
    std::filesystem::rename(dir.File("other"), dir.File("replaced"));
    std::ofstream(dir.File("rewritten"), std::ios::trunc) << "01234567890123";
    std::filesystem::remove(dir.File("removed"));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("touched").c_str(), times, 0), 0);
    const std::string changed = std::string(msg::kCantOpenFile) + ": the file changed while it was being read";
    EXPECT_EQ(FailureOf(replaced), changed);
    EXPECT_EQ(FailureOf(rewritten), changed);
    EXPECT_EQ(FailureOf(removed), std::string(msg::kCantOpenFile) + ": No such file or directory");
    EXPECT_EQ(FailureOf(touched), changed);
    EXPECT_EQ(ReadFrom(kept, 0, 10), "0123456789");
    EXPECT_EQ(ReadFrom(next, 0, 10), "0123456789");
}

TEST(CPdfInputFileTest, OnlyRegularFilesOpen)
{
    TempDir dir;
    const auto failure = [](const std::string& path) {
        try {
            CPdfInputFile file(path);
        } catch (const CPdfException& e) {
            return std::string(e.GetMessageText()) + ": " + e.GetReason() + " in " + e.GetFile();
        }
        return std::string();
    };
    EXPECT_EQ(failure(dir.Path()), std::string(msg::kCantOpenFile) + ": Is a directory in " + dir.Path());
    EXPECT_EQ(failure("/dev/null"), std::string(msg::kCantOpenFile) + ": not a regular file in /dev/null");
    EXPECT_EQ(failure(dir.File("none")),
              std::string(msg::kCantOpenFile) + ": No such file or directory in " + dir.File("none"));
}

TEST(CPdfInputFileTest, TheProcessBoundLeavesRoomBesideTheInputs)
{
    const size_t limit = CPdfInputFilePool::ProcessLimit();
    EXPECT_GE(limit, 1u);
    long open = sysconf(_SC_OPEN_MAX);
    EXPECT_LT(limit, static_cast<size_t>(open));
}
