// Printing to a PDF file through QPrinter, the page read back with pdftoppm.
#include <gtest/gtest.h>

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>

#include <filesystem>

#include "capture_tools.h"
#include "export/print.h"
#include "playback/engine_harness.h"

namespace {

using playback::PlaybackEngine;

TEST(PrintLayout, AllFromThePageWidth)
{
    const auto l = exporter::LayOutPage(4800, 640, 480);  // 600 dpi, 8 inches
    EXPECT_EQ(l.margin, 150);
    EXPECT_EQ(l.textX, 150);
    EXPECT_EQ(l.textY, 350);
    EXPECT_EQ(l.pictureX, 150);
    EXPECT_EQ(l.pictureY, 550);
    EXPECT_EQ(l.pictureWidth, 4500);
    EXPECT_EQ(l.pictureHeight, 3375);
    EXPECT_EQ(exporter::LayOutPage(4800, 640, 480, 200).pictureY, 550) << "a line that fits its band";
    EXPECT_EQ(exporter::LayOutPage(4800, 640, 480, 349).pictureY, 699) << "a taller line pushes the picture down";
    EXPECT_EQ(exporter::LayOutPage(4800, 0, 480).pictureWidth, 0) << "no view, no division by zero";
}

class PrintTest : public engine_test::EngineTest {
protected:
    // An 8 x 10 inch page without margins: at 600 dpi 4800 device pixels wide.
    void SetUpPrinter(QPrinter& printer, const std::string& pdf, int dpi = 600)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setResolution(dpi);
        printer.setPageSize(QPageSize(QSizeF(8, 10), QPageSize::Inch));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        printer.setFullPage(true);
    }

    // Prints at dpi and renders the page at renderDpi; by default one
    // rendered pixel is 10 device pixels.
    std::optional<QImage> PrintPage(const std::string& name, int dpi = 600, int renderDpi = 60)
    {
        const std::string pdf = dir->File(name + ".pdf");
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(printer, pdf, dpi);
        int dialogs = 0;
        const int result = exporter::PrintPicture(*engine, printer, [&](QPrinter& p) {
            ++dialogs;
            EXPECT_EQ(p.width(), 8 * dpi);
            return true;
        });
        EXPECT_EQ(dialogs, 1);
        EXPECT_EQ(result, 1);
        const std::string png = dir->File(name);
        if (!capture_test::Shell("pdftoppm -r " + std::to_string(renderDpi) + " -singlefile -png '" + pdf + "' '" +
                                 png + "'"))
            return std::nullopt;
        QImage page(QString::fromStdString(png + ".png"));
        if (page.isNull())
            return std::nullopt;
        return page.convertToFormat(QImage::Format_RGB32);
    }

    static bool White(const QImage& page, int x, int y) { return page.pixel(x, y) == qRgb(255, 255, 255); }
    static bool NearlyWhite(const QImage& page, int x, int y)
    {
        const QRgb p = page.pixel(x, y);
        return 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p) >= 235;
    }
    static std::optional<mkdisk::FrameCode> CodeIn(const QImage& page, int x, int y, int w, int h)
    {
        return mkdisk::DecodeFrameCodeRgb(page.constBits() + y * page.bytesPerLine() + x * 4, w, h,
                                          std::size_t(page.bytesPerLine()), 4);
    }
};

// 640 x 480 on 4800: picture at (150, 550), 4500 x 3375 device pixels, so
// (15, 55) to (465, 392.5) rendered; the text in the band above it.
TEST_F(PrintTest, QuadPageHasTheTimeLineAndThePictureScaledToThePageWidth)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(2, true, true), 1);
    const auto page = PrintPage("quad");
    ASSERT_TRUE(page);
    ASSERT_EQ(page->width(), 480);
    ASSERT_EQ(page->height(), 600);

    // Cells of 225 x 168.75 rendered pixels, each camera in its own.
    EXPECT_EQ(CodeIn(*page, 16, 56, 223, 166), (mkdisk::FrameCode{0, 2, 0}));
    EXPECT_EQ(CodeIn(*page, 241, 56, 223, 166), (mkdisk::FrameCode{1, 2, 0}));
    EXPECT_EQ(CodeIn(*page, 16, 225, 223, 166), (mkdisk::FrameCode{2, 2, 0}));
    EXPECT_EQ(CodeIn(*page, 241, 225, 223, 166), (mkdisk::FrameCode{3, 2, 0}));

    // White margins around the picture; ink only in the text band above it.
    for (int x = 0; x < 480; ++x) {
        EXPECT_TRUE(White(*page, x, 52) && White(*page, x, 395)) << "column " << x;
        EXPECT_TRUE(White(*page, x, 30)) << "above the text";
    }
    for (int y = 0; y < 600; ++y)
        EXPECT_TRUE(White(*page, 13, y) && White(*page, 467, y)) << "row " << y;
    int ink = 0;
    for (int y = 35; y < 52; ++y)
        for (int x = 13; x < 300; ++x)
            ink += !White(*page, x, y);
    EXPECT_GT(ink, 20) << "the time line starts at (150, 350) device pixels";
}

