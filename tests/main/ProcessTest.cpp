// The program as a process: usage text, version, argument rules, messages,
// the lines on standard error and exit statuses, observed from outside.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <tuple>
#include <vector>

#include "main/Messages.h"
#include "support/PdfBuilder.h"

TEST(Process, OutputAndExitStatus)
{
    TempDir dir;
    const std::string a = MinimalPdf(1);
    dir.Write("a.pdf", a);
    dir.Write("b.pdf", MinimalPdf(2));
    const std::string usage =
        "Korvel version 1.00\n\nUsage:\nKorvel in1.pdf in2.pdf output.pdf\n"
        "will append in2.pdf onto in1.pdf and create output.pdf\nKorvel in1.pdf in2.pdf\n"
        "will append in2.pdf onto in1.pdf\n\nFor optimization of the destination document's structure\n"
        "to reduce its size add /s parameter\n\nNotes:\nIf the name of file contains space character itself,\n"
        "it must be enclosed in quotes.\n";
    const std::string see = msg::kSeeHelp;
    // A failure prints its message verbatim, without a line feed (stdout is
    // a pipe here), exits with 1 and says why in one line on stderr.
    const std::vector<std::tuple<std::vector<std::string>, std::string, int, std::string>> rows = {
        {{}, usage, 0, ""},
        {{"--help"}, usage, 0, ""},
        {{"-h"}, usage, 0, ""},
        {{"--version"}, "Korvel version 1.00\n", 0, ""},
        {{"a.pdf"}, msg::kWrongParameters, 1, "korvel: two input files are needed" + see + "\n"},
        {{"--version", "b.pdf"}, msg::kCantOpenFile, 1, "korvel: --version: No such file or directory\n"},
        {{"a", "b", "/s", "d", "e"}, msg::kWrongParameters, 1, "korvel: /s can only come last" + see + "\n"},
        {{"a", "b", "c", "", "/s"}, msg::kWrongParameters, 1, "korvel: the output file name is empty" + see + "\n"},
        {{"a", "", "c", "d.pdf"}, msg::kWrongParameters, 1, "korvel: an input file name is empty" + see + "\n"},
        {{"", "b.pdf"}, msg::kWrongParameters, 1, "korvel: an input file name is empty" + see + "\n"},
        {{"a.pdf", ""}, msg::kWrongParameters, 1, "korvel: an input file name is empty" + see + "\n"},
        {{"missing%d%s.pdf", "b.pdf", "out.pdf"}, msg::kCantOpenFile, 1,
         "korvel: missing%d%s.pdf: No such file or directory\n"},
        {{"a.pdf", ".", "out.pdf"}, msg::kCantOpenFile, 1, "korvel: .: Is a directory\n"},
        {{"a.pdf", "b.pdf", "a.pdf"}, msg::kOutputEqualsInput, 1,
         "korvel: a.pdf: this output file is also an input; choose another name\n"},
        {{"a.pdf", "b.pdf", "./b.pdf", "/s"}, msg::kOutputEqualsInput, 1,
         "korvel: ./b.pdf: this output file is also an input; choose another name\n"},
        {{"a.pdf", "b.pdf", "no/out.pdf"}, msg::kFileOpenError, 1,
         "korvel: no/out.pdf: can't create a file in its directory: No such file or directory\n"},
        {{"a.pdf", "b.pdf", "/dev/null"}, msg::kFileOpenError, 1, "korvel: /dev/null: not a regular file\n"},
        {{"a.pdf", "b.pdf", "out.pdf"}, "", 0, ""},
    };
    for (const auto& [args, out, status, err] : rows) {
        std::string command = "cd '" + dir.Path() + "' && '" + KORVEL_BINARY + "'";
        for (const auto& arg : args)
            command += " '" + arg + "'";  // no argument here holds a quote
        FILE* p = popen((command + " 2>'" + dir.File("stderr") + "'").c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string got(1 << 16, '\0');
        got.resize(fread(got.data(), 1, got.size(), p));
        const int result = pclose(p);
        EXPECT_EQ(got, out) << command;
        EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << command;
        EXPECT_EQ(ReadFile(dir.File("stderr")), err) << command;
    }
    EXPECT_EQ(ReadFile(dir.File("a.pdf")), a);  // refused before anything was written
    EXPECT_EQ(ReadFile(dir.File("out.pdf")).substr(0, 8), "%PDF-1.4");
}
