// Export reports from the fuzzer, as quillon-cli verify reads them: any text
// is either refused with a reason or gives ranges the reader promised.
#include <cstdlib>
#include <string_view>

#include "evidence/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parsed = evidence::ParseReport(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) {
        if (parsed.Detail().empty())  // a refusal always says why
            std::abort();
        return 0;
    }
    const evidence::ReportToCheck& report = *parsed;
    for (const evidence::CheckedRange& r : report.ranges)
        if (r.sectorCount == 0 || r.firstSector + r.sectorCount - 1 > UINT32_MAX || r.sha256.size() != 64)
            std::abort();
    if (report.hasOutput && report.outputFile.find('/') != std::string::npos)
        std::abort();
    return 0;
}
