// Program entry: prints the usage text or the version, or runs one append
// job, and is the one place where failures are reported.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "append/CPdfArguments.h"
#include "append/CPdfFileAppend.h"
#include "base/CPdfException.h"
#include "base/Messages.h"
#include "base/PdfDiagnostics.h"

namespace {

const char* const kUsage[] = {
    "Korvel version 1.00",
    "",
    "Usage:",
    "Korvel in1.pdf in2.pdf output.pdf",
    "will append in2.pdf onto in1.pdf and create output.pdf",
    "Korvel in1.pdf in2.pdf",
    "will append in2.pdf onto in1.pdf",
    "",
    "For optimization of the destination document's structure",
    "to reduce its size add /s parameter",
    "",
    "Notes:",
    "If the name of file contains space character itself,",
    "it must be enclosed in quotes.",
    "",
    "Options:",
    "--incremental  append to in1.pdf as an incremental update, keeping its bytes",
    "--bookmarks=join|per-input|per-input-titles|none",
    "               the outline: joined (the default), an item per input, none",
    "--             end of options",
    "@FILE          the lines of FILE as arguments, one a line (@- reads standard input)",
    "-              as the output: write the result to standard output",
};

int PrintUsage()
{
    for (const char* line : kUsage) {
        std::fputs(line, stdout);
        std::fputs("\n", stdout);
    }
    return 0;
}

// Scripts compare the message bytes on standard output, so they get them
// exactly; at a terminal a line feed follows, or the prompt would land on
// the message's line. The person also gets one line on standard error.
int ReportFailure(const char* message, const std::string& line, bool resultOnStdout)
{
    // When the result goes to standard output, nothing else may: the
    // message goes to standard error with the line.
    if (resultOnStdout) {
        std::fputs(message, stderr);
        std::fputs("\n", stderr);
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return 1;
    }
    std::fputs(message, stdout);
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // The one-argument forms every user tries first; as input names they
    // could only ever fail, so no working command line changes meaning.
    if (argc == 1 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)))
        return PrintUsage();
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(kUsage[0], stdout);
        std::fputs("\n", stdout);
        return 0;
    }
    // Exit status 1 after a reported failure, so that scripts can tell a
    // failed append from a good one; the message itself stays as it was.
    // Where a failure is reported depends on the output: as the command
    // line looks until it is parsed, as parsed after that.
    bool toStdout = CPdfArguments::NamesStandardOutput(argc, argv);
    try {
        auto job = std::make_unique<CPdfFileAppend>();
        job->ParseArguments(argc, argv);
        toStdout = job->GetArguments().IsStandardOutput();
        job->Run();
    } catch (const CPdfException& e) {
        return ReportFailure(e.GetMessageText(), diagnostics::FailureLine(e), toStdout);
    } catch (const std::bad_alloc&) {
        return ReportFailure(msg::kUnexpected, diagnostics::FormatLine("", "out of memory"), toStdout);
    } catch (const std::exception& e) {
        return ReportFailure(msg::kUnexpected, diagnostics::FormatLine("", std::string("internal error: ") + e.what()),
                             toStdout);
    } catch (...) {
        return ReportFailure(msg::kUnexpected, diagnostics::FormatLine("", "internal error"), toStdout);
    }
    return 0;
}
