// TBitmap: BMP loading with untrusted headers, JPEG by content, BMP saving,
// and drawing onto QImages.
#include <gtest/gtest.h>

#include <deque>

#include <QImage>
#include <QPainter>

#include "jpeg_test_support.h"
#include "picture/tbitmap.h"
#include "support/byte_order.h"
#include "support/temp_dir.h"

using picture_support::ReadBytes;
using picture_support::WriteBytes;

namespace {

using testing_support::Le32;

struct BmpSpec {
    int width = 4, height = 2, bits = 24;
    std::uint32_t imageSize = 0, coloursUsed = 0, headerSize = 40;
    int paletteEntries = 0;
    std::int64_t pixelBytes = -1;  // -1: exactly the rows
};

void Put(std::vector<std::uint8_t>& b, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A BMP file; pixel byte i is (i * 7 + 1) & 0xFF, palette entry i is (i, 255-i, i/2).
std::vector<std::uint8_t> MakeBmp(const BmpSpec& s)
{
    const auto stride = static_cast<std::uint32_t>(picture::DibStride(s.width, s.bits));
    const std::int64_t rows = std::abs(static_cast<std::int64_t>(s.height));
    const std::int64_t pixels = s.pixelBytes >= 0 ? s.pixelBytes : stride * rows;
    const std::uint32_t offset = 14 + s.headerSize + 4 * static_cast<std::uint32_t>(s.paletteEntries);
    std::vector<std::uint8_t> b;
    Put(b, 0x4D42, 2);
    Put(b, offset + static_cast<std::uint32_t>(pixels), 4);
    Put(b, 0, 4);
    Put(b, offset, 4);
    Put(b, s.headerSize, 4);
    Put(b, static_cast<std::uint32_t>(s.width), 4);
    Put(b, static_cast<std::uint32_t>(s.height), 4);
    Put(b, 1, 2);
    Put(b, static_cast<std::uint32_t>(s.bits), 2);
    Put(b, 0, 4);
    Put(b, s.imageSize, 4);
    Put(b, 2835, 4);
    Put(b, 2835, 4);
    Put(b, s.coloursUsed, 4);
    Put(b, 0, 4);
    b.resize(14 + s.headerSize, 0);  // larger headers: zero tail
    for (int i = 0; i < s.paletteEntries; ++i)
        Put(b, static_cast<std::uint32_t>(i | ((255 - i) << 8) | ((i / 2) << 16)), 4);
    for (std::int64_t i = 0; i < pixels; ++i)
        b.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    return b;
}

class TBitmapTest : public ::testing::Test {
protected:
    // The path of the written file, alive as long as the test.
    const char* Write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        paths.push_back(dir.File(name));
        EXPECT_TRUE(WriteBytes(paths.back(), bytes));
        return paths.back().c_str();
    }
    testing_support::TempDir dir;
    std::deque<std::string> paths;
};

}  // namespace

TEST_F(TBitmapTest, CreateWritesTheStandardHeader)
{
    picture::TBitmap bmp;
    EXPECT_EQ(bmp.Pixels(), nullptr);
    ASSERT_TRUE(bmp.Create(5, 3, 24));
    const picture::BmpInfoHeader& h = bmp.InfoHeader();
    EXPECT_EQ(h.headerSize, 40u);
    EXPECT_EQ(h.width, 5);
    EXPECT_EQ(h.height, 3);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.imageSize, 16u * 3);
    EXPECT_EQ(h.xPixelsPerMetre, 120);
    EXPECT_EQ(h.coloursUsed, 0u);
    EXPECT_EQ(bmp.Capacity(), 48u);
    picture::TBitmap grey;
    ASSERT_TRUE(grey.Create(3, 2, 8));
    EXPECT_EQ(grey.InfoHeader().coloursUsed, 256u);
    EXPECT_FALSE(picture::TBitmap().Create(0, 5, 24));
    EXPECT_FALSE(picture::TBitmap().Create(100000, 100000, 24));
    bmp.Release();
    EXPECT_EQ(bmp.Pixels(), nullptr);
    EXPECT_EQ(bmp.Capacity(), 0u);
}

