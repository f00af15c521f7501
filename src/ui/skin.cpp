// Skin loading and the full repaint.
#include "ui/skin.h"

#include <QImage>
#include <QPainter>

#include "platform/window_surface.h"
#include "ui/skin_window.h"
#include "ui/tooltip_window.h"
#include "ui/window_shape.h"

namespace ui {

namespace {

// Shown where there is no background picture to give the window its look.
const QColor kNoBackground(40, 44, 52);

// At most limit bytes, not splitting a UTF-8 character.
std::string CutText(const char* text, std::size_t limit)
{
    std::string s(text);
    if (s.size() <= limit)
        return s;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    s.resize(end);
    return s;
}

}  // namespace

Skin::Skin() = default;

Skin::~Skin() = default;

void Skin::Attach(SkinWindow* newWindow)
{
    window = newWindow;
    if (!tooltip && window)
        tooltip = ToolTipWindow::Create(window->TooltipOwner());
}

void Skin::Detach()
{
    tooltip.reset();
    hover = -1;
    window = nullptr;
}

bool Skin::LoadBackground(const char* directory, const char* file)
{
    if (!directory || !file)
        return false;
    if (!background.Load(directory, file))
        return false;
    return MakeShape(directory, file, window);
}

bool Skin::AddButtonPicture(const char* directory, const char* file, int index, int state, const char* tooltipText,
                            int kind, const char* name, int x, int y)
{
    if (!directory || !file || index < 0 || index >= kMaxButtons || state < kStateUp || state > kStateDisabled)
        return false;
    SkinButton& button = buttons[static_cast<std::size_t>(index)];
    SkinPicture& picture = button.pictures[static_cast<std::size_t>(state)];
    if (!picture.Load(directory, file))
        return false;
    if (x >= 0 || y >= 0) {
        button.left = x;
        button.top = y;
        button.right = x + picture.Width();
        button.bottom = y + picture.Height();
    }
    if (kind != -1)
        button.kind = kind;
    if (name)
        button.name = CutText(name, SkinButton::kTextLimit);
    if (kind != kKindStatic && tooltipText)
        button.tooltip = CutText(tooltipText, SkinButton::kTextLimit);
    // Slots past count grow it to index + 1, so that a button whose pictures
    // are all missing can't push a later button out of reach.
    if (index >= count)
        count = index + 1;
    return true;
}

bool Skin::LoadSlider(SliderId id, const char* directory, const char* thumbFile, const char* axisFile, int x, int y)
{
    if (!directory || !thumbFile || !axisFile)
        return false;
    std::lock_guard lock(sliderLock);
    SkinSlider& slider = MutableSlider(id);
    slider.strip = QImage();
    if (!slider.thumb.Load(directory, thumbFile))
        return false;
    if (!slider.axis.Load(directory, axisFile))
        return false;
    slider.x = x;
    slider.y = y;
    const int halfThumb = slider.thumb.Width() / 2;
    slider.trackLeft = halfThumb + x + 1;
    slider.trackRight = slider.axis.Width() + x - halfThumb - 1;
    return true;
}

bool Skin::LoadMarks(const char* directory, const char* beginFile, const char* endFile)
{
    if (!directory || !beginFile || !endFile)
        return false;
    std::lock_guard lock(sliderLock);
    const bool begin = beginMarkPicture.Load(directory, beginFile);
    const bool end = endMarkPicture.Load(directory, endFile);
    return begin && end;
}

bool Skin::Compose(QImage& image)
{
    QSize size(background.Width(), background.Height());
    if (!background.Present()) {
        if (!window)
            return false;
        size = QSize(window->Surface().Width(), window->Surface().Height());
    }
    if (size.isEmpty())
        return false;
    if (image.size() != size || image.format() != QImage::Format_RGB32)
        image = QImage(size, QImage::Format_RGB32);
    image.fill(kNoBackground);
    {
        QPainter painter(&image);
        background.DrawTransparent(painter, 0, 0);
        for (int i = 0; i < count; ++i) {
            const SkinButton& b = buttons[static_cast<std::size_t>(i)];
            b.pictures[static_cast<std::size_t>(b.state)].DrawTransparent(painter, b.left, b.top);
        }
    }
    DrawPosition(-1, &image);
    DrawVolume(-1, &image);
    return true;
}

void Skin::Paint()
{
    if (!window)
        return;
    QImage buffer;
    if (!Compose(buffer))
        return;
    platform::WindowSurface& surface = window->Surface();
    auto context = surface.Draw(QRect(QPoint(0, 0), buffer.size()));
    QPainter painter(&context.Image());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), buffer);
}

}  // namespace ui
