// quillon-cli case: a case file made, added to and shown, read back with
// sqlite3 (an independent reader), refused when it is no case, a newer or a
// damaged one, or opened against another disk; no bookmark whose command
// returned is lost to a killed process, and two writers at once both land.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

class CaseCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* option : {"--demo", "--recover-demo"}) {
            const std::string disk = dir.File(std::string(option + 2) + ".img");
            const ToolRun made = RunTool(Bin() + "/quillon-mkdisk -o " + disk + " " + option, dir.File("mkdisk.txt"));
            ASSERT_EQ(made.status, 0) << made.err;
        }
    }
    static std::string Bin() { return QUILLON_BIN_DIR; }
    ToolRun Cli(const std::string& args) { return RunTool(Bin() + "/quillon-cli " + args, dir.File("err.txt")); }
    ToolRun Sql(const std::string& file, const std::string& sql)
    {
        return RunTool("sqlite3 -readonly -batch " + file + " \"" + sql + "\"", dir.File("sql.txt"));
    }
    std::string Sha256(const std::string& file)
    {
        return RunTool("sha256sum " + file, dir.File("sha.txt")).out.substr(0, 64);
    }
    testing_support::TempDir dir;
};

TEST_F(CaseCliTest, ACaseHoldsItsDiskBookmarksAndClockAndSqliteReadsTheSame)
{
    const std::string disk = dir.File("recover-demo.img"), kase = dir.File("one.case");
    const std::string before = Sha256(disk);
    ToolRun r = Cli("case create " + kase + " --disk " + disk +
                    " --number 2026/117 --title 'Van at the gate' --examiner 'A. Example' --imaging-notes "
                    "'imaged behind a write blocker, image MD5 given by the imager'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sector 0 SHA-256 "), std::string::npos) << r.out;
    r = Cli("case bookmark " + kase + " --record 1 --at 2 --picture 3 --view 2 --note 'the van enters'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bookmark 1: record 1, position 2, picture 3, view 2\n");
    // A recording the table no longer lists, by its id (the disk is scanned).
    r = Cli("case bookmark " + kase + " --record c1 --at 0 --note 'carved: a person at the door'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bookmark 2: record c1, position 0, picture 0, view quad\n");
    r = Cli("case clock " + kase +
            " --recorder '2023-05-14 09:31:00' --reference '2023-05-14 09:28:55' --note "
            "'the phone of the examiner'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "clock observation 1: the recorder is 125 s ahead of the reference\n");

    r = Cli("case show " + kase + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["case"]["number"], "2026/117");
    EXPECT_EQ(doc["case"]["examiner"], "A. Example");
    EXPECT_EQ(doc["schema"], 2);
    EXPECT_EQ(doc["disk"]["imaging_notes"], "imaged behind a write blocker, image MD5 given by the imager");
    EXPECT_EQ(doc["disk"]["path"], disk);
    EXPECT_EQ(doc["disk"]["sector0_sha256"],
              RunTool("head -c 512 " + disk + " | sha256sum", dir.File("h.txt")).out.substr(0, 64));
    ASSERT_EQ(doc["bookmarks"].size(), 2u);
    EXPECT_EQ(doc["bookmarks"][0]["record"], 1);
    EXPECT_EQ(doc["bookmarks"][0]["position"], 2);
    EXPECT_EQ(doc["bookmarks"][0]["picture"], 3);
    EXPECT_EQ(doc["bookmarks"][0]["view"], "2");
    EXPECT_EQ(doc["bookmarks"][0]["note"], "the van enters");
    EXPECT_EQ(doc["bookmarks"][1]["record"], "c1");
    EXPECT_EQ(doc["clock"][0]["offset_seconds"], -125);
    EXPECT_TRUE(doc["exports"].empty());
    EXPECT_TRUE(doc["searches"].empty());

    EXPECT_EQ(Sql(kase, "PRAGMA integrity_check").out, "ok\n");
    EXPECT_EQ(Sql(kase, "PRAGMA journal_mode").out, "wal\n");
    EXPECT_EQ(Sql(kase, "SELECT record, position, picture, view, note FROM bookmarks ORDER BY id").out,
              "1|2|3|2|the van enters\nc1|0|0|quad|carved: a person at the door\n");
    EXPECT_EQ(Sql(kase, "SELECT recorder, reference, offset_seconds FROM clock_observations").out,
              "2023-05-14 09:31:00|2023-05-14 09:28:55|-125\n");
    EXPECT_EQ(Sha256(disk), before) << "the evidence disk is never written";

    // A case of the first schema (no imaging notes) is brought up to date
    // on opening and keeps everything it held.
    const std::string old = dir.File("old.case");
    r = RunTool("cp " + kase + " " + old + " && sqlite3 " + old +
                    " 'ALTER TABLE disk DROP COLUMN imaging_notes; PRAGMA user_version = 1'",
                dir.File("s.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli("case show " + old + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json migrated = nlohmann::json::parse(r.out);
    EXPECT_EQ(migrated["schema"], 2);
    EXPECT_EQ(migrated["disk"]["imaging_notes"], "");
    EXPECT_EQ(migrated["bookmarks"].size(), 2u);
    EXPECT_EQ(Sql(old, "PRAGMA user_version").out, "2\n");

    // From another directory the case still finds its disk.
    r = RunTool("cd / && " + Bin() + "/quillon-cli case bookmark " + kase + " --record 2 --at 0 --note x",
                dir.File("err.txt"));
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(CaseCliTest, RefusalsSayWhyAndWriteNothing)
{
    const std::string disk = dir.File("demo.img"), kase = dir.File("k.case");
    ASSERT_EQ(Cli("case create " + kase + " --disk " + disk).status, 0);
    struct Refusal {
        std::string args;
        std::string says;
    };
    const Refusal refusals[] = {
        {"case create " + kase + " --disk " + disk, "exists: a new case file is never written over another file"},
        {"case create " + dir.File("x.case") + " --disk " + dir.File("none.img"), "none.img"},
        {"case bookmark " + kase + " --record 1 --at 999 --note x", "--at"},
        {"case bookmark " + kase + " --record 1 --at 0 --picture 99 --note x", "--picture"},
        {"case bookmark " + kase + " --record 1 --at 0 --view 5 --note x", "--view takes quad or 1 to 4"},
        {"case bookmark " + kase + " --record 9 --at 0 --note x", "record out of range"},
        {"case clock " + kase + " --recorder 2023-05-14 --reference '2023-05-14 09:28:55'", "--recorder takes"},
        {"case show " + dir.File("none.case"), "no such case file"},
        {"case", "case needs one of:"},
    };
    for (const Refusal& refusal : refusals) {
        const ToolRun r = Cli(refusal.args);
        EXPECT_EQ(r.status, 1) << refusal.args;
        EXPECT_NE(r.err.find(refusal.says), std::string::npos) << refusal.args << "\n" << r.err;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.case")).good()) << "a refused create leaves no file";
    EXPECT_EQ(Sql(kase, "SELECT count(*) FROM bookmarks").out, "0\n");

    // Another disk at the case's path: the case is refused before anything is added.
    ASSERT_EQ(RunTool("cp " + dir.File("recover-demo.img") + " " + disk, dir.File("cp.txt")).status, 0);
    ToolRun r = Cli("case bookmark " + kase + " --record 1 --at 0 --note x");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not the disk of case"), std::string::npos) << r.err;
    EXPECT_EQ(Sql(kase, "SELECT count(*) FROM bookmarks").out, "0\n");

    // Files that are no case, a case of a newer schema, a damaged case.
    const std::string plain = dir.File("plain.db"), text = dir.File("text.case"), newer = dir.File("newer.case");
    ASSERT_EQ(RunTool("sqlite3 " + plain + " 'CREATE TABLE t(x)'", dir.File("s.txt")).status, 0);
    std::ofstream(text) << "case number 7\n";
    ASSERT_EQ(
        RunTool("cp " + kase + " " + newer + " && sqlite3 " + newer + " 'PRAGMA user_version = 9'", dir.File("s.txt"))
            .status,
        0);
    const std::string damaged = dir.File("damaged.case");
    ASSERT_EQ(RunTool("cp " + kase + " " + damaged + " && sqlite3 " + damaged +
                          " 'PRAGMA wal_checkpoint(TRUNCATE)' && head -c 300 /dev/zero | tr '\\\\0' 'x' | dd of=" +
                          damaged + " bs=1 seek=4096 conv=notrunc status=none",
                      dir.File("s.txt"))
                  .status,
              0);
    for (const auto& [file, says] :
         {std::pair{plain, "is not a Quillon case file"}, std::pair{text, "is not a case file"},
          std::pair{newer, "is a case of a newer Quillon (schema 9"}, std::pair{damaged, "damaged"}}) {
        r = Cli("case show " + file);
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.err.find(says), std::string::npos) << file << "\n" << r.err;
    }
}

TEST_F(CaseCliTest, ExportsAndSearchesMadeWithTheCaseAreKeptWithTheirHashes)
{
    const std::string disk = dir.File("demo.img"), kase = dir.File("k.case"), out = dir.File("part.mpg");
    ASSERT_EQ(Cli("case create " + kase + " --disk " + disk).status, 0);
    ToolRun r = Cli("export " + disk + " --record 1 --from 1 --to 2 -o " + out + " --case " + kase);
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli("activity " + disk + " --record 1 --mode fast --json --case " + kase);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json search = nlohmann::json::parse(r.out);

    r = Cli("case show " + kase + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["exports"].size(), 1u);
    EXPECT_EQ(doc["exports"][0]["path"], out);
    EXPECT_EQ(doc["exports"][0]["report_path"], out + ".report.json");
    EXPECT_EQ(doc["exports"][0]["output_sha256"], Sha256(out));
    ASSERT_EQ(doc["searches"].size(), 1u);
    EXPECT_EQ(doc["searches"][0]["events_sha256"], search["events_sha256"]);
    EXPECT_EQ(doc["searches"][0]["parameters"].get<std::string>().rfind("mode=fast records=1 ", 0), 0u)
        << doc["searches"][0]["parameters"];

    // A case of another disk: refused before anything is written.
    const std::string other = dir.File("other.case"), refused = dir.File("refused.mpg");
    ASSERT_EQ(Cli("case create " + other + " --disk " + dir.File("recover-demo.img")).status, 0);
    r = Cli("export " + disk + " --record 1 --from 1 --to 2 -o " + refused + " --case " + other);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not the disk of case"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(refused).good());
    r = Cli("activity " + disk + " --record 1 --mode fast --case " + other);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(Sql(other, "SELECT count(*) FROM exports").out + Sql(other, "SELECT count(*) FROM searches").out,
              "0\n0\n");
}

TEST_F(CaseCliTest, AKilledWriterLosesNoReturnedBookmarkAndTwoWritersBothLand)
{
    const std::string disk = dir.File("demo.img"), kase = dir.File("k.case");
    ASSERT_EQ(Cli("case create " + kase + " --disk " + disk).status, 0);
    const std::string bookmark =
        Bin() + "/quillon-cli case bookmark " + kase + " --record 1 --at 1 --note \"writer $w number $i\"";
    // Two writers at once, ten bookmarks each: every one lands.
    const ToolRun both = RunTool("for w in a b; do (for i in $(seq 1 10); do " + bookmark +
                                     " >/dev/null || echo failed; done) & done; wait",
                                 dir.File("both.txt"));
    EXPECT_EQ(both.out.find("failed"), std::string::npos) << both.err;
    EXPECT_EQ(Sql(kase, "SELECT count(*) FROM bookmarks").out, "20\n");

    // A writer killed while it adds: what it said it added is there, and
    // the case is whole.
    const std::string returned = dir.File("returned.txt"), loop = dir.File("loop.sh");
    std::ofstream(loop) << "w=k; for i in $(seq 1 200); do " << bookmark << " >/dev/null && echo $i >> " << returned
                        << "; done\n";
    const ToolRun killed = RunTool("sh " + loop +
                                       " & p=$!; sleep 1.5; kill -9 $p; pkill -9 -f '[q]uillon-cli case "
                                       "bookmark'; wait; true",
                                   dir.File("killed.txt"));
    EXPECT_EQ(killed.status, 0);
    std::ifstream lines(returned);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        ++count;
    EXPECT_GT(count, 0);
    EXPECT_EQ(Sql(kase, "PRAGMA integrity_check").out, "ok\n");
    const int stored = std::stoi(Sql(kase, "SELECT count(*) FROM bookmarks WHERE note LIKE 'writer k%'").out);
    EXPECT_GE(stored, count) << "a bookmark whose command returned was lost";
    EXPECT_LE(stored, count + 1) << "at most the one being added when the kill came";
    EXPECT_EQ(Cli("case show " + kase).status, 0);
}

}  // namespace
