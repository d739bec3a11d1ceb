#include "run/RunSummary.h"

namespace tabulo {

namespace {

constexpr std::string_view kDone = "Done", kCancelled = "Cancelled";

}  // namespace

std::string CountedText(long long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string_view RunEndText(const IndexRun& run) {
    return run.replaceCancelled ? kCancelled : kDone;
}

bool IsRunEnd(std::string_view statusLine) {
    return statusLine == kDone || statusLine == kCancelled;
}

std::string RunSummaryText(const IndexRun& run, unsigned errors) {
    std::string text = CountedText(run.pagesWritten, "page written", "pages written");
    if (run.pagesUnchanged > 0) text += ", " + std::to_string(run.pagesUnchanged) + " unchanged";
    if (run.pagesDeclined > 0) text += ", " + std::to_string(run.pagesDeclined) + " kept";
    if (run.foldersSkipped > 0)
        text += ", " + CountedText(run.foldersSkipped, "folder skipped", "folders skipped");
    if (errors > 0) text += ", " + CountedText(errors, "error", "errors");
    return text;
}

}  // namespace tabulo
