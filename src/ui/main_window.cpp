#include "ui/main_window.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/window_system.h"
#include "ui/main_skin.h"
#include "ui/skin.h"
#include "ui/surface_view.h"

namespace ui {

MainWindow::MainWindow(Skin& ownerSkin, MainWindowEvents* ownerEvents)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), skin(ownerSkin), events(ownerEvents),
      surface(kMainWindowWidth, kMainWindowHeight)
{
    setWindowTitle(QStringLiteral("Quillon"));
    setFixedSize(kMainWindowWidth, kMainWindowHeight);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    RepaintOnDraw(*this, surface);
}

MainWindow::~MainWindow()
{
    surface.SetRepaintHook({});
    if (skin.Window() == this)
        skin.Detach();
}

void MainWindow::BuildSkin(const std::string& skinDirectory, const std::string& textsPath)
{
    BuildMainSkin(skin, *this, skinDirectory, textsPath, texts, this);
}

void MainWindow::RepaintAll()
{
    skin.Paint();
    if (events)
        events->OnPaint();
}

QRect MainWindow::ScreenRect() const { return frameGeometry(); }

void MainWindow::MoveTo(QPoint topLeft) { move(topLeft); }

void MainWindow::SetShape(const QRegion& shape)
{
    if (shape.isEmpty())
        clearMask();
    else
        setMask(shape);
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    surface.PaintTo(painter, event->rect());
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!painted) {
        painted = true;
        RepaintAll();
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || (events && events->MouseIgnored()))
        return;
    captured = true;
    const QPoint at = event->position().toPoint();
    skin.Press(at.x(), at.y(), event->globalPosition().toPoint());
    // Where the system places windows, it drags them too, and keeps the
    // pointer until the button goes up: the skin's drag ends here.
    if (skin.WindowDrag() && platform::SystemPlacesWindows() && platform::StartSystemMove(windowHandle())) {
        captured = false;
        skin.Release();
        return;
    }
    if (events)
        events->OnPress(at.x(), at.y());
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    skin.Move(at.x(), at.y(), event->globalPosition().toPoint());
    if (events)
        events->OnMove(at.x(), at.y());
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !captured)
        return;
    captured = false;
    const bool positionDrag = skin.PositionDrag();
    const bool sliderDrag = positionDrag || skin.VolumeDrag();
    if (sliderDrag && events)
        events->OnDragEnd(positionDrag);
    const int index = skin.Release();
    if (index == -1 || sliderDrag || (events && events->MouseIgnored()))
        return;
    std::string name;
    if (!skin.ButtonName(index, name))
        return;
    if (events)
        events->OnCommand(name);
}

void MainWindow::leaveEvent(QEvent* event)
{
    // Off the window nothing is hovered; no move would tell the skin so.
    if (!captured)
        skin.Move(-1, -1);
    QWidget::leaveEvent(event);
}

}  // namespace ui
