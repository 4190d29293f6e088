// libFuzzer target: one document from hostile bytes, opened and appended the
// way the program does it, as the first or the second input, plain or with
// /s, next to one of a few small valid partners or to itself.
//
// Input layout: one control byte, then the document's bytes.
//   bit 0   the document is the second input (else the first)
//   bit 1   the compact switch /s
//   bits 2-3  which partner (see FuzzPartners.h)
//   bit 4   the document is both inputs (bit 0 and the partner unused)
//   bit 5   a third input follows: the document once more
// Other bits are ignored, so every byte value is a valid control.
//
// The job takes file names, so the inputs are memory files (memfd) named by
// their /proc/self/fd path: nothing of an input touches the disk. The output
// goes to a temporary directory (in /dev/shm where there is one) made once
// per process and removed at exit.
//
// A finding is anything the sanitizers or libFuzzer report (crash, leak,
// timeout, memory), any exception other than CPdfException (main would say
// "Unexpected exception"), and a result that does not read back: an append
// that succeeds must write a file that opens, page tree and all, without a
// rebuild, holds as many pages as its inputs together, and whose every
// object in the table fetches and parses, but for as many objects as its
// inputs held that no reader can read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "append/CPdfFileAppend.h"
#include "reader/CPdfXRef.h"
#include "document/CPdfCatalog.h"
#include "base/CPdfException.h"
#include "document/CPdfDocument.h"
#include "fuzz/FuzzPartners.h"

namespace {

class FuzzFile {
public:
    explicit FuzzFile(const char* label) : m_fd(memfd_create(label, MFD_CLOEXEC))
    {
        if (m_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;
    ~FuzzFile() { close(m_fd); }

    void Fill(const uint8_t* data, size_t size)
    {
        if (ftruncate(m_fd, 0) != 0)
            std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                std::abort();
            done += static_cast<size_t>(n);
        }
    }
    const std::string& Path() const { return m_path; }

private:
    int m_fd;
    std::string m_path;
};

class Workspace {
public:
    Workspace() : m_document("document")
    {
        const std::vector<std::string> partners = fuzzpartners::All();
        for (size_t k = 0; k < partners.size(); ++k) {
            m_partners.push_back(std::make_unique<FuzzFile>("partner"));
            m_partners.back()->Fill(reinterpret_cast<const uint8_t*>(partners[k].data()), partners[k].size());
        }
        // Memory-backed where the system has it: every run writes a file.
        const std::filesystem::path shm = "/dev/shm";
        std::error_code error;
        const std::filesystem::path base =
            std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
        std::string dir = (base / "korvel-fuzz-XXXXXX").string();
        if (mkdtemp(dir.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_dir = dir;
        m_output = m_dir + "/out.pdf";
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    ~Workspace()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    FuzzFile& Document() { return m_document; }
    const FuzzFile& Partner(size_t k) const { return *m_partners[k % m_partners.size()]; }
    const std::string& Output() const { return m_output; }

private:
    FuzzFile m_document;
    std::vector<std::unique_ptr<FuzzFile>> m_partners;
    std::string m_dir;
    std::string m_output;
};

// What the program does between ParseArguments and its report: true when
// the job succeeded.
bool Append(const std::vector<std::string>& inputs, const std::string& output, bool compact)
{
    std::vector<std::string> args = {"korvel"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.push_back(output);
    if (compact)
        args.push_back("/s");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    try {
        CPdfFileAppend job;
        job.ParseArguments(static_cast<int>(argv.size()), argv.data());
        job.Run();
        return true;
    } catch (const CPdfException&) {
        return false;
    }
}

[[noreturn]] void Finding(const std::string& what)
{
    std::fprintf(stderr, "finding: %s\n", what.c_str());
    std::abort();
}

// What the reader finds in an input the job appended: its pages, and how
// many objects of its table it cannot read (a damaged input may hold some,
// and the job copies them as they are).
struct InputFacts {
    int64_t pages = 0;
    size_t unreadable = 0;
};

// Counts the objects of the table that do not fetch or parse; the first
// one's description goes to first.
size_t CountUnreadable(CPdfXRef& xref, std::string& first)
{
    size_t count = 0;
    for (size_t number = 1; number < xref.GetEntries().size(); ++number) {
        const XRefEntry entry = xref.GetEntries()[number];
        if (entry.type != 1 && entry.type != 2)
            continue;
        std::string problem;
        try {
            CPdfObject value;
            xref.FetchRawObject(static_cast<int32_t>(number), value);
            if (value.GetKind() == OBJ_ERROR)
                problem = "object " + std::to_string(number) + " does not parse";
        } catch (const CPdfException& e) {
            problem = "object " + std::to_string(number) + " does not parse: " + e.GetMessageText();
        }
        if (!problem.empty() && count++ == 0)
            first = problem;
    }
    return count;
}

InputFacts ReadInput(const std::string& path)
{
    CPdfDocument document;
    try {
        document.Open(path);
    } catch (const CPdfException& e) {
        Finding(std::string("an input the job appended does not open: ") + e.GetMessageText());
    }
    InputFacts facts;
    facts.pages = document.GetCatalog()->GetPageCount();
    std::string ignored;
    facts.unreadable = CountUnreadable(*document.GetXRef(), ignored);
    return facts;
}

void CheckResult(const std::vector<std::string>& inputs, const std::string& output)
{
    CPdfDocument result;
    try {
        result.Open(output);
    } catch (const CPdfException& e) {
        Finding(std::string("the result does not open: ") + e.GetMessageText() + " (" + e.GetReason() + ")");
    }
    if (result.WasRebuilt())
        Finding("the result's cross-reference data needed a rebuild");
    InputFacts sum;
    for (const std::string& input : inputs) {
        const InputFacts facts = ReadInput(input);
        sum.pages += facts.pages;
        sum.unreadable += facts.unreadable;
    }
    if (result.GetCatalog()->GetPageCount() != sum.pages)
        Finding("the result has " + std::to_string(result.GetCatalog()->GetPageCount()) + " pages, its inputs " +
                std::to_string(sum.pages));
    // An object no reader can read may pass from an input into the result
    // as it was, but the copy must not make more of them.
    std::string first;
    const size_t unreadable = CountUnreadable(*result.GetXRef(), first);
    if (unreadable > sum.unreadable)
        Finding("the result has " + std::to_string(unreadable) + " objects that do not read, its inputs " +
                std::to_string(sum.unreadable) + "; " + first);
    if (result.GetXRef()->WasRebuilt())
        Finding("an object of the result is not where the table says");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Workspace workspace;
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const bool second = control & 1;
    const bool compact = control & 2;
    const size_t partner = (control >> 2) & 3;
    const bool both = control & 16;
    const bool third = control & 32;

    FuzzFile& document = workspace.Document();
    document.Fill(data + 1, size - 1);
    std::vector<std::string> inputs = {document.Path(),
                                       both ? document.Path() : workspace.Partner(partner).Path()};
    if (second && !both)
        inputs[0].swap(inputs[1]);
    if (third)
        inputs.push_back(document.Path());
    if (!Append(inputs, workspace.Output(), compact))
        return 0;

    // The result holds the table this program wrote: reading it back must
    // never need a rebuild.
    CheckResult(inputs, workspace.Output());
    std::remove(workspace.Output().c_str());
    return 0;
}
