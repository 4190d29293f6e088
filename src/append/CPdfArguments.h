#pragma once

#include <cstdio>
#include <string>
#include <vector>

// What the command line asks of the append job: the inputs in order, the
// output and the compact switch. After the program's name: one to three
// arguments as always (in1 in2 [output | /s]); four are in1 in2 output with
// the compact switch, as always, unless the fourth ends in ".pdf": three
// inputs and an output; five or more are inputs, the output and an optional
// last "/s". No output name, or an empty one in the three-argument form, is
// the in-place form. An output named "-" is standard output.
//
// Before those rules: an argument "@FILE" stands for the lines of FILE, one
// argument a line ("@-": standard input), and options come out of the
// arguments wherever they stand: an argument starting with "--" is one (the
// argument "--" ends them, so a file name may then start with "--", and
// "@" after it is a plain name).
class CPdfArguments {
public:
    // --bookmarks=: the joined outline (the default), one item per input
    // titled with its file name or with the document's own title, or none.
    enum class EBookmarks { kJoin, kPerInput, kPerInputTitles, kNone };

    // The output name that makes the result replace the first input.
    static constexpr const char* kInPlaceName = "temp.tmp";

    // Raises "Wrong program parameteres", with the reason beside it.
    static CPdfArguments Parse(int argc, char** argv);

    const std::vector<std::string>& GetInputNames() const { return m_inputNames; }
    const std::string& GetOutputName() const { return m_outputName; }
    bool IsCompact() const { return m_compact; }
    // --incremental: the later inputs go into one incremental update of the
    // first, whose bytes stay as they are.
    bool IsIncremental() const { return m_incremental; }
    EBookmarks GetBookmarks() const { return m_bookmarks; }
    // The result replaces the first input.
    bool IsInPlace() const { return m_outputName == kInPlaceName; }
    // The result goes to standard output.
    bool IsStandardOutput() const { return m_outputName == "-"; }
    // Whether argv names standard output as the output, as far as can be
    // told without parsing (the last argument, or the one before a last
    // "/s"), for reporting a failure to parse.
    static bool NamesStandardOutput(int argc, char** argv);

private:
    std::vector<std::string> m_inputNames;
    std::string m_outputName;
    bool m_compact = false;
    bool m_incremental = false;
    EBookmarks m_bookmarks = EBookmarks::kJoin;
};
