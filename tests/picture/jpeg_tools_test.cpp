// Our codec checked by tools nobody here wrote: files from cjpeg decode like
// djpeg decodes them; our files decode in djpeg and ImageMagick.
#include <gtest/gtest.h>

#include "jpeg_test_support.h"
#include "picture/jpeg/encode_to_memory.h"
#include "support/temp_dir.h"

using picture_support::HaveTool;
using picture_support::NaturalPicture;
using picture_support::ReadBytes;
using picture_support::RgbPicture;
using picture_support::RunTool;

namespace {

class JpegTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTool("cjpeg") || !HaveTool("djpeg"))
            GTEST_SKIP() << "cjpeg/djpeg not installed";
    }

    // Our decode of a file, through the file interface.
    int DecodeFile(const std::string& path, RgbPicture& out) { return jpeg_test::Decode(ReadBytes(path), out); }

    testing_support::TempDir dir;
};

}  // namespace

TEST_F(JpegTools, CjpegFilesDecodeLikeDjpeg)
{
    struct Size {
        int w, h;
    };
    const std::vector<std::string> options = {"-sample 1x1",
                                              "-sample 2x1",
                                              "-sample 2x2",
                                              "-sample 1x2",
                                              "-grayscale",
                                              "-sample 2x2 -restart 1",
                                              "-sample 1x1 -restart 3B",
                                              "-sample 2x2 -optimize -quality 30",
                                              "-quality 100 -sample 2x1"};
    for (const Size size : {Size{640, 480}, Size{1, 1}, Size{17, 9}, Size{9, 17}}) {
        const std::string ppm = dir.File("in.ppm");
        ASSERT_TRUE(picture_support::WritePpm(ppm, NaturalPicture(size.w, size.h)));
        for (const auto& option : options) {
            const std::string jpg = dir.File("c.jpg"), reference = dir.File("d.pnm");
            ASSERT_EQ(RunTool("cjpeg " + option + " -outfile " + jpg + " " + ppm), 0) << option;
            ASSERT_EQ(RunTool("djpeg -pnm -outfile " + reference + " " + jpg), 0) << option;
            RgbPicture theirs, ours;
            ASSERT_TRUE(picture_support::ReadPnm(reference, theirs));
            ASSERT_EQ(DecodeFile(jpg, ours), picture::jpeg::Success) << option;
            ASSERT_EQ(ours.width, theirs.width);
            ASSERT_EQ(ours.height, theirs.height);
            EXPECT_LE(picture_support::MaxDifference(ours, theirs), 2) << option << " " << size.w << "x" << size.h;
        }
    }
}

TEST_F(JpegTools, ProgressiveAndArithmeticFilesAreRefused)
{
    const std::string ppm = dir.File("in.ppm"), jpg = dir.File("p.jpg");
    ASSERT_TRUE(picture_support::WritePpm(ppm, NaturalPicture(48, 32)));
    for (const std::string option : {"-progressive", "-arithmetic"}) {
        ASSERT_EQ(RunTool("cjpeg " + option + " -outfile " + jpg + " " + ppm), 0);
        RgbPicture ours;
        EXPECT_EQ(DecodeFile(jpg, ours), picture::jpeg::UnsupportedFrame) << option;
    }
}

TEST_F(JpegTools, OurSnapshotJpegDecodesInDjpegAtThirtyDecibels)
{
    const RgbPicture picture = NaturalPicture(640, 480);
    const auto dib = jpeg_test::ToDib(picture, true);
    std::vector<std::uint8_t> out(640 * 480 * 3);
    const std::size_t n = picture::jpeg::EncodeJpegToMemory(out, dib.data(), 640, 480, 70);
    ASSERT_GT(n, 0u);
    out.resize(n);
    const std::string jpg = dir.File("ours.jpg"), decoded = dir.File("ours.ppm");
    ASSERT_TRUE(picture_support::WriteBytes(jpg, out));
    ASSERT_EQ(RunTool("djpeg -outfile " + decoded + " " + jpg), 0);
    RgbPicture back;
    ASSERT_TRUE(picture_support::ReadPnm(decoded, back));
    EXPECT_GE(picture_support::Psnr(picture, back), 30.0);

    if (HaveTool("identify")) {
        const std::string facts = dir.File("facts.txt");
        ASSERT_EQ(RunTool("identify -format '%w %h %[jpeg:sampling-factor] %Q' " + jpg + " > " + facts), 0);
        const auto text = ReadBytes(facts);
        EXPECT_EQ(std::string(text.begin(), text.end()), "640 480 2x2,1x1,1x1 70");
    }
}

TEST_F(JpegTools, EveryEncoderModeDecodesInDjpeg)
{
    const RgbPicture picture = NaturalPicture(35, 21);
    struct Mode {
        picture::jpeg::Subsampling sub;
        bool grey;
        bool optimal;
    };
    for (const Mode mode :
         {Mode{picture::jpeg::Subsampling::S444, false, false}, Mode{picture::jpeg::Subsampling::S422, false, true},
          Mode{picture::jpeg::Subsampling::S420, false, false}, Mode{picture::jpeg::Subsampling::S420, true, true}}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(jpeg_test::Encode(picture, bytes, 85, mode.sub, mode.grey, false, mode.optimal),
                  picture::jpeg::Success);
        const std::string jpg = dir.File("m.jpg"), decoded = dir.File("m.pnm");
        ASSERT_TRUE(picture_support::WriteBytes(jpg, bytes));
        ASSERT_EQ(RunTool("djpeg -pnm -outfile " + decoded + " " + jpg), 0);
        RgbPicture theirs, ours;
        ASSERT_TRUE(picture_support::ReadPnm(decoded, theirs));
        ASSERT_EQ(jpeg_test::Decode(bytes, ours), picture::jpeg::Success);
        EXPECT_EQ(picture_support::MaxDifference(ours, theirs), 0);
    }
}
