#pragma once
// The main window over a real engine (driven by a manual timer) and the
// disk images the test wrote, for the window tests: what the program's
// message boxes would show is kept in `shown`. Start in SetUp, Stop in
// TearDown; the frame goes before the engine, the engine before the context.
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "playback/engine_harness.h"
#include "ui/app_context.h"
#include "ui/message_box.h"

namespace ui_test {

template <typename Frame>
struct FrameHarness {
    std::unique_ptr<ui::AppContext> context;
    std::unique_ptr<playback::PlaybackEngine> engine;
    std::unique_ptr<Frame> frame;
    std::vector<QString> shown;

    // image: drive 0; app: the program's directory (MakeAppDirectory).
    void Start(const std::string& image, const std::string& app)
    {
        platform::SetDriveImages({image});
        ui::SetMessagePresenter([this](ui::MessageKind, QWidget*, const QString& text) { shown.push_back(text); });
        context = std::make_unique<ui::AppContext>(app);
        engine =
            std::make_unique<playback::PlaybackEngine>(context->decoder, std::make_unique<engine_test::ManualTimer>());
        frame = std::make_unique<Frame>(*context, *engine);
    }
    void Stop()
    {
        frame.reset();
        engine.reset();
        context.reset();
        ui::SetMessagePresenter({});
    }
};

}  // namespace ui_test
