#include "append/CPdfArguments.h"

#include <cerrno>
#include <cstring>

#include "base/CPdfException.h"
#include "base/Messages.h"

namespace {

// True when the name ends in ".pdf", in any case.
bool EndsWithPdf(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".pdf";
}

// The lines of the list file (standard input for "-"): one argument a
// line, any byte but a line feed; a last line feed is optional. Raises
// "Wrong program parameteres" when the list cannot be read.
void ReadList(const std::string& name, std::vector<std::string>& out)
{
    FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (file == nullptr)
        throw CPdfException(msg::kWrongParameters)
            .Because(std::string(msg::kCantReadList) + name + ": " + std::strerror(errno) + msg::kSeeHelp);
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    if (file != stdin)
        std::fclose(file);
    if (failed)
        throw CPdfException(msg::kWrongParameters)
            .Because(std::string(msg::kCantReadList) + name + ": " + std::strerror(error) + msg::kSeeHelp);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

bool CPdfArguments::NamesStandardOutput(int argc, char** argv)
{
    // The output is the last argument, or the one before a last "/s", of
    // three or more that are not options.
    int named = 0;
    for (int i = 1; i < argc; ++i)
        named += std::strncmp(argv[i], "--", 2) != 0;
    if (named >= 3 && std::strcmp(argv[argc - 1], "-") == 0)
        return true;
    return named >= 4 && std::strcmp(argv[argc - 1], "/s") == 0 && std::strcmp(argv[argc - 2], "-") == 0;
}

CPdfArguments CPdfArguments::Parse(int argc, char** argv)
{
    CPdfArguments parsed;
    // Argument lists first: what they hold are arguments like any other.
    std::vector<std::string> given;
    bool lists = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (lists && arg.size() > 1 && arg[0] == '@')
            ReadList(arg.substr(1), given);
        else
            given.push_back(arg);
        if (arg == "--")
            lists = false;
    }
    std::vector<std::string> args;
    bool options = true;
    for (const std::string& arg : given) {
        if (!options || arg.compare(0, 2, "--") != 0) {
            args.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--incremental") {
            parsed.m_incremental = true;
        } else if (arg.compare(0, 12, "--bookmarks=") == 0) {
            const std::string value = arg.substr(12);
            if (value == "join")
                parsed.m_bookmarks = EBookmarks::kJoin;
            else if (value == "per-input")
                parsed.m_bookmarks = EBookmarks::kPerInput;
            else if (value == "per-input-titles")
                parsed.m_bookmarks = EBookmarks::kPerInputTitles;
            else if (value == "none")
                parsed.m_bookmarks = EBookmarks::kNone;
            else
                throw CPdfException(msg::kWrongParameters)
                    .Because(std::string(msg::kUnknownValue) + value + " for --bookmarks" + msg::kSeeHelp);
        } else {
            throw CPdfException(msg::kWrongParameters).Because(msg::kUnknownOption + arg + msg::kSeeHelp);
        }
    }
    const int n = static_cast<int>(args.size());
    const char* problem = nullptr;
    if (n == 2 || n == 3) {
        parsed.m_inputNames = {args[0], args[1]};
        if (n == 3 && args[2] == "/s")
            parsed.m_compact = true;
        else if (n == 3)
            parsed.m_outputName = args[2];
    } else if (n == 4 && !EndsWithPdf(args[3])) {
        // Any fourth argument turns the compact switch on.
        parsed.m_inputNames = {args[0], args[1]};
        parsed.m_outputName = args[2];
        parsed.m_compact = true;
    } else if (n >= 4) {
        if (args.back() == "/s" && n >= 5) {
            parsed.m_compact = true;
            args.pop_back();
        }
        parsed.m_outputName = args.back();
        args.pop_back();
        parsed.m_inputNames = args;
        for (const std::string& name : args)
            if (name == "/s")
                problem = msg::kSwitchNotLast;
        if (parsed.m_outputName.empty() || parsed.m_outputName == "/s")
            problem = parsed.m_outputName.empty() ? msg::kEmptyOutputName : msg::kSwitchNotLast;
    } else {
        problem = msg::kMissingSecondInput;
    }
    for (const std::string& name : parsed.m_inputNames) {
        if (name.empty())
            problem = msg::kEmptyInputName;
        else if (name == "-")
            problem = msg::kDashAsInput;
    }
    if (problem != nullptr)
        throw CPdfException(msg::kWrongParameters).Because(std::string(problem) + msg::kSeeHelp);
    // An empty output name in the three-argument form, as ever, is the
    // in-place form.
    if (parsed.m_outputName.empty())
        parsed.m_outputName = kInPlaceName;
    return parsed;
}
