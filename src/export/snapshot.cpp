// Saving a snapshot: the default name, the save dialog and the format chosen
// by the file name's extension.
#include "export/snapshot.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

#include "picture/bmp_format.h"
#include "picture/jpeg/encode_to_memory.h"
#include "picture/tbitmap.h"
#include "platform/unique_fd.h"
#include "platform/whole_file.h"
#include "playback/playback_engine.h"

namespace exporter {

namespace {

// JPEG markers and tables before the first scan byte; lets a tiny view's
// stream fit the buffer of 3 bytes a pixel.
constexpr std::size_t kJpegHeaderRoom = 4096;

int SaveJpeg(picture::TBitmap& bitmap, const std::string& path)
{
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    std::vector<uint8_t> stream;
    try {
        stream.resize(std::size_t(width) * height * 3 + kJpegHeaderRoom);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::size_t n = picture::jpeg::EncodeJpegToMemory(stream, bitmap.Pixels(), width, height, kJpegQuality);
    if (n == 0)
        return 0;
    platform::UniqueFile file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return 0;
    const bool written = std::fwrite(stream.data(), 1, n, file.get()) == n;
    // A failed close may have lost the tail of the file.
    return written && std::fclose(file.release()) == 0 ? 1 : 0;
}

}  // namespace

std::string DefaultSnapshotName(const playback::PlaybackEngine& engine)
{
    const std::string stamp = engine.CurrentStamp().Text(disk::StampStyle::NameUnderscores);
    char name[80];
    if (engine.ViewMode() == playback::PlaybackEngine::kQuadView)
        std::snprintf(name, sizeof name, "%s_Quad", stamp.c_str());
    else
        std::snprintf(name, sizeof name, "%s_Camera%02d", stamp.c_str(), engine.SelectedCamera() + 1);
    return name;
}

std::string FileExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot + 1);
}

int SaveSnapshot(picture::TBitmap& bitmap, const std::string& path)
{
    if (!bitmap.Pixels() || bitmap.Width() <= 0 || bitmap.Height() <= 0 || bitmap.InfoHeader().bitsPerPixel != 24 ||
        bitmap.InfoHeader().height <= 0)
        return 0;
    const std::string extension = FileExtension(path);
    if (extension != "jpg" && extension != "bmp")
        return 0;
    // Written whole or not at all: a full disk leaves no partial picture.
    return platform::WriteWholeFile(
               path,
               [&](const std::string& temporary) {
                   return extension == "jpg" ? SaveJpeg(bitmap, temporary) == 1
                                             : bitmap.SaveBmp(temporary.c_str(), true);
               }).Ok()
               ? 1
               : 0;
}

SaveDialog FileSaveDialog(QWidget* parent)
{
    return [parent](const std::string& defaultName) -> std::optional<std::string> {
        const QString jpeg = QStringLiteral("JPEG Files (*.jpg)");
        const QString bitmap = QStringLiteral("Bitmap Files (*.bmp)");
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({jpeg, bitmap});
        dialog.setDefaultSuffix(QStringLiteral("jpg"));
        // A name typed without an extension gets the chosen filter's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, bitmap](const QString& filter) {
            dialog.setDefaultSuffix(filter == bitmap ? QStringLiteral("bmp") : QStringLiteral("jpg"));
        });
        dialog.selectFile(QString::fromStdString(defaultName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toStdString();
    };
}

int TakeSnapshot(const playback::PlaybackEngine& engine, const SaveDialog& dialog)
{
    const int width = engine.WindowWidth();
    const int height = engine.WindowHeight();
    picture::TBitmap bitmap;
    if (!bitmap.Create(width, height, 24))
        return 0;
    const std::size_t stride = picture::DibStride(width, 24);
    const std::span<uint8_t> pixels(bitmap.Pixels(), stride * height);
    if (!CapturePicture(engine, pixels, kSnapshotBackground, stride))
        return 0;
    FlipRows(pixels, width, height, 24, stride);
    const auto path = dialog ? dialog(DefaultSnapshotName(engine)) : std::nullopt;
    if (!path)
        return 0;
    return SaveSnapshot(bitmap, *path);
}

}  // namespace exporter
