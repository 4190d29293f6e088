// The program as a process: usage text, argument rules, messages and exit
// statuses, observed from outside.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "main/Messages.h"
#include "support/PdfBuilder.h"

namespace {

struct ProcessResult {
    int status = -1;
    std::string out;
};

std::string Quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

ProcessResult RunKorvel(const std::vector<std::string>& args, const std::string& dir = ".")
{
    std::string command = "cd " + Quote(dir) + " && " + Quote(KORVEL_BINARY);
    for (const auto& a : args)
        command += " " + Quote(a);
    command += " 2>/dev/null";
    ProcessResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), p)) > 0)
        r.out.append(buffer, got);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const char kUsage[] =
    "Korvel version 1.00\n"
    "\n"
    "Usage:\n"
    "Korvel in1.pdf in2.pdf output.pdf\n"
    "will append in2.pdf onto in1.pdf and create output.pdf\n"
    "Korvel in1.pdf in2.pdf\n"
    "will append in2.pdf onto in1.pdf\n"
    "\n"
    "For optimization of the destination document's structure\n"
    "to reduce its size add /s parameter\n"
    "\n"
    "Notes:\n"
    "If the name of file contains space character itself,\n"
    "it must be enclosed in quotes.\n";

}  // namespace

TEST(Process, NoArgumentsPrintsExactUsageAndSucceeds)
{
    const ProcessResult r = RunKorvel({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage);
}

TEST(Process, WrongArgumentCountsFailWithTheMessageAndStatusOne)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"a.pdf"}, {"a", "b", "c", "d", "e"}, {"a", "b", "c", "d", "e", "f"}, {"", "b.pdf"}, {"a.pdf", ""}}) {
        const ProcessResult r = RunKorvel(args);
        EXPECT_EQ(r.out, msg::kWrongParameters) << args.size() << " arguments";
        EXPECT_EQ(r.status, 1);
    }
}

TEST(Process, FailureMessageIsPrintedVerbatimWithoutLineFeed)
{
    TempDir dir;
    const ProcessResult r = RunKorvel({"missing%d%s.pdf", "other.pdf", "out.pdf"}, dir.Path());
    EXPECT_EQ(r.out, msg::kCantOpenFile);
    EXPECT_EQ(r.status, 1);
}

TEST(Process, SuccessIsSilentWithStatusZero)
{
    TempDir dir;
    dir.Write("a.pdf", MinimalPdf(1));
    dir.Write("b.pdf", MinimalPdf(2));
    const ProcessResult r = RunKorvel({"a.pdf", "b.pdf", "out.pdf"}, dir.Path());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(dir.File("out.pdf")).substr(0, 8), "%PDF-1.4");
}

TEST(Process, OutputNamingAnInputIsRefusedBeforeAnythingIsWritten)
{
    TempDir dir;
    const std::string a = MinimalPdf(1);
    dir.Write("a.pdf", a);
    dir.Write("b.pdf", MinimalPdf(2));
    for (const auto& out : {"a.pdf", "./b.pdf"}) {
        const ProcessResult r = RunKorvel({"a.pdf", "b.pdf", out}, dir.Path());
        EXPECT_EQ(r.out, msg::kOutputEqualsInput);
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(ReadFile(dir.File("a.pdf")), a);
}
