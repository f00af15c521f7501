#pragma once
// The main window's look and its controls: background, buttons with four
// pictures each, static images, the position and volume sliders, the segment
// marks. It draws the window and turns mouse events into hover, press,
// slider drags and window drags.
//
// Threads: the window's (GUI) thread owns everything except the sliders'
// drawing state. The slider lock guards each slider's current thumb position
// and strip, the two mark offsets and the activity marks; DrawPosition is also called from the
// playback timer thread. Lock order: any caller's lock (the engine's stream
// lock), then the slider lock, then the window's backing image (innermost).
// Loading happens once, on the GUI thread, before any other thread draws.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <QPoint>

#include "ui/skin_picture.h"

class QImage;
class QPainter;

namespace ui {

class SkinWindow;
class ToolTipWindow;

enum ButtonState : std::int32_t { kStateUp = 0, kStateDown = 1, kStateHover = 2, kStateDisabled = 3 };
enum ButtonKind : std::int32_t { kKindStatic = 0, kKindPush = 1, kKindToggle = 2, kKindViewSelector = 3 };

struct SkinButton {
    // Longest name and tooltip kept, in bytes.
    static constexpr std::size_t kTextLimit = 255;

    std::array<SkinPicture, 4> pictures;  // by ButtonState
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t state = kStateUp;
    std::int32_t kind = kKindStatic;
    std::string name;
    std::string tooltip;
};

struct SkinSlider {
    SkinPicture thumb;
    SkinPicture axis;  // its size is the slider's
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t trackLeft = -1;   // smallest thumb centre
    std::int32_t trackRight = -1;  // largest thumb centre
    std::int32_t current = -1;     // thumb centre last drawn, -1 never
    QImage strip;                  // composed off-screen, made on first drawing
};

enum class SliderId { Position, Volume };

class Skin {
public:
    static constexpr int kMaxButtons = 128;

    Skin();
    ~Skin();
    Skin(const Skin&) = delete;
    Skin& operator=(const Skin&) = delete;

    // Stores the window and makes the tooltip popup if there is none yet.
    void Attach(SkinWindow* window);
    // Forgets the window (before it is destroyed) and the tooltip with it.
    void Detach();

    bool LoadBackground(const char* directory, const char* file);
    bool AddButtonPicture(const char* directory, const char* file, int index, int state, const char* tooltip, int kind,
                          const char* name, int x, int y);
    bool LoadSlider(SliderId slider, const char* directory, const char* thumbFile, const char* axisFile, int x, int y);
    bool LoadMarks(const char* directory, const char* beginFile, const char* endFile);

    // Repaints the whole window through an off-screen buffer.
    void Paint();
    // What Paint shows, composed into image (sized to the background, or to
    // the window when there is no background).
    bool Compose(QImage& image);

    // Buttons.
    int HitTest(int x, int y) const;
    bool SetButtonState(int index, int state);
    // False when index is outside 0 .. count - 1.
    bool ButtonName(int index, std::string& name) const;

    // Mouse, in client coordinates. screenPoint is the same point on the
    // screen as the windowing system reported it; without it, the point is
    // taken against where the window is now.
    int Press(int x, int y);
    int Press(int x, int y, QPoint screenPoint);
    void Move(int x, int y);
    void Move(int x, int y, QPoint screenPoint);
    int Release();
    bool PositionDrag() const { return positionDrag; }
    bool VolumeDrag() const { return volumeDrag; }
    bool WindowDrag() const { return windowDrag; }

    // Sliders: offset from track left, -1 = where the thumb is. Without a
    // context the slider is drawn into the window. A context must not be
    // the window's own backing image while it is locked.
    bool DrawPosition(int offset, QImage* context = nullptr);
    bool DrawVolume(int offset, QImage* context = nullptr);
    int PositionOffset() const;
    void SetBeginMark(int offset);
    void SetEndMark(int offset);
    void ClearMarks();
    int BeginMark() const;
    int EndMark() const;
    // The activity events on the position slider: spans of its track
    // (offsets from the track's left, first and last), drawn along the axis
    // under the thumb; empty for none. Offsets outside the track are cut.
    void SetActivityMarks(std::vector<std::pair<int, int>> spans);
    std::vector<std::pair<int, int>> ActivityMarks() const;
    // The colour they are drawn in.
    static constexpr unsigned kActivityMarkRgb = 0xFFE8A000;

    // For the engine and the main window: geometry is fixed after loading.
    const SkinSlider& Slider(SliderId slider) const
    {
        return slider == SliderId::Position ? positionSlider : volumeSlider;
    }
    // DrawPosition and DrawVolume take it themselves: hold it to read a
    // slider's state consistently, never around those calls.
    std::mutex& SliderLock() { return sliderLock; }

    int Count() const { return count; }
    const SkinButton& Button(int index) const { return buttons[static_cast<std::size_t>(index)]; }
    int Pressed() const { return pressed; }
    int Hover() const { return hover; }
    SkinWindow* Window() const { return window; }
    const SkinPicture& Background() const { return background; }
    const SkinPicture& BeginMarkPicture() const { return beginMarkPicture; }
    const SkinPicture& EndMarkPicture() const { return endMarkPicture; }
    ToolTipWindow* Tooltip() const { return tooltip.get(); }

private:
    SkinSlider& MutableSlider(SliderId slider) { return slider == SliderId::Position ? positionSlider : volumeSlider; }
    bool DrawSlider(SkinSlider& slider, bool withMarks, int offset, QImage* context);
    bool GrabsThumb(const SkinSlider& slider, int x, int y) const;
    QPoint ScreenPoint(int x, int y) const;
    void ShowTooltip(int index);
    void LeaveHover();

    SkinPicture background;
    SkinSlider positionSlider;
    SkinSlider volumeSlider;
    std::array<SkinButton, kMaxButtons> buttons;
    int count = 0;
    SkinWindow* window = nullptr;
    bool windowDrag = false;
    QPoint dragGrab;  // the pressed point, from the window's top-left corner
    int pressed = -1;
    int hover = -1;
    bool positionDrag = false;
    bool volumeDrag = false;
    std::unique_ptr<ToolTipWindow> tooltip;
    int beginMark = -1;                              // slider lock
    int endMark = -1;                                // slider lock
    std::vector<std::pair<int, int>> activityMarks;  // slider lock
    SkinPicture beginMarkPicture;
    SkinPicture endMarkPicture;
    mutable std::mutex sliderLock;
};

}  // namespace ui