// At 2400 dpi the default font (9 points here) is about 350 device pixels
// tall: the time line keeps all of it, digits' feet included, and the
// picture starts below it. Rendered at 150 dpi: one pixel is 16 device
// pixels, the old 200-pixel band ended at row 62.5.
TEST_F(PrintTest, ATallTimeLineIsKeptWholeAndThePictureGoesBelowIt)
{
    Open(0);
    ASSERT_EQ(engine->ShowPosition(2, true, true), 1);
    const auto page = PrintPage("tall", 2400, 150);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->width(), 1200);

    // Column 900 lies right of the text, inside the picture: its first
    // non-white row is the picture's top.
    int pictureTop = -1;
    for (int y = 40; y < 200 && pictureTop < 0; ++y)
        if (!White(*page, 900, y))
            pictureTop = y;
    ASSERT_GT(pictureTop, 0);
    int textBottom = -1;
    for (int y = 40; y < pictureTop; ++y)
        for (int x = 0; x < 1200; ++x)
            if (!White(*page, x, y))
                textBottom = y;
    EXPECT_GE(textBottom, 64) << "ink below the old band";
    EXPECT_LT(textBottom, pictureTop - 1) << "a white row between the text and the picture";
    EXPECT_LE(pictureTop, textBottom + 8) << "the picture right below the text";
    // Cells of 562.5 x 421.9 rendered pixels from (37.5, top).
    EXPECT_EQ(CodeIn(*page, 40, pictureTop + 2, 558, 417), (mkdisk::FrameCode{0, 2, 0}));
    EXPECT_EQ(CodeIn(*page, 602, pictureTop + 424, 558, 417), (mkdisk::FrameCode{3, 2, 0}));
}

// 67 x 51: the last column and row belong to no cell and print white; the
// rows are padded to 204 bytes for the picture's stride.
TEST_F(PrintTest, AreasNoPictureCoversPrintWhite)
{
    platform::WindowSurface odd(67, 51);
    ASSERT_EQ(engine->Attach(&odd, &volume, 0, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    engine->SetView(PlaybackEngine::kQuadView, 0);
    const auto page = PrintPage("odd");
    ASSERT_TRUE(page);
    // 4500 / 67 = 67 device pixels a view pixel: the last column is rendered
    // at x 458.2..465, the last row at y 390.8..392.5. The PDF holds the
    // picture JPEG-compressed (its chroma shared with the neighbouring column)
    // and the renderer smooths it: white in brightness.
    for (int y = 300; y < 385; ++y)
        EXPECT_TRUE(NearlyWhite(*page, 463, y) && NearlyWhite(*page, 464, y)) << "row " << y;
    for (int x = 100; x < 440; ++x)
        EXPECT_TRUE(NearlyWhite(*page, x, 392)) << "column " << x;
    EXPECT_FALSE(NearlyWhite(*page, 400, 300)) << "camera 3's picture";
    EXPECT_FALSE(NearlyWhite(*page, 455, 300));
}

TEST_F(PrintTest, OneCameraViewPrintsTheSelectedCameraFullSize)
{
    Open(0);
    engine->SetView(PlaybackEngine::kSingleView, 3);
    ASSERT_EQ(engine->ShowPosition(1, true, true), 1);
    const auto page = PrintPage("one");
    ASSERT_TRUE(page);
    EXPECT_EQ(CodeIn(*page, 16, 56, 448, 335), (mkdisk::FrameCode{3, 1, 0}));
}

TEST_F(PrintTest, CancellingTheDialogStartsNoDocument)
{
    Open(0);
    const std::string pdf = dir->File("cancel.pdf");
    QPrinter printer;
    SetUpPrinter(printer, pdf);
    EXPECT_EQ(exporter::PrintPicture(*engine, printer, [](QPrinter&) { return false; }), 0);
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(PrintTest, AnUnwritableOutputIsNoSuccess)
{
    Open(0);
    QPrinter printer;
    SetUpPrinter(printer, dir->File("missing_dir/page.pdf"));
    EXPECT_EQ(exporter::PrintPicture(*engine, printer, [](QPrinter&) { return true; }), 0);
}

}  // namespace
