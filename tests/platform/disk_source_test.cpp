// The drive handle over plain, split and EWF images: the same bytes as the
// plain image, reads past the end refused, damaged and incomplete sets
// refused when opened, the imager's digest read back, and every descriptor
// the handle holds open for reading only.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "export/capture_tools.h"
#include "platform/drive_table.h"
#include "platform/memory_source.h"
#include "support/temp_dir.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;
using platform::DriveHandle;

class DiskSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Shell("command -v ewfacquire && command -v split"))
            GTEST_SKIP() << "ewf-tools (ewfacquire) or split missing";
        // Not a whole number of pieces, and pieces not a whole number of sectors.
        bytes.resize(3 * 1024 * 1024 + 512 * 7);
        std::mt19937 random(12);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        plain = dir.File("disk.img");
        std::ofstream(plain, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(Shell("cd " + dir.Path().string() +
                          " && split -b 1000000 -d -a 3 --numeric-suffixes=1 disk.img disk.img."));
        // Compressed chunks and three segment files.
        ASSERT_TRUE(Shell("ewfacquire -u -q -c fast -d sha1 -S 1048576 -t " + dir.File("ewf") + " " + plain));
        ASSERT_TRUE(std::filesystem::exists(dir.File("ewf.E02")));
    }

    void ExpectSameBytes(const std::string& path, const std::string& format)
    {
        std::string why;
        const DriveHandle drive = DriveHandle::OpenPath(path, &why);
        ASSERT_TRUE(drive.IsOpen()) << path << ": " << why;
        EXPECT_EQ(drive.Format(), format);
        ASSERT_EQ(drive.SizeBytes(), bytes.size());
        std::vector<uint8_t> got(bytes.size());
        ASSERT_TRUE(drive.ReadAt(0, got.data(), got.size())) << "the whole disk in one read";
        EXPECT_TRUE(got == bytes) << path;
        // Across piece and chunk boundaries, and the very last byte.
        for (const uint64_t at : {999'999ull, 1'000'000ull - 512, 1'048'575ull, bytes.size() - 1ull}) {
            uint8_t two[2] = {};
            const uint64_t size = at + 2 <= bytes.size() ? 2 : 1;
            ASSERT_TRUE(drive.ReadAt(at, two, size)) << path << " at " << at;
            EXPECT_EQ(two[0], bytes[at]) << path << " at " << at;
        }
        // Past the end: refused like a short read, however the sum wraps.
        uint8_t buffer[1024];
        EXPECT_FALSE(drive.ReadAt(bytes.size() - 10, buffer, 11));
        EXPECT_FALSE(drive.ReadAt(bytes.size(), buffer, 1));
        EXPECT_FALSE(drive.ReadAt(UINT64_MAX - 4, buffer, 8));
        EXPECT_FALSE(drive.ReadAt(16, buffer, UINT64_MAX));
    }

    static std::string Refusal(const std::string& path)
    {
        std::string why;
        const DriveHandle drive = DriveHandle::OpenPath(path, &why);
        EXPECT_FALSE(drive.IsOpen()) << path;
        EXPECT_FALSE(why.empty()) << path;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        return why;
    }

    testing_support::TempDir dir;
    std::vector<uint8_t> bytes;
    std::string plain;
};

TEST_F(DiskSourceTest, EveryFormatReadsThePlainImagesBytes)
{
    ExpectSameBytes(plain, "raw");
    ExpectSameBytes(dir.File("disk.img.001"), "split");
    ExpectSameBytes(dir.File("ewf.E01"), "ewf");
    // split's own default numbering starts at 000: that piece opens the set,
    // the one after it is refused.
    ASSERT_TRUE(Shell("cd " + dir.Path().string() + " && split -b 2000000 -d -a 3 disk.img zero."));
    ExpectSameBytes(dir.File("zero.000"), "split");
    EXPECT_NE(Refusal(dir.File("zero.001")).find("name " + dir.File("zero.000")), std::string::npos);
}

