#include "rules/PanelRules.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "colours/ColourEditor.h"
#include "options/Options.h"
#include "options/Panel.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "listing/ListingHelpers.h"
#include "icons/IconOptions.h"

namespace tabulo {

// What a rule reads and changes, and the rules that wait for a theme load to end.
struct PanelRules::Context {
    RuleTargets t;
    bool loading = false;
    std::vector<void (*)(Context&)> afterLoad;

    Options& options() { return t.options; }
    Panel& panel() { return t.panel; }
    ColourEditor& colours() { return t.colours; }
    std::string currentFolder() const { return t.currentFolder(); }
    void refreshPreview() { t.refreshPreview(); }
    bool loadingTheme() const { return loading; }
    // Each once, in the order asked.
    void runAfterThemeLoad(void (*action)(Context&)) {
        if (std::find(afterLoad.begin(), afterLoad.end(), action) == afterLoad.end())
            afterLoad.push_back(action);
    }
};

namespace {

using Context = PanelRules::Context;

struct Rule {
    bool marks = false;
    bool preview = false;
    void (*state)(Context&) = nullptr;   // dependent controls, from the values alone
    void (*action)(Context&) = nullptr;  // changes of other values, on a real change only
};

bool on(Context& e, std::string_view name) {
    return e.options().check(Options::find(name).value()) != 0;
}
bool chosen(Context& e, std::string_view name) {
    return e.options().selected(Options::find(name).value());
}

void enable(Context& e, std::initializer_list<std::string_view> controls, bool state) {
    for (auto c : controls) e.panel().setEnabled(c, state);
}

// A theme that chose an all-in-one layout: once it is applied, a www root that names no folder
// follows the folder list, and so does an all-in-one folder the theme left empty. Taken from
// the result, not from the order of the lines, so a saved theme loads as it was.
void followFolderListAfterLoad(Context& e) {
    Options& o = e.options();
    if (!on(e, "chkAllInOneFile") && !on(e, "chkAllInOneFolder")) return;
    const std::string& root = o.text(opt("txtWWWroot"));
    if (root.empty() || !DirExists(root)) o.setText(opt("txtWWWroot"), e.currentFolder());
    if (o.text(opt("lblAllInOneFolder")).empty())
        o.setText(opt("lblAllInOneFolder"), e.currentFolder());
}

// The www-root step of the all-in-one choices: an unlocked www root follows the folder list.
void followFolderList(Context& e) {
    if (e.loadingTheme()) return e.runAfterThemeLoad(followFolderListAfterLoad);
    if (!e.panel().visible("cmdLockWWWRoot")) return;
    e.options().setText(opt("txtWWWroot"), e.currentFolder());
    e.options().setText(opt("lblAllInOneFolder"), e.currentFolder());
}

void commentState(Context& e) {
    enable(e, {"txtComment"}, chosen(e, "optGlobal"));
}

void allInOneState(Context& e) {
    enable(e, {"txtIndexOf", "txtReplaceIndexs", "lblAllInOneFolder", "cmdBrowseAllInOneFolder"},
           on(e, "chkAllInOneFile") || on(e, "chkAllInOneFolder"));
}

void iconSourceState(Context& e) {
    bool local = chosen(e, "optIconsLocal");
    enable(e,
           {"cmdBrowseIconPath", "lblWWWroot", "txtIconsLocal", "chkIconsDownloaded",
            "txtIcohrefDl", "chkProxy"},
           local);
    // The proxy's address only matters while the proxy is on.
    enable(e, {"txtProxy"}, local && on(e, "chkProxy"));
    enable(e, {"txtIcohref", "chkIconsDynamic"}, !local);
}

void localIconRoot(Context& e) {
    LocalIconRootFromFolderList(e.options(), e.currentFolder());
}

void iconSourceAction(Context& e) {
    if (e.loadingTheme()) return e.runAfterThemeLoad(localIconRoot);
    localIconRoot(e);
}

// ".cgi" or ".php" in place of the last four characters of both script names.
void scriptFlavourAction(Context& e) {
    std::string ending = chosen(e, "optCgi") ? ".cgi" : ".php";
    for (OptionId id : {opt("txtIndexScript"), opt("txtUploadScript")}) {
        std::string name = e.options().text(id);
        name = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0) + ending;
        e.options().setText(id, name);
    }
}

const std::unordered_map<OptionId, Rule>& rules() {
    static const auto table = [] {
        std::unordered_map<OptionId, Rule> t;
        for (auto name : {"chkAboutDate",
                          "chkAboutGenWith",
                          "chkAlowExit",
                          "chkAutoSave",
                          "chkColuDesc",
                          "chkColuHash",
                          "chkColuSize",
                          "chkColuTime",
                          "chkForceCdUp",
                          "chkInverseSortorder",
                          "chkMetaStyle",
                          "chkPre",
                          "chkReplaceOlda",
                          "chkTable",
                          "chkTT",
                          "optAuto",
                          "optFileSize",
                          "optDate",
                          "optExten",
                          "optName",
                          "optSize",
                          "optProtocol",
                          "optProtocolCustom",
                          "optCssNew",
                          "optCssOld",
                          "txtAboutNick",
                          "txtCapDesc",
                          "txtComment",
                          "txtDaemon",
                          "txtDouble",
                          "txtExclude",
                          "txtFont",
                          "txtFontSize",
                          "txtFooter",
                          "txtHeader",
                          "txtIcohref",
                          "txtIcohrefDl",
                          "txtIconsLocal",
                          "txtIndexCss",
                          "txtIndexHtm",
                          "txtIndexOf",
                          "txtLenght",
                          "txtPreLink",
                          "txtProtocolCustom",
                          "txtProxy",
                          "txtReplaceIndexs",
                          "txtUploadDirectory",
                          "chkIconsDownloaded",
                          "optPageClassic",
                          "optPageModern",
                          "chkJsonListing",
                          "txtRowBudget",
                          "chkServerLinks",
                          "txtSearchSites",
                          "lstDeamonMore"}) {
            t[Options::find(name).value()] = {true};
        }
        for (auto name : {"chkBackground", "chkBorder", "chkCaptureDesc", "chkCellPad",
                          "chkCellSpace", "chkCenter", "chkDouble", "chkGlobalDesc", "txtBorder",
                          "txtCellpad", "txtCellspace"}) {
            t[Options::find(name).value()] = {true, true};
        }
        for (auto name :
             {"chkCaptureSnap", "chkGlobalPicture", "chkThumb", "chkW3c", "chkWindowsStyle"}) {
            t[Options::find(name).value()] = {false, true};
        }
        t[opt("chkAbout")] = {false, true, [](Context& e) {
                                  enable(e,
                                         {"chkAboutGenWith", "chkAboutCredits", "txtAboutLink",
                                          "txtAboutNick", "chkMetaStyle", "chkAboutDate"},
                                         on(e, "chkAbout"));
                              }};
        t[opt("chkAboutCredits")] = {
            true, false, [](Context& e) {
                enable(e, {"txtAboutLink", "txtAboutNick"}, on(e, "chkAboutCredits"));
            }};
        t[opt("chkHeading")] = {false, true, [](Context& e) {
                                    e.panel().setVisible("txtHeading", on(e, "chkHeading"));
                                }};
        t[opt("chkHeader")] = {
            true, true, [](Context& e) { e.panel().setVisible("txtHeader", on(e, "chkHeader")); }};
        t[opt("chkFooter")] = {
            true, true, [](Context& e) { e.panel().setVisible("txtFooter", on(e, "chkFooter")); }};
        t[opt("chkFont")] = {true, false,
                             [](Context& e) { enable(e, {"txtFont"}, on(e, "chkFont")); }};
        t[opt("chkFontSize")] = {
            true, false, [](Context& e) { enable(e, {"txtFontSize"}, on(e, "chkFontSize")); }};
        t[opt("chkLenght")] = {true, false, [](Context& e) {
                                   int v = e.options().check(opt("chkLenght"));
                                   if (v == 0 || v == 1)
                                       enable(e, {"txtLenght"}, v == 1);  // 2 leaves it as it was
                               }};
        t[opt("chkPreLink")] = {true, false,
                                [](Context& e) { enable(e, {"txtPreLink"}, on(e, "chkPreLink")); }};
        t[opt("chkSearchIndex")] = {
            true, false, [](Context& e) { enable(e, {"txtSearchSites"}, on(e, "chkSearchIndex")); }};
        t[opt("chkExcludeExts")] = {
            true, false, [](Context& e) { enable(e, {"txtExclude"}, on(e, "chkExcludeExts")); }};
        t[opt("chkReqrsive")] = {
            true, true, [](Context& e) { enable(e, {"chkAlowExit"}, on(e, "chkReqrsive")); }};
        t[opt("chkCss")] = {
            true, false, [](Context& e) {
                enable(e, {"optCssNew", "optCssOld", "optCssEmbed"}, on(e, "chkCss"));
            }};
        t[opt("chkAllInOneFile")] = {true, false, allInOneState};
        t[opt("chkAllInOneFolder")] = {true, false, allInOneState};
        t[opt("optAllInOneFile")] = {false, false, nullptr, followFolderList};
        t[opt("optAllInOneFolder")] = {false, false, nullptr, followFolderList};
        t[opt("optGlobal")] = {true, false, commentState};
        t[opt("optMimeReg")] = {true, false, commentState};
        t[opt("optExtention")] = {false, false, commentState};
        t[opt("tabOptions")] = {false, false, nullptr,
                                [](Context& e) { e.panel().setMixerTop(Panel::kLineBottom + 100); }};
        t[opt("txtZtestSize")] = {
            false, false, [](Context& e) {
                e.panel().setCaption(
                    "lblZtestSIze",
                    FormatFileSize(e.options(), val(e.options().text(opt("txtZtestSize")))));
            }};
        t[opt("scrR")] = {false, false, nullptr,
                          [](Context& e) { e.colours().ComponentSliderChanged(0); }};
        t[opt("scrG")] = {false, false, nullptr,
                          [](Context& e) { e.colours().ComponentSliderChanged(1); }};
        t[opt("scrB")] = {false, false, nullptr,
                          [](Context& e) { e.colours().ComponentSliderChanged(2); }};
        t[opt("scrBrightness")] = {false, false, nullptr,
                                   [](Context& e) { e.colours().BrightnessChanged(); }};
        t[opt("scrFontSize")] = {false, false, nullptr,
                                 [](Context& e) { e.colours().FontSizeSliderChanged(); }};
        t[opt("chkColor")] = {
            true, true, [](Context& e) { e.panel().setVisible("frmColor", on(e, "chkColor")); },
            [](Context& e) {
                e.options().setCheck(opt("chkCss"), e.options().check(opt("chkColor")));
            }};
        t[opt("chkUpload")] = {true, true, [](Context& e) {
                                   enable(
                                       e,
                                       {"chkUploadScript", "optPhp", "optCgi", "chkCgiFilter",
                                        "txtUploadDirectory", "txtIndexScript", "txtUploadScript"},
                                       on(e, "chkUpload"));
                               }};
        t[opt("chkUploadScript")] = {
            true, false, [](Context& e) {
                enable(e,
                       {"txtUploadDirectory", "txtUploadScript", "txtIndexScript", "chkCgiFilter"},
                       on(e, "chkUploadScript"));
            }};
        t[opt("optCgi")] = {false, false, nullptr, scriptFlavourAction};
        t[opt("optPhp")] = {false, false, nullptr, scriptFlavourAction};
        t[opt("chkDeamon")] = {true, false,
                               [](Context& e) { enable(e, {"txtDaemon"}, on(e, "chkDeamon")); }};
        t[opt("chkProxy")] = {true, false, iconSourceState};
        t[opt("optIconsLocal")] = {true, false, iconSourceState, iconSourceAction};
        t[opt("optIconsRemote")] = {true, false, iconSourceState, iconSourceAction};
        t[opt("chkIcons32")] = {false, false, nullptr, [](Context& e) {
                                    BuildIconSizeAttributes(e.options(), e.panel(),
                                                            [&e] { e.refreshPreview(); });
                                }};
        t[opt("txtIcons32")] = {false, false, nullptr, [](Context& e) {
                                    IconSizeTextChanged(e.options(), e.panel(),
                                                        [&e] { e.refreshPreview(); });
                                }};
        t[opt("scrIconsSize")] = {true, false, nullptr,
                                  [](Context& e) { IconSizeSliderChanged(e.options()); }};
        t[opt("chkIconsDynamic")] = {true, false, nullptr,
                                     [](Context& e) { IconsDynamicChanged(e.options()); }};
        t[opt("chkIcons")] = {
            false, true, [](Context& e) { e.panel().setVisible("frmIcons", on(e, "chkIcons")); }};
        return t;
    }();
    return table;
}

}  // namespace

