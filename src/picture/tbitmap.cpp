#include "picture/tbitmap.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "picture/bmp_rle.h"
#include "picture/jpeg/jpeg_codec.h"
#include "picture/snapshot_watermark.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace picture {

namespace {

// Pictures larger than this are refused before anything is allocated.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

using File = platform::UniqueFile;

bool ReadExact(std::FILE* f, void* to, std::size_t n) { return std::fread(to, 1, n, f) == n; }

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() = default;

bool TBitmap::Reserve(std::int64_t bytes)
{
    if (bytes <= 0 || bytes > INT32_MAX)
        return false;
    if (bytes <= capacity_ && pixels_)
        return true;
    pixels_.reset();
    capacity_ = 0;
    try {
        pixels_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    capacity_ = static_cast<std::int32_t>(bytes);
    return true;
}

void TBitmap::WriteStandardHeader(int width, int height, int bitsPerPixel)
{
    infoHeader_ = BmpInfoHeader{};
    infoHeader_.headerSize = kBmpInfoHeaderSize;
    infoHeader_.width = width;
    infoHeader_.height = height;
    infoHeader_.planes = 1;
    infoHeader_.bitsPerPixel = static_cast<std::uint16_t>(bitsPerPixel);
    infoHeader_.compression = 0;
    infoHeader_.imageSize = static_cast<std::uint32_t>(DibStride(width, bitsPerPixel) * std::abs(height));
    infoHeader_.xPixelsPerMetre = 120;
    infoHeader_.yPixelsPerMetre = 120;
    infoHeader_.coloursUsed = bitsPerPixel == 8 ? 256 : 0;
    infoHeader_.coloursImportant = 0;
}

std::int64_t TBitmap::ImageBytes() const { return DibStride(width_, infoHeader_.bitsPerPixel) * height_; }

bool TBitmap::Create(int width, int height, int bitsPerPixel)
{
    if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > kMaxPixels ||
        (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32))
        return false;
    if (!Reserve(DibStride(width, bitsPerPixel) * height))
        return false;
    width_ = width;
    height_ = height;
    jpegRecord_.reset();
    WriteStandardHeader(width, height, bitsPerPixel);
    return true;
}

void TBitmap::Release()
{
    pixels_.reset();
    capacity_ = 0;
    jpegRecord_.reset();
}

int TBitmap::Load(const char* directory, const char* fileName)
{
    if (!directory || !fileName)
        return 0;
    std::string path = directory;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += fileName;
    return LoadFile(path.c_str());
}

int TBitmap::LoadFile(const char* path)
{
    if (!path)
        return 0;
    File f(platform::OpenRegularFile(path));
    if (!f)
        return 0;
    std::uint8_t fileBytes[kBmpFileHeaderSize];
    if (!ReadExact(f.get(), fileBytes, sizeof fileBytes))
        return 0;
    if (fileBytes[0] == 0xFF && fileBytes[1] == 0xD8) {
        f.reset();
        return DecodeJpeg(path);
    }
    const BmpFileHeader fileHeader = ParseBmpFileHeader(fileBytes);
    if (fileHeader.type != kBmpType)
        return 0;
    std::uint8_t infoBytes[kBmpInfoHeaderSize];
    if (!ReadExact(f.get(), infoBytes, sizeof infoBytes))
        return 0;
    BmpInfoHeader info = ParseBmpInfoHeader(infoBytes);

    // Every field is untrusted: refuse what this type can't hold before
    // allocating anything.
    const int bits = info.bitsPerPixel;
    const bool rle = info.compression == kBmpRle8 && bits == 8 && info.height > 0;
    if (info.headerSize < kBmpInfoHeaderSize || info.width <= 0 || info.height == 0 || info.height == INT32_MIN ||
        (info.compression != 0 && !rle) || (bits != 8 && bits != 24 && bits != 32))
        return 0;
    const std::int64_t width = info.width;
    const std::int64_t height = std::abs(static_cast<std::int64_t>(info.height));
    if (width * height > kMaxPixels)
        return 0;
    // The image-size field is ignored: the rows are what the picture needs.
    const std::int64_t size = DibStride(width, bits) * height;
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return 0;
    const long fileSize = std::ftell(f.get());
    // Runs take at least two bytes per row; raw rows take their full size.
    const std::int64_t minimum = rle ? 2 * height : size;
    if (fileSize < 0 || static_cast<std::int64_t>(fileHeader.pixelOffset) + minimum > fileSize)
        return 0;  // short file

    // A palette of 0 colours used means all 256 of an 8-bit picture.
    int paletteEntries = 0;
    if (bits == 8) {
        paletteEntries = info.coloursUsed == 0 ? 256 : static_cast<int>(std::min<std::uint32_t>(info.coloursUsed, 256));
        info.coloursUsed = static_cast<std::uint32_t>(paletteEntries);
    }
    if (!Reserve(size))
        return 0;
    fileHeader_ = fileHeader;
    info.imageSize = static_cast<std::uint32_t>(size);
    infoHeader_ = info;
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(height);

    palette_.fill(BmpPaletteEntry{});
    if (paletteEntries > 0) {
        // The palette follows the info header, whatever that header's size.
        const std::int64_t paletteAt = kBmpFileHeaderSize + static_cast<std::int64_t>(info.headerSize);
        std::uint8_t raw[256 * 4];
        if (paletteAt + paletteEntries * 4 > fileSize ||
            std::fseek(f.get(), static_cast<long>(paletteAt), SEEK_SET) != 0 ||
            !ReadExact(f.get(), raw, static_cast<std::size_t>(paletteEntries) * 4))
            return 0;
        for (int i = 0; i < paletteEntries; ++i)
            palette_[i] = {raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
    }
    if (std::fseek(f.get(), static_cast<long>(fileHeader.pixelOffset), SEEK_SET) != 0)
        return 0;
    if (!rle)
        return ReadExact(f.get(), pixels_.get(), static_cast<std::size_t>(size)) ? 1 : 0;
    // Even all-literal runs stay well within twice the rows plus row ends.
    const std::int64_t runBytes = std::min<std::int64_t>(fileSize - fileHeader.pixelOffset, 2 * size + 4 * height + 16);
    std::vector<std::uint8_t> runs(static_cast<std::size_t>(runBytes));
    if (!ReadExact(f.get(), runs.data(), runs.size()) ||
        !DecodeBmpRle8(runs, width_, height_, static_cast<std::size_t>(DibStride(width, bits)),
                       std::span(pixels_.get(), static_cast<std::size_t>(size))))
        return 0;
    infoHeader_.compression = 0;  // held (and saved) uncompressed
    return 1;
}

int TBitmap::FailJpeg(const char* reason)
{
    failureReason_ = reason;
    jpegRecord_.reset();
    return 0;
}

int TBitmap::DecodeJpeg(const char* path)
{
    if (!path)
        return 0;
    if (!jpegRecord_)
        jpegRecord_ = std::make_unique<jpeg::JpegProperties>();
    jpeg::JpegProperties& p = *jpegRecord_;
    if (jpeg::Init(p) != jpeg::Success)
        return FailJpeg("TBitmap: Cannot initialize JPEG library\n");
    p.jpegFileName = path;
    if (jpeg::ReadParamsFromFile(p) != jpeg::Success)
        return FailJpeg("TBitmap: Cannot read JPEG file header\n");
    if (p.jpegChannels == 1)
        p.jpegColour = jpeg::Colour::Grey;
    else if (p.jpegChannels == 3)
        p.jpegColour = jpeg::Colour::YCbCr;
    else if (p.jpegChannels == 4)
        return FailJpeg("JPEG decode: 4 channel ");
    else
        return FailJpeg("JPEG deode: unknown format\n");

    const int width = p.jpegWidth;
    const int height = p.jpegHeight;
    const int pad = static_cast<int>(DibStride(width, 24)) - 3 * width;
    p.dibChannels = 3;
    p.dibColour = jpeg::Colour::Bgr;
    p.dibWidth = width;
    p.dibHeight = height;  // top row first
    p.dibPadBytes = pad;
    const std::int64_t needed = static_cast<std::int64_t>(3 * width + pad) * height;
    if (!Reserve(needed))
        return FailJpeg("TBitmap: memory allocation error when decode JPEG !!!\n");
    p.dibBytes = pixels_.get();
    p.dibSize = static_cast<std::size_t>(capacity_);
    if (jpeg::ReadImageFromFile(p) != jpeg::Success)
        return FailJpeg("TBitmap: Cannot read JPEG image data\n");
    width_ = width;
    height_ = height;
    WriteStandardHeader(width, -height, 24);
    jpeg::Release(p);
    return 1;
}

bool TBitmap::SaveBmp(const char* path, bool watermark)
{
    if (!path || !pixels_)
        return false;
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strlen(dot + 1) < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(dot[1 + i])) != "bmp"[i])
            return false;
    const std::int64_t size = ImageBytes();
    if (size <= 0 || size > capacity_)
        return false;
    File f(std::fopen(path, "wb"));
    if (!f)
        return false;

