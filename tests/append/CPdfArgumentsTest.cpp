// The argument grammar: what each command line names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "append/CPdfArguments.h"
#include "base/CPdfException.h"
#include "base/Messages.h"
#include "support/PdfBuilder.h"

namespace {

// The command line "korvel ARGS...", as main receives it, handed to f.
template <typename F>
auto WithArgv(std::vector<std::string> args, F f)
{
    args.insert(args.begin(), "korvel");
    std::vector<char*> argv;
    for (auto& s : args)
        argv.push_back(s.data());
    return f(static_cast<int>(argv.size()), argv.data());
}

CPdfArguments ParseLine(std::vector<std::string> args)
{
    return WithArgv(std::move(args), CPdfArguments::Parse);
}

bool NamesOutput(std::vector<std::string> args)
{
    return WithArgv(std::move(args), CPdfArguments::NamesStandardOutput);
}

}  // namespace

TEST(CPdfArgumentsTest, InputsOutputAndSwitchByArgumentCount)
{
    const struct {
        std::vector<std::string> args;
        std::string parsed;  // "in1,in2,... > output [/s]" or the failure
    } cases[] = {
        {{"a", "b"}, "a,b > temp.tmp"},
        {{"a", "b", "/s"}, "a,b > temp.tmp /s"},
        {{"a", "b", "o"}, "a,b > o"},
        {{"a", "b", ""}, "a,b > temp.tmp"},
        {{"a", "b", "o", "/s"}, "a,b > o /s"},
        {{"a", "b", "o", "x"}, "a,b > o /s"},  // any fourth argument, as ever
        {{"a", "b", "c.pdf", "o.pdf"}, "a,b,c.pdf > o.pdf"},
        {{"a", "b", "c", "O.Pdf"}, "a,b,c > O.Pdf"},
        {{"a", "b", "c", "d", "o"}, "a,b,c,d > o"},
        {{"a", "b", "c", "o", "/s"}, "a,b,c > o /s"},
        {{"a", "a", "a", "o.pdf"}, "a,a,a > o.pdf"},
        {{"a"}, msg::kWrongParameters},
        {{"a", ""}, msg::kWrongParameters},
        {{"a", "/s", "c", "o", "/s"}, msg::kWrongParameters},
        {{"a", "b", "c", "o", "/s", "/s"}, msg::kWrongParameters},
        {{"a", "b", "c", "", "/s"}, msg::kWrongParameters},
        {{"a", "", "c", "o.pdf"}, msg::kWrongParameters},
    };
    for (const auto& c : cases) {
        std::vector<std::string> all = {"korvel"};
        all.insert(all.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& s : all)
            argv.push_back(s.data());
        std::string parsed;
        try {
            const CPdfArguments arguments = CPdfArguments::Parse(static_cast<int>(argv.size()), argv.data());
            for (const std::string& name : arguments.GetInputNames())
                parsed += (parsed.empty() ? "" : ",") + name;
            parsed += " > " + arguments.GetOutputName() + (arguments.IsCompact() ? " /s" : "");
        } catch (const CPdfException& e) {
            parsed = e.GetMessageText();
        }
        EXPECT_EQ(parsed, c.parsed) << c.args.size();
    }
}

TEST(CPdfArgumentsTest, OptionsAreTakenOutWhereverTheyStandUntilADoubleDash)
{
    CPdfArguments a = ParseLine({"--incremental", "a", "b"});
    EXPECT_TRUE(a.IsIncremental() && a.IsInPlace());
    a = ParseLine({"a", "b", "--incremental", "o"});
    EXPECT_TRUE(a.IsIncremental());
    EXPECT_EQ(a.GetOutputName(), "o");
    // After "--", a name may start with "--".
    a = ParseLine({"a", "--", "--incremental", "--o"});
    EXPECT_FALSE(a.IsIncremental());
    EXPECT_EQ(a.GetInputNames(), (std::vector<std::string>{"a", "--incremental"}));
    EXPECT_EQ(a.GetOutputName(), "--o");
    EXPECT_FALSE(ParseLine({"a", "b"}).IsIncremental());
    try {
        ParseLine({"a", "--incremantal", "b"});
        ADD_FAILURE() << "an unknown option was taken";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.GetMessageText(), msg::kWrongParameters);
    }
    // Options do not count as arguments: still one input short.
    EXPECT_THROW(ParseLine({"--incremental", "a"}), CPdfException);
}

TEST(CPdfArgumentsTest, AnArgumentListStandsForItsLinesAndStandardOutputIsOnlyTheOutput)
{
    TempDir dir;
    // Any byte but a line feed is part of a name (a carriage return too);
    // the last line feed is optional; options may come from a list.
    dir.Write("list", "first input.pdf\nsecond\r\n--incremental\n");
    dir.Write("out", "o.pdf");
    CPdfArguments a = ParseLine({"@" + dir.File("list"), "@" + dir.File("out")});
    EXPECT_EQ(a.GetInputNames(), (std::vector<std::string>{"first input.pdf", "second\r"}));
    EXPECT_EQ(a.GetOutputName(), "o.pdf");
    EXPECT_TRUE(a.IsIncremental());
    // After "--", "@x" is a name like any other.
    a = ParseLine({"a", "--", "@b", "-"});
    EXPECT_EQ(a.GetInputNames(), (std::vector<std::string>{"a", "@b"}));
    EXPECT_TRUE(a.IsStandardOutput() && !a.IsInPlace());
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"@" + dir.File("missing"), "b"}, {"-", "b", "o"}, {"a", "-"}, {"a", "-", "c", "o.pdf"}}) {
        try {
            ParseLine(wrong);
            ADD_FAILURE() << wrong[0] << " " << wrong[1];
        } catch (const CPdfException& e) {
            EXPECT_STREQ(e.GetMessageText(), msg::kWrongParameters);
        }
    }
    // Telling the output before parsing: the last of three or more names.
    EXPECT_TRUE(NamesOutput({"a", "b", "-"}));
    EXPECT_TRUE(NamesOutput({"--incremental", "a", "b", "-", "/s"}));
    EXPECT_FALSE(NamesOutput({"a", "-"}));
    EXPECT_FALSE(NamesOutput({"-", "b", "o"}));
}
