#include "ui/region_data.h"

#include <QRect>
#include <QRegion>

#include <algorithm>
#include <limits>

namespace ui {

namespace {

constexpr std::int32_t kRectanglesType = 1;
constexpr std::int32_t kCoordinateLimit = 1 << 24;

void PutLe32(std::vector<std::uint8_t>& out, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::int32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    const std::uint32_t v = static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
                            static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
                            static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::vector<std::uint8_t> EncodeRegionData(std::span<const ShapeRect> rects)
{
    ShapeRect bound;
    if (!rects.empty()) {
        bound = rects.front();
        for (const auto& r : rects) {
            bound.left = std::min(bound.left, r.left);
            bound.top = std::min(bound.top, r.top);
            bound.right = std::max(bound.right, r.right);
            bound.bottom = std::max(bound.bottom, r.bottom);
        }
    }
    std::vector<std::uint8_t> out;
    out.reserve(kRegionHeaderBytes + kRegionRectBytes * rects.size());
    PutLe32(out, static_cast<std::int32_t>(kRegionHeaderBytes));
    PutLe32(out, kRectanglesType);
    PutLe32(out, static_cast<std::int32_t>(rects.size()));
    PutLe32(out, static_cast<std::int32_t>(kRegionRectBytes * rects.size()));
    for (std::int32_t v : {bound.left, bound.top, bound.right, bound.bottom})
        PutLe32(out, v);
    for (const auto& r : rects)
        for (std::int32_t v : {r.left, r.top, r.right, r.bottom})
            PutLe32(out, v);
    return out;
}

bool IsBanded(std::span<const ShapeRect> rects)
{
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const ShapeRect& r = rects[i];
        if (r.left >= r.right || r.top >= r.bottom || r.left < -kCoordinateLimit || r.top < -kCoordinateLimit ||
            r.right > kCoordinateLimit || r.bottom > kCoordinateLimit)
            return false;
        if (i == 0)
            continue;
        const ShapeRect& p = rects[i - 1];
        if (r.top == p.top) {
            // Same band: same bottom, strictly to the right.
            if (r.bottom != p.bottom || r.left < p.right)
                return false;
        } else if (r.top < p.bottom) {
            // A new band starts at or below the end of the last one.
            return false;
        }
    }
    return true;
}

bool DecodeRegionData(std::span<const std::uint8_t> bytes, std::vector<ShapeRect>& rects)
{
    rects.clear();
    if (bytes.size() < kRegionHeaderBytes || bytes.size() > kMaxRegionFileBytes)
        return false;
    if (GetLe32(bytes, 0) != static_cast<std::int32_t>(kRegionHeaderBytes) || GetLe32(bytes, 4) != kRectanglesType)
        return false;
    const std::int32_t count = GetLe32(bytes, 8);
    if (count < 0 || static_cast<std::size_t>(count) > (bytes.size() - kRegionHeaderBytes) / kRegionRectBytes)
        return false;
    std::vector<ShapeRect> read(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < read.size(); ++i) {
        const std::size_t at = kRegionHeaderBytes + i * kRegionRectBytes;
        read[i] = {GetLe32(bytes, at), GetLe32(bytes, at + 4), GetLe32(bytes, at + 8), GetLe32(bytes, at + 12)};
    }
    if (!IsBanded(read))
        return false;
    rects = std::move(read);
    return true;
}

QRegion RegionFromRects(std::span<const ShapeRect> rects)
{
    std::vector<QRect> qrects;
    qrects.reserve(rects.size());
    for (const auto& r : rects)
        qrects.emplace_back(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    QRegion region;
    if (!qrects.empty())
        region.setRects(qrects.data(), static_cast<int>(qrects.size()));
    return region;
}

}  // namespace ui
