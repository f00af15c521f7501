#include "report/html_report.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdio>

#include "platform/whole_file.h"

namespace report {
namespace {

std::string Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

class Markup {
public:
    void Heading(int level, const std::string& text)
    {
        const std::string tag = "h" + std::to_string(level);
        html += "<" + tag + ">" + Escape(text) + "</" + tag + ">\n";
    }
    void Paragraph(const std::string& text) { html += "<p>" + Escape(text) + "</p>\n"; }
    void BeginTable() { html += "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n"; }
    void Row(const std::string& name, const std::string& value)
    {
        html +=
            "<tr><th width=\"27%\" align=\"left\" valign=\"top\">" + Escape(name) + "</th>" + Value(value) + "</tr>\n";
    }
    void HeaderRow(std::initializer_list<std::string> names)
    {
        html += "<tr>";
        for (const std::string& name : names)
            html += "<th align=\"left\">" + Escape(name) + "</th>";
        html += "</tr>\n";
    }
    void Cells(std::initializer_list<std::string> values)
    {
        html += "<tr>";
        for (const std::string& value : values)
            html += Value(value);
        html += "</tr>\n";
    }
    void EndTable() { html += "</table>\n"; }
    void Picture(const std::string& src, int width, const std::string& alt)
    {
        html += "<p><img src=\"" + Escape(src) + "\" width=\"" + std::to_string(width) + "\" alt=\"" + Escape(alt) +
                "\"></p>\n";
    }
    void Raw(const std::string& text) { html += text; }
    // A new page when printed (and in the PDF); nothing on a screen.
    void PageBreak() { html += "<div style=\"page-break-before: always\"></div>\n"; }
    std::string html;

private:
    // Values in a fixed-width face, small enough that a SHA-256 stays on one
    // line of an A4 page.
    static std::string Value(const std::string& text)
    {
        return "<td style=\"font-family:monospace;font-size:7.5pt\">" + Escape(text) + "</td>";
    }
};

std::string ViewText(const std::string& view) { return view == "quad" ? "the four cameras (quad)" : "camera " + view; }

}  // namespace

std::string ReportMarkup(const CaseReport& r, const PictureSource& source)
{
    Markup m;
    m.Raw("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>Case " + Escape(r.header.number) + " " +
          Escape(r.header.title) +
          "</title>\n<style>body{font-family:sans-serif;font-size:10pt} "
          "table{border-collapse:collapse;margin-bottom:8px} th,td{padding:3px} "
          "img{max-width:100%}</style>\n</head><body>\n");
    m.Heading(1, "Case " + r.header.number + (r.header.title.empty() ? "" : ": " + r.header.title));

    m.Heading(2, "Case");
    m.BeginTable();
    m.Row("Number", r.header.number);
    m.Row("Title", r.header.title);
    m.Row("Examiner", r.header.examiner);
    m.Row("Notes", r.header.notes);
    m.Row("Created", r.header.created);
    m.EndTable();

    m.Heading(2, "Disk");
    m.BeginTable();
    m.Row("Source path as given", r.disk.path);
    m.Row("Resolved path", r.disk.resolvedPath);
    if (r.diskUsed != r.disk.path && r.diskUsed != r.disk.resolvedPath)
        m.Row("Read for this report from", r.diskUsed);
    m.Row("Size", std::to_string(r.disk.bytes) + " bytes");
    m.Row("SHA-256 of sector 0", r.disk.sector0Sha256);
    m.Row("SHA-256 of the record table", r.disk.tableSha256.empty() ? "(no record listed)" : r.disk.tableSha256);
    m.Row("SHA-256 of the whole disk",
          r.disk.diskSha256.empty() ? "The whole disk was not hashed." : r.disk.diskSha256);
    if (!r.disk.imagingNotes.empty())
        m.Row("Imaging notes", r.disk.imagingNotes);
    m.EndTable();

    m.Heading(2, "Recorder clock");
    if (r.clocks.empty()) {
        m.Paragraph("The case holds no clock observation; recorder times are shown as recorded.");
    } else {
        m.BeginTable();
        m.HeaderRow({"Recorder time", "Reference time", "Offset (s)", "Note", "Author", "Created"});
        for (const auto& o : r.clocks)
            m.Cells({o.recorder, o.reference, (o.offsetSeconds > 0 ? "+" : "") + std::to_string(o.offsetSeconds),
                     o.note, o.author, o.created});
        m.EndTable();
        m.Paragraph("Offset in use: " + std::string(*r.offsetSeconds > 0 ? "+" : "") +
                    std::to_string(*r.offsetSeconds) +
                    " s (the latest observation). Recorder times below are followed by the reference time.");
    }

    m.Heading(2, "Timeline");
    if (!r.timeline.isNull())
        m.Picture(source(r.timeline, "timeline.png"), 660, "timeline");
    else
        m.Paragraph("The timeline could not be drawn: " + r.timelineProblem);
    if (r.anomalies.empty()) {
        m.Paragraph("No gap, overlap, unplaced or damaged record, or recovered recording.");
    } else {
        m.BeginTable();
        m.HeaderRow({"Kind", "What"});
        for (const Anomaly& a : r.anomalies)
            m.Cells({a.kind, a.text});
        m.EndTable();
    }

    m.PageBreak();
    m.Heading(2, "Bookmarks");
    if (r.bookmarks.empty())
        m.Paragraph("The case holds no bookmark.");
    for (const BookmarkFacts& f : r.bookmarks) {
        const casefile::Bookmark& b = f.bookmark;
        // Printed, each bookmark after the first begins a page: its
        // heading, picture and facts are never parted.
        if (&f != &r.bookmarks.front())
            m.PageBreak();
        m.Heading(3, "Bookmark " + std::to_string(b.id));
        if (!f.picture.isNull())
            m.Picture(source(f.picture, "bookmark" + std::to_string(b.id) + ".png"), 480,
                      "bookmark " + std::to_string(b.id));
        else
            m.Paragraph("No picture: " + f.pictureProblem);
        m.BeginTable();
        m.Row("Note", b.note);
        m.Row("Record", b.record);
        m.Row("Position",
              std::to_string(b.position) + " s, picture " + std::to_string(b.picture) + " within the second");
        m.Row("View", ViewText(b.view));
        m.Row("Time", f.time.Text());
        m.Row("Author", b.author);
        m.Row("Created", b.created);
        if (f.sectorCount > 0)
            m.Row("Sectors", std::to_string(f.firstSector) + " to " +
                                 std::to_string(f.firstSector + f.sectorCount - 1) + " (" +
                                 std::to_string(f.sectorCount) + " sectors)");
        m.Row("SHA-256 of those sectors", f.sectorsSha256.empty() ? f.sectorsProblem : f.sectorsSha256);
        m.EndTable();
    }

    m.Heading(2, "Exports");
    if (r.exports.empty())
        m.Paragraph("The case holds no export.");
    for (const ExportFacts& f : r.exports) {
        m.BeginTable();
        m.Row("Output", f.entry.path);
        m.Row("Report", f.entry.reportPath);
        m.Row("SHA-256 of the output (recorded)", f.entry.outputSha256);
        m.Row("Created", f.entry.created);
        m.Row("Verified now", f.verdict);
        m.EndTable();
    }

    m.Heading(2, "Activity searches");
    if (r.searches.empty())
        m.Paragraph("The case holds no activity search.");
    for (const SearchFacts& f : r.searches) {
        m.BeginTable();
        m.Row("Parameters", f.entry.parameters);
        m.Row("SHA-256 of the event list", f.entry.eventsSha256);
        m.Row("Document", f.entry.documentPath);
        m.Row("Document now", f.documentState);
        m.Row("Created", f.entry.created);
        m.EndTable();
    }

    m.Heading(2, "Programs");
    m.BeginTable();
    m.Row("Quillon", r.quillonVersion);
    for (const auto& library : r.libraries)
        m.Row(library.name, library.version);
    m.EndTable();
    m.Paragraph("Report made " + r.made + ".");
    m.Raw("</body></html>\n");
    return m.html;
}

platform::Result<void> WriteHtmlReport(const CaseReport& report, const std::string& path)
{
    std::string unsaved;  // the first picture that could not be encoded
    const std::string html = ReportMarkup(report, [&unsaved](const QImage& picture, const std::string& name) {
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") || png.isEmpty()) {
            if (unsaved.empty())
                unsaved = name.empty() ? "a picture" : name;
            return std::string();
        }
        return "data:image/png;base64," + png.toBase64().toStdString();
    });
    // A report without one of its pictures is not written at all.
    if (!unsaved.empty())
        return platform::Error{platform::ErrorKind::WriteFailed, unsaved + " could not be encoded as PNG"};
    return platform::WriteWholeFile(path, [&html](const std::string& temporary) {
        std::FILE* f = std::fopen(temporary.c_str(), "wb");
        if (!f)
            return false;
        const bool written = std::fwrite(html.data(), 1, html.size(), f) == html.size();
        return std::fclose(f) == 0 && written;
    });
}

}  // namespace report
