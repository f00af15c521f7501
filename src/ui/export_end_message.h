#pragma once
// What the window says when an export run ends: nothing of its own for a
// run that reached the end mark or that the user stopped (the completion
// message is shown then), otherwise why the file falls short, in words.
#include <functional>
#include <optional>
#include <string>

#include "export/segment_exporter.h"

namespace ui {

// timeAt gives the recorder's time of a position as the window shows it;
// notWritten is the text for a file that could not be written whole when
// the outcome carries no error of its own.
std::optional<std::string> ExportEndMessage(const exporter::ExportOutcome& outcome,
                                            const std::function<std::string(int position)>& timeAt,
                                            const std::string& notWritten);

// Said besides, whatever the end: the pictures the run read but could not
// decode (damaged frames), the first few by camera and second; nothing when
// every picture read was decoded.
std::optional<std::string> UndecodedMessage(const exporter::ExportOutcome& outcome);

}  // namespace ui
