#include "merge/CPdfMergeOutput.h"

#include "copy/CPdfNumbering.h"
#include "writer/CPdfFile.h"

objecttext::Target CPdfMergeOutput::MapReference(size_t part, int64_t number) const
{
    return m_numbering.OutputTarget(part, number);
}

void CPdfMergeOutput::WriteNewObject(int64_t number, const std::string& body)
{
    m_file.WriteNewObject(number, body);
}
