#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "news/NewsRecord.h"
#include "options/Options.h"

namespace tabulo {

struct RunSettings;

// How many days back the "what's new" page and its feed look (txtWhatsNewDays): a whole
// number from 1 to 3650; anything else is 30.
int WhatsNewDays(const OptionValues& options);
// The most files the page lists and the feed carries: a tree that got thousands at once is
// summed up, not listed whole.
inline constexpr std::size_t kWhatsNewRows = 1000;
inline constexpr std::size_t kFeedEntries = 100;

// The "what's new" page of the run's top folder: the files of `items` (newest first), of the
// `total` changed within the last `days`, each with its folder, size, time and link.
std::string WhatsNewPage(const RunSettings& s, const std::vector<NewsItem>& items,
                         std::size_t total, int days);
// The same as an Atom feed (RFC 4287). Entry ids come from a file's path, size and time, so
// they stay across runs and a changed file is a new entry; `updated` is the feed's time.
std::string AtomFeed(const RunSettings& s, const std::vector<NewsItem>& items, int days,
                     std::int64_t updated);

// "2026-12-08T01:44:13Z".
std::string AtomTime(std::int64_t t);

}  // namespace tabulo
