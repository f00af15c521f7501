#include "report/pdf_report.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QString>
#include <QTextDocument>
#include <QUrl>

#include <filesystem>

#include "platform/whole_file.h"
#include "report/html_report.h"

namespace report {

platform::Result<void> WritePdfReport(const CaseReport& report, const std::string& path)
{
    QTextDocument document;
    const std::string markup = ReportMarkup(report, [&document](const QImage& picture, const std::string& name) {
        document.addResource(QTextDocument::ImageResource, QUrl(QString::fromStdString(name)), picture);
        return name;
    });
    document.setHtml(QString::fromStdString(markup));
    return platform::WriteWholeFile(path, [&](const std::string& temporary) {
        {
            QPdfWriter writer(QString::fromStdString(temporary));
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            writer.setResolution(150);
            writer.setTitle(QString::fromStdString("Case " + report.header.number + " " + report.header.title));
            writer.setCreator(QString::fromStdString("Quillon " + report.quillonVersion));
            // Laid out on the printable part of the page at the layout's own
            // resolution (the pictures' widths and the fonts are in its
            // units), then scaled onto the page by print.
            const QRectF printable = writer.pageLayout().paintRect(QPageLayout::Inch);
            constexpr qreal kLayoutDpi = 96;
            document.setPageSize(QSizeF(printable.width() * kLayoutDpi, printable.height() * kLayoutDpi));
            document.print(&writer);
        }  // the file is finished when the writer goes
        // Qt's writer tells no failure: a file with nothing in it is one.
        std::error_code ec;
        const auto size = std::filesystem::file_size(temporary, ec);
        return !ec && size > 0;
    });
}

}  // namespace report
