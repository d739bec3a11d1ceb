#include "commands/ThemeCommands.h"

#include <dirent.h>

#include <algorithm>
#include <system_error>

#include "engine/Engine.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/ReadFile.h"
#include "listing/ListingHelpers.h"
#include "themes/Themes.h"

namespace tabulo {

namespace {

// The window's side of a theme's lines.
class EngineLoadEffects : public ThemeLoadEffects {
  public:
    explicit EngineLoadEffects(Engine& engine) : engine_(engine) {}

    void status(std::string text) override { engine_.setStatus(std::move(text)); }
    void error(std::string text) override { engine_.setStatus(std::move(text)); }
    void detail(std::string text) override { engine_.detail(std::move(text)); }
    bool statusShowsError() const override { return contains(engine_.statusLine(), "Error"); }
    void wwwRootFound(const std::string& folder) override {
        engine_.setCurrentFolder(folder);
        engine_.showWwwRootLock(false);
    }
    void toggleOptionsPanel() override { engine_.ToggleOptionsPanel(); }

  private:
    Engine& engine_;
};

void refuseName(Engine& engine, const std::string& name) {
    engine.error("Error: `" + name + "` is no theme name (a name, not a path).");
}

// True for a usable name; otherwise the refusal is in the status line.
bool acceptedName(Engine& engine, const std::string& name) {
    if (IsValidThemeName(name)) return true;
    refuseName(engine, name);
    return false;
}

std::string firstNameIn(const std::string& folder) {
    std::string name;
    if (DIR* dir = ::opendir((folder + "/").c_str())) {
        if (dirent* d = ::readdir(dir)) name = d->d_name;
        ::closedir(dir);
    }
    return name;
}

}  // namespace

bool ApplyWwwRootLock(Engine& engine) {
    Options& o = engine.options();
    const std::string root = o.text(opt("txtWWWroot"));
    if (root.empty() || !DirExists(root)) return false;
    engine.setCurrentFolder(root);
    engine.lockWwwRootField(true);
    o.setText(opt("txtWWWRootDepth"), std::to_string(CountPathSeparators(engine.currentFolder())));
    return true;
}

void ApplyThemeText(Engine& engine, std::string_view text) {
    // While the lines apply, rules that would fill paths from the folder list, and the colour
    // mixer, wait; they run once on the result, so what a theme holds loads the same whatever
    // order its lines come in.
    struct Loading {
        Engine& engine;
        explicit Loading(Engine& e) : engine(e) { engine.setLoadingTheme(true); }
        ~Loading() { engine.setLoadingTheme(false); }
    } loading(engine);
    EngineLoadEffects effects(engine);
    ApplyThemeLines(engine.options(), text, effects);
    engine.runWaitingRules();
    engine.ShowLoadedColours();
}

void cmdLoad_Click(Engine& engine) {
    Options& o = engine.options();
    const std::string name = o.text(opt("cmbSheme"));
    engine.setStatus("Loading : `" + name + ".color`");
    if (!IsValidThemeName(name)) {
        refuseName(engine, name);
    } else if (!pathExists(ThemePath(name))) {
        engine.error("Error Loading : `" + name + ".color` does not exist.");
    } else if (std::error_code ec; auto text = ReadThemeFile(name, ec)) {
        ApplyThemeText(engine, *text);
        if (o.on(opt("chkDebug"))) engine.host().ask(engine.statusLine(), "Tabulo", Buttons::Ok);
        if (!contains(engine.statusLine(), "Error"))
            engine.setStatus("Done loading : `" + name + ".color`");
    } else {
        engine.error("Error Loading : `" + name + ".color` " +
                     (ec == std::errc::file_too_large ? "is larger than " + sizeLimitText(kMaxTheme) + "."
                      : ec ? "cannot be read: " + ec.message() + "."
                           : "is not a regular file."));
    }
    if (o.on(opt("chkDebug"))) {
        engine.host().ask(firstNameIn(o.text(opt("txtWWWroot"))), "Tabulo", Buttons::Ok);
    }
    ApplyWwwRootLock(engine);
    o.setEditedMark("-");
}

void cmdSave_Click(Engine& engine) {
    Options& o = engine.options();
    const std::string name = o.text(opt("cmbSheme"));
    if (!acceptedName(engine, name)) return;
    bool unasked = o.editedMark() == "ok" || o.on(opt("chkAutoSave"));
    if (pathExists(ThemePath(name)) && !unasked &&
        engine.host().ask("Overwrite '" + name + ".color' ?", "Tabulo", Buttons::YesNo) !=
            Answer::Yes) {
        o.setEditedMark("-");
        return;
    }
    engine.setStatus("Saving : `" + name + ".color`");
    engine.addTheme(name);
    try {
        WriteThemeFile(name, ThemeText(o, name));
    } catch (const std::system_error& e) {
        engine.error("Error saving : `" + name + ".color`: " + e.code().message() + ".");
        o.setEditedMark("*");
        return;
    }
    engine.setStatus("Done saving : `" + name + ".color`");
    o.setEditedMark("-");
}

void cmbSheme_Click(Engine& engine, int index) {
    const auto& list = engine.themeList();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
    const std::string entry = list[static_cast<std::size_t>(index)];
    engine.options().setText(opt("cmbSheme"), entry);
    engine.showChosenTheme(index);
    if (index != 1) cmdLoad_Click(engine);
}

void cmbSheme_KeyDown(Engine& engine, int keyCode) {
    const std::string& text = engine.options().text(opt("cmbSheme"));
    if (text.empty()) return engine.showTypedThemeName("");
    bool digit = keyCode >= 48 && keyCode <= 57, letter = keyCode >= 65 && keyCode <= 90;
    std::string typed =
        digit || letter ? std::string(1, static_cast<char>(letter ? keyCode + 32 : keyCode)) : "";
    std::string caption = text + typed + ".color";
    engine.showTypedThemeName(caption);
    engine.options().setText(opt("txtIndexCss"), replaceAll(caption, ".color", "") + ".css");
}

void CmdDelete_Click(Engine& engine) {
    Options& o = engine.options();
    const std::string name = o.text(opt("cmbSheme"));
    if (!acceptedName(engine, name)) return;
    engine.setStatus("Deleting : `" + name + ".color`");
    if (std::error_code ec = DeleteThemeFile(name)) {
        engine.error("Error deleting : `" + name + ".color`: " + ec.message() + ".");
        return;
    }
    // The entry of that name goes, whichever is selected; "default" and "random" always stay.
    engine.removeTheme(name);
    cmbSheme_Click(engine, 0);
    engine.setStatus("Done deleting : `" + name + ".color`");
}

void cmdLockWWWRoot_Click(Engine& engine) {
    Options& o = engine.options();
    o.setText(opt("txtWWWroot"), engine.currentFolder());
    engine.lockWwwRootField(true);
    o.setText(opt("txtWWWRootDepth"), std::to_string(CountPathSeparators(engine.currentFolder())));
    o.setText(opt("lblAllInOneFolder"), o.text(opt("txtWWWroot")));
    o.setText(opt("lblWWWroot"), o.text(opt("txtWWWroot")));
    cmdSave_Click(engine);
}

void cmdUnlock_Click(Engine& engine) {
    Options& o = engine.options();
    o.setEditedMark("*");
    o.setText(opt("txtWWWRootDepth"), "999");
    engine.lockWwwRootField(false);
    o.setText(opt("txtWWWroot"), "");
}

bool Form_Unload(Engine& engine) {
    Options& o = engine.options();
    Host& host = engine.host();
    if (o.editedMark() != "*") return true;
    const std::string& name = o.text(opt("cmbSheme"));
    if (name == "random") {
        // The generator's entry is no theme file: saving it would make "random.color".
        return host.ask(
                   "Close without saving the changes? The random colours are no theme: to "
                   "keep them, type a name in the theme list and save.",
                   "Tabulo", Buttons::YesNo) == Answer::Yes;
    }
    if (o.on(opt("chkAutoSave"))) {
        cmdSave_Click(engine);
        return true;
    }
    switch (host.ask("Save changes with exit? (to `" + name + ".color`)", "Tabulo",
                      Buttons::YesNoCancel)) {
        case Answer::Yes:
        case Answer::YesToAll:
            o.setEditedMark("ok");
            cmdSave_Click(engine);
            return true;
        case Answer::No:
        case Answer::NoToAll:
            return true;
        case Answer::Cancel:
            return false;
    }
    return true;
}

}  // namespace tabulo
