// quillon-cli report: the court report of a case as PDF and HTML, read
// back by independent tools (pdftotext, pdftoppm, ImageMagick, sha256sum,
// dd, headless Chromium when installed): every bookmark's note, times and
// sector hash, the export's hash and a fresh verify, the pictures drawn,
// nothing fetched from elsewhere; a changed or missing export is said so,
// and a case against another disk is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

class ReportCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RunTool(Bin() + "/quillon-mkdisk -o " + disk + " --demo", dir.File("mk.txt")).status, 0);
        const std::vector<std::string> steps = {
            "case create " + kase + " --disk " + disk +
                " --number 2026/41 --title 'Gate' --examiner 'A. Example' --imaging-notes 'blocked by WB-7'",
            "case bookmark " + kase + " --record 1 --at 2 --note 'the van enters'",
            "case bookmark " + kase + " --record 1 --at 3 --picture 2 --view 2 --note 'a face at the window'",
            "case clock " + kase + " --recorder '2026-01-01 00:00:00' --reference '2025-12-31 23:58:35'",
            "export " + disk + " --record 1 --from 1 --to 3 --case " + kase + " -o " + exported,
        };
        for (const std::string& step : steps) {
            const ToolRun r = Cli(step);
            ASSERT_EQ(r.status, 0) << step << "\n" << r.err;
        }
    }
    static std::string Bin() { return QUILLON_BIN_DIR; }
    ToolRun Cli(const std::string& args) { return RunTool(Bin() + "/quillon-cli " + args, dir.File("err.txt")); }
    ToolRun Sh(const std::string& command) { return RunTool(command, dir.File("sh.txt")); }
    std::string Sha256Of(const std::string& command) { return Sh(command + " | sha256sum").out.substr(0, 64); }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    testing_support::TempDir dir;
    const std::string disk = dir.File("demo.img"), kase = dir.File("k.case"), exported = dir.File("ex.mkv");
};

TEST_F(ReportCliTest, PdfAndHtmlStateEveryBookmarkExportAndHashAndTheSidecarsCheck)
{
    const std::string pdf = dir.File("x.pdf"), html = dir.File("x.html");
    const std::string diskBefore = Sha256Of("cat " + disk);
    ToolRun r = Cli("activity " + disk + " --record 1 --mode fast --json --case " + kase);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string eventsSha = r.out.substr(r.out.find("\"events_sha256\": \"") + 18, 64);
    r = Cli("report " + kase + " -o " + pdf);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "report\t" + pdf + "\t2 bookmarks\t1 exports, 1 verified\t1 searches\n");
    r = Cli("report " + kase + " -o " + html);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = Sh("pdftotext -layout " + pdf + " -").out;
    const std::string page = Read(html);

    // The bookmarks' sectors as the HTML states them, hashed again by dd.
    const std::regex sectors("(\\d+) to (\\d+) \\((\\d+) sectors\\)");
    std::vector<std::string> sectorHashes;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), sectors); it != std::sregex_iterator(); ++it)
        sectorHashes.push_back(
            Sha256Of("dd if=" + disk + " bs=512 skip=" + (*it)[1].str() + " count=" + (*it)[3].str() + " status=none"));
    ASSERT_EQ(sectorHashes.size(), 2u) << "one sector range per bookmark";
    const std::string exportSha = Sha256Of("cat " + exported);
    const std::vector<std::string> facts = {
        "the van enters",
        "a face at the window",
        "2023-05-14 09:30:02 (reference 2023-05-14 09:28:37)",
        "2023-05-14 09:30:03 (reference 2023-05-14 09:28:38)",
        sectorHashes[0],
        sectorHashes[1],
        exportSha,
        "verified: all 15 checks match",
        "The whole disk was not hashed.",
        Sha256Of("head -c 512 " + disk),
        "2026/41",
        "A. Example",
        "blocked by WB-7",
        eventsSha,
        "mode=fast records=1",
    };
    for (const std::string& fact : facts) {
        EXPECT_NE(text.find(fact), std::string::npos) << "the PDF lacks: " << fact;
        EXPECT_NE(page.find(fact), std::string::npos) << "the HTML lacks: " << fact;
    }
    for (const char* library : {"libavcodec", "libx264", "OpenSSL", "SQLite", "Qt", "Quillon"})
        EXPECT_NE(text.find(library), std::string::npos) << library;
    EXPECT_NE(sectorHashes[0], sectorHashes[1]);

    // The sidecars, as sha256sum checks them.
    EXPECT_EQ(Read(pdf + ".sha256"), Sha256Of("cat " + pdf) + "  x.pdf\n");
    r = Sh("cd " + dir.File("") + " && sha256sum -c x.pdf.sha256 x.html.sha256");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Sha256Of("cat " + disk), diskBefore) << "the evidence disk is never written";

    // Pages drawn: the one with the bookmarks' pictures is far from blank
    // (a page of text and rules alone spreads little).
    ASSERT_EQ(Sh("cd " + dir.File("") + " && pdftoppm -r 50 -png x.pdf page").status, 0);
    double most = 0;
    int pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File(""))) {
        if (!entry.path().filename().string().starts_with("page-"))
            continue;
        ++pages;
        most =
            std::max(most, std::stod(Sh("identify -format '%[fx:standard_deviation]' " + entry.path().string()).out));
    }
    EXPECT_GE(pages, 2);
    EXPECT_GT(most, 0.25) << "no page shows a picture";
}