PanelRules::PanelRules(RuleTargets targets)
    : c_(std::make_unique<Context>(Context{std::move(targets), false, {}})),
      token_(c_->options().subscribe([this](OptionId id, int index) { onChange(id, index); })) {
    Panel& panel = c_->panel();
    for (const char* c : {"chkCaptureMidi", "txtCapMidi", "chkGlobalMidi", "chkMidiLoop", "txtMidiLoop"})
        panel.hold(c, "Pages carry no music: this option has no effect.");
    for (const char* c : {"optFile", "optHash"})
        panel.hold(c, "The hash column does not depend on this choice: it has no effect.");
    for (const char* c : {"optProtocol", "optProtocolCustom", "txtProtocolCustom"})
        panel.hold(c, "Links keep their own addresses: the protocol choice has no effect.");
    // Set only by the output mode above, so a page never lands where the mode does not say.
    for (const char* c : {"chkAllInOneFile", "chkAllInOneFolder"})
        panel.hold(c, "Follows the output mode chosen above.");
}

PanelRules::~PanelRules() {
    c_->options().unsubscribe(token_);
}

bool PanelRules::loadingTheme() const {
    return c_->loading;
}

void PanelRules::setLoadingTheme(bool loading) {
    c_->loading = loading;
    if (!loading) c_->afterLoad.clear();  // what a failed load left waiting is dropped
}

