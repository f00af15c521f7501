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
    bool ok = false;            // rects is the shape to apply
    bool fromCache = false;     // read from window.rgn
    bool cacheRefused = false;  // window.rgn was there but unreadable, empty or malformed
    bool cacheWritten = false;  // window.rgn was written now
    std::string problem;        // one line for the log when the cache failed; empty otherwise
    std::vector<ShapeRect> rects;
};

// Reads directory/window.rgn when it is there and well-formed. Otherwise
// (missing, or refused) computes the shape from directory/backgroundFile
// and, when the directory is writable, writes the cache through a temporary
// name. A cache that can't be written costs only the cache, not the shape:
// the write's failure is in problem. A refused cache in a read-only
// directory is said in problem too, since every start computes the shape.
ShapeResult LoadShape(const std::string& directory, const std::string& backgroundFile);

// LoadShape, then gives window the outline; a problem goes to stderr in
// one line. False leaves the window rectangular.
bool MakeShape(const char* directory, const char* backgroundFile, SkinWindow* window);

}  // namespace ui
