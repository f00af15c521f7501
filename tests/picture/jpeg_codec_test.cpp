// Our encoder and decoder against each other, and the decoder's refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg_test_support.h"
#include "picture/jpeg/encode_to_memory.h"

using jpeg_test::Decode;
using jpeg_test::Encode;
using picture_support::NaturalPicture;
using picture_support::RgbPicture;

namespace {

// Offset of the first byte after marker m's 0xFF (0 when absent).
std::size_t FindMarker(const std::vector<std::uint8_t>& b, int m)
{
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == m)
            return i + 1;
    return 0;
}

int DecodeResult(const std::vector<std::uint8_t>& bytes)
{
    RgbPicture p;
    return Decode(bytes, p);
}

}  // namespace

TEST(JpegCodec, RoundTripsEverySubsamplingAndGreyAtSensibleQuality)
{
    const RgbPicture picture = NaturalPicture(96, 64);
    for (const auto sub :
         {picture::jpeg::Subsampling::S444, picture::jpeg::Subsampling::S422, picture::jpeg::Subsampling::S420})
        for (const bool optimal : {false, true}) {
            std::vector<std::uint8_t> bytes;
            ASSERT_EQ(Encode(picture, bytes, 90, sub, false, true, optimal), picture::jpeg::Success);
            RgbPicture back;
            ASSERT_EQ(Decode(bytes, back), picture::jpeg::Success);
            EXPECT_GT(picture_support::Psnr(picture, back), 30.0) << static_cast<int>(sub) << optimal;
        }
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(Encode(picture, bytes, 90, picture::jpeg::Subsampling::S420, true), picture::jpeg::Success);
    RgbPicture grey;
    ASSERT_EQ(Decode(bytes, grey), picture::jpeg::Success);
    for (std::size_t i = 0; i < grey.rgb.size(); i += 3) {
        ASSERT_EQ(grey.rgb[i], grey.rgb[i + 1]);
        ASSERT_EQ(grey.rgb[i], grey.rgb[i + 2]);
    }
}

TEST(JpegCodec, OptimalTablesMakeSmallerFiles)
{
    const RgbPicture picture = NaturalPicture(160, 120);
    std::vector<std::uint8_t> standard, optimal;
    ASSERT_EQ(Encode(picture, standard, 70, picture::jpeg::Subsampling::S420, false, true, false),
              picture::jpeg::Success);
    ASSERT_EQ(Encode(picture, optimal, 70, picture::jpeg::Subsampling::S420, false, true, true),
              picture::jpeg::Success);
    EXPECT_LT(optimal.size(), standard.size());
    RgbPicture a, b;
    ASSERT_EQ(Decode(standard, a), picture::jpeg::Success);
    ASSERT_EQ(Decode(optimal, b), picture::jpeg::Success);
    EXPECT_EQ(a.rgb, b.rgb);  // same coefficients, other codes
}

TEST(JpegCodec, RowOrderFollowsTheSignOfTheDibHeight)
{
    // Top half white, bottom half black: an upside-down result is obvious.
    RgbPicture picture{16, 16, std::vector<std::uint8_t>(16 * 16 * 3, 0)};
    std::fill(picture.rgb.begin(), picture.rgb.begin() + 16 * 8 * 3, 255);
    for (const bool bottomUpIn : {true, false})
        for (const bool topDownOut : {true, false}) {
            std::vector<std::uint8_t> bytes;
            ASSERT_EQ(Encode(picture, bytes, 90, picture::jpeg::Subsampling::S444, false, bottomUpIn),
                      picture::jpeg::Success);
            RgbPicture back;
            ASSERT_EQ(Decode(bytes, back, topDownOut), picture::jpeg::Success);
            EXPECT_GT(back.At(3, 1)[0], 240);
            EXPECT_LT(back.At(3, 14)[0], 15);
        }
}

TEST(JpegCodec, OddSizesKeepTheirEdges)
{
    for (const auto& [w, h] : {std::pair{1, 1}, {17, 9}, {9, 17}, {33, 1}}) {
        RgbPicture picture{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3)};
        for (std::size_t i = 0; i < picture.rgb.size(); i += 3) {
            picture.rgb[i] = 200;
            picture.rgb[i + 1] = 40;
            picture.rgb[i + 2] = 90;
        }
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(Encode(picture, bytes, 95), picture::jpeg::Success);
        RgbPicture back;
        ASSERT_EQ(Decode(bytes, back), picture::jpeg::Success);
        ASSERT_EQ(back.width, w);
        ASSERT_EQ(back.height, h);
        EXPECT_LE(picture_support::MaxDifference(picture, back), 4) << w << "x" << h;
    }
}

TEST(JpegCodec, EncodeRefusesBadRecordsAndSmallBuffers)
{
    const RgbPicture picture = NaturalPicture(64, 48);
    std::vector<std::uint8_t> small(600);
    EXPECT_EQ(Encode(picture, small, 90), picture::jpeg::OutputBufferTooSmall);

    std::vector<std::uint8_t> dib = jpeg_test::ToDib(picture, true);
    std::vector<std::uint8_t> out(100000);
    picture::jpeg::JpegProperties p;
    picture::jpeg::Init(p);
    p.dibBytes = dib.data();
    p.dibSize = dib.size() - 1;  // one byte short of the rows it claims
    p.dibWidth = p.jpegWidth = 64;
    p.dibHeight = -48;
    p.jpegHeight = 48;
    p.jpegChannels = 3;
    p.jpegColour = picture::jpeg::Colour::YCbCr;
    p.jpegBytes = out.data();
    p.jpegSize = out.size();
    EXPECT_EQ(picture::jpeg::WriteImageToBuffer(p), picture::jpeg::InvalidProperties);
    p.dibSize = dib.size();
    p.dibChannels = 4;
    EXPECT_EQ(picture::jpeg::WriteImageToBuffer(p), picture::jpeg::UnsupportedBytesPerPixel);
}

