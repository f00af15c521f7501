#pragma once
// Printing the picture on screen: the playback time as a line of text and,
// below it, the composed picture (white where no camera is shown) scaled to
// the page width with its aspect ratio kept. One page.
#include <functional>

class QPrinter;
class QWidget;

namespace playback {
class PlaybackEngine;
}

namespace exporter {

// Where things go on a page pageWidth device pixels wide; all positions
// derive from the width, with integer division. The time line gets the
// 200-pixel band above the picture; a line taller than that (textHeight, in
// device pixels) keeps all of itself and pushes the picture down below it.
struct PrintLayout {
    int margin = 0;
    int textX = 0, textY = 0;
    int pictureX = 0, pictureY = 0, pictureWidth = 0, pictureHeight = 0;
};
PrintLayout LayOutPage(int pageWidth, int viewWidth, int viewHeight, int textHeight = 0);

// The print dialog on a printer: true when the user chose to print.
using PrintDialog = std::function<bool(QPrinter& printer)>;
// The platform's print dialog: all pages, no selection, no page range, no
// printing to a file.
PrintDialog PlatformPrintDialog(QWidget* parent);

// Composes, asks through dialog, prints on printer. 1 when the page was
// finished and the document ended; 0 on cancel (no document started) or failure.
int PrintPicture(const playback::PlaybackEngine& engine, QPrinter& printer, const PrintDialog& dialog);

}  // namespace exporter
