#pragma once
// Document-level merges driven alone: inputs opened from memory as the job
// opens them, one numbering and plan over them, and what the copy and the
// merges' writes then make of their objects.
#include <memory>
#include <string>
#include <vector>

#include "copy/CPdfNumbering.h"
#include "copy/CPdfRawReader.h"
#include "document/CPdfCatalog.h"
#include "merge/CPdfDocumentMerge.h"
#include "merge/CPdfMergeOutput.h"
#include "merge/CPdfMergePlan.h"
#include "support/ObjectTestKit.h"
#include "support/XRefFixture.h"
#include "writer/CPdfFile.h"

class PlannedInputs {
public:
    explicit PlannedInputs(const std::vector<std::string>& files)
    {
        std::vector<CPdfMergePart> parts;
        for (const std::string& bytes : files) {
            m_inputs.push_back(std::make_unique<OpenedDocument>(bytes));
            CPdfDocument& doc = m_inputs.back()->doc;
            m_numbering.AddInput(doc.GetXRef()->GetEntries());
            CPdfMergePart part;
            part.xref = doc.GetXRef();
            part.catalog = doc.GetXRef()->GetRootNum();
            part.catalogValue = doc.GetCatalog()->GetValue();
            part.pageTree = CPdfMergePart::ReferenceIn(part.catalogValue, "Pages");
            part.pageCount = doc.GetCatalog()->GetPageCount();
            parts.push_back(std::move(part));
        }
        m_plan = std::make_unique<CPdfMergePlan>(std::move(parts), m_numbering);
    }

    CPdfMergePlan& Plan() { return *m_plan; }
    const CPdfNumbering& Numbering() const { return m_numbering; }

    // Plans the merges in order, then writes what they built; the new
    // objects are read with New.
    void Run(const std::vector<CPdfDocumentMerge*>& merges)
    {
        for (CPdfDocumentMerge* merge : merges)
            merge->Plan(*m_plan);
        m_numbering.PlaceDangling();
        MemoryFile out("");
        std::unique_ptr<FILE, int (*)(FILE*)> handle(std::fopen(out.Path().c_str(), "wb"), std::fclose);
        CPdfFile file;
        file.ResetXRefTable(static_cast<int32_t>(m_numbering.GetEndNumber()));
        file.AttachOutput(handle.get());
        CPdfMergeOutput output(m_numbering, file);
        for (CPdfDocumentMerge* merge : merges)
            merge->Write(output);
        file.Flush();
        m_written = out.Contents();
    }

    // Object number of part as the copy writes it (renumbered, transformed,
    // edited); null when it is left out.
    CPdfObject Copied(size_t part, int32_t number)
    {
        if (m_plan->IsDropped(part, number))
            return CPdfObject();
        CPdfRawReader reader(*m_inputs[part]->doc.GetFile(), *m_inputs[part]->doc.GetXRef());
        CPdfRawObject raw;
        if (!reader.ReadRawObject(number, raw, true))
            return CPdfObject();
        const uint8_t* text = raw.GetHead();
        uint32_t length = raw.GetHeadLength(), split = raw.GetLayout().split;
        std::string renumbered, transformed, edited;
        if (part > 0) {
            const auto map = [this, part](int64_t m) { return m_numbering.OutputTarget(part, m); };
            objecttext::Renumber(text, length, raw.GetLayout(), m_numbering.OutputNumber(part, number), map,
                                 renumbered);
            split = split + static_cast<uint32_t>(renumbered.size()) - length;
            text = reinterpret_cast<const uint8_t*>(renumbered.data());
            length = static_cast<uint32_t>(renumbered.size());
        }
        if (m_plan->Transform(part, number, text, length, transformed)) {
            split = split + static_cast<uint32_t>(transformed.size()) - length;
            text = reinterpret_cast<const uint8_t*>(transformed.data());
            length = static_cast<uint32_t>(transformed.size());
        }
        if (m_plan->ApplyEdits(part, number, text, length, split, edited)) {
            text = reinterpret_cast<const uint8_t*>(edited.data());
            length = static_cast<uint32_t>(edited.size());
        }
        return Body(std::string(reinterpret_cast<const char*>(text), length));
    }

    // The new object number as written; null when none was.
    CPdfObject New(int64_t number) const
    {
        const std::string header = "\r" + std::to_string(number) + " 0 obj\r";
        const size_t at = ("\r" + m_written).find(header);
        return at == std::string::npos ? CPdfObject() : Body(m_written.substr(at));
    }

private:
    // The value after "N G obj".
    static CPdfObject Body(const std::string& text) { return ParseOne(text.substr(text.find("obj") + 3)); }

    std::vector<std::unique_ptr<OpenedDocument>> m_inputs;
    CPdfNumbering m_numbering;
    std::unique_ptr<CPdfMergePlan> m_plan;
    std::string m_written;
};