TEST_F(TBitmapTest, LoadsBmpsWithComputedSizesAndPalettes)
{
    picture::TBitmap bmp;
    // Image size 0: computed from the rows.
    ASSERT_EQ(bmp.LoadFile(Write("a.bmp", MakeBmp({.width = 5, .height = 3}))), 1);
    EXPECT_EQ(bmp.Width(), 5);
    EXPECT_EQ(bmp.Height(), 3);
    EXPECT_EQ(bmp.Capacity(), 48u);
    EXPECT_EQ(bmp.Pixels()[47], static_cast<std::uint8_t>(47 * 7 + 1));

    // 8 bits: exactly colours-used entries.
    ASSERT_EQ(bmp.LoadFile(
                  Write("p.bmp", MakeBmp({.width = 4, .height = 2, .bits = 8, .coloursUsed = 3, .paletteEntries = 3}))),
              1);
    EXPECT_EQ(bmp.Palette()[2].blue, 2);
    EXPECT_EQ(bmp.Palette()[2].green, 253);
    EXPECT_EQ(bmp.Palette()[3].green, 0);
    // Colours-used 0 on an 8-bit picture means the full 256-entry palette.
    ASSERT_EQ(bmp.LoadFile(Write("q.bmp", MakeBmp({.width = 4, .height = 2, .bits = 8, .paletteEntries = 256}))), 1);
    EXPECT_EQ(bmp.Palette()[200].green, 55);
    EXPECT_EQ(bmp.InfoHeader().coloursUsed, 256u);
    // A larger (V5-style) info header: the palette still follows it.
    ASSERT_EQ(
        bmp.LoadFile(Write(
            "v5.bmp",
            MakeBmp({.width = 4, .height = 2, .bits = 8, .coloursUsed = 2, .headerSize = 124, .paletteEntries = 2}))),
        1);
    EXPECT_EQ(bmp.Palette()[1].green, 254);
    // The buffer only grows.
    EXPECT_EQ(bmp.Capacity(), 48u);
}

TEST_F(TBitmapTest, TopDownBmpKeepsItsSignAndDrawsUpright)
{
    picture::TBitmap bmp;
    ASSERT_EQ(bmp.LoadFile(Write("t.bmp", MakeBmp({.width = 2, .height = -2}))), 1);
    EXPECT_EQ(bmp.Height(), 2);
    EXPECT_EQ(bmp.InfoHeader().height, -2);
    QImage target(2, 2, QImage::Format_RGB32);
    ASSERT_EQ(bmp.Draw(target, 0, 0, 2, 2), 1);
    // First row in memory (bytes 1, 8, 15) is the top row: blue 1, green 8, red 15.
    EXPECT_EQ(target.pixel(0, 0), qRgb(15, 8, 1));
}

