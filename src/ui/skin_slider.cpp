// The two sliders and the segment marks: thumb and marks are composed with
// the axis in a strip made once per slider and copied in one transfer.
#include <QPainter>

#include <algorithm>

#include "platform/window_surface.h"
#include "ui/skin.h"
#include "ui/skin_window.h"

namespace ui {
namespace {

constexpr int kActivityMarkHeight = 3;

}  // namespace

bool Skin::DrawSlider(SkinSlider& slider, bool withMarks, int offset, QImage* context)
{
    std::lock_guard lock(sliderLock);
    if (!window || !slider.thumb.Present() || !slider.axis.Present())
        return false;
    int c = 0;
    if (offset == -1)
        c = slider.current == -1 ? slider.trackLeft : slider.current;
    else
        c = slider.trackLeft + offset;
    if (c < slider.trackLeft || c > slider.trackRight)
        return false;
    slider.current = c;

    const int width = slider.axis.Width();
    const int height = slider.axis.Height();
    if (slider.strip.isNull()) {
        slider.strip = QImage(width, height, QImage::Format_RGB32);
        if (slider.strip.isNull())
            return false;
    }
    {
        QPainter painter(&slider.strip);
        slider.axis.Draw(painter, 0, 0);
        // Activity along the lower edge of the axis, where the thumb's
        // line does not run; the thumb goes over them.
        if (withMarks)
            for (const auto& [first, last] : activityMarks)
                painter.fillRect(QRect(slider.trackLeft + first - slider.x, height - kActivityMarkHeight,
                                       last - first + 1, kActivityMarkHeight),
                                 QColor::fromRgb(kActivityMarkRgb));
        slider.thumb.DrawTransparent(painter, c - slider.thumb.Width() / 2 - slider.x, 0);
        if (withMarks) {
            if (beginMark != -1 && beginMarkPicture.Present())
                beginMarkPicture.DrawTransparent(
                    painter, beginMark + slider.trackLeft - beginMarkPicture.Width() / 2 - slider.x, 0);
            if (endMark != -1 && endMarkPicture.Present())
                endMarkPicture.DrawTransparent(painter,
                                               endMark + slider.trackLeft - endMarkPicture.Width() / 2 - slider.x, 0);
        }
    }
    const QRect target(slider.x, slider.y, width, height);
    if (context) {
        QPainter painter(context);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(target.topLeft(), slider.strip);
        return true;
    }
    auto windowContext = window->Surface().Draw(target);
    QPainter painter(&windowContext.Image());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target.topLeft(), slider.strip);
    return true;
}

bool Skin::DrawPosition(int offset, QImage* context) { return DrawSlider(positionSlider, true, offset, context); }

bool Skin::DrawVolume(int offset, QImage* context) { return DrawSlider(volumeSlider, false, offset, context); }

int Skin::PositionOffset() const
{
    std::lock_guard lock(sliderLock);
    if (positionSlider.current == -1)
        return -1;
    const int range = positionSlider.trackRight - positionSlider.trackLeft;
    return std::clamp(positionSlider.current - positionSlider.trackLeft, 0, std::max(range, 0));
}

void Skin::SetBeginMark(int offset)
{
    std::lock_guard lock(sliderLock);
    if (offset >= 0 && offset <= positionSlider.trackRight - positionSlider.trackLeft)
        beginMark = offset;
}

void Skin::SetEndMark(int offset)
{
    std::lock_guard lock(sliderLock);
    if (offset >= 0 && offset <= positionSlider.trackRight - positionSlider.trackLeft)
        endMark = offset;
}

void Skin::ClearMarks()
{
    std::lock_guard lock(sliderLock);
    beginMark = -1;
    endMark = -1;
}

void Skin::SetActivityMarks(std::vector<std::pair<int, int>> spans)
{
    std::lock_guard lock(sliderLock);
    const int range = positionSlider.trackRight - positionSlider.trackLeft;
    activityMarks.clear();
    for (auto [first, last] : spans) {
        first = std::max(first, 0);
        last = std::min(last, range);
        if (range >= 0 && first <= last)
            activityMarks.emplace_back(first, last);
    }
}

std::vector<std::pair<int, int>> Skin::ActivityMarks() const
{
    std::lock_guard lock(sliderLock);
    return activityMarks;
}

int Skin::BeginMark() const
{
    std::lock_guard lock(sliderLock);
    return beginMark;
}

int Skin::EndMark() const
{
    std::lock_guard lock(sliderLock);
    return endMark;
}

}  // namespace ui
