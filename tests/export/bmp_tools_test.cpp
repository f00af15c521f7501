// Our BMP files read by ImageMagick, ImageMagick's BMP files read by us, and
// quillon-cli convert between them and JPEG.
#include <gtest/gtest.h>

#include <cstring>

#include <QImage>

#include "export/image_convert.h"
#include "picture/jpeg_test_support.h"
#include "picture/tbitmap.h"
#include "support/temp_dir.h"

using picture_support::HaveTool;
using picture_support::NaturalPicture;
using picture_support::ReadBytes;

// The conversion; false with error set when it fails.
static bool Convert(const std::string& in, const std::string& out, const exporter::ConvertOptions& options,
                    std::string& error)
{
    const platform::Result<void> converted = exporter::ConvertImage(in, out, options);
    if (!converted)
        error = converted.Detail();
    return converted.Ok();
}
using picture_support::RgbPicture;
using picture_support::RunTool;

namespace {

class BmpTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTool("convert"))
            GTEST_SKIP() << "ImageMagick not installed";
        ASSERT_TRUE(picture_support::WritePpm(ppm, picture));
    }

    // The picture as ImageMagick reads the file, as 8-bit RGB.
    RgbPicture ReadWithImageMagick(const std::string& path)
    {
        const std::string out = dir.File("im.ppm");
        RgbPicture p;
        EXPECT_EQ(RunTool("convert " + path + " -depth 8 " + out), 0);
        EXPECT_TRUE(picture_support::ReadPnm(out, p));
        return p;
    }

    RgbPicture FromBitmap(const picture::TBitmap& bmp)
    {
        const QImage image = bmp.ToImage().convertToFormat(QImage::Format_RGB888);
        RgbPicture p{image.width(), image.height(), {}};
        for (int y = 0; y < image.height(); ++y)
            p.rgb.insert(p.rgb.end(), image.constScanLine(y), image.constScanLine(y) + 3 * image.width());
        return p;
    }

    testing_support::TempDir dir;
    const RgbPicture picture = NaturalPicture(161, 119);
    const std::string ppm = dir.File("in.ppm");
};

}  // namespace

TEST_F(BmpTools, ImageMagickReadsOurBmps)
{
    picture::TBitmap bmp;
    ASSERT_TRUE(bmp.Create(picture.width, picture.height, 24));
    const auto dib = jpeg_test::ToDib(picture, true);
    std::copy(dib.begin(), dib.end(), bmp.Pixels());
    const std::string out = dir.File("ours.bmp");
    ASSERT_TRUE(bmp.SaveBmp(out.c_str(), false));
    const RgbPicture back = ReadWithImageMagick(out);
    EXPECT_EQ(back.width, picture.width);
    EXPECT_EQ(back.rgb, picture.rgb);
}

TEST_F(BmpTools, WeReadImageMagickBmps)
{
    struct Case {
        std::string options;
        bool exact;
    };
    // 8-bit files go through a palette, so compare with what ImageMagick reads.
    for (const Case& c :
         {Case{"BMP3:", true}, Case{"-type truecolor BMP3:", true}, Case{"-type palette -compress none BMP3:", false},
          Case{"-type palette -compress none BMP:", false}, Case{"-type palette BMP3:", false}, Case{"BMP:", true}}) {
        const std::string bmpPath = dir.File("im.bmp");
        ASSERT_EQ(RunTool("convert " + ppm + " " + c.options + bmpPath), 0) << c.options;
        picture::TBitmap bmp;
        ASSERT_EQ(bmp.LoadFile(bmpPath.c_str()), 1) << c.options;
        const RgbPicture ours = FromBitmap(bmp);
        const RgbPicture expected = c.exact ? picture : ReadWithImageMagick(bmpPath);
        EXPECT_EQ(ours.width, expected.width);
        EXPECT_EQ(ours.rgb, expected.rgb) << c.options;
    }
}

