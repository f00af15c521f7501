#pragma once
// One picture of the skin: the TBitmap as loaded (BMP or JPEG), with a
// ready-to-draw copy made once at load, so that drawing a control never
// converts or allocates. Pure magenta is transparent in the keyed copy.
#include <QImage>

#include <memory>

#include "picture/tbitmap.h"

class QPainter;

namespace ui {

class SkinPicture {
public:
    // Replaces the picture; on failure it is absent and the result false.
    bool Load(const char* directory, const char* file);
    void Reset();

    bool Present() const { return bitmap != nullptr; }
    int Width() const { return bitmap ? bitmap->Width() : 0; }
    int Height() const { return bitmap ? bitmap->Height() : 0; }
    const picture::TBitmap* Bitmap() const { return bitmap.get(); }

    // Magenta pixels leave the target as it was.
    void DrawTransparent(QPainter& painter, int x, int y) const;
    // Every pixel, magenta included.
    void Draw(QPainter& painter, int x, int y) const;

private:
    std::unique_ptr<picture::TBitmap> bitmap;
    QImage opaque;
    QImage keyed;
};

}  // namespace ui
