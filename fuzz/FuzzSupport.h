#pragma once

// What every harness shares: a scratch folder for the whole process, a host that only records,
// and a check that stops the process, so the fuzzer and the corpus replay both see a failure
// (its optional second argument is a message shown with it).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/Host.h"

#define FUZZ_CHECK(cond, ...)                                                             \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond);       \
            __VA_OPT__(std::fprintf(stderr, "  %s\n", std::string(__VA_ARGS__).c_str());) \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace tabulo::fuzz {

// Bytes made readable for a failure message: controls and high bytes as \xNN.
inline std::string Shown(std::string_view s) {
    std::string out;
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out;
}

// A fresh temporary folder, made once per process: TABULO_HOME is its "home" folder and the
// working folder is the folder itself, so nothing a harness does reaches outside it.
inline const std::string& ScratchFolder() {
    // Never destroyed: the exit handler below still needs it.
    static const std::string* root = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tabulo-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        std::filesystem::create_directories(pattern + "/home");
        ::setenv("TABULO_HOME", (pattern + "/home").c_str(), 1);
        if (::chdir(pattern.c_str()) != 0) std::abort();
        auto* path = new std::string(pattern);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchFolder(), ec);
        });
        return path;
    }();
    return *root;
}

// Records the status lines; questions get the safe answer, and nothing is ever opened.
class RecordingHost : public Host {
  public:
    void status(const std::string& text) override { statusLines.push_back(text); }
    Answer ask(const std::string&, const std::string&, Buttons buttons) override {
        return buttons == Buttons::Ok ? Answer::Yes : Answer::No;
    }
    void processEvents() override {}
    void openInShell(const std::string&, const std::string&) override {}
    std::optional<std::string> chooseFolder(const std::string&) override { return {}; }
    std::optional<std::uint32_t> chooseColor(std::uint32_t) override { return {}; }
    std::optional<Font> chooseFont(const Font&) override { return {}; }

    std::vector<std::string> statusLines;
};

}  // namespace tabulo::fuzz
