#include <gtest/gtest.h>

#include <set>

#include "CommandLine.h"

namespace tabulo::test {
namespace {

using Task = CommandLine::Task;

// Parses with "modern", "blue" and "my theme" as the themes there are.
CommandLine parse(const std::vector<std::string>& args) {
    static const std::set<std::string> themes{"modern", "blue", "my theme"};
    return ParseCommandLine(args, [](const std::string& name) { return themes.contains(name); });
}

// Arguments, and the line or the mistake they make.
struct Case {
    std::vector<std::string> args;
    std::string expected;
};

TEST(CommandLineTest, TheWindowsLineIsHandedOnAsItWas) {
    const Case cases[] = {
        {{"\"/x/site\"-view"}, "\"/x/site\"-view"},
        {{"\"/x/site\"-noquit-view -sheme my theme"}, "\"/x/site\"-noquit-view -sheme my theme"},
        {{"/x/site", "-noquit", "-sheme", "my", "theme"}, "/x/site -noquit -sheme my theme"},
        {{"/x/site", "-sheme", "green", "tea"}, "/x/site -sheme green tea"},  // no such theme
        {{"/x/my", "site", "-view"}, "/x/my site -view"},
        {{"", "-view"}, "-view"},
        {{"", "-sheme", "blue"}, "-sheme blue"},
        {{"\"\""}, "\"\""},
        {{"/x/my-viewer"}, "/x/my-viewer"},
    };
    for (const Case& c : cases) {
        CommandLine cl = parse(c.args);
        EXPECT_EQ(cl.mistake, "") << c.expected;
        EXPECT_EQ(cl.task, Task::Index) << c.expected;
        EXPECT_EQ(cl.line, c.expected);
    }
}

TEST(CommandLineTest, SwitchesBeforeTheFolderGoAfterIt) {
    const Case cases[] = {
        {{"-sheme", "modern", "/x/site"}, "/x/site -sheme modern"},
        {{"-sheme", "my", "theme", "/x/site"}, "/x/site -sheme my theme"},
        // An unknown theme is its first word, so the folder stays the folder.
        {{"-sheme", "modren", "/x/site"}, "/x/site -sheme modren"},
        {{"-view", "-sheme", "blue", "-noquit", "/x/site"}, "/x/site -view -noquit -sheme blue"},
        {{"-q", "-sheme", "blue", "/x/site", "-view"}, "/x/site -view -sheme blue"},
        {{"/x/site", "-sheme", "blue", "--jobs", "2"}, "/x/site -sheme blue"},
        {{"--", "-name"}, "-name"},
        {{"-view", "--", "-name", "-x"}, "-name -x -view"},
    };
    for (const Case& c : cases) {
        CommandLine cl = parse(c.args);
        EXPECT_EQ(cl.mistake, "") << c.expected;
        EXPECT_EQ(cl.line, c.expected);
    }
}

TEST(CommandLineTest, OptionsTakeTheirArgumentEitherWay) {
    for (const auto& args : {std::vector<std::string>{"--answer", "yes", "--jobs", "4", "site"},
                             std::vector<std::string>{"site", "--answer=yes", "--jobs=4"}}) {
        CommandLine cl = parse(args);
        EXPECT_EQ(cl.mistake, "");
        EXPECT_EQ(cl.answer, Answer::Yes);
        EXPECT_EQ(cl.jobs, 4);
        EXPECT_EQ(cl.line, "site");
    }
    EXPECT_EQ(parse({"--answer=cancel", "site"}).answer, Answer::Cancel);
    EXPECT_EQ(parse({"site", "--answer", "yes", "--answer", "no"}).answer, Answer::No);
    struct TaskCase {
        std::vector<std::string> args;
        Task task;
        std::string target, line;
    };
    const TaskCase cases[] = {
        {{"--watch", "/x/site"}, Task::Watch, "/x/site", ""},
        {{"--watch=/x/site", "-sheme", "my", "theme"}, Task::Watch, "/x/site", "-sheme my theme"},
        {{"-sheme", "nope", "--watch", "/x/site"}, Task::Watch, "/x/site", "-sheme nope"},
        {{"--save-theme", "mine"}, Task::SaveTheme, "mine", ""},
        {{"--save-theme=my own", "-sheme", "blue"}, Task::SaveTheme, "my own", "-sheme blue"},
        {{"--scripts", "/x/cgi"}, Task::Scripts, "/x/cgi", ""},
        {{"--audit", "/x/site", "--json", "-sheme", "modern"}, Task::Audit, "/x/site", "-sheme modern"},
        {{"--themes"}, Task::ListThemes, "", ""},
        {{"--version"}, Task::Version, "", ""},
    };
    for (const TaskCase& c : cases) {
        CommandLine cl = parse(c.args);
        EXPECT_EQ(cl.mistake, "") << c.args[0];
        EXPECT_EQ(cl.task, c.task) << c.args[0];
        EXPECT_EQ(cl.target, c.target);
        EXPECT_EQ(cl.line, c.line);
    }
    // Text to look for is any word, one that starts with a dash too.
    for (const auto& args : {std::vector<std::string>{"--search", "-0.js", "/x/site"},
                             std::vector<std::string>{"--search=-0.js", "/x/site"}}) {
        CommandLine cl = parse(args);
        EXPECT_EQ(cl.mistake, "") << args[0];
        EXPECT_EQ(cl.task, Task::Search);
        EXPECT_EQ(cl.query, "-0.js");
        EXPECT_EQ(cl.target, "/x/site");
    }
    EXPECT_TRUE(parse({"--audit", "/x/site", "--json"}).json);
    EXPECT_FALSE(parse({"--audit", "/x/site"}).json);
    EXPECT_EQ(parse({"--audit", "/x/site", "/y"}).mistake, "`--audit` takes only -sheme THEME besides");
    EXPECT_EQ(parse({"site", "-v"}).verbosity, Verbosity::Verbose);
    EXPECT_EQ(parse({"--quiet", "site"}).verbosity, Verbosity::Quiet);
    EXPECT_EQ(parse({"site"}).verbosity, Verbosity::Normal);
}

TEST(CommandLineTest, HelpWinsOverEverythingElse) {
    for (const auto& args : {std::vector<std::string>{"-h"}, std::vector<std::string>{"--help"},
                             std::vector<std::string>{"site", "-x", "-h"},
                             std::vector<std::string>{"--themes", "site", "--help"}}) {
        CommandLine cl = parse(args);
        EXPECT_EQ(cl.mistake, "") << args[0];
        EXPECT_EQ(cl.task, Task::Help) << args[0];
    }
}

TEST(CommandLineTest, MistakesAreNamedWithWhatToDo) {
    const Case cases[] = {
        {{"site", "-scheme", "modern"}, "unknown option `-scheme`; did you mean `-sheme`?"},
        {{"-scheme", "modern", "site"}, "unknown option `-scheme`; did you mean `-sheme`?"},
        {{"site", "--sheme", "modern"}, "unknown option `--sheme`; did you mean `-sheme`?"},
        {{"--sheme=modern", "site"}, "unknown option `--sheme`; did you mean `-sheme`?"},
        {{"site", "--verbos"}, "unknown option `--verbos`; did you mean `--verbose`?"},
        {{"--anwser", "yes", "site"}, "unknown option `--anwser`; did you mean `--answer`?"},
        {{"-View", "site"}, "unknown option `-View`; did you mean `-view`?"},
        {{"site", "-x"}, "unknown option `-x`; a folder of that name is given as `./-x`"},
        {{"-foo", "site"}, "unknown option `-foo`; a folder of that name is given as `./-foo`"},
        {{"--answer", "site"}, "`--answer` takes yes, no or cancel, not `site`"},
        {{"--answer"}, "`--answer` needs an argument: --answer yes|no|cancel"},
        {{"--answer", "--jobs", "2", "site"}, "`--answer` needs an argument: --answer yes|no|cancel"},
        {{"site", "--answer="}, "`--answer` needs an argument: --answer yes|no|cancel"},
        {{"--watch"}, "`--watch` needs an argument: --watch FOLDER"},
        {{"--watch", "-q"}, "`--watch` needs an argument: --watch FOLDER"},
        {{"--save-theme"}, "`--save-theme` needs an argument: --save-theme NAME"},
        {{"--scripts"}, "`--scripts` needs an argument: --scripts FOLDER"},
        {{"site", "--jobs"}, "`--jobs` needs an argument: --jobs N"},
        {{"site", "-sheme"}, "`-sheme` needs an argument: -sheme THEME"},
        {{"site", "-sheme", "-view"}, "`-sheme` needs an argument: -sheme THEME"},
        {{"--answer=maybe", "site"}, "`--answer` takes yes, no or cancel, not `maybe`"},
        {{"--jobs", "0", "site"}, "`--jobs` takes a number from 1 to 256, not `0`"},
        {{"--jobs=257", "site"}, "`--jobs` takes a number from 1 to 256, not `257`"},
        {{"--jobs", "2x", "site"}, "`--jobs` takes a number from 1 to 256, not `2x`"},
        {{"-q", "-v", "site"}, "`--quiet` and `--verbose` exclude each other"},
        {{"--watch", "a", "--scripts", "b"}, "`--scripts` and `--watch` exclude each other"},
        {{"--themes", "site"}, "`--themes` takes nothing else"},
        {{"--themes", "-sheme", "blue"}, "`--themes` takes nothing else"},
        {{"--watch", "a", "b"}, "`--watch` takes only -sheme THEME besides"},
        {{"--save-theme", "x", "-view"}, "`--save-theme` takes only -sheme THEME besides"},
        {{}, "no folder on the command line"},
        {{"-q"}, "no folder on the command line"},
    };
    for (const Case& c : cases) {
        CommandLine cl = parse(c.args);
        EXPECT_EQ(cl.mistake, c.expected) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(cl.line, "");  // nothing is indexed
    }
}

TEST(CommandLineTest, OnlyCloseNamesAreSuggested) {
    const std::vector<std::string> themes{"default", "modern", "blue"};
    EXPECT_EQ(ClosestName("modren", themes), "modern");  // two letters swapped
    EXPECT_EQ(ClosestName("moder", themes), "modern");
    EXPECT_EQ(ClosestName("Blue", themes), "blue");
    EXPECT_EQ(ClosestName("bleu", themes), "blue");
    EXPECT_EQ(ClosestName("blau", themes), std::nullopt);  // one mistake in four letters only
    EXPECT_EQ(ClosestName("green", themes), std::nullopt);
    EXPECT_EQ(ClosestName("modern", themes), std::nullopt);  // nothing to correct
    EXPECT_EQ(ClosestName("", themes), std::nullopt);
    EXPECT_EQ(ClosestName("x", {}), std::nullopt);
}

TEST(CommandLineTest, HelpNamesEveryOptionAndSwitch) {
    const std::string help = HelpText();
    EXPECT_TRUE(help.starts_with(UsageText()));
    for (const char* name : {"--answer yes|no|cancel", "--jobs N", "--themes", "--save-theme NAME",
                             "--scripts FOLDER", "--watch FOLDER", "-q,--quiet", "-v,--verbose",
                             "-h,--help", "--version", "-view", "-noquit", "-sheme THEME"}) {
        EXPECT_NE(help.find("\n  " + std::string(name) + " "), std::string::npos) << name;
    }
    // Every line fits a terminal.
    for (std::size_t at = 0, next; at < help.size(); at = next + 1) {
        next = help.find('\n', at);
        EXPECT_LE(next - at, 100u) << help.substr(at, next - at);
    }
}

}  // namespace
}  // namespace tabulo::test
