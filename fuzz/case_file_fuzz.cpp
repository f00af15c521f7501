// Case files from the fuzzer: written to a file of their own, opened and
// read as `case show` reads them. A case that opens names its disk and
// reads back whole or with a reason; nothing else may happen.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "casefile/case_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    static const std::string path = "/tmp/quillon-fuzz-case-" + std::to_string(getpid()) + ".case";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        const bool written = std::fwrite(data, 1, size, out) == size;
        if (std::fclose(out) != 0 || !written)
            return 0;
    }
    if (auto file = casefile::CaseFile::Open(path)) {
        if (auto contents = file->Read()) {
            for (const auto& b : contents->bookmarks)
                (void)b.note.size();
        }
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    return 0;
}