TEST_F(BmpTools, WeReadTopDownBmps)
{
    // ImageMagick writes bottom-up only: turn its file top-down (rows
    // reversed, height negated) and let ImageMagick confirm the result.
    const std::string bottomUp = dir.File("up.bmp"), topDown = dir.File("down.bmp");
    ASSERT_EQ(RunTool("convert " + ppm + " BMP3:" + bottomUp), 0);
    auto bytes = ReadBytes(bottomUp);
    const std::size_t stride = static_cast<std::size_t>(picture::DibStride(picture.width, 24)), offset = 54;
    ASSERT_EQ(bytes.size(), offset + stride * picture.height);
    std::vector<std::uint8_t> flipped(bytes.begin(), bytes.begin() + offset);
    for (int row = picture.height - 1; row >= 0; --row)
        flipped.insert(flipped.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset + stride * row),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + stride * (row + 1)));
    const std::int32_t negative = -picture.height;
    std::memcpy(&flipped[22], &negative, 4);
    ASSERT_TRUE(picture_support::WriteBytes(topDown, flipped));
    EXPECT_EQ(ReadWithImageMagick(topDown).rgb, picture.rgb);
    picture::TBitmap bmp;
    ASSERT_EQ(bmp.LoadFile(topDown.c_str()), 1);
    EXPECT_EQ(bmp.InfoHeader().height, -picture.height);
    EXPECT_EQ(FromBitmap(bmp).rgb, picture.rgb);
}

TEST_F(BmpTools, ConvertWritesBmpAndJpegByExtension)
{
    std::string error;
    const std::string jpg = dir.File("a.jpg"), bmp = dir.File("b.bmp"), marked = dir.File("c.BMP");
    const std::string palette = dir.File("pal.bmp"), paletteCopy = dir.File("pal2.bmp");
    ASSERT_EQ(RunTool("convert " + ppm + " BMP3:" + dir.File("in.bmp")), 0);
    ASSERT_EQ(RunTool("convert " + ppm + " -type palette -compress none BMP3:" + palette), 0);
    ASSERT_TRUE(Convert(dir.File("in.bmp"), jpg, {90, false}, error)) << error;
    EXPECT_GT(picture_support::Psnr(ReadWithImageMagick(jpg), picture), 30.0);
    ASSERT_TRUE(Convert(jpg, bmp, {}, error)) << error;
    ASSERT_TRUE(Convert(jpg, marked, {70, true}, error)) << error;
    EXPECT_EQ(ReadWithImageMagick(bmp).rgb, ReadWithImageMagick(jpg).rgb);
    EXPECT_EQ(ReadBytes(bmp).size(), ReadBytes(marked).size());
    ASSERT_TRUE(Convert(palette, paletteCopy, {}, error)) << error;
    EXPECT_EQ(ReadWithImageMagick(paletteCopy).rgb, ReadWithImageMagick(palette).rgb);
    ASSERT_TRUE(Convert(palette, jpg, {}, error)) << error;

    EXPECT_FALSE(Convert(dir.File("missing.bmp"), bmp, {}, error));
    EXPECT_FALSE(Convert(ppm, bmp, {}, error));  // neither BMP nor JPEG
    EXPECT_FALSE(Convert(jpg, dir.File("x.png"), {}, error));
    EXPECT_FALSE(Convert(jpg, bmp, {0, false}, error));
}

TEST_F(BmpTools, CliExitsWithOneLineOnFailure)
{
    const std::string cli = std::string(QUILLON_BIN_DIR) + "/quillon-cli";
    if (!std::filesystem::exists(cli))
        GTEST_SKIP() << "quillon-cli not built";
    const std::string jpg = dir.File("a.jpg"), err = dir.File("err.txt");
    ASSERT_EQ(RunTool("convert " + ppm + " BMP3:" + dir.File("in.bmp")), 0);
    EXPECT_EQ(RunTool(cli + " convert " + dir.File("in.bmp") + " " + jpg + " --quality 80"), 0);
    EXPECT_EQ(RunTool("djpeg -outfile /dev/null " + jpg), 0);
    EXPECT_NE(std::system((cli + " convert " + ppm + " " + jpg + " 2>" + err).c_str()), 0);
    const auto text = ReadBytes(err);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}