// What the drive was is taken when it is opened, as stat tells it: for a
// split set or an EWF image the first file's, with every file named (0:
// several, however many the imager made); and it
// stays with the handle while the files change or the table is retaken.
TEST_F(DiskSourceTest, EachOpenedDriveKeepsItsPathAndIdentityAsStatToldIt)
{
    for (const auto& [path, format, files] :
         {std::tuple{plain, "raw", 1u}, std::tuple{dir.File("disk.img.001"), "split", 4u},
          std::tuple{dir.File("ewf.E01"), "ewf", 0u}}) {
        SCOPED_TRACE(path);
        const DriveHandle drive = DriveHandle::OpenPath(path);
        ASSERT_TRUE(drive.IsOpen());
        const platform::DriveIdentity& id = drive.Identity();
        EXPECT_EQ(id.path, path);
        EXPECT_EQ(id.format, format);
        EXPECT_EQ(id.sizeBytes, bytes.size());
        EXPECT_FALSE(id.isDevice);
        ASSERT_TRUE(id.statKnown);
        if (files > 0)
            EXPECT_EQ(id.files.size(), files);
        else
            EXPECT_GT(id.files.size(), 1u) << "every segment file";
        EXPECT_EQ(id.files.front(), path);
        char mtime[40];
        std::snprintf(mtime, sizeof mtime, "%lld.%09lld", static_cast<long long>(id.modifiedSeconds),
                      static_cast<long long>(id.modifiedNanoseconds));
        EXPECT_EQ(Shell("stat -c '%d %i %s %.9Y' '" + path + "'"),
                  std::to_string(id.device) + " " + std::to_string(id.inode) + " " + std::to_string(id.fileBytes) +
                      " " + mtime + "\n");
        EXPECT_NE(platform::IdentityText(id).find(std::string(format) + " image, device "), std::string::npos);
    }
    DriveHandle drive = DriveHandle::OpenPath(plain);
    const platform::DriveIdentity opened = drive.Identity();
    EXPECT_TRUE(platform::SameIdentity(opened, DriveHandle::OpenPath(plain).Identity()));
    // Touched since: the same file, but not unchanged.
    ASSERT_TRUE(Shell("touch -d '2001-02-03 04:05:06' '" + plain + "'"));
    EXPECT_FALSE(platform::SameIdentity(opened, DriveHandle::OpenPath(plain).Identity()));
    EXPECT_TRUE(platform::SameIdentity(opened, drive.Identity())) << "kept from the opening";
    drive.Close();
    EXPECT_TRUE(drive.Identity().path.empty());
}

TEST_F(DiskSourceTest, TheImagersDigestsAreReadFromTheImage)
{
    const auto md5 = Shell("md5sum " + plain + " | cut -c1-32");
    const auto sha1 = Shell("sha1sum " + plain + " | cut -c1-40");
    ASSERT_TRUE(md5 && sha1);
    const DriveHandle ewf = DriveHandle::OpenPath(dir.File("ewf.E01"));
    ASSERT_TRUE(ewf.IsOpen());
    const auto hashes = ewf.StoredImageHashes();
    ASSERT_EQ(hashes.size(), 2u);
    EXPECT_EQ(hashes[0].algorithm, "sha1");
    EXPECT_EQ(hashes[0].hex + "\n", *sha1);
    EXPECT_EQ(hashes[1].algorithm, "md5");
    EXPECT_EQ(hashes[1].hex + "\n", *md5);
    std::string algorithm, hex;
    EXPECT_TRUE(ewf.StoredImageHash(algorithm, hex));
    EXPECT_EQ(algorithm, "sha1") << "the strongest first";

    EXPECT_FALSE(DriveHandle::OpenPath(plain).StoredImageHash(algorithm, hex));
    EXPECT_FALSE(DriveHandle::OpenPath(dir.File("disk.img.001")).StoredImageHash(algorithm, hex));
}

