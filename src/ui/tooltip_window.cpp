#include "ui/tooltip_window.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWindow>

#include <algorithm>

#include "ui/ui_text_table.h"

namespace ui {

namespace {

constexpr int kOffset = 30;
const QColor kFrameColour(5, 5, 5);

// Cuts UTF-8 bytes at or below limit without splitting a character.
std::string_view CutAt(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

ToolTipWindow::ToolTipWindow(Key, QWidget* ownerWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), owner(ownerWindow)
{
    setObjectName(QStringLiteral("ToolTip"));
    setWindowTitle(QStringLiteral("ToolTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 10, 10);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
}

std::unique_ptr<ToolTipWindow> ToolTipWindow::Create(QWidget* owner)
{
    if (!owner)
        return nullptr;
    auto window = std::make_unique<ToolTipWindow>(Key{}, owner);
    window->create();
    QWindow* handle = window->windowHandle();
    if (!handle)
        return nullptr;
    if (QWindow* ownerHandle = owner->windowHandle())
        handle->setTransientParent(ownerHandle);
    return window;
}

void ToolTipWindow::SetText(std::string_view bytes)
{
    const std::string_view kept = CutAt(bytes, kTextBytes - 1);
    text = UiString(std::string(kept));
}

void ToolTipWindow::SetPosition(int x, int y) { position = QPoint(x, y); }

QSize ToolTipWindow::SizeForText() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text) + kPadding, metrics.height() + kPadding);
}

void ToolTipWindow::Show()
{
    if (!windowHandle() && owner && owner->windowHandle())
        create();
    if (owner && owner->windowHandle() && windowHandle() && !windowHandle()->transientParent())
        windowHandle()->setTransientParent(owner->windowHandle());
    setGeometry(QRect(position, SizeForText()));
    show();
    raise();
    repaint();
}

void ToolTipWindow::Hide() { hide(); }

void ToolTipWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFrameColour);
    // A one-pixel frame drawn as four bars: exact on any scaling.
    painter.drawRect(QRect(0, 0, frame.width(), 1));
    painter.drawRect(QRect(0, frame.height() - 1, frame.width(), 1));
    painter.drawRect(QRect(0, 0, 1, frame.height()));
    painter.drawRect(QRect(frame.width() - 1, 0, 1, frame.height()));
    // Black text on an opaque white box, centred.
    const QFontMetrics metrics(font());
    QRect textBox(0, 0, metrics.horizontalAdvance(text), metrics.height());
    textBox.moveCenter(frame.center());
    painter.fillRect(textBox, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, text);
}

QPoint TooltipPlacement(int left, int top, QPoint windowTopLeft)
{
    return QPoint(std::max(left + windowTopLeft.x() + kOffset, 0), std::max(top + windowTopLeft.y() + kOffset, 0));
}

}  // namespace ui
