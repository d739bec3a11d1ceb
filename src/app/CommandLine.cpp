#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace tabulo {

namespace {

struct OptionSpec {
    std::string_view names;     // as the parser takes them; the last one is used in messages
    std::string_view argument;  // what follows the option; empty for a switch
    std::string_view help;
};

// The tool's own options.
constexpr std::array kOptions = {
    OptionSpec{"--answer", "yes|no|cancel",
               "the answer to overwrite questions when stdin is no terminal\n"
               "(default: no); cancel ends the run at the first page that is there"},
    OptionSpec{"--jobs", "N", "threads that read folders and render pages, 1 to 256\n"
                              "(default: one per core)"},
    OptionSpec{"--themes", "", "list the themes"},
    OptionSpec{"--save-theme", "NAME", "save the options after start-up as theme NAME"},
    OptionSpec{"--scripts", "FOLDER", "write the listing and upload scripts into FOLDER"},
    OptionSpec{"--watch", "FOLDER", "index FOLDER, then keep its pages current until\n"
                                    "SIGINT or SIGTERM"},
    OptionSpec{"--search", "TEXT", "print the paths of the names holding TEXT (\"*\" for any run\n"
                                   "of characters), read from the search index\n"
                                   "written in FOLDER; nothing is walked"},
    OptionSpec{"--audit", "FOLDER", "report what publishing FOLDER would make reachable\n"
                                    "(keys, passwords, repositories, ...); writes nothing.\n"
                                    "Exit status 3 when something serious is found"},
    OptionSpec{"--json", "", "with --audit: the report as JSON"},
    OptionSpec{"--endpoint", "URL", "with s3://BUCKET[/PREFIX]: the store's address\n"
                                    "(default: AWS_ENDPOINT_URL, else AWS in its region)"},
    OptionSpec{"--dry-run", "", "with s3://...: say what would be written, write nothing"},
    OptionSpec{"--inventory", "MANIFEST", "with s3://...: list the bucket from the manifest.json of\n"
                                          "an S3 Inventory (CSV), a file or s3://BUCKET/KEY"},
    OptionSpec{"-q,--quiet", "", "print only errors and the summary"},
    OptionSpec{"-v,--verbose", "", "print every step, each section of a theme too"},
    OptionSpec{"-h,--help", "", "print this help"},
    OptionSpec{"--version", "", "print the version"},
};

// The switches of the window's command line: words of the folder's line, which start-up
// finds in it by their text.
constexpr std::array kLineSwitches = {
    OptionSpec{"-view", "", "open the written page when done"},
    OptionSpec{"-noquit", "", "taken, as the window takes it; the tool ends all the same"},
    OptionSpec{"-sheme", "THEME", "index with that theme; without it \"default\" is used\n"
                                  "when it exists. THEME may hold blanks"},
};

std::vector<std::string> namesOf(const OptionSpec& o) {
    std::vector<std::string> names;
    std::string_view rest = o.names;
    while (!rest.empty()) {
        std::string_view name = rest.substr(0, rest.find(','));
        names.emplace_back(name);
        rest.remove_prefix(std::min(rest.size(), name.size() + 1));
    }
    return names;
}

std::string longName(const OptionSpec& o) {
    return namesOf(o).back();
}

std::vector<std::string> everyName() {
    std::vector<std::string> names;
    auto add = [&names](const auto& table) {
        for (const OptionSpec& o : table) {
            for (std::string& name : namesOf(o)) names.push_back(std::move(name));
        }
    };
    add(kOptions);
    add(kLineSwitches);
    return names;
}

const OptionSpec* optionNamed(std::string_view name) {
    for (const OptionSpec& o : kOptions) {
        auto names = namesOf(o);
        if (std::find(names.begin(), names.end(), name) != names.end()) return &o;
    }
    return nullptr;
}

bool isSwitchWord(const std::string& word) {
    return word.size() > 1 && word.starts_with('-');
}

std::string joined(std::vector<std::string>::const_iterator from,
                   std::vector<std::string>::const_iterator to) {
    std::string text;
    for (auto it = from; it != to; ++it) text += (it == from ? "" : " ") + *it;
    return text;
}

std::string needsArgument(const OptionSpec& o) {
    const std::string name = longName(o);
    return "`" + name + "` needs an argument: " + name + " " + std::string(o.argument);
}

std::string unknownOption(const std::string& word) {
    const std::string name = word.substr(0, word.find('='));
    std::string text = "unknown option `" + name + "`";
    if (auto near = ClosestName(name, everyName())) return text + "; did you mean `" + *near + "`?";
    return text + "; a folder of that name is given as `./" + name + "`";
}

// The parser's share of the arguments, and the window's switches taken out of them.
struct SortedWords {
    std::vector<std::string> forParser;
    std::vector<std::string> lineSwitches;  // "-view", "-noquit", "-sheme THEME", in order
    std::string mistake;
};

// The options that choose a task other than indexing; none of them takes a folder word.
constexpr std::array<std::pair<std::string_view, CommandLine::Task>, 6> kTasks = {{
    {"--audit", CommandLine::Task::Audit},
    {"--themes", CommandLine::Task::ListThemes},
    {"--search", CommandLine::Task::Search},
    {"--save-theme", CommandLine::Task::SaveTheme},
    {"--scripts", CommandLine::Task::Scripts},
    {"--watch", CommandLine::Task::Watch},
}};

bool choosesTask(const std::string& word) {
    std::string_view name = std::string_view(word).substr(0, word.find('='));
    return std::any_of(kTasks.begin(), kTasks.end(), [name](auto& t) { return t.first == name; });
}

// The words after "-sheme" from `from` up to the next switch: the theme's name. The window's
// line has the name last, blanks and all; here the folder may follow it. So the longest run of
// words that names a theme is the name; when none does, all of them are, unless the folder is
// still to come: then the first word is the name and the rest the folder.
std::size_t themeNameEnd(const std::vector<std::string>& args, std::size_t from,
                         bool folderToCome, const std::function<bool(const std::string&)>& isTheme) {
    std::size_t end = from;
    while (end < args.size() && !isSwitchWord(args[end])) ++end;
    for (std::size_t last = end; last > from; --last) {
        if (isTheme(joined(args.begin() + from, args.begin() + last))) return last;
    }
    return folderToCome && end > from ? from + 1 : end;
}

// The parser reads a word with one dash as a bundle of letters ("-view" would be -v -i -e -w),
// and the old line needs "-sheme" with the blanks of its theme name. So the window's switches
// are taken out first, as whole words; the rest, options and folder words alike, goes to the
// parser, which answers whatever else starts with a dash as an unknown option rather than
// gluing it into the folder. Options that take an argument are checked here for one, as the
// parser would take the next option for it.
SortedWords sortWords(const std::vector<std::string>& args,
                      const std::function<bool(const std::string&)>& isTheme) {
    SortedWords sorted;
    bool folderToCome = std::none_of(args.begin(), args.end(), choosesTask);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            sorted.forParser.insert(sorted.forParser.end(), args.begin() + i, args.end());
            break;
        }
        if (word == "-view" || word == "-noquit") {
            sorted.lineSwitches.push_back(word);
            continue;
        }
        if (word == "-sheme") {
            std::size_t end = themeNameEnd(args, i + 1, folderToCome, isTheme);
            if (end == i + 1) {
                sorted.mistake = needsArgument(kLineSwitches[2]);
                return sorted;
            }
            sorted.lineSwitches.push_back("-sheme " + joined(args.begin() + i + 1, args.begin() + end));
            i = end - 1;
            continue;
        }
        sorted.forParser.push_back(word);
        const OptionSpec* o = optionNamed(word.substr(0, word.find('=')));
        if (!o) {
            if (!isSwitchWord(word)) folderToCome = false;
            continue;
        }
        if (o->argument.empty()) continue;
        bool glued = word.find('=') != std::string::npos;
        // Text to look for may start with a dash, as names do: it is whatever word follows.
        const bool anyWord = o->argument == "TEXT";
        if (glued ? word.ends_with('=') : i + 1 == args.size() || (!anyWord && isSwitchWord(args[i + 1]))) {
            sorted.mistake = needsArgument(*o);
            return sorted;
        }
        // Glued, so that the parser takes a dash in it for part of the argument.
        if (!glued) sorted.forParser.back() = longName(*o) + "=" + args[++i];
    }
    return sorted;
}

