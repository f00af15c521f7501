#pragma once
// The case report as one self-contained HTML file: every picture inlined as
// a data: URI, nothing fetched from elsewhere.
#include <QImage>

#include <functional>
#include <string>

#include "platform/error.h"
#include "report/case_report.h"

namespace report {

// The picture's src attribute: a data: URI (HTML) or a resource name (PDF).
// name is unique within the report.
using PictureSource = std::function<std::string(const QImage& picture, const std::string& name)>;

// The report's markup, in the order the report is read; the same for both
// renderings (the PDF's layout reads a subset of HTML: tables, headings,
// paragraphs, pictures).
std::string ReportMarkup(const CaseReport& report, const PictureSource& source);

// ReportMarkup with pictures as PNG data: URIs, written whole to path.
platform::Result<void> WriteHtmlReport(const CaseReport& report, const std::string& path);

}  // namespace report
