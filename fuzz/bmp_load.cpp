// TBitmap::LoadFile on arbitrary files (BMP, or JPEG by its first bytes),
// then a watermarked save of whatever loaded.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "picture/tbitmap.h"

namespace {

std::string TempPath(const char* suffix)
{
    return std::string("/tmp/quillon-fuzz-") + std::to_string(::getpid()) + suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string in = TempPath(".in"), out = TempPath(".bmp");
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    picture::TBitmap bmp;
    if (bmp.LoadFile(in.c_str()) && static_cast<std::int64_t>(bmp.Width()) * bmp.Height() <= (1 << 20))
        bmp.SaveBmp(out.c_str(), true);
    return 0;
}