std::optional<Answer> answerNamed(const std::string& text) {
    if (text == "yes") return Answer::Yes;
    if (text == "no") return Answer::No;
    if (text == "cancel") return Answer::Cancel;
    return std::nullopt;
}

std::optional<int> jobCount(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 256)
        return std::nullopt;
    return value;
}

CommandLine mistake(std::string text) {
    CommandLine c;
    c.mistake = std::move(text);
    return c;
}

// The words of the folder, then the switches, the theme last, as its name runs to the end of
// the line. Blanks join the words as the shell split them; an empty first word adds none.
std::string classicLine(const std::vector<std::string>& words,
                        const std::vector<std::string>& switches) {
    std::string line;
    auto add = [&line](const std::string& part) { line += (line.empty() ? "" : " ") + part; };
    std::for_each(words.begin(), words.end(), add);
    for (bool theme : {false, true}) {
        for (const std::string& s : switches) {
            if (s.starts_with("-sheme ") == theme) add(s);
        }
    }
    return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::function<bool(const std::string&)>& isTheme) {
    SortedWords sorted = sortWords(args, isTheme);
    if (!sorted.mistake.empty()) return mistake(sorted.mistake);

    CLI::App app{"", "tabulo-cli"};
    app.set_help_flag();  // ours tells of the window's switches too
    app.allow_extras();   // unknown options are answered below, with a suggestion
    std::array<std::string, kOptions.size()> values;
    std::array<bool, kOptions.size()> flags{};
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const std::string names(kOptions[i].names);
        if (kOptions[i].argument.empty()) {
            app.add_flag(names, flags[i]);
        } else {
            app.add_option(names, values[i])->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        }
    }
    std::vector<std::string> words;
    app.add_option("folder", words);
    std::vector<std::string> reversed(sorted.forParser.rbegin(), sorted.forParser.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        return mistake(e.what());
    }
    auto given = [&](std::string_view name) { return app.count(std::string(name)) > 0; };
    auto value = [&](std::string_view name) {
        return values[static_cast<std::size_t>(optionNamed(name) - kOptions.data())];
    };

    CommandLine c;
    if (given("--help")) {
        c.task = CommandLine::Task::Help;
        return c;
    }
    for (const std::string& extra : app.remaining()) {
        if (extra != "--") return mistake(unknownOption(extra));
    }
    if (given("--version")) {
        c.task = CommandLine::Task::Version;
        return c;
    }
    if (given("--answer")) {
        auto answer = answerNamed(value("--answer"));
        if (!answer) return mistake("`--answer` takes yes, no or cancel, not `" + value("--answer") + "`");
        c.answer = *answer;
    }
    if (given("--jobs")) {
        auto jobs = jobCount(value("--jobs"));
        if (!jobs) return mistake("`--jobs` takes a number from 1 to 256, not `" + value("--jobs") + "`");
        c.jobs = *jobs;
    }
    if (given("--quiet") && given("--verbose"))
        return mistake("`--quiet` and `--verbose` exclude each other");
    c.verbosity = given("--quiet")     ? Verbosity::Quiet
                  : given("--verbose") ? Verbosity::Verbose
                                       : Verbosity::Normal;

    std::string chosen;
    c.endpoint = given("--endpoint") ? value("--endpoint") : "";
    c.dryRun = given("--dry-run");
    c.inventory = given("--inventory") ? value("--inventory") : "";
    c.json = given("--json");
    if (c.json && !given("--audit")) return mistake("`--json` goes with `--audit` only");
    for (const auto& [name, task] : kTasks) {
        if (!given(name)) continue;
        if (!chosen.empty())
            return mistake("`" + chosen + "` and `" + std::string(name) + "` exclude each other");
        chosen = name;
        c.task = task;
        if (task != CommandLine::Task::ListThemes) c.target = value(name);
    }
    c.line = classicLine(words, sorted.lineSwitches);
    // A bucket instead of a folder: the address alone, then the switches.
    const bool bucket = chosen.empty() && words.size() == 1 && words[0].starts_with("s3://");
    if ((given("--endpoint") || c.dryRun || given("--inventory")) && !bucket)
        return mistake("`--endpoint`, `--dry-run` and `--inventory` go with an s3:// address only");
    if (bucket) {
        c.task = CommandLine::Task::Bucket;
        c.target = words[0];
        c.line = classicLine({}, sorted.lineSwitches);
        return c;
    }
    if (c.task == CommandLine::Task::Search) {
        // The folder follows the text: the one whose index is read.
        c.query = c.target;
        c.target = c.line;
        if (c.query.empty()) return mistake("`--search` needs something to look for");
        if (words.empty() || !sorted.lineSwitches.empty())
            return mistake("`--search TEXT` takes the folder of the index and nothing else");
    } else if (!chosen.empty()) {
        bool onlyTheme = words.empty() && std::all_of(sorted.lineSwitches.begin(),
                                                      sorted.lineSwitches.end(), [](auto& s) {
                                                          return s.starts_with("-sheme ");
                                                      });
        if (c.task == CommandLine::Task::ListThemes && !c.line.empty())
            return mistake("`--themes` takes nothing else");
        if (!onlyTheme) return mistake("`" + chosen + "` takes only -sheme THEME besides");
    } else if (c.line.empty()) {
        return mistake("no folder on the command line");
    }
    return c;
}