TEST_F(TBitmapTest, RefusesUnknownShortAndAbsurdFiles)
{
    picture::TBitmap bmp;
    EXPECT_EQ(bmp.LoadFile(dir.File("missing.bmp").c_str()), 0);
    EXPECT_EQ(bmp.LoadFile(Write("x.bmp", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0})), 0);
    EXPECT_EQ(bmp.LoadFile(Write("short.bmp", MakeBmp({.width = 4, .height = 4, .pixelBytes = 20}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("tiny.bmp", {'B', 'M', 1})), 0);
    // 60000 x 60000 promised by a 100-byte file: refused, nothing allocated.
    EXPECT_EQ(bmp.LoadFile(Write("huge.bmp", MakeBmp({.width = 60000, .height = 60000, .pixelBytes = 40}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("big.bmp", MakeBmp({.width = 8000, .height = 8000, .pixelBytes = 40}))), 0);
    EXPECT_EQ(bmp.Pixels(), nullptr);
    EXPECT_EQ(bmp.LoadFile(Write("bits.bmp", MakeBmp({.bits = 4}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("neg.bmp", MakeBmp({.width = -4, .pixelBytes = 8}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("min.bmp", MakeBmp({.height = INT32_MIN, .pixelBytes = 8}))), 0);
    // Palette said to lie beyond the end of the file.
    EXPECT_EQ(
        bmp.LoadFile(Write("pal.bmp", MakeBmp({.bits = 8, .coloursUsed = 200, .headerSize = 40, .paletteEntries = 0}))),
        0);
}

TEST_F(TBitmapTest, RunLengthEncodedPalettePicturesExpandAndBadRunsAreRefused)
{
    // 4 x 2, 8 bits, compression 1: the header of MakeBmp with its pixels
    // replaced by runs.
    auto withRuns = [](std::vector<std::uint8_t> runs) {
        auto b = MakeBmp({.width = 4, .height = 2, .bits = 8, .coloursUsed = 2, .paletteEntries = 2, .pixelBytes = 0});
        b[30] = 1;
        b.insert(b.end(), runs.begin(), runs.end());
        return b;
    };
    picture::TBitmap bmp;
    // Row 0: three 1s and one 0 as runs; row 1: literal 1 0 1 1 (even, no pad).
    ASSERT_EQ(bmp.LoadFile(Write("rle.bmp", withRuns({3, 1, 1, 0, 0, 0, 0, 4, 1, 0, 1, 1, 0, 1}))), 1);
    const std::uint8_t expected[8] = {1, 1, 1, 0, 1, 0, 1, 1};
    EXPECT_TRUE(std::equal(expected, expected + 8, bmp.Pixels()));
    EXPECT_EQ(bmp.InfoHeader().compression, 0u);
    // Delta past the picture, a run past the row end, runs that stop early.
    EXPECT_EQ(bmp.LoadFile(Write("d.bmp", withRuns({0, 2, 9, 0, 0, 1}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("r.bmp", withRuns({5, 1, 0, 1}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("e.bmp", withRuns({4, 1, 0, 0}))), 0);
    EXPECT_EQ(bmp.LoadFile(Write("l.bmp", withRuns({0, 9, 1, 1}))), 0);
}

TEST_F(TBitmapTest, JpegIsRecognisedByContentAndDecodesTopDown)
{
    const auto picture = picture_support::NaturalPicture(30, 20);
    std::vector<std::uint8_t> colour, grey;
    ASSERT_EQ(jpeg_test::Encode(picture, colour, 95), picture::jpeg::Success);
    ASSERT_EQ(jpeg_test::Encode(picture, grey, 95, picture::jpeg::Subsampling::S420, true), picture::jpeg::Success);

    picture::TBitmap bmp;
    ASSERT_EQ(bmp.LoadFile(Write("photo.bmp", colour)), 1);  // the name doesn't matter
    EXPECT_TRUE(bmp.HasJpegRecord());
    EXPECT_EQ(bmp.Width(), 30);
    EXPECT_EQ(bmp.InfoHeader().height, -20);
    EXPECT_EQ(bmp.InfoHeader().bitsPerPixel, 24);
    jpeg_test::RgbPicture decoded;
    ASSERT_EQ(jpeg_test::Decode(colour, decoded), picture::jpeg::Success);
    EXPECT_EQ(bmp.Pixels()[2], decoded.At(0, 0)[0]);  // first row in memory is the top row
    EXPECT_EQ(bmp.Pixels()[0], decoded.At(0, 0)[2]);

    ASSERT_EQ(bmp.LoadFile(Write("grey.jpg", grey)), 1);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(bmp.Pixels()[3 * i], bmp.Pixels()[3 * i + 1]);
        EXPECT_EQ(bmp.Pixels()[3 * i], bmp.Pixels()[3 * i + 2]);
    }

    // 8000 x 8000 claimed by a few hundred bytes: refused before allocating.
    auto huge = colour;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0x1F;
            huge[i + 6] = huge[i + 8] = 0x40;
            break;
        }
    picture::TBitmap fresh;
    EXPECT_EQ(fresh.LoadFile(Write("huge.jpg", huge)), 0);
    EXPECT_EQ(fresh.Pixels(), nullptr);
    EXPECT_STREQ(fresh.FailureReason(), "TBitmap: Cannot read JPEG file header\n");

    auto broken = colour;
    broken.resize(broken.size() / 2);
    EXPECT_EQ(bmp.LoadFile(Write("broken.jpg", broken)), 0);
    EXPECT_FALSE(bmp.HasJpegRecord());
    EXPECT_STREQ(bmp.FailureReason(), "TBitmap: Cannot read JPEG image data\n");
}

TEST_F(TBitmapTest, SavedJpegPictureIsBottomUpAndTheObjectToo)
{
    std::vector<std::uint8_t> colour;
    ASSERT_EQ(jpeg_test::Encode(picture_support::NaturalPicture(31, 9), colour, 90), picture::jpeg::Success);
    picture::TBitmap bmp;
    ASSERT_EQ(bmp.LoadFile(Write("in.jpg", colour)), 1);
    const std::vector<std::uint8_t> topRow(bmp.Pixels(), bmp.Pixels() + 93);
    const std::string out = dir.File("out.BMP");
    ASSERT_TRUE(bmp.SaveBmp(out.c_str(), false));
    EXPECT_EQ(bmp.InfoHeader().height, 9);
    const auto file = ReadBytes(out);
    ASSERT_EQ(file.size(), 54u + 96 * 9);
    EXPECT_EQ(Le32(file, 2), 54u + 96 * 9);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 22), 9u);
    EXPECT_TRUE(std::equal(topRow.begin(), topRow.end(), file.begin() + 54 + 96 * 8));
}

TEST_F(TBitmapTest, SaveBmpWritesOnlyBmpExtensionsAndPalettesWhenUsed)
{
    picture::TBitmap bmp;
    ASSERT_EQ(bmp.LoadFile(
                  Write("p.bmp", MakeBmp({.width = 4, .height = 2, .bits = 8, .coloursUsed = 3, .paletteEntries = 3}))),
              1);
    for (const std::string name : {"a.jpg", "noext", "b.bm"}) {
        EXPECT_FALSE(bmp.SaveBmp(dir.File(name).c_str(), false));
        EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
    }
    ASSERT_TRUE(bmp.SaveBmp(dir.File("c.bmpx").c_str(), false));
    const auto file = ReadBytes(dir.File("c.bmpx"));
    ASSERT_EQ(file.size(), 1078u + 8);
    EXPECT_EQ(Le32(file, 10), 1078u);
    EXPECT_EQ(file[54 + 4 * 2 + 1], 253);
    EXPECT_FALSE(bmp.SaveBmp((dir.File("nodir") + "/x.bmp").c_str(), false));
}

TEST_F(TBitmapTest, WatermarkedSaveLeavesThePictureAlone)
{
    picture::TBitmap bmp;
    ASSERT_TRUE(bmp.Create(16, 8, 24));
    for (std::size_t i = 0; i < bmp.Capacity(); ++i)
        bmp.Pixels()[i] = static_cast<std::uint8_t>(i * 13);
    const std::vector<std::uint8_t> before(bmp.Pixels(), bmp.Pixels() + bmp.Capacity());
    ASSERT_TRUE(bmp.SaveBmp(dir.File("w.bmp").c_str(), true));
    ASSERT_TRUE(bmp.SaveBmp(dir.File("plain.bmp").c_str(), false));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), bmp.Pixels()));
    const auto marked = ReadBytes(dir.File("w.bmp")), plain = ReadBytes(dir.File("plain.bmp"));
    ASSERT_EQ(marked.size(), plain.size());
    int changed = 0;
    for (std::size_t i = 54; i < plain.size(); ++i) {
        if (marked[i] != plain[i]) {
            EXPECT_EQ((i - 54) % 3, 2u);  // red bytes only
            EXPECT_EQ(marked[i] ^ plain[i], 8);
            ++changed;
        }
    }
    EXPECT_GT(changed, 0);
}

TEST_F(TBitmapTest, DrawStretchesAndTransparentDrawKeysMagenta)
{
    picture::TBitmap bmp;
    ASSERT_TRUE(bmp.Create(2, 2, 24));
    // Bottom-up rows: memory row 0 is the bottom. Bottom: magenta, blue; top: red, green.
    const std::uint8_t rows[2][8] = {{255, 0, 255, 255, 0, 0, 0, 0}, {0, 0, 255, 0, 255, 0, 0, 0}};
    std::memcpy(bmp.Pixels(), rows[0], 8);
    std::memcpy(bmp.Pixels() + 8, rows[1], 8);

    QImage plain(6, 6, QImage::Format_RGB32);
    plain.fill(qRgb(9, 9, 9));
    ASSERT_EQ(bmp.Draw(plain, 1, 1, 4, 4), 1);
    EXPECT_EQ(plain.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(plain.pixel(4, 2), qRgb(0, 255, 0));
    EXPECT_EQ(plain.pixel(2, 4), qRgb(255, 0, 255));
    EXPECT_EQ(plain.pixel(4, 4), qRgb(0, 0, 255));
    EXPECT_EQ(plain.pixel(0, 0), qRgb(9, 9, 9));

    QImage keyed(6, 6, QImage::Format_RGB32);
    keyed.fill(qRgb(9, 9, 9));
    ASSERT_EQ(bmp.DrawTransparent(keyed, 1, 1, 4, 4), 1);
    EXPECT_EQ(keyed.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(keyed.pixel(2, 4), qRgb(9, 9, 9));  // magenta let the target through
    EXPECT_EQ(keyed.pixel(4, 4), qRgb(0, 0, 255));

    // All magenta: target unchanged. No magenta at its own size: same as Draw.
    picture::TBitmap pink;
    ASSERT_TRUE(pink.Create(3, 3, 24));
    for (std::size_t i = 0; i < pink.Capacity(); i += 3)
        pink.Pixels()[i] = 255, pink.Pixels()[i + 1] = 0, pink.Pixels()[i + 2] = 255;
    QImage untouched(5, 5, QImage::Format_RGB32);
    untouched.fill(qRgb(1, 2, 3));
    const QImage copy = untouched.copy();
    QPainter painter(&untouched);
    ASSERT_EQ(pink.DrawTransparent(painter, 1, 1), 1);
    painter.end();
    EXPECT_EQ(untouched, copy);

    std::vector<std::uint8_t> photo;
    ASSERT_EQ(jpeg_test::Encode(picture_support::NaturalPicture(20, 10), photo, 90), picture::jpeg::Success);
    picture::TBitmap picture;
    ASSERT_EQ(picture.LoadFile(Write("n.jpg", photo)), 1);
    QImage a(24, 12, QImage::Format_RGB32), b(24, 12, QImage::Format_RGB32);
    a.fill(0);
    b.fill(0);
    QPainter pa(&a), pb(&b);
    picture.Draw(pa, 2, 1);
    picture.DrawTransparent(pb, 2, 1);
    pa.end();
    pb.end();
    EXPECT_EQ(a, b);

    picture::TBitmap empty;
    EXPECT_EQ(empty.Draw(plain, 0, 0, 2, 2), 0);
}

TEST_F(TBitmapTest, LoadJoinsDirectoryAndName)
{
    Write("skin.bmp", MakeBmp({}));
    picture::TBitmap bmp;
    EXPECT_EQ(bmp.Load(dir.Path().c_str(), "skin.bmp"), 1);
    EXPECT_EQ(bmp.Load((dir.Path().string() + "/").c_str(), "skin.bmp"), 1);
    EXPECT_EQ(bmp.Load(nullptr, "skin.bmp"), 0);
    EXPECT_EQ(bmp.Load(dir.Path().c_str(), nullptr), 0);
}
