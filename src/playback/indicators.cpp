// The speed box and the time panel, painted on the main window.
#include <QColor>
#include <QPainter>
#include <QString>

#include <cstdio>
#include <string>

#include "picture/tbitmap.h"
#include "platform/app_directory.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"

namespace playback {
namespace {

const QRect kSpeedBox(682, 519, 710 - 682, 538 - 519);
const QPoint kTimePanel(470, 512);
const QColor kSpeedFill(127, 128, 128);
const QColor kSpeedShadow(70, 70, 70);
const QColor kSpeedText(0, 250, 240);
const QColor kTimeText(20, 40, 255);

// Text with its top-left corner at (x, y), as the window's own text calls
// place it; transparent background.
void DrawTextAt(QPainter& painter, int x, int y, const QColor& colour, const char* text)
{
    painter.setPen(colour);
    painter.drawText(QRect(x, y, 400, 40), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(text));
}

}  // namespace

disk::RecordTime PlaybackEngine::PositionTime() const { return TimeAt(Position()); }

disk::RecordTime PlaybackEngine::TimeAt(int at) const
{
    if (!volume)
        return {};
    return disk::AddMilliseconds(volume->OpenRecordTime(), int64_t(at) * 1000);
}

disk::PositionStamp PlaybackEngine::StampAt(int at) const
{
    return volume ? volume->StampAt(at) : disk::PositionStamp{};
}

disk::PositionStamp PlaybackEngine::CurrentStamp() const { return StampAt(Position()); }

void PlaybackEngine::DrawSpeed()
{
    if (!mainWindow)
        return;
    char text[16];
    const float s = speed.load();
    if (s >= 1.0f)
        std::snprintf(text, sizeof text, "x %d", static_cast<int>(s));
    else
        std::snprintf(text, sizeof text, "x1/%d", static_cast<int>(1.0f / s));
    std::lock_guard lock(indicatorLock);
    auto context = mainWindow->Draw(kSpeedBox);
    QPainter painter(&context.Image());
    painter.fillRect(kSpeedBox, kSpeedFill);
    DrawTextAt(painter, 682, 521, kSpeedShadow, text);
    DrawTextAt(painter, 683, 522, kSpeedText, text);
}

void PlaybackEngine::DrawTime()
{
    if (!mainWindow)
        return;
    std::lock_guard lock(indicatorLock);
    if (!timeBack)
        timeBack = std::make_unique<picture::TBitmap>();
    // A missing picture is tried again next time; the text goes on whatever is there.
    if (timeBack->Width() == 0)
        timeBack->Load((platform::AppDirectory() + "/bmp").c_str(), "time_back.bmp");
    char text[64];
    CurrentStamp().Format(text, disk::StampStyle::Panel);
    const QRect area(kTimePanel, QSize(std::max(timeBack->Width(), 200), std::max(timeBack->Height(), 30)));
    auto context = mainWindow->Draw(area);
    if (timeBack->Width() > 0)
        timeBack->Draw(context.Image(), kTimePanel.x(), kTimePanel.y(), timeBack->Width(), timeBack->Height());
    QPainter painter(&context.Image());
    DrawTextAt(painter, 490, 521, kTimeText, text);
}

}  // namespace playback
