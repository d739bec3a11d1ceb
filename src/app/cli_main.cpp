// tabulo-cli: index a folder tree from the command line and end.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>

#include "Engine.h"
#include "TerminalHost.h"
#include "app/CommandLine.h"

namespace {

constexpr const char* kUsage =
    "usage: tabulo-cli [--answer=yes|no|cancel] [--help] [--version] FOLDER [-view] [-noquit]\n"
    "Writes an index page into FOLDER and every folder below it.\n"
    "  --answer=A  answer to overwrite questions when stdin is no terminal (default: no)\n"
    "  -view       open the written page when done\n";

int usageError(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "tabulo-cli: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tabulo::Answer answer = tabulo::Answer::No;
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!arg.starts_with("--")) break;
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("tabulo-cli 42");
            return 0;
        } else if (arg == "--answer=yes") {
            answer = tabulo::Answer::Yes;
        } else if (arg == "--answer=no") {
            answer = tabulo::Answer::No;
        } else if (arg == "--answer=cancel") {
            answer = tabulo::Answer::Cancel;
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }
    std::string line;
    for (; i < argc; ++i) line += (line.empty() ? "" : " ") + std::string(argv[i]);
    if (line.empty()) return usageError("");

    tabulo::TerminalHost host(answer, ::isatty(STDIN_FILENO) != 0, stdin, stderr);
    tabulo::Engine engine(host);
    tabulo::RunCommandLine(engine, line);
    bool ok = engine.statusLine() == "Done" && !host.sawError();
    return ok ? 0 : 1;
}