// Mode 0444 on every file, and each descriptor the handle holds is open for
// reading only, as /proc says.
TEST_F(DiskSourceTest, EveryDescriptorIsReadOnly)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ASSERT_EQ(::chmod(entry.path().c_str(), 0444), 0);
    for (const std::string name : {"disk.img", "disk.img.001", "ewf.E01"}) {
        const DriveHandle drive = DriveHandle::OpenPath(dir.File(name));
        ASSERT_TRUE(drive.IsOpen()) << name;
        uint8_t byte = 0;
        ASSERT_TRUE(drive.ReadAt(bytes.size() - 1, &byte, 1));
        size_t held = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(fd.path(), ec);
            if (ec || target.parent_path() != dir.Path())
                continue;
            ++held;
            std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
            std::string key, flags;
            while (info >> key && key != "flags:")
                ;
            info >> flags;
            ASSERT_FALSE(flags.empty()) << target;
            EXPECT_EQ(std::stoul(flags, nullptr, 8) & O_ACCMODE, unsigned(O_RDONLY)) << target << " flags " << flags;
        }
        EXPECT_GE(held, drive.Files().size() > 1 ? 2u : 1u) << name << ": its files are open while it is";
        for (const auto& file : drive.Files())
            EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 9)
        << "the image, four pieces, three segment files and nothing created";
}

TEST_F(DiskSourceTest, IncompleteOrDamagedSetsAreRefused)
{
    // Split: a later piece named, a piece missing in the middle, a short piece
    // before the last.
    EXPECT_NE(Refusal(dir.File("disk.img.002")).find("first piece"), std::string::npos);
    std::filesystem::rename(dir.File("disk.img.003"), dir.File("held"));
    EXPECT_NE(Refusal(dir.File("disk.img.001")).find("disk.img.003"), std::string::npos);
    std::filesystem::rename(dir.File("held"), dir.File("disk.img.003"));
    std::filesystem::resize_file(dir.File("disk.img.002"), 999'000);
    EXPECT_NE(Refusal(dir.File("disk.img.001")).find("disk.img.002"), std::string::npos);

    // EWF: a segment file missing, one cut short, the signature overwritten.
    std::filesystem::rename(dir.File("ewf.E02"), dir.File("held"));
    EXPECT_NE(Refusal(dir.File("ewf.E01")).find("EWF"), std::string::npos);
    std::filesystem::rename(dir.File("held"), dir.File("ewf.E02"));
    const std::string full = dir.File("ewf.E03");
    std::filesystem::resize_file(full, std::filesystem::file_size(full) / 2);
    EXPECT_NE(Refusal(dir.File("ewf.E01")).find("EWF"), std::string::npos);
    ASSERT_TRUE(Shell("ewfacquire -u -q -t " + dir.File("one") + " " + plain));
    std::vector<uint8_t> one = ReadBytes(dir.File("one.E01"));
    one[1] = 'X';
    std::ofstream(dir.File("one.E01"), std::ios::binary).write(reinterpret_cast<const char*>(one.data()), 8);
    EXPECT_NE(Refusal(dir.File("one.E01")).find("EWF"), std::string::npos);
}

// Playback and export read the same drive from threads of their own.
TEST_F(DiskSourceTest, ReadsFromSeveralThreadsAtOnce)
{
    for (const std::string name : {"ewf.E01", "disk.img.001"}) {
        const DriveHandle drive = DriveHandle::OpenPath(dir.File(name));
        ASSERT_TRUE(drive.IsOpen()) << name;
        std::atomic<int> wrong{0};
        std::vector<std::thread> readers;
        for (unsigned t = 0; t < 4; ++t) {
            readers.emplace_back([&, t] {
                std::mt19937 random(t);
                std::vector<uint8_t> span(8192);
                for (int i = 0; i < 300; ++i) {
                    const uint64_t at = random() % (bytes.size() - span.size());
                    if (!drive.ReadAt(at, span.data(), span.size()) ||
                        !std::equal(span.begin(), span.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)))
                        ++wrong;
                }
            });
        }
        for (auto& reader : readers)
            reader.join();
        EXPECT_EQ(wrong.load(), 0) << name;
    }
}