std::string UsageText() {
    return "usage: tabulo-cli [OPTIONS] FOLDER [-view] [-noquit] [-sheme THEME]\n"
           "       tabulo-cli --themes\n"
           "       tabulo-cli --save-theme NAME [-sheme THEME]\n"
           "       tabulo-cli --scripts FOLDER [-sheme THEME]\n"
           "       tabulo-cli --watch FOLDER [-sheme THEME]\n"
           "       tabulo-cli --search TEXT FOLDER\n"
           "       tabulo-cli --audit FOLDER [--json] [-sheme THEME]\n"
           "       tabulo-cli s3://BUCKET[/PREFIX] [--endpoint URL] [--dry-run]\n"
           "                  [--inventory MANIFEST] [-sheme THEME]\n";
}

std::string HelpText() {
    auto describe = [](const auto& table) {
        std::string text;
        for (const OptionSpec& o : table) {
            std::string head = "  " + std::string(o.names);
            if (!o.argument.empty()) head += " " + std::string(o.argument);
            head.resize(std::max<std::size_t>(head.size() + 2, 26), ' ');
            std::string help(o.help);
            for (std::size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 27)
                help.insert(at + 1, std::string(26, ' '));
            text += head + help + "\n";
        }
        return text;
    };
    return UsageText() +
           "Writes an index page into FOLDER and every folder below it; a summary ends the run.\n"
           "\nOptions (an argument also as --jobs=4):\n" +
           describe(kOptions) +
           "\nSwitches of the folder's line, also glued to it as in \"/srv/www\"-view:\n" +
           describe(kLineSwitches) +
           "\nA folder whose name starts with - is given after -- or as ./-name.\n"
           "Themes live in $TABULO_HOME, else $XDG_CONFIG_HOME/tabulo, else ~/.config/tabulo.\n"
           "Exit status: 0 done; 1 a run that failed or was cancelled; 2 a mistake in the\n"
           "arguments, an unknown theme, or a folder that does not exist.\n";
}

std::optional<std::string> ClosestName(std::string_view word,
                                       const std::vector<std::string>& names) {
    // Optimal string alignment: a swapped pair of letters is one mistake, as typed.
    auto distance = [](std::string_view a, std::string_view b) {
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            for (std::size_t j = 1; j <= b.size(); ++j) {
                std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
        return d[a.size()][b.size()];
    };
    // One mistake in every three letters at most: "-x" is no "-q" mistyped.
    std::size_t letters = word.size() - std::min(word.find_first_not_of('-'), word.size());
    std::optional<std::string> best;
    std::size_t bestDistance = letters / 3 + 1;
    for (const std::string& name : names) {
        std::size_t d = distance(word, name);
        if (d < bestDistance && name != word) {
            best = name;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace tabulo
