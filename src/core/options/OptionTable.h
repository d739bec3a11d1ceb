#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tabulo {

enum class OptionKind {
    Check,    // 16-bit value, "on" means exactly 1
    Option,   // member of an option group, selected or not
    Indexed,  // indexed members of an option group; value is the selected index or -1
    Text,
    Caption,
    List,
    Tab,
    Colours,  // the nine colour slots
    Panel,    // the options panel caption
    Slider,   // a position, kept for the window; no theme stores it
};

struct OptionDef {
    std::string_view name;
    OptionKind kind;
    std::string_view defaultValue;  // check: digits; option: "True"/"False"; indexed: index or "-1"
    std::string_view group = {};    // option groups share a name here
    int members = 1;                // indexed groups and colour slots
    bool stored = true;             // part of a theme file
    int low = 0, high = 0;          // sliders: the first and last position
};

using OptionId = std::size_t;

// Fixed addresses chosen for this product; hosts live under the reserved example domain.
inline constexpr std::string_view kIconService =
    "http://tabulo.example.org/pics/icons/ico.cgi?ico=#";
inline constexpr std::string_view kOwnerPage = "http://tabulo.example.org/";
inline constexpr std::string_view kUpdatePage = "http://tabulo.example.org/update.cgi";
inline constexpr std::string_view kHomeSite = "http://tabulo.example.org/";
inline constexpr std::string_view kExamplePreLink = "ftp://ftp.example.org/pub/";

using K = OptionKind;

