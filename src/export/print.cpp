// Printing one page: the time line and the composed picture.
#include "export/print.h"

#include <QAbstractPrintDialog>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "export/snapshot.h"
#include "picture/bmp_format.h"
#include "playback/playback_engine.h"

namespace exporter {

PrintLayout LayOutPage(int pageWidth, int viewWidth, int viewHeight, int textHeight)
{
    PrintLayout layout;
    if (pageWidth <= 0 || viewWidth <= 0 || viewHeight <= 0)
        return layout;
    layout.margin = pageWidth / 32;
    layout.textX = layout.margin;
    layout.textY = layout.margin + 200;
    layout.pictureX = layout.margin;
    layout.pictureY = std::max(layout.margin + 400, layout.textY + std::max(textHeight, 0));
    layout.pictureWidth = pageWidth - 2 * layout.margin;
    layout.pictureHeight = static_cast<int>(int64_t(layout.pictureWidth) * viewHeight / viewWidth);
    return layout;
}

PrintDialog PlatformPrintDialog(QWidget* parent)
{
    return [parent](QPrinter& printer) {
        QPrintDialog dialog(&printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        dialog.setPrintRange(QAbstractPrintDialog::AllPages);
        return dialog.exec() == QDialog::Accepted;
    };
}

int PrintPicture(const playback::PlaybackEngine& engine, QPrinter& printer, const PrintDialog& dialog)
{
    const int width = engine.WindowWidth();
    const int height = engine.WindowHeight();
    if (width <= 0 || height <= 0)
        return 0;
    const std::size_t stride = picture::DibStride(width, 24);
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(stride * height);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!CapturePicture(engine, pixels, kPrintBackground, stride))
        return 0;
    if (!dialog || !dialog(printer))
        return 0;

    printer.setDocName(QStringLiteral("Quillon"));
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    char text[64];
    engine.CurrentStamp().Format(text, disk::StampStyle::List);
    const QString line = QString::fromLatin1(text);
    // The font's own height on this device: a large font at a high
    // resolution is taller than the band the layout keeps for it.
    const QFontMetrics metrics = painter.fontMetrics();
    // Device pixels of the printable area, where the painter's origin lies.
    const PrintLayout layout = LayOutPage(printer.width(), width, height, metrics.height());
    // Top-left corner of the text at the point, as the platform's text call
    // places it: the baseline one ascent below.
    painter.drawText(QPoint(layout.textX, layout.textY + metrics.ascent()), line);

    // The composition's rows run top first, as QImage wants them: no flip.
    const QImage picture(pixels.data(), width, height, static_cast<qsizetype>(stride), QImage::Format_BGR888);
    painter.drawImage(QRect(layout.pictureX, layout.pictureY, layout.pictureWidth, layout.pictureHeight), picture);

    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        printer.abort();
        return 0;
    }
    return 1;
}

}  // namespace exporter
