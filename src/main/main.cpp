// Program entry: prints the usage text or runs one append job, and is the
// one place where failures are reported.
#include <cstdio>
#include <exception>
#include <memory>

#include "append/CPdfFileAppend.h"
#include "main/CPdfException.h"
#include "main/Messages.h"

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
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1) {
        for (const char* line : kUsage) {
            std::fputs(line, stdout);
            std::fputs("\n", stdout);
        }
        return 0;
    }
    // Exit status 1 after a reported failure, so that scripts can tell a
    // failed append from a good one; the message itself stays as it was.
    try {
        auto job = std::make_unique<CPdfFileAppend>();
        job->ParseArguments(argc, argv);
        job->Run();
    } catch (const CPdfException& e) {
        std::fputs(e.GetMessageText(), stdout);
        std::fflush(stdout);
        return 1;
    } catch (...) {
        std::fputs(msg::kUnexpected, stdout);
        std::fflush(stdout);
        return 1;
    }
    return 0;
}
