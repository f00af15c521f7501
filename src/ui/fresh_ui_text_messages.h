#pragma once
// The playback engine's message boxes: UI text N read afresh from
// Tooltip.ini at that moment, in an application message box; when the file
// can't be opened, "Can't Open Setting file" comes first and the second box
// is empty.
#include <string>

#include "playback/engine_host.h"

class QWidget;

namespace ui {

class FreshUiTextMessages final : public playback::MessageSink {
public:
    // path: the Tooltip.ini to read (the one beside the executable by default).
    explicit FreshUiTextMessages(std::string path = {}, QWidget* owner = nullptr);
    void ShowFreshUiText(int line) override;

private:
    std::string path;
    QWidget* owner;
};

}  // namespace ui
