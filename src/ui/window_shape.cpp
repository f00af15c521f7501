#include "ui/window_shape.h"

#include <QImage>
#include <QRegion>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "picture/tbitmap.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"
#include "ui/skin_window.h"

namespace ui {

namespace {

constexpr QRgb kMagenta = 0xFF00FF;

using File = platform::UniqueFile;

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

CacheRead ReadCache(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    // A FIFO or device under the name is refused, never waited on.
    errno = 0;
    File file(platform::OpenRegularFile(path.c_str()));
    if (!file) {
        if (errno == ENOENT)
            return CacheRead::Missing;
        error = errno ? std::strerror(errno) : "not a regular file";
        return CacheRead::Failed;
    }
    // One byte over the limit tells an oversized file from a full one.
    bytes.resize(kMaxRegionFileBytes + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    if (!std::ferror(file.get()))
        return CacheRead::Read;
    error = std::strerror(errno ? errno : EIO);
    return CacheRead::Failed;
}

// Through a temporary name, so that a start never reads a half-written
// cache. False with the reason in error.
bool WriteCache(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    File file(std::fopen(temporary.c_str(), "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    int failure = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        failure = errno ? errno : EIO;
    if (std::fclose(file.release()) != 0 && !failure)
        failure = errno;
    if (!failure && std::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (!failure)
        return true;
    error = std::strerror(failure);
    std::remove(temporary.c_str());
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
    std::string refusal;
    switch (ReadCache(cachePath, bytes, refusal)) {
    case CacheRead::Failed: break;
    case CacheRead::Read:
        if (!bytes.empty() && DecodeRegionData(bytes, result.rects)) {
            result.ok = true;
            result.fromCache = true;
            return result;
        }
        refusal = bytes.empty() ? "empty" : "damaged";
        break;
    case CacheRead::Missing: break;
    }
    result.cacheRefused = !refusal.empty();
    if (result.cacheRefused)
        result.problem = cachePath + " refused (" + refusal + ")";

    picture::TBitmap background;
    if (!background.Load(directory.c_str(), backgroundFile.c_str())) {
        if (result.cacheRefused)
            result.problem += ", and " + backgroundFile + " can't be read: the window has no outline";
        return result;
    }
    result.rects = ShapeFromImage(background.ToImage());
    result.ok = true;
    const std::vector<std::uint8_t> encoded = EncodeRegionData(result.rects);
    // Shapes too large for the file stay in memory (region_data.h).
    if (encoded.size() > kMaxRegionFileBytes)
        return result;
    if (::access(directory.c_str(), W_OK) != 0) {
        if (result.cacheRefused)
            result.problem += ": the outline is computed from " + backgroundFile + " at every start (read-only)";
        return result;
    }
    std::string writeError;
    result.cacheWritten = WriteCache(cachePath, encoded, writeError);
    if (!result.cacheWritten)
        result.problem = "cannot write " + cachePath + ": " + writeError + "; the outline is computed from " +
                         backgroundFile + " at every start";
    else if (result.cacheRefused)
        result.problem += ": rewritten from " + backgroundFile;
    return result;
}

bool MakeShape(const char* directory, const char* backgroundFile, SkinWindow* window)
{
    if (!directory || !backgroundFile)
        return false;
    const ShapeResult shape = LoadShape(directory, backgroundFile);
    if (!shape.problem.empty())
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, shape.problem.c_str());
    if (!shape.ok)
        return false;
    if (window)
        window->SetShape(RegionFromRects(shape.rects));
    return true;
}

}  // namespace ui
