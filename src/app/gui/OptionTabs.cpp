#include "gui/OptionTabs.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>

#include "commands/ThemeCommands.h"
#include "gui/QtStrings.h"
#include "gui/Widgets.h"

namespace tabulo::gui {

namespace {

void fillIconsTab(const TabPage& tab) {
    tab.row({{"chkIcons", "Icons"}});
    auto* frame = new QGroupBox(tab.page);
    frame->setObjectName("frmIcons");
    auto* layout = new QVBoxLayout(frame);
    OptionWidgets& w = tab.widgets;
    layout->addWidget(w.row({{"chkIcons32", "Size:"},
                             {"txtIcons32", "Width x height"},
                             {"scrIconsSize", ""},
                             {"lblIconsWidth", ""}},
                            frame));
    layout->addWidget(w.row({{"optIconsRemote", "Remote (absolute)"},
                             {"chkIconsDynamic", "Dynamic"},
                             {"txtIcohref", "Icon address"}},
                            frame));
    layout->addWidget(w.row({{"optIconsLocal", "Local (relative)"},
                             {"txtIconsLocal", "Icon path"},
                             {"lblWWWroot", ""},
                             {"cmdBrowseIconPath", "..."}},
                            frame));
    layout->addWidget(w.row(
        {{"chkIconsDownloaded", "Download new icons from:"}, {"txtIcohrefDl", "Download address"}},
        frame));
    layout->addWidget(
        w.row({{"chkProxy", "Proxy  (to dl icons) :"}, {"txtProxy", "host:port"}}, frame));
    tab.add(frame);
    onClick(tab.page, "cmdBrowseIconPath", [&e = tab.engine] { e.cmdBrowseIconPath_Click(); });
}

void fillTextTab(const TabPage& tab) {
    tab.row({{"chkHeading", "Heading:"},
             {"txtHeading", "Heading"},
             {":", "Title:"},
             {"txtTitle", "Title"},
             {"chkWindowsStyle", "Windows style title"}});
    tab.row({{"chkCenter", "Center"},
             {"chkW3c", "W3C compatible"},
             {"chkUtf", "Escape links fully"},
             {"chkReplaceOlda", "Confirm replace"},
             {"chkLenght", "Cut names at:"},
             {"txtLenght", "Length"}});
    tab.row({{":", "Page:"},
             {"txtIndexHtm", "Page name"},
             {":", "Stylesheet:"},
             {"txtIndexCss", "Stylesheet"}});
    tab.row({{"chkColuSize", "Size"},
             {"chkColuTime", "Time"},
             {"chkColuDesc", "Comment"},
             {"chkColuHash", "Hash"},
             {"optFile", "File"},
             {"optHash", "Hash"}});
    tab.row({{"chkTable", "Table view"},
             {"chkBorder", "Border:"},
             {"txtBorder", "Border"},
             {"chkCellSpace", "Spacing:"},
             {"txtCellspace", "Cell spacing"},
             {"chkCellPad", "Padding:"},
             {"txtCellpad", "Cell padding"},
             {"chkDouble", "Inner:"},
             {"txtDouble", "Inner colour"}});
    tab.row({{":", "Page style:"},
             {"optPageClassic", "Classic"},
             {"optPageModern", "Modern (HTML5, sorting, filter, README)"},
             {"chkJsonListing", "JSON listing beside each page"},
             {":", "Rows per page:"},
             {"txtRowBudget", "Rows per page"}});
    tab.row({{"chkServerLinks", "Links for web servers (folder/ and ../, the name alone as link text)"}});
    tab.row({{"chkSearchIndex", "Search index of the whole site (modern pages)"},
             {":", "Other sites' indexes:"},
             {"txtSearchSites", "Addresses of other sites searched with this one"}});
    tab.row({{"chkLeaveOutSecrets", "Leave keys, passwords and database dumps out of the pages"}});
    tab.row({{"chkWhatsNew", "What's new page and Atom feed of the last"},
             {"txtWhatsNewDays", "Days"},
             {":", "days"}});
}

void fillHeadFootTab(const TabPage& tab) {
    tab.row({{"chkHeader", "Header code"}});
    tab.control("txtHeader", "Header code");
    tab.row({{"chkFooter", "Footer code"}});
    tab.control("txtFooter", "Footer code");
}

void fillProtocolTab(const TabPage& tab) {
    tab.row({{"optProtocol", ""},
             {"optProtocolCustom", "Custom:"},
             {"txtProtocolCustom", "Protocol"}});
    tab.row({{"chkDeamon", "Run as Daemon on Minimize and indexilize wwwroot every :"},
             {"txtDaemon", "Seconds"},
             {":", "seconds."}});
    auto* caption = new QLabel("Indexilize the following paths too :", tab.page);
    tab.add(caption);
    auto* more = static_cast<QListWidget*>(tab.control("lstDeamonMore", ""));
    caption->setBuddy(more);
    tab.row({{"cmdBrowseMoreWWW", "add"}, {"cmdRemoveMoreWWW", "remove"}});
    Engine& e = tab.engine;
    onClick(tab.page, "cmdBrowseMoreWWW", [&e] { e.cmdBrowseMoreWWW_Click(); });
    onClick(tab.page, "cmdRemoveMoreWWW",
            [&e, more] { e.cmdRemoveMoreWWW_Click(more->currentRow()); });
}

void fillFilesTab(const TabPage& tab) {
    tab.row({{"chkCaptureDesc", "Description:"},
             {"txtCapDesc", "Description file"},
             {"cmdBrowseDesc", "..."},
             {"chkPre", "Preformatted"},
             {"chkTT", "Typewriter"}});
    tab.row({{"chkGlobalDesc", "Global description:"}, {"lblGlobalDesc", ""}});
    tab.row({{"chkCaptureSnap", "Picture:"},
             {"txtCapSnap", "Picture file"},
             {"chkThumb", "Thumbnail"},
             {"chkBackground", "As background"},
             {"chkGlobalPicture", "Global picture"}});
    tab.row({{"chkCaptureMidi", "Music:"},
             {"txtCapMidi", "Music file"},
             {"chkGlobalMidi", "Global music"},
             {"chkMidiLoop", "Loop:"},
             {"txtMidiLoop", "Loops"}});
    tab.row({{"chkSumSize", "Totals"}, {"optAuto", "Auto"}, {"optFileSize", ""}});
    tab.row({{":", "Size test:"}, {"txtZtestSize", "Bytes"}, {"lblZtestSIze", ""}});
    onClick(tab.page, "cmdBrowseDesc", [&e = tab.engine] { e.cmdBrowseDesc_Click(); });
}

void fillPathsTab(const TabPage& tab) {
    tab.row({{"optCurrentDir", "To the target Folder"},
             {"optAllInOneFile", "All in one File"},
             {"optAllInOneFolder", "All in one Folder :"},
             {"lblAllInOneFolder", ""},
             {"cmdBrowseAllInOneFolder", "..."}});
    tab.row({{"chkAllInOneFile", "One file"},
             {"chkAllInOneFolder", "One folder"},
             {":", "Prefix:"},
             {"txtIndexOf", "Page name prefix"},
             {":", "Separator:"},
             {"txtReplaceIndexs", "Separator"}});
    tab.row({{"chkPreLink", "Link prefix:"}, {"txtPreLink", "Prefix of file links"}});
    tab.row({{"chkReqrsive", "Recursive"},
             {"chkAlowExit", "Allow (..) in subs"},
             {"chkForceCdUp", "Force (..) in root"}});
    tab.row({{":", "www root:"},
             {"txtWWWroot", "www root"},
             {"cmdLockWWWRoot", "Lock as www root"},
             {"cmdUnlock", "Unlock"},
             {"txtWWWRootDepth", "Depth"}});
    Engine& e = tab.engine;
    onClick(tab.page, "cmdBrowseAllInOneFolder", [&e] { e.cmdBrowseAllInOneFolder_Click(); });
    onClick(tab.page, "cmdLockWWWRoot", [&e] { cmdLockWWWRoot_Click(e); });
    onClick(tab.page, "cmdUnlock", [&e] { cmdUnlock_Click(e); });
}

void fillMiscTab(const TabPage& tab) {
    tab.row({{"chkUpload", "Embed Upload form"},
             {"chkUploadScript", "Write scripts:"},
             {"optCgi", "cgi"},
             {"optPhp", "php"},
             {"chkCgiFilter", "Filter above is active in scripts too"}});
    tab.row({{":", "Upload folder:"},
             {"txtUploadDirectory", "Upload folder"},
             {":", "Scripts:"},
             {"txtIndexScript", "Index script"},
             {"txtUploadScript", "Upload script"}});
    tab.row({{"optExtention", "Extension"},
             {"optGlobal", "Global comment:"},
             {"optMimeReg", "Mime from registry"},
             {"txtComment", "Comment"}});
    tab.row({{"chkExcludeExts", "Exclude:"}});
    tab.control("txtExclude", "Exclude patterns");
    tab.row({{"optExten", "Type"},
             {"optName", "Name"},
             {"optDate", "Date"},
             {"optSize", "Size"},
             {"chkInverseSortorder", "Inverse"},
             {"chkAutoSave", "Autosave"},
             {"chkDebug", "Debug"},
             {"chkView", "View when done"}});
}

void fillAboutTab(const TabPage& tab) {
    tab.row({{"chkAbout", "About line"},
             {"chkAboutGenWith", "Generated with Tabulo"},
             {"chkAboutCredits", "Credits to:"},
             {"txtAboutNick", "Nickname"},
             {"txtAboutLink", "Link"}});
    tab.row({{"chkAboutDate", "Date"},
             {"chkMetaStyle", "Remove meta style info"},
             {"lblTabulo2", "tabulo site"}});
    Engine& e = tab.engine;
    onEvent(tab.widgets.at(opt("txtAboutLink")), QEvent::MouseButtonDblClick,
            [&e](QEvent*) { e.txtAboutLink_DblClick(); });
    onClick(tab.page, "lblTabulo2", [&e] { openTabuloSite(e); });
}

const struct {
    const char* title;
    void (*fill)(const TabPage&);
} kTabs[] = {
    {"Colors", fillColoursTab},
    {"Icons", fillIconsTab},
    {"Text ", fillTextTab},
    {"Head/Foot", fillHeadFootTab},
    {"Protocol", fillProtocolTab},
    {"Files", fillFilesTab},
    {"Paths", fillPathsTab},
    {"Misc", fillMiscTab},
    {"About", fillAboutTab},
};

}  // namespace

void openTabuloSite(Engine& engine) {
    engine.lblUpdate_Click(s(QCoreApplication::applicationDirPath()));
}

QTabWidget* buildOptionTabs(OptionWidgets& widgets, Engine& engine, QWidget* window) {
    auto* tabs = new QTabWidget(window);
    tabs->setObjectName("tabOptions");
    widgets.adopt(opt("tabOptions"), tabs);
    for (const auto& [title, fill] : kTabs) {
        auto* page = new QWidget(tabs);
        auto* layout = new QVBoxLayout(page);
        tabs->addTab(page, title);
        fill(TabPage{widgets, engine, page, layout});
        layout->addStretch();
    }
    QObject::connect(tabs, &QTabWidget::currentChanged, window,
                     [&engine](int index) { engine.options().setTab(index); });
    return tabs;
}

}  // namespace tabulo::gui