void PanelRules::runWaitingRules() {
    for (auto action : std::exchange(c_->afterLoad, {})) action(*c_);
}

void PanelRules::onChange(OptionId id, int index) {
    if (id == opt("txtColorHex")) {
        // A theme load shows its colours once, at its end.
        if (!c_->loadingTheme()) c_->colours().RefreshColorField(index);
        return;
    }
    auto it = rules().find(id);
    if (it == rules().end()) return;
    const Rule& rule = it->second;
    if (rule.marks) c_->options().setEditedMark("*");
    if (rule.action) rule.action(*c_);
    if (rule.state) rule.state(*c_);
    if (rule.preview) c_->refreshPreview();
}

void PanelRules::applyStates() {
    // In the order of the table, so shared controls end as the later option says.
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        auto it = rules().find(id);
        if (it != rules().end() && it->second.state) it->second.state(*c_);
    }
    // Controls no rule ever enables, and the ones hidden until asked for.
    enable(*c_, {"optMimeReg", "chkGlobalPicture", "chkGlobalDesc", "CmdDelete"}, false);
    for (auto c : {"txtWWWRootDepth", "cmdRandom"}) c_->panel().setVisible(c, false);
    // The icon size controls follow their check box.
    enable(*c_, {"scrIconsSize", "txtIcons32"}, on(*c_, "chkIcons32"));
}

}  // namespace tabulo
