#pragma once
// The skin's position slider as the playback engine sees it.
#include "playback/engine_host.h"
#include "ui/skin.h"

namespace ui {

class SkinPositionSlider : public playback::PositionSlider {
public:
    explicit SkinPositionSlider(Skin& skin) : skin(skin) {}

    int TrackLength() const override
    {
        const SkinSlider& slider = skin.Slider(SliderId::Position);
        return slider.trackRight - slider.trackLeft;
    }
    bool DrawPosition(int offset) override { return skin.DrawPosition(offset); }
    int PositionOffset() const override { return skin.PositionOffset(); }
    void SetBeginMark(int offset) override { skin.SetBeginMark(offset); }
    void SetEndMark(int offset) override { skin.SetEndMark(offset); }
    void ClearMarks() override { skin.ClearMarks(); }

private:
    Skin& skin;
};

}  // namespace ui
