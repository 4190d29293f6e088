#include "base/PdfDiagnostics.h"

#include "base/CPdfException.h"

namespace diagnostics {

namespace {

void AppendPrintable(std::string& line, const std::string& text)
{
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        line += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
}

}  // namespace

std::string FormatLine(const std::string& file, const std::string& text)
{
    std::string line = "korvel: ";
    if (!file.empty()) {
        AppendPrintable(line, file);
        line += ": ";
    }
    AppendPrintable(line, text);
    line += '\n';
    return line;
}

std::string FailureLine(const CPdfException& failure)
{
    const std::string& reason = failure.GetReason();
    return FormatLine(failure.GetFile(), reason.empty() ? failure.GetMessageText() : reason);
}

void Warn(const std::string& file, const std::string& text)
{
    std::fputs(FormatLine(file, text).c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace diagnostics