// A chunk whose checksum fails is a failed read, never its bytes; the rest
// of the image still reads.
TEST_F(DiskSourceTest, AChunkWithABadChecksumFailsItsReads)
{
    ASSERT_TRUE(Shell("ewfacquire -u -q -t " + dir.File("one") + " " + plain));
    std::vector<uint8_t> image = ReadBytes(dir.File("one.E01"));
    // Uncompressed chunks follow the headers in order: the middle of the file
    // is the middle of the disk.
    const size_t middle = image.size() / 2;
    for (size_t i = 0; i < 64; ++i)
        image[middle + i] ^= 0x5A;
    std::ofstream(dir.File("one.E01"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const DriveHandle drive = DriveHandle::OpenPath(dir.File("one.E01"));
    ASSERT_TRUE(drive.IsOpen());
    std::vector<uint8_t> got(bytes.size());
    EXPECT_FALSE(drive.ReadAt(0, got.data(), got.size()));
    ASSERT_TRUE(drive.ReadAt(0, got.data(), 32768)) << "the first chunk is intact";
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 32768, bytes.begin()));
}

// libewf lists a bad chunk once, when first read, merged with its damaged
// neighbours: every read is checked against the list, so a second read of a
// bad chunk, a read of the next bad one, or a span over one fails as the
// first read did, naming the sectors; the good chunks beside them read.
TEST_F(DiskSourceTest, EveryReadOfADamagedChunkFails)
{
    constexpr uint64_t kChunk = 64 * 512;
    ASSERT_TRUE(Shell("ewfacquire -u -q -b 64 -t " + dir.File("bad") + " " + plain));
    std::vector<uint8_t> image = ReadBytes(dir.File("bad.E01"));
    // Uncompressed chunks in disk order: a run of bytes in the middle of the
    // file damages two or three chunks side by side.
    const size_t middle = image.size() / 2;
    for (size_t i = 0; i < 40000; ++i)
        image[middle + i] ^= 0x5A;
    std::ofstream(dir.File("bad.E01"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const uint64_t chunks = bytes.size() / kChunk;
    std::vector<uint8_t> got(bytes.size());

    // Which chunks are bad, each asked of an image opened afresh.
    std::vector<uint64_t> bad;
    for (uint64_t c = 0; c < chunks; ++c) {
        const DriveHandle fresh = DriveHandle::OpenPath(dir.File("bad.E01"));
        ASSERT_TRUE(fresh.IsOpen());
        if (!fresh.ReadAt(c * kChunk, got.data(), kChunk))
            bad.push_back(c);
        else
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + kChunk, bytes.begin() + c * kChunk)) << c;
    }
    ASSERT_GE(bad.size(), 2u);
    ASSERT_EQ(bad.back() - bad.front() + 1, bad.size()) << "side by side";
    const uint64_t first = bad.front(), next = first + 1, before = first - 1, after = bad.back() + 1;
    ASSERT_LT(after, chunks);

    const auto expectFails = [&](const DriveHandle& drive, uint64_t at, uint64_t size, const std::string& what) {
        std::string why;
        EXPECT_FALSE(drive.ReadChecked(at, got.data(), size, why)) << what;
        EXPECT_NE(why.find("checksum"), std::string::npos) << what << ": " << why;
        EXPECT_NE(why.find("sectors "), std::string::npos) << what << ": " << why;
    };
    const auto expectReads = [&](const DriveHandle& drive, uint64_t chunk, const std::string& what) {
        std::string why;
        EXPECT_TRUE(drive.ReadChecked(chunk * kChunk, got.data(), kChunk, why)) << what << ": " << why;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + kChunk, bytes.begin() + chunk * kChunk)) << what;
    };
    {
        const DriveHandle drive = DriveHandle::OpenPath(dir.File("bad.E01"));
        expectFails(drive, first * kChunk, kChunk, "the bad chunk");
        expectFails(drive, first * kChunk, kChunk, "the bad chunk again");
        expectFails(drive, first * kChunk + 512, 512, "one sector of it");
        expectFails(drive, next * kChunk, kChunk, "the bad chunk after it");
        expectReads(drive, before, "the good chunk before");
        expectReads(drive, after, "the good chunk after");
    }
    {
        const DriveHandle drive = DriveHandle::OpenPath(dir.File("bad.E01"));
        expectReads(drive, before, "the neighbour first");
        expectFails(drive, first * kChunk, kChunk, "then the bad chunk");
        expectFails(drive, before * kChunk, 2 * kChunk, "the neighbour and the bad chunk together");
    }
    {
        const DriveHandle drive = DriveHandle::OpenPath(dir.File("bad.E01"));
        expectFails(drive, before * kChunk, (after - before + 1) * kChunk, "a span over the bad chunks");
        expectFails(drive, first * kChunk, kChunk, "then the bad chunk alone");
        expectFails(drive, next * kChunk + kChunk - 512, 1024, "across the end of a bad chunk");
        expectReads(drive, before, "the good chunk before");
        expectReads(drive, after, "the good chunk after");
    }
}

}  // namespace

