// The file a result is written to: a unique name beside its target, one
// rename onto it, the target's permissions passed on, and a result that
// cannot be placed kept aside without replacing anything. (New targets,
// owners and refused targets are judged end to end, in test_files.py.)
#include <gtest/gtest.h>
#include <sys/stat.h>

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

// A result holding text, created for target.
void Start(CPdfOutputFile& out, const std::string& target, const std::string& text)
{
    ASSERT_TRUE(out.Create(target)) << out.GetError();
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), out.Get()), text.size());
}

}  // namespace

TEST(CPdfOutputFileTest, NamesBeside)
{
    // (Numbered names are the set-aside test's.)
    const std::tuple<std::string, std::string, std::string> beside[] = {
        {"a.pdf", "x", "x"}, {"docs/a.pdf", "x", "docs/x"}, {"/a.pdf", "x", "/x"}, {"/d/e/", "x", "/d/e/x"}};
    for (const auto& [path, name, expected] : beside)
        EXPECT_EQ(CPdfOutputFile::NameBeside(path, name), expected);
}

TEST(CPdfOutputFileTest, ReplacedTargetKeepsItsPermissionsAndIsNeverExposed)
{
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0604, 0444}) {
        const std::string target = dir.File("private.pdf");
        dir.Write("private.pdf", "old");
        chmod(target.c_str(), mode);
        CPdfOutputFile out;
        Start(out, target, "new");
        // While it is written the result is readable by its owner only.
        EXPECT_EQ(ModeOf(out.GetPath()), 0600u);
        ASSERT_TRUE(out.Commit()) << out.GetError();
        EXPECT_EQ(ModeOf(target), mode);
        EXPECT_EQ(ReadFile(target), "new");
        chmod(target.c_str(), 0600);
    }
    // A link is followed and kept: the file it names is replaced.
    std::filesystem::create_directory(dir.File("real"));
    dir.Write("real/doc.pdf", "old");
    std::filesystem::create_symlink("real/doc.pdf", dir.File("link.pdf"));
    CPdfOutputFile out;
    Start(out, dir.File("link.pdf"), "new");
    EXPECT_EQ(out.GetPath().rfind(dir.Path() + "/real/.korvel-", 0), 0u) << out.GetPath();
    ASSERT_TRUE(out.Commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.pdf")));
    EXPECT_EQ(ReadFile(dir.File("real/doc.pdf")), "new");
}

TEST(CPdfOutputFileTest, UnplacedResultIsSetAsideWithoutReplacingAnything)
{
    // The target turns into a full directory before the rename: rename
    // fails there even for root. Each round finds one more name in use;
    // where the name is free the result takes it.
    TempDir dir;
    const std::string target = dir.File("a.pdf");
    dir.Write("temp.tmp", "somebody's notes");
    for (const std::string name : {"temp-1.tmp", "temp-2.tmp", "free"}) {
        if (name == "free")
            std::filesystem::remove(dir.File("temp.tmp"));
        dir.Write("a.pdf", "first input");
        CPdfOutputFile out;
        Start(out, target, "result " + name);
        std::filesystem::remove(target);
        std::filesystem::create_directory(target);
        dir.Write("a.pdf/inside", "x");
        EXPECT_FALSE(out.Commit());
        EXPECT_EQ(out.GetError().rfind("can't rename the result onto it: ", 0), 0u) << out.GetError();
        EXPECT_EQ(out.SetAside("temp.tmp"), dir.File(name == "free" ? "temp.tmp" : name));
        std::filesystem::remove_all(target);
        if (name == "temp-2.tmp") {
            EXPECT_EQ(ReadFile(dir.File("temp.tmp")), "somebody's notes");
            EXPECT_EQ(ReadFile(dir.File("temp-2.tmp")), "result temp-2.tmp");
            EXPECT_EQ(Names(dir), (std::vector<std::string>{"temp-1.tmp", "temp-2.tmp", "temp.tmp"}));
        }
    }
}