TEST_F(ReportCliTest, TheWholeDiskHashedIntoTheCaseIsStatedAndAChangedDiskRefused)
{
    ToolRun r = Cli("case hash " + kase);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string whole = Sha256Of("cat " + disk);
    EXPECT_EQ(r.out, "disk " + disk + ": 15429120 bytes, SHA-256 " + whole + "\n");
    r = Cli("case hash " + kase);
    EXPECT_EQ(r.status, 0) << "the same hash again: " << r.err;
    ASSERT_EQ(Cli("report " + kase + " -o " + dir.File("x.html")).status, 0);
    const std::string page = Read(dir.File("x.html"));
    EXPECT_NE(page.find(whole), std::string::npos);
    EXPECT_EQ(page.find("The whole disk was not hashed."), std::string::npos);

    // A byte of the data area changed: the header and table still name the
    // case's disk, the whole no longer hashes the same.
    ASSERT_EQ(Sh("printf 'X' | dd of=" + disk + " bs=1 seek=2000000 conv=notrunc status=none").status, 0);
    r = Cli("case hash " + kase);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds SHA-256 " + whole), std::string::npos) << r.err;
    EXPECT_EQ(Sh("sqlite3 -readonly " + kase + " 'SELECT disk_sha256 FROM disk'").out, whole + "\n");
}

