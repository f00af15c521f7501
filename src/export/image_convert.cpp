#include "export/image_convert.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "picture/jpeg/encode_to_memory.h"
#include "picture/tbitmap.h"
#include "platform/unique_fd.h"
#include "platform/whole_file.h"

namespace exporter {
namespace {

std::string LowerExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

bool WriteJpeg(const picture::TBitmap& bitmap, const std::string& out, int quality, std::string& error)
{
    std::vector<std::uint8_t> dib;
    if (!ToBottomUpBgr(bitmap, dib)) {
        error = "no picture to encode";
        return false;
    }
    // Room for the worst case at quality 100, not just the snapshot's 3 bytes
    // per pixel: small or noisy pictures can need more.
    const std::size_t pixels = static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
    std::vector<std::uint8_t> buffer(pixels * 6 + 4096);
    const std::size_t n =
        picture::jpeg::EncodeJpegToMemory(buffer, dib.data(), bitmap.Width(), bitmap.Height(), quality);
    if (n == 0) {
        error = "JPEG encoding failed";
        return false;
    }
    platform::UniqueFile f(std::fopen(out.c_str(), "wb"));
    if (!f || std::fwrite(buffer.data(), 1, n, f.get()) != n || std::fclose(f.release()) != 0) {
        error = "cannot write " + out;
        return false;
    }
    return true;
}

}  // namespace

bool ToBottomUpBgr(const picture::TBitmap& bitmap, std::vector<std::uint8_t>& out)
{
    const picture::BmpInfoHeader& h = bitmap.InfoHeader();
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const int bits = h.bitsPerPixel;
    if (!bitmap.Pixels() || width <= 0 || height <= 0 || (bits != 8 && bits != 24 && bits != 32))
        return false;
    const std::size_t inStride = static_cast<std::size_t>(picture::DibStride(width, bits));
    const std::size_t outStride = static_cast<std::size_t>(picture::DibStride(width, 24));
    out.assign(outStride * static_cast<std::size_t>(height), 0);
    const auto& palette = bitmap.Palette();
    for (int y = 0; y < height; ++y) {
        // Memory row y of the output is picture row height-1-y from the top.
        const int fromTop = height - 1 - y;
        const int inRow = h.height > 0 ? height - 1 - fromTop : fromTop;
        const std::uint8_t* in = bitmap.Pixels() + inStride * static_cast<std::size_t>(inRow);
        std::uint8_t* o = out.data() + outStride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                const picture::BmpPaletteEntry& e = palette[in[x]];
                o[3 * x] = e.blue;
                o[3 * x + 1] = e.green;
                o[3 * x + 2] = e.red;
            } else {
                const int bpp = bits / 8;
                std::copy_n(in + bpp * x, 3, o + 3 * x);
            }
        }
    }
    return true;
}

platform::Result<void> ConvertImage(const std::string& in, const std::string& out, const ConvertOptions& options)
{
    using platform::Error;
    using platform::ErrorKind;
    const std::string ext = LowerExtension(out);
    if (ext != "bmp" && ext != "jpg" && ext != "jpeg")
        return Error{ErrorKind::Refused, "output must end in .bmp or .jpg: " + out};
    if (options.quality < 1 || options.quality > 100)
        return Error{ErrorKind::Refused, "quality must be 1 to 100"};
    picture::TBitmap bitmap;
    if (!bitmap.LoadFile(in.c_str()))
        return Error{ErrorKind::ReadFailed, "cannot read or decode " + in};
    // Written whole or not at all: a failed write leaves no partial picture.
    std::string jpegError;
    const platform::Result<void> written = platform::WriteWholeFile(out, [&](const std::string& temporary) {
        return ext == "bmp" ? bitmap.SaveBmp(temporary.c_str(), options.watermark)
                            : WriteJpeg(bitmap, temporary, options.quality, jpegError);
    });
    // The encoder's own reason, when it was not the file that failed.
    if (!written && !jpegError.empty() && jpegError.rfind("cannot write", 0) != 0)
        return Error{ErrorKind::WriteFailed, jpegError};
    return written;
}

}  // namespace exporter
