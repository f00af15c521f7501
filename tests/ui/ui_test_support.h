#pragma once
// Shared by the UI tests: a headless Qt application, BMP pictures written
// through TBitmap, and a stand-in for the main window.
#include <QApplication>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "picture/tbitmap.h"
#include "platform/window_surface.h"
#include "ui/skin_window.h"

namespace ui_test {

// One offscreen application for the whole test binary. It goes before the
// program's static objects do: Qt's input devices must not outlive it.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { App(); }
    void TearDown() override { Instance().reset(); }

    static QApplication& App()
    {
        static int argc = 1;
        static char name[] = "quillon_ui_tests";
        static char* argv[] = {name, nullptr};
        if (!Instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            Instance() = std::make_unique<QApplication>(argc, argv);
        }
        return *Instance();
    }

private:
    static std::unique_ptr<QApplication>& Instance()
    {
        static std::unique_ptr<QApplication> app;
        return app;
    }
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

inline QApplication& App() { return QtEnvironment::App(); }

// A 24-bit BMP of image at path; false when it can't be written.
inline bool WriteBmp(const std::string& path, const QImage& source)
{
    picture::TBitmap bitmap;
    return bitmap.FromImage(source) && bitmap.SaveBmp(path.c_str(), false);
}

inline QImage Filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

constexpr QRgb kMagenta = 0xFFFF00FF;

// The main window as the Skin sees it, without a screen.
class FakeWindow : public ui::SkinWindow {
public:
    FakeWindow(int width = 925, int height = 640) : surface(width, height), screen(145, 40, width, height) {}

    platform::WindowSurface& Surface() override { return surface; }
    QRect ScreenRect() const override { return screen; }
    void MoveTo(QPoint topLeft) override
    {
        screen.moveTopLeft(topLeft);
        ++moves;
    }
    void SetShape(const QRegion& region) override
    {
        shape = region;
        ++shapes;
    }
    QWidget* TooltipOwner() override { return owner; }

    QRgb Pixel(int x, int y) const { return surface.Copy().pixel(x, y) | 0xFF000000; }

    platform::WindowSurface surface;
    QRect screen;
    QRegion shape;
    int shapes = 0;
    int moves = 0;
    QWidget* owner = nullptr;
};

// The program's directory for a test: the skin, its texts and the decoding
// library, as an installed program finds them beside its executable.
inline void MakeAppDirectory(const std::string& app)
{
    std::filesystem::create_directory(app);
    std::filesystem::copy(QUILLON_SOURCE_DIR "/skin/bmp", app + "/bmp");
    std::filesystem::copy_file(QUILLON_SOURCE_DIR "/skin/Tooltip.ini", app + "/Tooltip.ini");
    std::filesystem::copy_file(QUILLON_BIN_DIR "/libquillon_decode.so", app + "/libquillon_decode.so");
}

}  // namespace ui_test