// Every option once, in the order a theme file holds them; the ones no theme stores follow.
inline constexpr auto kOptionTable = std::to_array<OptionDef>({
    {"chkHeading", K::Check, "1"},
    {"chkWindowsStyle", K::Check, "0"},
    {"tabOptions", K::Tab, "0"},
    {"txtFilter", K::Text, "*.*"},
    {"chkView", K::Check, "1"},
    {"txtWWWroot", K::Text, ""},
    // colour panel
    {"chkColor", K::Check, "1"},
    {"chkCss", K::Check, "1"},
    {"optCssNew", K::Option, "False", "css"},
    {"optCssOld", K::Option, "False", "css"},
    {"optCssEmbed", K::Option, "True", "css"},
    // icons panel
    {"chkIcons", K::Check, "1"},
    {"chkIcons32", K::Check, "0"},
    {"txtIcons32", K::Text, "32x32"},
    {"lblWWWroot", K::Caption, "?/www root"},
    {"optIconsLocal", K::Option, "True", "icons"},
    {"txtIconsLocal", K::Text, "pics/icons/#.gif"},
    {"chkIconsDownloaded", K::Check, "1"},
    {"txtIcohrefDl", K::Text, kIconService},
    {"chkProxy", K::Check, "0"},
    {"txtProxy", K::Text, "127.0.0.1:8087"},
    {"optIconsRemote", K::Option, "False", "icons"},
    {"chkIconsDynamic", K::Check, "1"},
    {"txtIcohref", K::Text, kIconService},
    // text panel
    {"chkCenter", K::Check, "1"},
    {"chkLenght", K::Check, "1"},
    {"txtLenght", K::Text, "40"},
    {"chkW3c", K::Check, "1"},
    {"chkUtf", K::Check, "0"},
    {"chkReplaceOlda", K::Check, "0"},
    {"txtIndexCss", K::Text, "index.css"},
    {"txtIndexHtm", K::Text, "index.html"},
    {"chkFont", K::Check, "1"},
    {"txtFont", K::Text, "Arial"},
    {"chkFontSize", K::Check, "1"},
    {"txtFontSize", K::Text, "12"},
    {"chkColuDesc", K::Check, "0"},
    {"chkColuHash", K::Check, "0"},
    {"chkColuTime", K::Check, "1"},
    {"chkColuSize", K::Check, "1"},
    {"chkTable", K::Check, "1"},
    {"chkBorder", K::Check, "1"},
    {"txtBorder", K::Text, "1"},
    {"chkCellSpace", K::Check, "1"},
    {"txtCellspace", K::Text, "0"},
    {"chkCellPad", K::Check, "0"},
    {"txtCellpad", K::Text, "1"},
    {"chkDouble", K::Check, "0"},
    {"txtDouble", K::Text, "eeeeee"},
    // header / footer
    {"chkHeader", K::Check, "0"},
    {"txtHeader", K::Text, ""},
    {"chkFooter", K::Check, "0"},
    {"txtFooter", K::Text, ""},
    // protocol / daemon
    {"optProtocolCustom", K::Option, "False", "protocol"},
    {"optProtocol", K::Indexed, "0", "protocol", 5},
    {"txtProtocolCustom", K::Text, "ssh://"},
    {"chkDeamon", K::Check, "0"},
    {"txtDaemon", K::Text, "3600"},
    {"lstDeamonMore", K::List, ""},
    // files panel
    {"chkCaptureDesc", K::Check, "1"},
    {"chkPre", K::Check, "0"},
    {"chkTT", K::Check, "1"},
    {"chkGlobalDesc", K::Check, "0"},
    {"lblGlobalDesc", K::Caption, ""},
    {"chkCaptureSnap", K::Check, "0"},
    {"chkCaptureMidi", K::Check, "0"},
    {"chkSumSize", K::Check, "0"},
    {"optAuto", K::Option, "True", "size"},
    {"optFileSize", K::Indexed, "-1", "size", 6},
    // paths panel
    {"optAllInOneFile", K::Option, "False", "layout"},
    {"optAllInOneFolder", K::Option, "False", "layout"},
    {"optCurrentDir", K::Option, "True", "layout"},
    {"lblAllInOneFolder", K::Caption, ""},
    {"txtReplaceIndexs", K::Text, "_per_"},
    {"txtIndexOf", K::Text, "index_of-"},
    {"chkPreLink", K::Check, "0"},
    {"txtPreLink", K::Text, kExamplePreLink},
    {"chkReqrsive", K::Check, "1"},
    {"chkAlowExit", K::Check, "1"},
    {"chkForceCdUp", K::Check, "0"},
    // misc panel
    {"chkUpload", K::Check, "0"},
    {"chkUploadScript", K::Check, "0"},
    {"optPhp", K::Option, "False", "script"},
    {"optCgi", K::Option, "True", "script"},
    {"txtUploadDirectory", K::Text, "upload"},
    {"txtIndexScript", K::Text, "index.cgi"},
    {"txtUploadScript", K::Text, "upload.cgi"},
    {"chkCgiFilter", K::Check, "0"},
    {"optGlobal", K::Option, "False", "comment"},
    {"txtComment", K::Text, "Global Comment here."},
    {"optExtention", K::Option, "True", "comment"},
    {"optMimeReg", K::Option, "False", "comment"},
    {"chkExcludeExts", K::Check, "1"},
    {"txtExclude", K::Text, "index*; *.css; desc.txt; snap.gif; *.tmp; *.bak;\r\n"},
    {"optExten", K::Option, "True", "sort"},
    {"optName", K::Option, "False", "sort"},
    {"optDate", K::Option, "False", "sort"},
    {"optSize", K::Option, "False", "sort"},
    {"chkInverseSortorder", K::Check, "0"},
    {"chkAutoSave", K::Check, "0"},
    // about panel
    {"chkAbout", K::Check, "1"},
    {"txtAboutLink", K::Text, kOwnerPage},
    {"txtAboutNick", K::Text, "Quennel"},
    {"chkAboutDate", K::Check, "1"},
    {"chkMetaStyle", K::Check, "0"},
    {"chkAboutCredits", K::Check, "1"},
    {"chkAboutGenWith", K::Check, "1"},
    // tail
    {"lblOptions", K::Panel, "Options >"},
    {"txtColorHex",
     K::Colours,
     "f0f0f0&aaaaaa&aaaaaa&000001&000000&0000ff&d000d0&f0f0f0&f0f0f0",
     {},
     9},
    // newer options: stored after all the lines above, in a section of their own; no key holds
    // an older key, so older readers never take these lines for theirs
    {"optPageClassic", K::Option, "True", "pagestyle"},
    {"optPageModern", K::Option, "False", "pagestyle"},
    {"chkJsonListing", K::Check, "0"},
    {"txtRowBudget", K::Text, "1000"},
    {"chkServerLinks", K::Check, "0"},
    {"chkSearchIndex", K::Check, "0"},
    {"txtSearchSites", K::Text, ""},
    {"chkLeaveOutSecrets", K::Check, "1"},
    {"chkWhatsNew", K::Check, "0"},
    {"txtWhatsNewDays", K::Text, "30"},
    // read by the generators but kept in no theme
    {"txtTitle", K::Text, "Title", {}, 1, false},
    {"txtHeading", K::Text, "Heading Title", {}, 1, false},
    {"txtCapDesc", K::Text, "desc.txt", {}, 1, false},
    {"txtCapSnap", K::Text, "snap.gif", {}, 1, false},
    {"chkThumb", K::Check, "0", {}, 1, false},
    {"chkBackground", K::Check, "0", {}, 1, false},
    {"chkGlobalPicture", K::Check, "0", {}, 1, false},
    {"chkAllInOneFile", K::Check, "0", {}, 1, false},
    {"chkAllInOneFolder", K::Check, "0", {}, 1, false},
    {"txtWWWRootDepth", K::Text, "99", {}, 1, false},
    {"lblIconsWidth", K::Caption, "height=\"16\" width=\"16\" border=\"0\" ", {}, 1, false},
    {"lblVersion", K::Caption, "42", {}, 1, false},
    {"cmbSheme", K::Text, "default", {}, 1, false},
    {"chkDebug", K::Check, "0", {}, 1, false},
    {"txtZtestSize", K::Text, "12", {}, 1, false},
    {"scrIconsSize", K::Slider, "29", {}, 1, false, 1, 32},
    {"scrR", K::Slider, "0", {}, 1, false, 0, 255},
    {"scrG", K::Slider, "0", {}, 1, false, 0, 255},
    {"scrB", K::Slider, "0", {}, 1, false, 0, 255},
    {"scrBrightness", K::Slider, "12000", {}, 1, false, 0, 32767},
    {"scrFontSize", K::Slider, "88", {}, 1, false, 0, 99},
    // part of the window, neither stored nor read
    {"chkGlobalMidi", K::Check, "0", {}, 1, false},
    {"txtCapMidi", K::Text, "music.mid", {}, 1, false},
    {"chkMidiLoop", K::Check, "1", {}, 1, false},
    {"txtMidiLoop", K::Text, "-1", {}, 1, false},
    {"optFile", K::Option, "True", "column", 1, false},
    {"optHash", K::Option, "False", "column", 1, false},
});

// Index of an option in the table; an unknown name does not compile.
consteval OptionId opt(std::string_view name) {
    for (std::size_t i = 0; i < kOptionTable.size(); ++i) {
        if (kOptionTable[i].name == name) return i;
    }
    throw "unknown option name";
}

}  // namespace tabulo