TEST(JpegCodec, EncodeJpegToMemoryWritesUprightBaseline420)
{
    const RgbPicture picture = NaturalPicture(640, 480);
    const std::vector<std::uint8_t> dib = jpeg_test::ToDib(picture, true);
    std::vector<std::uint8_t> out(640 * 480 * 3);
    const std::size_t n = picture::jpeg::EncodeJpegToMemory(out, dib.data(), 640, 480, 70);
    ASSERT_GT(n, 0u);
    out.resize(n);
    const std::size_t sof = FindMarker(out, 0xC0);
    ASSERT_NE(sof, 0u);
    EXPECT_EQ(out[sof + 10], 0x22);  // luma 2 x 2, chroma 1 x 1
    EXPECT_EQ(out[sof + 13], 0x11);
    RgbPicture back;
    ASSERT_EQ(Decode(out, back), picture::jpeg::Success);
    EXPECT_GT(picture_support::Psnr(picture, back), 30.0);
    EXPECT_EQ(picture::jpeg::EncodeJpegToMemory(std::span(out).first(100), dib.data(), 640, 480, 70), 0u);
}

TEST(JpegCodec, RefusesWhatIsNotBaselineJpeg)
{
    EXPECT_EQ(DecodeResult({'B', 'M', 0, 0, 0, 0}), picture::jpeg::NotJpeg);
    EXPECT_EQ(DecodeResult({}), picture::jpeg::NotJpeg);

    std::vector<std::uint8_t> good;
    ASSERT_EQ(Encode(NaturalPicture(32, 32), good), picture::jpeg::Success);
    const std::size_t sof = FindMarker(good, 0xC0);
    ASSERT_NE(sof, 0u);

    for (const int frame : {0xC2, 0xC3, 0xC9, 0xCA}) {  // progressive, lossless, arithmetic
        auto b = good;
        b[sof] = static_cast<std::uint8_t>(frame);
        EXPECT_EQ(DecodeResult(b), picture::jpeg::UnsupportedFrame) << frame;
    }
    auto b = good;
    b[sof + 4] = b[sof + 5] = 0;  // height 0: given by a DNL marker later
    EXPECT_EQ(DecodeResult(b), picture::jpeg::ErrorDnl);
    b = good;
    b[sof + 4] = b[sof + 5] = b[sof + 6] = b[sof + 7] = 0xFF;  // 65535 x 65535
    EXPECT_EQ(DecodeResult(b), picture::jpeg::MemoryError);
    b = good;
    b[sof + 4] = 0x10;  // 4096 rows promised by a few hundred bytes
    b[sof + 6] = 0x10;
    EXPECT_EQ(DecodeResult(b), picture::jpeg::ErrorEof);
    b = good;
    b[sof + 3] = 12;  // 12-bit samples
    EXPECT_EQ(DecodeResult(b), picture::jpeg::ErrorSof);
    b = good;
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(sof) - 1, good.begin() + static_cast<std::ptrdiff_t>(sof) - 1,
             good.begin() + static_cast<std::ptrdiff_t>(sof) + 19);
    EXPECT_EQ(DecodeResult(b), picture::jpeg::MultipleFrames);

    const std::size_t dht = FindMarker(good, 0xC4);
    b = good;
    b[dht] = 0xFE;  // the table segment becomes a comment
    EXPECT_EQ(DecodeResult(b), picture::jpeg::NoHuffmanTable);
    const std::size_t dqt = FindMarker(good, 0xDB);
    b = good;
    b[dqt] = 0xFE;
    EXPECT_EQ(DecodeResult(b), picture::jpeg::NoQuantizationTable);
    b = good;
    b[dht + 3] = 0x00;
    b[dht + 4 + 15] = 0xFF;  // 255 codes of 16 bits on top of the others
    EXPECT_EQ(DecodeResult(b), picture::jpeg::BadHuffmanTable);
}

TEST(JpegCodec, TruncatedOrCorruptDataFailsCleanly)
{
    std::vector<std::uint8_t> good;
    ASSERT_EQ(Encode(NaturalPicture(64, 64), good), picture::jpeg::Success);
    const std::size_t sos = FindMarker(good, 0xDA);
    for (std::size_t keep = good.size() - 3; keep > sos; keep -= 37) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
        const int r = DecodeResult(cut);
        EXPECT_TRUE(r == picture::jpeg::ErrorEof || r == picture::jpeg::DataError) << keep << " " << r;
    }
    // Without its EOI the picture is still complete.
    EXPECT_EQ(DecodeResult({good.begin(), good.end() - 2}), picture::jpeg::Success);
}

TEST(JpegCodec, ResultTextsComeFromTheFixedTable)
{
    EXPECT_STREQ(picture::jpeg::ResultText(0), "Success");
    EXPECT_STREQ(picture::jpeg::ResultText(-20), "Multiply frame");
    EXPECT_STREQ(picture::jpeg::ResultText(-28), "Output buffer too small");
    EXPECT_STREQ(picture::jpeg::ResultText(-99), "Reserved");
    EXPECT_STREQ(picture::jpeg::ResultText(-31), "Unknown error code");
    EXPECT_STREQ(picture::jpeg::ResultText(3), "Unknown error code");
}
