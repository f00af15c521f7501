// Activity documents from the fuzzer through their reader: a document that
// is read names one to four cameras from 1 to 4 and events that end where
// or after they begin.
#include <cstdint>
#include <string_view>

#include "evidence/activity_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const auto document = evidence::ParseActivityDocument(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document)
        return 0;
    if (document->cameras.empty() || document->cameras.size() > 4)
        __builtin_trap();
    for (const auto& e : document->events)
        if (e.camera < 1 || e.camera > 4 || e.end < e.begin)
            __builtin_trap();
    (void)evidence::ActivityEventLines(document->events);
    return 0;
}