    const bool withPalette = infoHeader_.coloursUsed != 0;
    const std::uint32_t offset = withPalette ? 1078 : 54;
    fileHeader_ = BmpFileHeader{kBmpType, static_cast<std::uint32_t>(size) + offset, 0, 0, offset};
    if (infoHeader_.height < 0) {
        // Files are written bottom-up; so is the picture from now on.
        infoHeader_.height = -infoHeader_.height;
        const std::size_t stride = static_cast<std::size_t>(DibStride(width_, infoHeader_.bitsPerPixel));
        for (int i = 0; i < height_ / 2; ++i)
            std::swap_ranges(pixels_.get() + stride * i, pixels_.get() + stride * (i + 1),
                             pixels_.get() + stride * (height_ - 1 - i));
    }
    std::uint8_t headers[kBmpFileHeaderSize + kBmpInfoHeaderSize];
    WriteBmpFileHeader(fileHeader_, std::span(headers).first<kBmpFileHeaderSize>());
    WriteBmpInfoHeader(infoHeader_, std::span(headers).last<kBmpInfoHeaderSize>());
    bool ok = std::fwrite(headers, 1, sizeof headers, f.get()) == sizeof headers;
    if (withPalette) {
        std::uint8_t raw[256 * 4];
        for (int i = 0; i < 256; ++i) {
            raw[4 * i] = palette_[i].blue;
            raw[4 * i + 1] = palette_[i].green;
            raw[4 * i + 2] = palette_[i].red;
            raw[4 * i + 3] = palette_[i].reserved;
        }
        ok = ok && std::fwrite(raw, 1, sizeof raw, f.get()) == sizeof raw;
    }
    std::span<const std::uint8_t> data(pixels_.get(), static_cast<std::size_t>(size));
    SnapshotWatermark mark;
    if (watermark && mark.Prepare(infoHeader_, data)) {
        mark.Embed();
        data = mark.Result().first(static_cast<std::size_t>(size));
    }
    ok = ok && std::fwrite(data.data(), 1, data.size(), f.get()) == data.size();
    return std::fclose(f.release()) == 0 && ok;
}

}  // namespace picture
