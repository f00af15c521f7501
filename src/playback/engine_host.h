#pragma once
// What the playback engine asks of the window around it: the position
// slider of the skin, and message boxes with the UI texts. Both may be
// absent (a headless engine, the record list's preview).

namespace playback {

// The skin's time-axis slider. Offsets are pixels from its track's left end.
class PositionSlider {
public:
    virtual ~PositionSlider() = default;
    // track right − track left
    virtual int TrackLength() const = 0;
    // Moves the thumb to offset (−1: where it is) and redraws; false when
    // the offset is off the track.
    virtual bool DrawPosition(int offset) = 0;
    // −1 before the first drawing.
    virtual int PositionOffset() const = 0;
    virtual void SetBeginMark(int offset) = 0;
    virtual void SetEndMark(int offset) = 0;
    virtual void ClearMarks() = 0;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // UI text `line`, read afresh from Tooltip.ini, in a message box (after
    // "Can't Open Setting file" when the file can't be read).
    virtual void ShowFreshUiText(int line) = 0;
};

}  // namespace playback
