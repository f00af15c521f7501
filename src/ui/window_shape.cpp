#include "ui/window_shape.h"

#include <QImage>
#include <QRegion>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "export/tbitmap.h"
#include "ui/skin_window.h"

namespace ui {

namespace {

constexpr QRgb kMagenta = 0xFF00FF;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Run {
    std::int32_t left;
    std::int32_t right;
    friend bool operator==(const Run&, const Run&) = default;
};

// Non-magenta runs of one row, into runs (reused between rows).
void RowRuns(const QRgb* line, int width, std::vector<Run>& runs)
{
    runs.clear();
    int x = 0;
    while (x < width) {
        while (x < width && (line[x] & 0xFFFFFF) == kMagenta)
            ++x;
        if (x == width)
            break;
        const int start = x;
        while (x < width && (line[x] & 0xFFFFFF) != kMagenta)
            ++x;
        runs.push_back({start, x});
    }
}

void CloseBand(const std::vector<Run>& runs, int top, int bottom, std::vector<ShapeRect>& out)
{
    for (const Run& r : runs)
        out.push_back({r.left, top, r.right, bottom});
}

enum class CacheRead { Missing, Failed, Read };

CacheRead ReadCache(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return errno == ENOENT ? CacheRead::Missing : CacheRead::Failed;
    // One byte over the limit tells an oversized file from a full one.
    bytes.resize(kMaxRegionFileBytes + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    return CacheRead::Read;
}

bool WriteCache(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() > kMaxRegionFileBytes)
        return false;
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (written && closed)
        return true;
    // A half-written cache would be read at every later start.
    std::remove(path.c_str());
    return false;
}

}  // namespace

std::vector<ShapeRect> ShapeFromImage(const QImage& source)
{
    std::vector<ShapeRect> rects;
    if (source.isNull())
        return rects;
    const bool direct = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
    const QImage image = direct ? source : source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    std::vector<Run> band;
    std::vector<Run> row;
    band.reserve(16);
    row.reserve(16);
    int bandTop = 0;
    for (int y = 0; y < image.height(); ++y) {
        RowRuns(reinterpret_cast<const QRgb*>(image.constScanLine(y)), width, row);
        if (y > 0 && row == band)
            continue;
        CloseBand(band, bandTop, y, rects);
        band.swap(row);
        bandTop = y;
    }
    CloseBand(band, bandTop, image.height(), rects);
    return rects;
}

ShapeResult LoadShape(const std::string& directory, const std::string& backgroundFile)
{
    ShapeResult result;
    const std::string cachePath = directory + "/" + kShapeFileName;
    std::vector<std::uint8_t> bytes;
    switch (ReadCache(cachePath, bytes)) {
    case CacheRead::Failed:
        return result;
    case CacheRead::Read:
        result.fromCache = true;
        result.ok = !bytes.empty() && DecodeRegionData(bytes, result.rects);
        return result;
    case CacheRead::Missing:
        break;
    }
    TBitmap background;
    if (!background.Load(directory.c_str(), backgroundFile.c_str()))
        return result;
    result.rects = ShapeFromImage(background.ToImage());
    result.ok = true;
    result.cacheWritten = WriteCache(cachePath, EncodeRegionData(result.rects));
    return result;
}

bool MakeShape(const char* directory, const char* backgroundFile, SkinWindow* window)
{
    if (!directory || !backgroundFile)
        return false;
    const ShapeResult shape = LoadShape(directory, backgroundFile);
    if (!shape.ok)
        return false;
    if (window)
        window->SetShape(RegionFromRects(shape.rects));
    return true;
}

}  // namespace ui
