#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tabulo {

enum class Answer { Yes, No, Cancel, YesToAll, NoToAll };
// YesNoAllCancel adds "Yes to all" and "No to all": the answer then stands for the questions
// that follow of the same operation.
enum class Buttons { Ok, YesNo, YesNoCancel, YesNoAllCancel };

// Everything the engine needs from the outside world: the window, the terminal or a test.
class Host {
  public:
    virtual ~Host() = default;

    // The status line changed to `text`.
    virtual void status(const std::string& text) = 0;
    // The status line reports a failure; shown as any other line unless the host sets errors
    // apart (a quiet command line prints them alone).
    virtual void error(const std::string& text) { status(text); }
    // A line only worth seeing when every step is wanted, as each section of a loaded theme.
    virtual void detail(const std::string& text) { status(text); }
    // A modal question or message; YesNo questions never answer Cancel, Ok ones answer Yes.
    virtual Answer ask(const std::string& text, const std::string& title, Buttons buttons) = 0;
    // A warning before a step that may do harm, with the whole story in `details`: Yes when the
    // user goes on (the button that does says `proceed`), Cancel when not.
    virtual Answer warn(const std::string& text, const std::string& details,
                        const std::string& title, const std::string& proceed) {
        (void)proceed;
        return ask(text + "\n\n" + details, title, Buttons::YesNoCancel) == Answer::Yes
                   ? Answer::Yes
                   : Answer::Cancel;
    }
    // The answer every question gets without anyone being asked, when there is one (a tool
    // with no terminal to ask on).
    virtual std::optional<Answer> standingAnswer() const { return std::nullopt; }
    // Let pending user-interface events run during a long operation.
    virtual void processEvents() = 0;
    // How far a run is: folders whose pages are done, of the folders found so far.
    virtual void progress(int /*done*/, int /*found*/) {}
    // Bytes of file content read for checksums so far in this run.
    virtual void hashed(std::uint64_t /*bytes*/) {}
    // Open a file, folder or address with the desktop's default action; failures are silent.
    virtual void openInShell(const std::string& target, const std::string& workingFolder) = 0;
    // A folder chooser starting at `start`; nothing when cancelled.
    virtual std::optional<std::string> chooseFolder(const std::string& start) = 0;
    // The colour dialog: red in the low byte, then green, then blue; nothing when cancelled.
    virtual std::optional<std::uint32_t> chooseColor(std::uint32_t initial) = 0;
    // The font dialog; nothing when cancelled.
    struct Font {
        std::string family;
        float size = 0;
    };
    virtual std::optional<Font> chooseFont(const Font& initial) = 0;
};

}  // namespace tabulo
