// The file a result is written to: a unique name beside its target, one
// rename onto it, the target's permissions passed on, and a result that
// cannot be placed kept aside without replacing anything.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/PdfBuilder.h"
#include "writer/CPdfOutputFile.h"

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::vector<std::string> Names(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void Put(CPdfOutputFile& file, const std::string& text)
{
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file.Get()), text.size());
}

}  // namespace

TEST(CPdfOutputFileTest, NamesBesideAndNumbered)
{
    const std::tuple<std::string, std::string, std::string> beside[] = {
        {"a.pdf", "x", "x"}, {"docs/a.pdf", "x", "docs/x"}, {"/a.pdf", "x", "/x"}, {"/d/e/", "x", "/d/e/x"}};
    for (const auto& [path, name, expected] : beside)
        EXPECT_EQ(CPdfOutputFile::NameBeside(path, name), expected);
    const std::tuple<std::string, unsigned, std::string> numbered[] = {
        {"temp.tmp", 0, "temp.tmp"}, {"temp.tmp", 2, "temp-2.tmp"}, {"a.b.c", 1, "a.b-1.c"},
        {"noext", 3, "noext-3"},     {".hidden", 1, ".hidden-1"}};
    for (const auto& [name, n, expected] : numbered)
        EXPECT_EQ(CPdfOutputFile::NumberedName(name, n), expected);
}

TEST(CPdfOutputFileTest, NewTargetGetsTheUsualModeAndNothingElseIsLeft)
{
    TempDir dir;
    const mode_t mask = umask(027);
    {
        CPdfOutputFile out;
        ASSERT_TRUE(out.Create(dir.File("new.pdf")));
        EXPECT_EQ(out.GetPath().rfind(dir.Path() + "/.korvel-", 0), 0u) << out.GetPath();
        Put(out, "result");
        EXPECT_TRUE(out.Commit());
    }
    {
        CPdfOutputFile abandoned;  // a failed run: destroyed before Commit
        ASSERT_TRUE(abandoned.Create(dir.File("other.pdf")));
        Put(abandoned, "partial");
    }
    umask(mask);
    EXPECT_EQ(ModeOf(dir.File("new.pdf")), 0640u);
    EXPECT_EQ(ReadFile(dir.File("new.pdf")), "result");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"new.pdf"});
}

TEST(CPdfOutputFileTest, ReplacedTargetKeepsItsPermissionsAndIsNeverExposed)
{
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0604, 0444}) {
        const std::string target = dir.File("private.pdf");
        dir.Write("private.pdf", "old");
        chmod(target.c_str(), mode);
        CPdfOutputFile out;
        ASSERT_TRUE(out.Create(target));
        // While it is written the result is readable by its owner only.
        EXPECT_EQ(ModeOf(out.GetPath()), 0600u);
        Put(out, "new");
        ASSERT_TRUE(out.Commit()) << out.GetError();
        EXPECT_EQ(ModeOf(target), mode);
        EXPECT_EQ(ReadFile(target), "new");
        chmod(target.c_str(), 0600);
    }
}

TEST(CPdfOutputFileTest, ReplacedTargetKeepsItsOwnerWhereAllowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another owner";
    TempDir dir;
    const std::string target = dir.File("theirs.pdf");
    dir.Write("theirs.pdf", "old");
    ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
    CPdfOutputFile out;
    ASSERT_TRUE(out.Create(target));
    ASSERT_TRUE(out.Commit());
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST(CPdfOutputFileTest, LinkIsFollowedAndKept)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    dir.Write("real/doc.pdf", "old");
    std::filesystem::create_symlink("real/doc.pdf", dir.File("link.pdf"));
    CPdfOutputFile out;
    ASSERT_TRUE(out.Create(dir.File("link.pdf")));
    EXPECT_EQ(out.GetPath().rfind(dir.Path() + "/real/.korvel-", 0), 0u) << out.GetPath();
    Put(out, "new");
    ASSERT_TRUE(out.Commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.pdf")));
    EXPECT_EQ(ReadFile(dir.File("real/doc.pdf")), "new");
}

TEST(CPdfOutputFileTest, TargetsThatCannotBeReplacedAreRefusedUpFront)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder.pdf"));
    const std::pair<std::string, std::string> refused[] = {
        {dir.File("folder.pdf"), "Is a directory"},
        {"/dev/null", "not a regular file"},
        {dir.File("no/such.pdf"), "can't create a file in its directory: No such file or directory"},
    };
    for (const auto& [target, reason] : refused) {
        CPdfOutputFile out;
        EXPECT_FALSE(out.Create(target));
        EXPECT_EQ(out.GetError(), reason);
        EXPECT_EQ(out.Get(), nullptr);
    }
    EXPECT_EQ(Names(dir), std::vector<std::string>{"folder.pdf"});
}

TEST(CPdfOutputFileTest, UnplacedResultIsSetAsideWithoutReplacingAnything)
{
    // The target turns into a full directory before the rename: rename
    // fails there even for root. Each round finds one more name in use.
    TempDir dir;
    const std::string target = dir.File("a.pdf");
    std::vector<std::string> expected = {"a.pdf", "temp.tmp"};
    dir.Write("temp.tmp", "somebody's notes");
    for (const std::string name : {"temp-1.tmp", "temp-2.tmp"}) {
        dir.Write("a.pdf", "first input");
        CPdfOutputFile out;
        ASSERT_TRUE(out.Create(target));
        Put(out, "result " + name);
        std::filesystem::remove(target);
        std::filesystem::create_directory(target);
        dir.Write("a.pdf/inside", "x");
        EXPECT_FALSE(out.Commit());
        EXPECT_EQ(out.GetError().rfind("can't rename the result onto it: ", 0), 0u) << out.GetError();
        EXPECT_EQ(out.SetAside("temp.tmp"), dir.File(name));
        std::filesystem::remove_all(target);
        expected.push_back(name);
    }
    EXPECT_EQ(ReadFile(dir.File("temp.tmp")), "somebody's notes");
    EXPECT_EQ(ReadFile(dir.File("temp-2.tmp")), "result temp-2.tmp");
    std::sort(expected.begin(), expected.end());
    expected.erase(std::find(expected.begin(), expected.end(), "a.pdf"));
    EXPECT_EQ(Names(dir), expected);

    // Where the name is free the result takes it.
    std::filesystem::remove(dir.File("temp.tmp"));
    CPdfOutputFile out;
    ASSERT_TRUE(out.Create(target));
    std::filesystem::create_directory(target);
    dir.Write("a.pdf/inside", "x");
    EXPECT_FALSE(out.Commit());
    EXPECT_EQ(out.SetAside("temp.tmp"), dir.File("temp.tmp"));
}