namespace {

// A disk in a caller's buffer: its bytes exactly, nothing before or past them.
TEST(MemorySourceTest, ReadsTheBufferAndRefusesEveryReadPastItsEnd)
{
    std::vector<uint8_t> bytes(4 * 512);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    const auto source = platform::OpenMemorySource(bytes);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->SizeBytes(), bytes.size());
    std::vector<uint8_t> out(bytes.size() + 1, 0xAA);
    ASSERT_TRUE(source->ReadAt(0, out.data(), bytes.size()));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()));
    ASSERT_TRUE(source->ReadAt(bytes.size() - 1, out.data(), 1));
    EXPECT_EQ(out[0], bytes.back());

    std::fill(out.begin(), out.end(), 0xAA);
    EXPECT_FALSE(source->ReadAt(bytes.size() - 1, out.data(), 2)) << "one byte past the end";
    EXPECT_FALSE(source->ReadAt(bytes.size(), out.data(), 1));
    EXPECT_FALSE(source->ReadAt(0, out.data(), bytes.size() + 1));
    EXPECT_FALSE(source->ReadAt(UINT64_MAX, out.data(), 1));
    EXPECT_FALSE(source->ReadAt(1, out.data(), UINT64_MAX)) << "offset + size wraps";
    EXPECT_FALSE(source->ReadAt(0, out.data(), 0)) << "a read of nothing is no read";
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xAA; }))
        << "a refused read writes nothing";
    std::string why;
    EXPECT_FALSE(source->ReadChecked(bytes.size(), out.data(), 512, why));
    EXPECT_FALSE(why.empty());

    const auto empty = platform::OpenMemorySource({});
    EXPECT_EQ(empty->SizeBytes(), 0u);
    EXPECT_FALSE(empty->ReadAt(0, out.data(), 1));
}

// A drive over a source the caller opened names it as given and looks
// nothing up on the system.
TEST(MemorySourceTest, ADriveOverItHasTheGivenNameAndNoFile)
{
    std::vector<uint8_t> bytes(3 * 512, 0x5A);
    DriveHandle drive = DriveHandle::FromSource(platform::OpenMemorySource(bytes), "memory");
    ASSERT_TRUE(drive.IsOpen());
    EXPECT_EQ(drive.SizeBytes(), bytes.size());
    EXPECT_EQ(drive.Format(), "memory");
    EXPECT_TRUE(drive.Files().empty());
    EXPECT_EQ(drive.Identity().path, "memory");
    EXPECT_EQ(drive.Identity().format, "memory");
    EXPECT_EQ(drive.Identity().sizeBytes, bytes.size());
    EXPECT_FALSE(drive.Identity().statKnown);
    std::vector<uint8_t> sector(512);
    EXPECT_TRUE(drive.ReadAt(2 * 512, sector.data(), 512));
    EXPECT_FALSE(drive.ReadAt(2 * 512 + 1, sector.data(), 512));
    EXPECT_FALSE(DriveHandle::FromSource(nullptr, "memory").IsOpen());
}

}  // namespace
