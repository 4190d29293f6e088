#include "append/CPdfArguments.h"

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

}  // namespace

CPdfArguments CPdfArguments::Parse(int argc, char** argv)
{
    CPdfArguments parsed;
    std::vector<std::string> args;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options || arg.compare(0, 2, "--") != 0) {
            args.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--incremental") {
            parsed.m_incremental = true;
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
    for (const std::string& name : parsed.m_inputNames)
        if (name.empty())
            problem = msg::kEmptyInputName;
    if (problem != nullptr)
        throw CPdfException(msg::kWrongParameters).Because(std::string(problem) + msg::kSeeHelp);
    // An empty output name in the three-argument form, as ever, is the
    // in-place form.
    if (parsed.m_outputName.empty())
        parsed.m_outputName = kInPlaceName;
    return parsed;
}
