#include "options/Options.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "common/Text.h"

namespace tabulo {

namespace {

std::optional<int> parseInt(std::string_view s) {
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

const std::unordered_map<std::string_view, OptionId>& nameIndex() {
    static const auto index = [] {
        std::unordered_map<std::string_view, OptionId> m;
        for (OptionId i = 0; i < kOptionTable.size(); ++i) m.emplace(kOptionTable[i].name, i);
        return m;
    }();
    return index;
}

}  // namespace

OptionValues::OptionValues() : values_(kOptionTable.size()) {
    for (OptionId i = 0; i < kOptionTable.size(); ++i) {
        const OptionDef& d = kOptionTable[i];
        Value& v = values_[i];
        switch (d.kind) {
            case OptionKind::Check:
            case OptionKind::Tab:
            case OptionKind::Indexed:
            case OptionKind::Slider:
                v.number = parseInt(d.defaultValue).value_or(0);
                break;
            case OptionKind::Option:
                v.number = d.defaultValue == "True" ? 1 : 0;
                break;
            case OptionKind::Colours:
                v.list = split(d.defaultValue, '&');
                break;
            case OptionKind::List:
                break;
            default:
                v.text = std::string(d.defaultValue);
        }
    }
}

std::optional<OptionId> OptionValues::find(std::string_view name) {
    const auto& index = nameIndex();
    auto it = index.find(name);
    if (it == index.end()) return std::nullopt;
    return it->second;
}

const std::string& OptionValues::colour(int slot) const {
    return values_[opt("txtColorHex")].list.at(static_cast<std::size_t>(slot));
}

void Options::setCheck(OptionId id, int value) {
    if (def(id).kind == OptionKind::Slider) value = std::clamp(value, def(id).low, def(id).high);
    if (values_[id].number == value) return;
    values_[id].number = value;
    changed(id, -1);
}

void Options::setTab(int index) {
    OptionId id = opt("tabOptions");
    if (values_[id].number == index) return;
    values_[id].number = index;
    changed(id, -1);
}

void Options::select(OptionId id, int index) {
    const OptionDef& d = def(id);
    int wanted = d.kind == OptionKind::Indexed ? index : 1;
    if (values_[id].number == wanted) return;
    for (OptionId other = 0; other < kOptionTable.size(); ++other) {
        if (other != id && !d.group.empty() && kOptionTable[other].group == d.group) {
            values_[other].number = kOptionTable[other].kind == OptionKind::Indexed ? -1 : 0;
        }
    }
    values_[id].number = wanted;
    changed(id, d.kind == OptionKind::Indexed ? index : -1);
}

void Options::deselect(OptionId id) {
    int none = def(id).kind == OptionKind::Indexed ? -1 : 0;
    bool wasChosen = values_[id].number != none;
    values_[id].number = none;
    // With no layout chosen the pages go into their own folders, as optCurrentDir has them.
    if (wasChosen && def(id).group == "layout") {
        setCheck(opt("chkAllInOneFile"), 0);
        setCheck(opt("chkAllInOneFolder"), 0);
    }
}

void Options::setText(OptionId id, std::string value) {
    if (values_[id].text == value) return;
    values_[id].text = std::move(value);
    changed(id, -1);
}

void Options::setList(OptionId id, std::vector<std::string> entries) {
    if (values_[id].list == entries) return;
    values_[id].list = std::move(entries);
    changed(id, -1);
}

void Options::appendList(OptionId id, std::string entry) {
    values_[id].list.push_back(std::move(entry));
    changed(id, -1);
}

void Options::setColour(int slot, std::string value) {
    auto& slots = values_[opt("txtColorHex")].list;
    auto& current = slots.at(static_cast<std::size_t>(slot));
    if (current == value) return;
    current = std::move(value);
    changed(opt("txtColorHex"), slot);
}

std::string OptionValues::valueText(OptionId id) const {
    const Value& v = values_[id];
    switch (def(id).kind) {
        case OptionKind::Check:
        case OptionKind::Tab:
        case OptionKind::Indexed:
        case OptionKind::Slider:
            return std::to_string(v.number);
        case OptionKind::Option:
            return v.number ? "True" : "False";
        case OptionKind::List: {
            std::string out;
            for (std::size_t i = 0; i < v.list.size(); ++i) out += (i ? "\n" : "") + v.list[i];
            return out;
        }
        case OptionKind::Colours: {
            std::string out;
            for (std::size_t i = 0; i < v.list.size(); ++i) out += (i ? "&" : "") + v.list[i];
            return out;
        }
        default:
            return v.text;
    }
}

bool Options::setValueText(OptionId id, std::string_view value) {
    switch (def(id).kind) {
        case OptionKind::Check:
        case OptionKind::Slider: {
            auto n = parseInt(value);
            bool slider = def(id).kind == OptionKind::Slider;
            if (!n || (slider && (*n < def(id).low || *n > def(id).high))) return false;
            setCheck(id, *n);
            return true;
        }
        case OptionKind::Tab: {
            auto n = parseInt(value);
            if (!n || *n < 0 || *n > 8) return false;
            setTab(*n);
            return true;
        }
        case OptionKind::Indexed: {
            auto n = parseInt(value);
            if (!n || *n < 0 || *n >= def(id).members) return false;
            select(id, *n);
            return true;
        }
        case OptionKind::Option: {
            std::string lower = asciiLower(value);
            if (lower == "true") {
                select(id);
            } else if (lower == "false") {
                deselect(id);
            } else {
                return false;
            }
            return true;
        }
        case OptionKind::List:
            setList(id, value.empty() ? std::vector<std::string>{} : split(value, '\n'));
            return true;
        case OptionKind::Colours: {
            auto parts = split(value, '&');
            if (parts.size() != 9) return false;
            for (int i = 0; i < 9; ++i) setColour(i, parts[static_cast<std::size_t>(i)]);
            return true;
        }
        default:
            setText(id, std::string(value));
            return true;
    }
}

int Options::subscribe(Listener listener) {
    return listeners_.add(std::move(listener));
}

void Options::unsubscribe(int token) {
    listeners_.remove(token);
}

void Options::changed(OptionId id, int index) {
    applyOwnRules(id);
    listeners_.notify(id, index);
}

// The two rules the generator relies on whether or not a window exists.
void Options::applyOwnRules(OptionId id) {
    if (id == opt("optAllInOneFile")) {
        setCheck(opt("chkAllInOneFile"), 1);
        setCheck(opt("chkAllInOneFolder"), 0);
    } else if (id == opt("optAllInOneFolder")) {
        setCheck(opt("chkAllInOneFile"), 0);
        setCheck(opt("chkAllInOneFolder"), 1);
    } else if (id == opt("optCurrentDir")) {
        setCheck(opt("chkAllInOneFile"), 0);
        setCheck(opt("chkAllInOneFolder"), 0);
    } else if (id == opt("txtTitle")) {
        setText(opt("txtHeading"), values_[id].text);
    }
}

}  // namespace tabulo
