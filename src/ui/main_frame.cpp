#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "export/segment_exporter.h"
#include "platform/decode_api.h"
#include "playback/playback_engine.h"
#include "ui/activity_events.h"
#include "ui/app_context.h"
#include "ui/bookmarks_window.h"
#include "ui/case_session.h"
#include "ui/disk_recovery.h"
#include "ui/export_progress_dialog.h"
#include "ui/main_skin.h"
#include "ui/timeline_window.h"
#include "ui/tooltip_window.h"
#include "ui/video_view.h"

namespace ui {

const char* const CMainFrame::kVersionText = "Torvane Version 1.5.0012";
const char* const CMainFrame::kVersionCaption = "Quillon PlayBack";

CMainFrame::CMainFrame(AppContext& appContext, playback::PlaybackEngine& playbackEngine)
    : MainWindow(appContext.skin), context(appContext), engine(playbackEngine), positionSlider(appContext.skin),
      messages(TextTablePath(appContext.appDirectory), this), recovery(std::make_unique<DiskRecovery>()),
      caseSession(std::make_unique<CaseSession>()),
      activity(std::make_unique<ActivityEvents>(appContext.appDirectory + "/" + platform::decodeapi::kLibraryFile)),
      noticeTimer(std::make_unique<QTimer>())
{
    notice = ToolTipWindow::Create(this);
    noticeTimer->setSingleShot(true);
    QObject::connect(noticeTimer.get(), &QTimer::timeout, this, [this] {
        if (notice)
            notice->Hide();
    });
    activity->OnChange([this] { OnActivityChange(); });
    move(kLeft, kTop);
    SetEvents(this);
    videoView = std::make_unique<VideoView>(this, engine);
    videoView->SetClickHandler([this](int x, int y) { OnViewClick(x, y); });
    videoView->show();
    BuildSkin(SkinDirectory(context.appDirectory), TextTablePath(context.appDirectory));
    engine.SetHosts(&positionSlider, &messages, &Surface());
    addAction(QString(), this, [this] { GoToTime(); })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    addAction(QString(), this, [this] { ShowTimeline(); })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    // The box is opened from the event loop, not from inside the key's
    // native event filter.
    hotKey.Register(kHotKeyId, platform::GlobalHotKey::kModAlt | platform::GlobalHotKey::kModControl, kHotKeyVirtualKey,
                    [this](int) {
                        QMetaObject::invokeMethod(
                            this, [this] { ShowVersion(); }, Qt::QueuedConnection);
                    });
}

CMainFrame::~CMainFrame()
{
    activity->OnChange({});
    WaitForExport();
    // The engine outlives the window: nothing of it may be drawn into after this.
    engine.Halt();
    engine.KillTimer();
    engine.SetHosts(nullptr, nullptr, nullptr);
}

bool CMainFrame::MouseIgnored() { return engine.exporting.load(); }

void CMainFrame::OnPress(int, int)
{
    if (!GetSkin().PositionDrag())
        return;
    const bool wasPlaying = engine.IsPlaying();
    engine.dragWasPlaying = wasPlaying;
    engine.dragWasReverse = wasPlaying && engine.IsReverse();
}

void CMainFrame::OnMove(int x, int)
{
    Skin& skin = GetSkin();
    if (skin.PositionDrag()) {
        engine.Halt();
        if (!engine.IsReady())
            return;
        const SkinSlider& slider = skin.Slider(SliderId::Position);
        const int range = slider.trackRight - slider.trackLeft;
        if (range <= 0)  // a skin without the slider's pictures
            return;
        const int offset = std::clamp(x - slider.trackLeft, 0, range);
        const int64_t target = int64_t(engine.Length()) * offset / range;
        // The right end names Length itself, which the engine refuses.
        if (target >= 0)
            engine.ShowPosition(static_cast<int>(target), true, false);
    } else if (skin.VolumeDrag()) {
        const SkinSlider& slider = skin.Slider(SliderId::Volume);
        const int range = slider.trackRight - slider.trackLeft;
        if (range <= 0)
            return;
        const int volume = (x - slider.trackLeft) * 100 / range;
        if (volume >= 0 && volume <= 100)
            engine.Sound().SetVolume(volume);
    }
}

void CMainFrame::OnDragEnd(bool positionDrag)
{
    if (!positionDrag || !engine.dragWasPlaying.load())
        return;
    if (engine.dragWasReverse.load())
        engine.PlayReverse();
    else
        engine.PlayForward();
}

void CMainFrame::OnPaint()
{
    if (!engine.IsReady())
        return;
    engine.DrawSpeed();
    engine.DrawTime();
}

void CMainFrame::StopPlayback()
{
    engine.Halt();
    if (engine.TimerRunning()) {
        engine.KillTimer();
        // As long as a tick may take: whatever it drew has landed.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (DeferCloseForExport()) {
        event->ignore();
        return;
    }
    StopPlayback();
    // A notice still up would outlive the window by a few seconds.
    noticeTimer->stop();
    if (notice)
        notice->Hide();
    MainWindow::closeEvent(event);
}

void CMainFrame::ShowVersion()
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kVersionCaption), QString::fromLatin1(kVersionText),
                    QMessageBox::Ok, this);
    box.exec();
}

}  // namespace ui
