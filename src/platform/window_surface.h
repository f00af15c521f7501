#pragma once
#include <QImage>
#include <QRect>

#include <functional>
#include <mutex>

class QPainter;

namespace platform {

// The backing image of a window that other threads draw into: the stand-in
// for drawing straight onto a window from any thread. A drawing context
// locks the image; giving it back unlocks it and asks, through the repaint
// hook, for the touched rectangle to be repainted. Without a hook (tests,
// command line) the image is all there is.
//
// Threads: any thread may draw or read. `imageMutex` guards the image and is
// the innermost lock of the program; `hookMutex` guards the hook, which is
// called after the image is unlocked, on the drawing thread.
class WindowSurface {
public:
    using RepaintHook = std::function<void(const QRect&)>;

    // An RGB32 image of width x height, black.
    WindowSurface(int width, int height);

    // Held while drawing; the image must not be used after it is gone.
    class Context {
    public:
        Context(Context&&) noexcept = default;
        Context& operator=(Context&&) = delete;
        ~Context();
        QImage& Image() { return owner->image; }
        // Widens the rectangle that is repainted afterwards.
        void Touch(const QRect& rect) { dirty |= rect; }

    private:
        friend class WindowSurface;
        Context(WindowSurface& surface, const QRect& touched);
        WindowSurface* owner;
        std::unique_lock<std::mutex> lock;
        QRect dirty;
    };

    // Locks the image for drawing; `touched` is repainted when the context goes.
    Context Draw(const QRect& touched = QRect());

    void SetRepaintHook(RepaintHook hook);

    // The window's size changed: a new black image of that size.
    void Resize(int width, int height);

    int Width() const;
    int Height() const;
    QImage Copy() const;
    // Draws the image's area onto painter at the same place, under the lock:
    // a window's paint event, without copying the whole image.
    void PaintTo(QPainter& painter, const QRect& area) const;

private:
    void Repaint(const QRect& rect);

    mutable std::mutex imageMutex;
    QImage image;
    std::mutex hookMutex;
    RepaintHook hook;
};

}  // namespace platform
