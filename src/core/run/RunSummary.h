#pragma once

#include <string>
#include <string_view>

#include "run/IndexRun.h"

namespace tabulo {

// The status line's last text of a run that reached its end: "Cancelled" once the user
// answered Cancel to an overwrite question, else "Done".
std::string_view RunEndText(const IndexRun& run);
bool IsRunEnd(std::string_view statusLine);

// "1 page written", "2 pages written".
std::string CountedText(long long n, std::string_view one, std::string_view many);

// What a run did, in words: "12 pages written, 30 unchanged", then the pages kept (the answer was No), the
// folders skipped and the errors, each only when there were any.
std::string RunSummaryText(const IndexRun& run, unsigned errors);

// What the window shows after a run it started: the summary and the page to open.
struct RunReport {
    std::string text;
    std::string page;
    std::string folder;  // the page's folder, to open it in
};

}  // namespace tabulo
