#pragma once
// The case report as a PDF, laid out and written by Qt's own PDF writer:
// the same markup as the HTML report, its pictures handed to the layout as
// resources.
#include <string>

#include "platform/error.h"
#include "report/case_report.h"

namespace report {

platform::Result<void> WritePdfReport(const CaseReport& report, const std::string& path);

}  // namespace report
