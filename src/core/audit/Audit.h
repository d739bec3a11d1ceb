#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exposure/Exposure.h"

namespace tabulo {

struct RunSettings;

// One thing a published tree would give away.
struct AuditFinding {
    Exposure kind = Exposure::Leftover;
    std::string what;  // what the rule took it for: "private SSH key", "Git repository"
    std::string path;  // below the top folder, bytes as on disk; a folder's ends in "/"
    double size = 0;   // a file's bytes
    // How the pages would show it: as a row, not at all because its name is hidden (the web
    // server still hands it out), or left out by the option that withholds secrets.
    enum class Shown { Listed, Hidden, LeftOut };
    Shown shown = Shown::Listed;
    std::string target;  // where a link leads
};

// What the pages of a tree would make reachable, and what a web server serving the tree hands
// out besides.
struct AuditReport {
    std::string top;                     // the folder looked at
    std::vector<AuditFinding> findings;  // worst first, then by path
    std::uint64_t folders = 0;           // walked, the top one included
    std::uint64_t files = 0;             // every file a web server serves from the tree
    double bytes = 0;
    std::uint64_t listedFiles = 0;       // the files the pages show
    double listedBytes = 0;
    std::vector<std::pair<std::string, double>> largest;  // the largest files, largest first
    std::vector<std::string> unread;     // folders that could not be read, and why

    std::size_t serious() const;
};

// Walks the tree below the open folder `top` (at `topPath`) as a run with the settings `s`
// would, reading names, sizes and the first bytes of files that may hold a key; writes
// nothing. Links are looked at, never followed; version control folders are reported, not
// entered.
AuditReport AuditTree(const RunSettings& s, int top, const std::string& topPath);

// The report for people: findings grouped by kind and counted, worst first, then the totals.
std::string AuditText(const AuditReport& report);
// The same as one JSON object.
std::string AuditJson(const AuditReport& report);
// 3 when something serious is reachable, else 1 when a folder could not be read, else 0.
int AuditExitStatus(const AuditReport& report);

}  // namespace tabulo
