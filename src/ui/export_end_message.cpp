#include "ui/export_end_message.h"

namespace ui {

std::optional<std::string> ExportEndMessage(const exporter::ExportOutcome& outcome,
                                            const std::function<std::string(int position)>& timeAt,
                                            const std::string& notWritten)
{
    using End = exporter::ExportOutcome::End;
    const std::string why = outcome.error.empty() ? std::string() : ": " + outcome.error;
    const std::string written = outcome.lastPosition >= 0 && outcome.firstPosition >= 0
                                    ? "The exported file holds " + timeAt(outcome.firstPosition) + " to " +
                                          timeAt(outcome.lastPosition) + " only."
                                    : "The exported file holds no picture.";
    switch (outcome.end) {
    case End::Completed:
    case End::Stopped: return std::nullopt;
    case End::RecordEnded:
        return "The export ended before the end mark: the record ends, or could not be read further" + why + ".\n" +
               written;
    case End::NothingRead: return "The export could read nothing at the begin mark" + why + ".\nNo file was written.";
    case End::ReadFailed:
        // A second of the segment could not be read whole: the file and its
        // report were removed.
        return "The export failed" + why + ".\nNo file was left.";
    case End::WriteFailed:
        // Never the completion message over a file that is not whole.
        return (outcome.error.empty() ? notWritten : outcome.error) + "\nThe exported file is incomplete.";
    default: break;
    }
    // Any other early end: said with the run's own reason.
    return "The export ended early" + why + ".\n" + written + " The exported file is incomplete.";
}

std::optional<std::string> UndecodedMessage(const exporter::ExportOutcome& outcome)
{
    constexpr std::size_t kNamed = 3;
    if (outcome.undecoded.empty())
        return std::nullopt;
    int pictures = 0;
    std::string named;
    for (std::size_t i = 0; i < outcome.undecoded.size(); ++i) {
        pictures += outcome.undecoded[i].count;
        if (i < kNamed)
            named += (named.empty() ? "" : "; ") + exporter::UndecodedText(outcome.undecoded[i]);
    }
    const std::size_t more = outcome.undecoded.size() > kNamed ? outcome.undecoded.size() - kNamed : 0;
    return std::to_string(pictures) + (pictures == 1 ? " picture was" : " pictures were") +
           " read but could not be decoded (damaged frames); the exported file shows no picture in their place:\n" +
           named + (more ? "; and " + std::to_string(more) + " more (the export's report names them all)." : ".");
}

}  // namespace ui
