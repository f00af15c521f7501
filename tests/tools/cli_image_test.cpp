// quillon-cli on the forms a recorder disk arrives in: an E01 made by
// ewfacquire and a raw image split into pieces give every command the same
// output as the plain image (files: the same bytes); damaged or incomplete
// sets are refused with one line. And the proof that nothing writes to the
// evidence: every image is mode 0444 throughout and hashes the same after
// every command has run on it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "export/capture_tools.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

class CliImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Shell("command -v ewfacquire && command -v split && command -v sha256sum"))
            GTEST_SKIP() << "ewf-tools, split or sha256sum missing";
        plain = dir.File("demo.img");
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::DemoPlan(), plain)));
        const std::string in = "cd " + dir.Path().string() + " && ";
        // Pieces that cut sectors in two; compressed EWF in several segments.
        ASSERT_TRUE(Shell(in + "split -b 3000000 -d -a 3 --numeric-suffixes=1 demo.img demo.img."));
        ASSERT_TRUE(Shell(in + "ewfacquire -u -q -c fast -S 4194304 -t demo demo.img"));
        ASSERT_TRUE(std::filesystem::exists(dir.File("demo.E02")));
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            ASSERT_EQ(::chmod(entry.path().c_str(), 0444), 0);
        std::filesystem::create_directory(dir.File("out"));
        before = *Shell(in + "sha256sum demo.*");
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            files.insert(entry.path().filename().string());
        files.insert("stderr.txt");
    }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run Cli(const std::string& args)
    {
        const std::string errFile = dir.File("stderr.txt");
        Run run;
        const auto out =
            Shell(std::string(QUILLON_BIN_DIR) + "/quillon-cli " + args + " 2>" + errFile + "; echo \"|$?\"");
        const std::string text = out.value_or("|-1\n");
        const size_t bar = text.rfind('|');
        run.out = text.substr(0, bar);
        run.status = std::stoi(text.substr(bar + 1));
        run.err.assign(reinterpret_cast<const char*>(ReadBytes(errFile).data()), ReadBytes(errFile).size());
        return run;
    }

    // Every command on one disk: what it printed (the disk's own name taken
    // out) and the bytes of every file it wrote.
    std::map<std::string, std::string> Everything(const std::string& disk)
    {
        std::map<std::string, std::string> results;
        const std::string out = dir.File("out/");
        const std::vector<std::pair<std::string, std::string>> commands = {
            {"disks", "disks " + disk},
            {"records", "records " + disk},
            {"frames 1", "frames " + disk + " --record 1 --calls 200 --intra-first --audio-camera 2"},
            {"frames 3", "frames " + disk + " --record 3 --from 4 --calls 40"},
            {"audio", "audio " + disk + " --record 1 --camera 2 --from 3 --seconds 5 -o " + out + "a.wav"},
            {"still", "still " + disk + " --record 1 --at 12 -o " + out + "s.png"},
            {"snapshot jpg", "snapshot " + disk + " --record 2 --at 3 --view 2 -o " + out + "s.jpg"},
            {"snapshot bmp", "snapshot " + disk + " --record 1 --at 7 -o " + out + "s.bmp"},
            {"export mpg", "export " + disk + " --record 1 --from 2 --to 3 -o " + out + "e.mpg"},
            {"export avi", "export " + disk + " --record 2 --from 1 --to 2 --view 3 -o " + out + "e.avi"},
        };
        for (const auto& [name, args] : commands) {
            const Run run = Cli(args);
            EXPECT_EQ(run.status, 0) << args << ": " << run.err;
            results[name] = Replace(run.out, disk, "DISK");
        }
        for (const std::string file : {"a.wav", "s.png", "s.jpg", "s.bmp", "e.mpg", "e.avi"}) {
            const auto data = ReadBytes(out + file);
            EXPECT_FALSE(data.empty()) << file;
            results[file].assign(data.begin(), data.end());
        }
        // Playback reads too; its timings are not comparable, its reads are.
        EXPECT_EQ(Cli("play " + disk + " --record 1 --from 15 --speed 16 --seconds 1").status, 0);
        std::filesystem::remove_all(dir.File("out"));
        std::filesystem::create_directory(dir.File("out"));
        return results;
    }

    void ExpectRefusal(const std::string& args, const std::string& fragment)
    {
        const Run run = Cli(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_NE(run.err.find(fragment), std::string::npos) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
    }

    testing_support::TempDir dir;
    std::string plain;
    std::string before;
    std::set<std::string> files;
};

TEST_F(CliImageTest, E01AndSplitImagesGiveThePlainImagesOutputAndAreNeverWritten)
{
    const auto expected = Everything(plain);
    ASSERT_EQ(expected.at("records").substr(0, 4), "No.\t");
    for (const std::string& image : {dir.File("demo.E01"), dir.File("demo.img.001")}) {
        const auto got = Everything(image);
        for (const auto& [name, result] : expected)
            EXPECT_TRUE(got.at(name) == result) << image << ": " << name << " differs";
    }
    EXPECT_EQ(*Shell("cd " + dir.Path().string() + " && sha256sum demo.*"), before)
        << "every image hashes the same after every command";
    std::set<std::string> after;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        after.insert(entry.path().filename().string());
    EXPECT_EQ(after, files) << "nothing created beside the images";
}

TEST_F(CliImageTest, DamagedAndIncompleteImagesAreRefusedWithOneLine)
{
    const std::string out = dir.File("out/x.mpg");
    std::filesystem::rename(dir.File("demo.img.003"), dir.File("held"));
    ExpectRefusal("records " + dir.File("demo.img.001"), "demo.img.003 of the split image is missing");
    ExpectRefusal("export " + dir.File("demo.img.001") + " --record 1 --from 0 --to 1 -o " + out, "missing");
    ExpectRefusal("records " + dir.File("demo.img.002"), "first piece");

    std::filesystem::rename(dir.File("demo.E02"), dir.File("held2"));
    ExpectRefusal("records " + dir.File("demo.E01"), "damaged or incomplete EWF image");
    ExpectRefusal("frames " + dir.File("demo.E01") + " --record 1 --calls 4", "EWF");
    std::filesystem::rename(dir.File("held2"), dir.File("demo.E02"));
    // A header overwritten: a copy of the first segment with its header broken.
    auto head = ReadBytes(dir.File("demo.E01"));
    for (size_t i = 13; i < 200 && i < head.size(); ++i)
        head[i] ^= 0xFF;
    const std::string broken = dir.File("broken.E01");
    std::ofstream(broken, std::ios::binary)
        .write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    ExpectRefusal("records " + broken, "damaged");
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
