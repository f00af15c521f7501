#pragma once
// TBitmap: the program's in-memory picture, a DIB with its BMP headers, a
// 256-entry palette and an owned pixel buffer that only grows. Loads BMP and
// (through our codec) JPEG files, saves BMP files, optionally watermarked,
// and draws itself opaque or with magenta as the transparent colour.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "picture/bmp_format.h"

class QImage;
class QPainter;
namespace picture::jpeg {
struct JpegProperties;
}

namespace picture {

class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // On an empty object: a bottom-up picture with undefined pixels.
    // bitsPerPixel 8, 24 or 32. False on a bad size or no memory.
    bool Create(int width, int height, int bitsPerPixel);
    void Release();

    // directory + '/' + fileName (no second '/' when directory ends in one).
    int Load(const char* directory, const char* fileName);
    // BMP (8, 24 or 32 bits uncompressed, or 8 bits run-length encoded) or
    // JPEG, by the first bytes.
    int LoadFile(const char* path);
    // A 24-bit top-down picture from a JPEG file.
    int DecodeJpeg(const char* path);
    // Writes only when the extension starts with "bmp" (any case). Leaves a
    // top-down picture bottom-up. True when the whole file was written.
    bool SaveBmp(const char* path, bool watermark);

    // Stretched copy into (x, y, w, h); 0 when there are no pixels.
    int Draw(QPainter& painter, int x, int y, int w, int h) const;
    int Draw(QPainter& painter, int x, int y) const;
    int Draw(QImage& target, int x, int y, int w, int h) const;
    // Like Draw, but pure magenta pixels leave the target as it was.
    int DrawTransparent(QPainter& painter, int x, int y, int w, int h) const;
    int DrawTransparent(QPainter& painter, int x, int y) const;
    int DrawTransparent(QImage& target, int x, int y, int w, int h) const;

    // The picture upright as a QImage (a null image when there is none).
    QImage ToImage() const;
    // On an empty object: a 24-bit bottom-up copy of image (padding zeroed).
    bool FromImage(const QImage& image);

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::size_t Capacity() const { return static_cast<std::size_t>(capacity_); }
    const BmpFileHeader& FileHeader() const { return fileHeader_; }
    const BmpInfoHeader& InfoHeader() const { return infoHeader_; }
    const std::array<BmpPaletteEntry, 256>& Palette() const { return palette_; }
    bool HasJpegRecord() const { return jpegRecord_ != nullptr; }
    // Why the last JPEG decode failed (diagnostics only; never shown).
    const char* FailureReason() const { return failureReason_; }

private:
    bool Reserve(std::int64_t bytes);
    void WriteStandardHeader(int width, int height, int bitsPerPixel);
    int FailJpeg(const char* reason);
    std::int64_t ImageBytes() const;

    std::int32_t capacity_ = 0;
    BmpFileHeader fileHeader_;
    BmpInfoHeader infoHeader_;
    std::array<BmpPaletteEntry, 256> palette_{};
    std::unique_ptr<jpeg::JpegProperties> jpegRecord_;
    std::unique_ptr<std::uint8_t[]> pixels_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    const char* failureReason_ = "";
};

}  // namespace picture
