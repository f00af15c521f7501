// The program's keys, after the habits of common players. A key whose
// action a skin button has runs that button's command; the few without a
// button (a picture back, a second forward, the first and last seconds)
// drive the engine as the slider and the step buttons do. N and Shift+N go
// from activity event to activity event (main_frame_activity.cpp).
#include <QKeyEvent>

#include <string>

#include "playback/playback_engine.h"
#include "ui/main_frame.h"

namespace ui {

namespace {

// The button command a key stands for, or null.
const char* ButtonCommand(int key, Qt::KeyboardModifiers modifiers, bool playing)
{
    const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
    if (held == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_O: return "hdd";
        case Qt::Key_L: return "list";
        default: return nullptr;
        }
    }
    if (held == Qt::ShiftModifier)
        return key == Qt::Key_Left ? "prev" : nullptr;
    if (held != Qt::NoModifier)
        return nullptr;
    switch (key) {
    case Qt::Key_Space: return playing ? "pause" : "play";
    case Qt::Key_Right: return "next";
    case Qt::Key_Up: return "fast";
    case Qt::Key_Down: return "slow";
    case Qt::Key_R: return "rewind";
    case Qt::Key_Q: return "quad";
    case Qt::Key_1: return "ch1";
    case Qt::Key_2: return "ch2";
    case Qt::Key_3: return "ch3";
    case Qt::Key_4: return "ch4";
    case Qt::Key_M: return "segment";
    case Qt::Key_S: return "snap";
    case Qt::Key_P: return "print";
    case Qt::Key_E: return "output";
    default: return nullptr;
    }
}

}  // namespace

bool CMainFrame::RunKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (const char* command = ButtonCommand(key, modifiers, engine.IsPlaying())) {
        if (!engine.exporting.load())
            RunCommand(command);
        return true;
    }
    const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
    const bool plain = held == Qt::NoModifier;
    if (key == Qt::Key_N && (plain || held == Qt::ShiftModifier)) {
        JumpToActivity(plain);
        return true;
    }
    if (key == Qt::Key_B && (plain || held == Qt::ControlModifier)) {
        if (!engine.exporting.load()) {
            if (plain)
                BookmarkShownPicture();
            else
                ShowBookmarks();
        }
        return true;
    }
    const bool secondForward = held == Qt::ShiftModifier && key == Qt::Key_Right;
    if (!secondForward && !(plain && (key == Qt::Key_Left || key == Qt::Key_Home || key == Qt::Key_End)))
        return false;
    if (engine.exporting.load() || !engine.IsReady())
        return true;
    engine.Halt();
    if (key == Qt::Key_Left)
        engine.StepBackPicture();
    else if (key == Qt::Key_Home)
        engine.ShowPosition(0, true, true);
    else if (key == Qt::Key_End)
        engine.ShowPosition(engine.Length() - 1, true, true);
    else
        engine.ShowPosition(engine.Position() + 1, true, true);
    return true;
}

void CMainFrame::keyPressEvent(QKeyEvent* event)
{
    if (RunKey(event->key(), event->modifiers()))
        event->accept();
    else
        MainWindow::keyPressEvent(event);
}

}  // namespace ui
