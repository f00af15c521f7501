#include "ui/surface_view.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

namespace ui {

void RepaintOnDraw(QWidget& widget, platform::WindowSurface& surface)
{
    QPointer<QWidget> self(&widget);
    surface.SetRepaintHook([self](const QRect& rect) {
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, rect] {
                    if (self)
                        self->update(rect);
                },
                Qt::QueuedConnection);
    });
}

SurfaceView::SurfaceView(QWidget* parent, int width, int height) : QWidget(parent), surface(width, height)
{
    resize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
    RepaintOnDraw(*this, surface);
}

SurfaceView::~SurfaceView() { surface.SetRepaintHook({}); }

void SurfaceView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    surface.PaintTo(painter, event->rect());
}

void SurfaceView::resizeEvent(QResizeEvent* event)
{
    if (event->size() != QSize(surface.Width(), surface.Height()))
        surface.Resize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

}  // namespace ui
