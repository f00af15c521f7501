// The case report's markup from a made-up CaseReport: the examiner's words
// kept as text (never markup), recorder times followed by their reference
// time and never replaced, plain statements where a fact is missing.
#include <gtest/gtest.h>

#include <string>

#include "report/case_report.h"
#include "report/html_report.h"

namespace {

TEST(ReportMarkup, RecorderTimesKeepTheirReferenceBesideThem)
{
    EXPECT_EQ(report::Corrected("2006-03-15 23:59:37", -85).Text(),
              "2006-03-15 23:59:37 (reference 2006-03-15 23:58:12)");
    EXPECT_EQ(report::Corrected("2006-12-31 23:59:30", 45).Text(),
              "2006-12-31 23:59:30 (reference 2007-01-01 00:00:15)");
    EXPECT_EQ(report::Corrected("2006-03-15 23:59:37", std::nullopt).Text(), "2006-03-15 23:59:37");
    // A recording whose time was not recorded has no clock to correct.
    EXPECT_EQ(report::Corrected("c1 +00:00:05", -85).Text(), "c1 +00:00:05");
}

TEST(ReportMarkup, TheExaminersWordsAreTextAndMissingFactsAreSaid)
{
    report::CaseReport r;
    r.header.number = "7 & 8";
    r.header.notes = "<img src=\"http://example.invalid/x.png\"> seen";
    r.disk.path = "disk.img";
    report::BookmarkFacts b;
    b.bookmark.id = 3;
    b.bookmark.note = "</td></tr></table><script>alert(1)</script>";
    b.pictureProblem = "no picture could be read at position 4 of record 1";
    b.sectorsProblem = "the position could not be shown";
    r.bookmarks.push_back(b);
    report::ExportFacts e;
    e.entry.path = "out.mkv";
    e.verdict = "not verified: the output is missing: out.mkv";
    r.exports.push_back(e);
    r.timeline = QImage(8, 4, QImage::Format_RGB32);
    r.timeline.fill(Qt::red);

    int asked = 0;
    const std::string html = report::ReportMarkup(r, [&asked](const QImage& picture, const std::string& name) {
        ++asked;
        EXPECT_EQ(picture.width(), 8);
        return "data:" + name;
    });
    EXPECT_EQ(asked, 1) << "only the timeline has a picture";
    EXPECT_NE(html.find("src=\"data:timeline.png\""), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find("http://example.invalid/x.png\">"), std::string::npos);
    EXPECT_NE(html.find("&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;script&gt;"), std::string::npos);
    EXPECT_NE(html.find("7 &amp; 8"), std::string::npos);
    EXPECT_NE(html.find("The whole disk was not hashed."), std::string::npos);
    EXPECT_NE(html.find("No picture: no picture could be read at position 4 of record 1"), std::string::npos);
    EXPECT_NE(html.find("not verified: the output is missing: out.mkv"), std::string::npos);
    EXPECT_NE(html.find("The case holds no clock observation"), std::string::npos);
    EXPECT_NE(html.find("The case holds no activity search."), std::string::npos);
}

}  // namespace
