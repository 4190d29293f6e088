#include "support/PdfBuilder.h"

#include <zlib.h>

std::string MinimalPdf(int pages, const std::string& extraTrailer, const std::string& prefix, const std::string& header)
{
    PdfBuilder b;
    std::string kids;
    for (int p = 0, page = 3; p < pages; ++p, page += 2) {
        kids += std::to_string(page) + " 0 R ";
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << >> /Contents " +
                           std::to_string(page + 1) + " 0 R >>");
        b.Stream(page + 1, "", "0 0 1 rg 10 10 " + std::to_string(20 + p) + " 20 re f");
    }
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>").Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                                                                  std::to_string(pages) + " >>");
    return b.Trailer("/Root 1 0 R " + extraTrailer).Prefix(prefix).Version(header).Build();
}

std::string Deflate(const std::string& data)
{
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                 uLong(data.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    return out.substr(0, size);
}
