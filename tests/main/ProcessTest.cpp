// The program as a process: usage text, argument rules, messages and exit
// statuses, observed from outside.
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
    // A failure prints its message verbatim, without a line feed, and exits with 1.
    const std::vector<std::tuple<std::vector<std::string>, std::string, int>> rows = {
        {{}, usage, 0},
        {{"a.pdf"}, msg::kWrongParameters, 1}, {{"a", "b", "c", "d", "e"}, msg::kWrongParameters, 1},
        {{"", "b.pdf"}, msg::kWrongParameters, 1}, {{"a.pdf", ""}, msg::kWrongParameters, 1},
        {{"missing%d%s.pdf", "b.pdf", "out.pdf"}, msg::kCantOpenFile, 1},
        {{"a.pdf", "b.pdf", "a.pdf"}, msg::kOutputEqualsInput, 1},
        {{"a.pdf", "b.pdf", "./b.pdf", "/s"}, msg::kOutputEqualsInput, 1},
        {{"a.pdf", "b.pdf", "out.pdf"}, "", 0},
    };
    for (const auto& [args, out, status] : rows) {
        std::string command = "cd '" + dir.Path() + "' && '" + KORVEL_BINARY + "'";
        for (const auto& arg : args)
            command += " '" + arg + "'";  // no argument here holds a quote
        FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string got(1 << 16, '\0');
        got.resize(fread(got.data(), 1, got.size(), p));
        const int result = pclose(p);
        EXPECT_EQ(got, out) << command;
        EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << command;
    }
    EXPECT_EQ(ReadFile(dir.File("a.pdf")), a);  // refused before anything was written
    EXPECT_EQ(ReadFile(dir.File("out.pdf")).substr(0, 8), "%PDF-1.4");
}