TEST_F(ReportCliTest, ARecoveredRecordingTheCaseNamesIsListedAndStampedByIdAndPosition)
{
    const std::string recovered = dir.File("recover.img"), other = dir.File("r.case");
    ASSERT_EQ(RunTool(Bin() + "/quillon-mkdisk -o " + recovered + " --recover-demo", dir.File("mk.txt")).status, 0);
    ASSERT_EQ(Cli("case create " + other + " --disk " + recovered).status, 0);
    ASSERT_EQ(Cli("case bookmark " + other + " --record c1 --at 0 --note carved").status, 0);
    ASSERT_EQ(Cli("case clock " + other + " --recorder '2024-06-01 08:00:00' --reference '2024-06-01 08:01:00'").status,
              0);
    ToolRun r = Cli("report " + other + " -o " + dir.File("r.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = Read(dir.File("r.html"));
    EXPECT_NE(page.find("c1: not listed in the record table, found (carved) from sector "), std::string::npos);
    // No recorded time: the stamp by id and position, never a corrected clock.
    EXPECT_NE(page.find(">c1 +00:00:00</td>"), std::string::npos);
    EXPECT_NE(page.find("data:image/png;base64,"), std::string::npos);
    EXPECT_EQ(page.find("No picture:"), std::string::npos);
}

// An activity search written with -o is named in the case; the report reads
// that document again and says whether its events are still the case's. The
// document never goes over the disk, the case or a device.
TEST_F(ReportCliTest, ASearchsDocumentIsNamedAndCheckedAgain)
{
    const std::string doc = dir.File("search.json"), html = dir.File("s.html");
    ToolRun r = Cli("activity " + disk + " --record 1 --mode fast --json -o " + doc + " --case " + kase);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(r.out.starts_with("document\t" + doc + "\t")) << r.out;
    const std::string eventsSha = r.out.substr(r.out.size() - 65, 64);
    EXPECT_EQ(Sh("jq -r .events_sha256 " + doc).out, eventsSha + "\n");
    EXPECT_EQ(Sh("sqlite3 -readonly " + kase + " 'SELECT document_path, events_sha256 FROM searches'").out,
              doc + "|" + eventsSha + "\n");
    ASSERT_EQ(Cli("report " + kase + " -o " + html).status, 0);
    EXPECT_NE(Read(html).find("the document&#39;s events still have this SHA-256"), std::string::npos);

    // One event's peak changed: the report says the document no longer holds the case's events.
    ASSERT_EQ(Sh("jq '.events[0].peak += 1' " + doc + " > " + doc + ".new && mv " + doc + ".new " + doc).status, 0);
    ASSERT_EQ(Cli("report " + kase + " -o " + html).status, 0);
    EXPECT_NE(Read(html).find("the document&#39;s events now have SHA-256 "), std::string::npos);

    const std::string diskBefore = Sha256Of("cat " + disk), caseBefore = Sha256Of("cat " + kase);
    for (const std::string& target : {disk, kase, std::string("/dev/null")}) {
        r = Cli("activity " + disk + " --record 1 --mode fast --json --case " + kase + " -o " + target);
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find("never written"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Cli("activity " + disk + " --record 1 --mode fast -o " + doc).status, 1);  // -o needs --json
    EXPECT_EQ(Sha256Of("cat " + disk), diskBefore);
    EXPECT_EQ(Sha256Of("cat " + kase), caseBefore);
}

TEST_F(ReportCliTest, HtmlIsOneFileThatABrowserDraws)
{
    const std::string html = dir.File("x.html");
    ASSERT_EQ(Cli("report " + kase + " -o " + html).status, 0);
    const std::string page = Read(html);
    // Every src= and href= (found by hand: std::regex recurses per
    // character and overflows on a picture's base64).
    int pictures = 0;
    for (const std::string attribute : {"src=\"", "href=\""}) {
        for (size_t at = page.find(attribute); at != std::string::npos; at = page.find(attribute, at + 1)) {
            const std::string value = page.substr(at + attribute.size(), 40);
            EXPECT_TRUE(value.starts_with("data:image/png;base64,")) << attribute << value;
            ++pictures;
        }
    }
    EXPECT_EQ(pictures, 3) << "the timeline and two bookmarks";
    EXPECT_EQ(page.find("url("), std::string::npos);

    if (Sh("command -v chromium").status != 0)
        GTEST_SKIP() << "chromium is not installed: the HTML is not drawn by a browser";
    const std::string shot = dir.File("shot.png");
    ToolRun r = Sh("timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
                   "--window-size=900,3000 --screenshot=" +
                   shot + " file://" + html);
    ASSERT_EQ(r.status, 0) << Read(dir.File("sh.txt"));
    EXPECT_EQ(Sh("identify -format '%w %h' " + shot).out, "900 3000");
    EXPECT_GT(std::stod(Sh("identify -format '%[fx:standard_deviation]' " + shot).out), 0.15);
}

TEST_F(ReportCliTest, AChangedOrMissingExportIsSaidNotVerified)
{
    const std::string pdf = dir.File("x.pdf");
    // One byte of the output changed.
    ASSERT_EQ(Sh("printf 'X' | dd of=" + exported + " bs=1 seek=1000 conv=notrunc status=none").status, 0);
    ToolRun r = Cli("report " + kase + " -o " + pdf);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 exports, 0 verified"), std::string::npos) << r.out;
    std::string text = Sh("pdftotext -layout " + pdf + " -").out;
    EXPECT_EQ(text.find("verified: all"), std::string::npos);
    EXPECT_NE(text.find("verification failed: 1 of 15 checks"), std::string::npos) << text;

    std::filesystem::remove(exported);
    r = Cli("report " + kase + " -o " + dir.File("y.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    text = Read(dir.File("y.html"));
    EXPECT_EQ(text.find("verified: all"), std::string::npos);
    EXPECT_NE(text.find("not verified: the output is missing"), std::string::npos);
}

TEST_F(ReportCliTest, ACaseAgainstAnotherDiskIsRefusedAndAMovedDiskIsNamed)
{
    const std::string moved = dir.File("moved.img");
    std::filesystem::rename(disk, moved);
    ToolRun r = Cli("report " + kase + " -o " + dir.File("x.pdf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the case's disk"), std::string::npos) << r.err;
    r = Cli("report " + kase + " --disk " + moved + " -o " + dir.File("x.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Read(dir.File("x.html")).find(moved), std::string::npos) << "the path read from is stated";

    // Another disk where the case's disk was: refused, nothing written.
    ASSERT_EQ(RunTool(Bin() + "/quillon-mkdisk -o " + disk + " --recover-demo", dir.File("mk.txt")).status, 0);
    r = Cli("report " + kase + " -o " + dir.File("z.pdf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not the disk of case"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("z.pdf")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("z.pdf.sha256")));
    // Never over the evidence or the case, whatever name leads to them.
    const std::string diskSha = Sha256Of("cat " + moved), caseSha = Sha256Of("cat " + kase);
    for (const std::string& onto : {moved, kase}) {
        std::filesystem::remove(dir.File("link.pdf"));
        std::filesystem::create_symlink(onto, dir.File("link.pdf"));
        r = Cli("report " + kase + " --disk " + moved + " -o " + dir.File("link.pdf"));
        EXPECT_EQ(r.status, 1) << onto;
        EXPECT_NE(r.err.find("the report is never written over it"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Sha256Of("cat " + moved), diskSha);
    EXPECT_EQ(Sha256Of("cat " + kase), caseSha);
    r = Cli("report " + kase + " -o " + dir.File("z.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("must end in .html or .pdf"), std::string::npos) << r.err;
}

}  // namespace
