// The install rules, run into a staging directory (DESTDIR) as the package
// is built: the layout Debian expects, and the installed programs working
// from their links on the PATH with nothing of the build tree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunTool;
using testing_support::ToolRun;

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0; }

class InstallTreeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        stage = std::make_unique<testing_support::TempDir>();
        installed = RunTool("DESTDIR='" + stage->Path().string() + "' '" QUILLON_CMAKE "' --install '" +
                                QUILLON_BUILD_DIR "' --prefix /usr",
                            stage->File("install.err"));
    }
    static void TearDownTestSuite() { stage.reset(); }

    void SetUp() override { ASSERT_EQ(installed.status, 0) << installed.out << installed.err; }

    static fs::path Usr() { return stage->Path() / "usr"; }
    // An installed program run through its link on the PATH, with no trace
    // of the build tree in its environment.
    ToolRun Run(const std::string& commandLine)
    {
        return RunTool("env -u LD_LIBRARY_PATH " + (Usr() / "bin").string() + "/" + commandLine, work.File("err.txt"));
    }

    static inline std::unique_ptr<testing_support::TempDir> stage;
    static inline ToolRun installed;
    testing_support::TempDir work;
};

TEST_F(InstallTreeTest, LaysTheProgramOutAsDebianDoes)
{
    const fs::path app = Usr() / "lib/quillon";
    for (const char* program : {"quillon", "quillon-cli", "quillon-mkdisk"}) {
        const fs::path link = Usr() / "bin" / program;
        ASSERT_TRUE(fs::is_symlink(link)) << link;
        EXPECT_EQ(fs::read_symlink(link), fs::path("../lib/quillon") / program) << "relative, so DESTDIR works";
        EXPECT_TRUE(fs::is_regular_file(app / program));
        EXPECT_EQ(fs::status(app / program).permissions() & fs::perms::others_exec, fs::perms::others_exec);
        const ToolRun runpath = RunTool("readelf -d " + (app / program).string(), work.File("readelf.err"));
        EXPECT_NE(runpath.out.find("Library runpath: [$ORIGIN]"), std::string::npos) << program << runpath.out;
        EXPECT_EQ(runpath.out.find(QUILLON_BUILD_DIR), std::string::npos) << program << " keeps a build-tree path";
    }
    EXPECT_TRUE(fs::is_regular_file(app / "libquillon_decode.so"));
    EXPECT_TRUE(fs::is_regular_file(app / "libquillon_mpeg1.so"));
    // The skin is data, under share, and found beside the executable.
    EXPECT_EQ(fs::canonical(app / "bmp"), fs::canonical(Usr() / "share/quillon/bmp"));
    EXPECT_TRUE(fs::is_regular_file(app / "bmp/backgr.bmp"));
    EXPECT_TRUE(fs::is_regular_file(app / "Tooltip.ini"));
    EXPECT_GT(fs::file_size(app / "bmp/window.rgn"), 32u) << "the outline ships, so the program never writes it";

    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128"}) {
        const fs::path icon = Usr() / "share/icons/hicolor" / size / "apps/quillon.png";
        const ToolRun identify = RunTool("identify -format '%wx%h' " + icon.string(), work.File("identify.err"));
        EXPECT_EQ(identify.out, size) << icon << identify.err;
    }
    for (const char* page : {"quillon", "quillon-cli", "quillon-mkdisk"}) {
        const fs::path gz = Usr() / "share/man/man1" / (std::string(page) + ".1.gz");
        ASSERT_TRUE(fs::is_regular_file(gz)) << gz;
        if (Have("man")) {
            const ToolRun man = RunTool("MANWIDTH=80 man -l " + gz.string(), work.File("man.err"));
            EXPECT_EQ(man.status, 0) << man.err;
            EXPECT_NE(man.out.find("NAME"), std::string::npos) << page;
        }
    }
    const fs::path desktop = Usr() / "share/applications/org.quillon.Quillon.desktop";
    const fs::path metainfo = Usr() / "share/metainfo/org.quillon.Quillon.metainfo.xml";
    ASSERT_TRUE(fs::is_regular_file(desktop));
    ASSERT_TRUE(fs::is_regular_file(metainfo));
    if (Have("desktop-file-validate")) {
        const ToolRun valid = RunTool("desktop-file-validate " + desktop.string(), work.File("desktop.err"));
        EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
        EXPECT_TRUE(valid.out.empty()) << valid.out;
    }
    if (Have("appstreamcli")) {
        const ToolRun valid = RunTool("appstreamcli validate --no-net " + metainfo.string(), work.File("as.err"));
        EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    }
}

TEST_F(InstallTreeTest, InstalledProgramsWorkFromTheirLinks)
{
    const std::string disk = work.File("demo.img");
    ASSERT_EQ(Run("quillon-mkdisk --demo -o " + disk).status, 0);
    const ToolRun records = Run("quillon-cli records " + disk);
    ASSERT_EQ(records.status, 0) << records.err;
    EXPECT_NE(records.out.find("\n4\tM\t"), std::string::npos) << records.out;

    // The decoder library is loaded from the directory the link resolves to:
    // without that, nothing would be decoded and the export would fail.
    const std::string movie = work.File("cut.mpg");
    const ToolRun exported = Run("quillon-cli export " + disk + " --record 1 --from 0 --to 1 -o " + movie +
                                 " && LD_DEBUG=libs " + (Usr() / "bin/quillon-cli").string() + " still " + disk +
                                 " --record 1 --at 1 -o " + work.File("still.png"));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string app = (Usr() / "lib/quillon/").string();
    EXPECT_NE(exported.err.find("calling init: " + app + "libquillon_decode.so"), std::string::npos);
    EXPECT_NE(exported.err.find("calling init: " + app + "libquillon_mpeg1.so"), std::string::npos);
    EXPECT_EQ(exported.err.find(QUILLON_BIN_DIR), std::string::npos) << "a library came from the build tree";
    const ToolRun probe = RunTool("ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames "
                                  "-of csv=p=0 " +
                                      movie,
                                  work.File("probe.err"));
    EXPECT_TRUE(probe.out.starts_with("mpeg1video,90\nmp2,")) << probe.out << probe.err;

    // The skin, found through the link as well, paints the window.
    const ToolRun preview = Run("quillon-cli skin-preview -o " + work.File("preview.png"));
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.err.find("quillon-cli:"), std::string::npos) << preview.err;

    for (const char* program : {"quillon", "quillon-cli", "quillon-mkdisk"}) {
        const ToolRun version = Run(std::string(program) + " --version");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(program) + " " QUILLON_VERSION "\n");
    }
    const ToolRun help = Run("quillon --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: quillon [--case CASE] [IMAGE...]")) << help.out;
}

}  // namespace
