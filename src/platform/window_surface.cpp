#include "platform/window_surface.h"

#include <QPainter>

#include <algorithm>

namespace platform {

namespace {

QImage BlankImage(int width, int height)
{
    QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

}  // namespace

WindowSurface::WindowSurface(int width, int height) : image(BlankImage(width, height)) {}

WindowSurface::Context::Context(WindowSurface& surface, const QRect& touched)
    : owner(&surface), lock(surface.imageMutex), dirty(touched)
{
}

WindowSurface::Context::~Context()
{
    if (!lock.owns_lock())  // moved from
        return;
    lock.unlock();
    if (!dirty.isEmpty())
        owner->Repaint(dirty);
}

WindowSurface::Context WindowSurface::Draw(const QRect& touched) { return Context(*this, touched); }

void WindowSurface::SetRepaintHook(RepaintHook newHook)
{
    std::lock_guard lock(hookMutex);
    hook = std::move(newHook);
}

void WindowSurface::Repaint(const QRect& rect)
{
    std::lock_guard lock(hookMutex);
    if (hook)
        hook(rect);
}

void WindowSurface::Resize(int width, int height)
{
    {
        std::lock_guard lock(imageMutex);
        if (image.width() == width && image.height() == height)
            return;
        image = BlankImage(width, height);
    }
    Repaint(QRect(0, 0, width, height));
}

int WindowSurface::Width() const
{
    std::lock_guard lock(imageMutex);
    return image.width();
}

int WindowSurface::Height() const
{
    std::lock_guard lock(imageMutex);
    return image.height();
}

void WindowSurface::PaintTo(QPainter& painter, const QRect& area) const
{
    std::lock_guard lock(imageMutex);
    painter.drawImage(area, image, area);
}

QImage WindowSurface::Copy() const
{
    std::lock_guard lock(imageMutex);
    return image.copy();
}

}  // namespace platform
