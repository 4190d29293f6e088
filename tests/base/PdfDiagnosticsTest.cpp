// What a person reads on standard error: the exception's context and the
// lines made of it.
#include <gtest/gtest.h>

#include <cerrno>

#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfDiagnostics.h"

TEST(PdfDiagnosticsTest, LinesNameTheFileAndStayOneLine)
{
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"report.pdf", "No such file or directory", "korvel: report.pdf: No such file or directory\n"},
        {"", "too many arguments", "korvel: too many arguments\n"},
        {"two\nlines\r.pdf", "a\tb", "korvel: two?lines?.pdf: a?b\n"},
        {"\x7f%s%d.pdf", "100%", "korvel: ?%s%d.pdf: 100%\n"},
        {"caf\xc3\xa9.pdf", "x", "korvel: caf\xc3\xa9.pdf: x\n"},  // UTF-8 names pass unchanged
    };
    for (const auto& [file, text, line] : rows)
        EXPECT_EQ(diagnostics::FormatLine(file, text), line);
}

TEST(PdfDiagnosticsTest, ExceptionsCarryTheirContextUnchangedMessage)
{
    // The message a script reads stays the fixed text whatever context joins it.
    CPdfException plain(msg::kDamaged);
    EXPECT_EQ(diagnostics::FailureLine(plain), "korvel: PDF file was damaged\n");
    plain.InFile("b.pdf");
    EXPECT_EQ(diagnostics::FailureLine(plain), "korvel: b.pdf: PDF file was damaged\n");

    // The innermost file named wins over a later, wider wrap; copies (as
    // made by throw) keep it all.
    CPdfException e(msg::kCantOpenFile);
    e.BecauseOf(ENOENT).InFile("inner.pdf").InFile("outer.pdf");
    const CPdfException copy = e;
    EXPECT_STREQ(copy.GetMessageText(), msg::kCantOpenFile);
    EXPECT_EQ(copy.GetFile(), "inner.pdf");
    EXPECT_EQ(diagnostics::FailureLine(copy), "korvel: inner.pdf: No such file or directory\n");

    CPdfException written(msg::kWriteError);
    written.BecauseOf("can't rename the result onto it", EACCES);
    EXPECT_EQ(written.GetReason(), "can't rename the result onto it: Permission denied");
    EXPECT_STREQ(written.GetMessageText(), msg::kWriteError);
}
