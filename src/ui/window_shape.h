#pragma once
// The window's outline: every pixel of the background that is not pure
// magenta. Computed once from the background and cached as window.rgn in the
// skin directory; later starts read the cache and never look at the pixels.
#include <string>
#include <vector>

#include "ui/region_data.h"

class QImage;

namespace ui {

class SkinWindow;

inline constexpr const char* kShapeFileName = "window.rgn";

// The non-magenta pixels of image as banded rectangles: maximal runs per
// row, rows with the same runs merged into one band.
std::vector<ShapeRect> ShapeFromImage(const QImage& image);

struct ShapeResult {
    bool ok = false;           // rects is the shape to apply
    bool fromCache = false;    // read from window.rgn
    bool cacheWritten = false; // window.rgn was written now
    std::vector<ShapeRect> rects;
};

// Reads directory/window.rgn when it exists (an unreadable, empty or
// malformed file: not ok). Otherwise computes the shape from
// directory/backgroundFile and writes the cache; a cache that can't be
// written (read-only install) costs only the cache, not the shape.
ShapeResult LoadShape(const std::string& directory, const std::string& backgroundFile);

// LoadShape, then gives window the outline. False leaves it rectangular.
bool MakeShape(const char* directory, const char* backgroundFile, SkinWindow* window);

}  // namespace ui
