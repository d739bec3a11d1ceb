#include "colours/ColourEditor.h"

#include <charconv>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <utility>

#include "host/Host.h"
#include "common/Text.h"
#include "options/Options.h"
#include "options/Panel.h"

namespace tabulo {

namespace {

constexpr OptionId kSliders[] = {opt("scrR"), opt("scrG"), opt("scrB")};
constexpr double kLargestFontSize = 1638;  // as large as font dialogs commonly go

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int component(std::string_view text, int index) {
    return hexDigit(text[static_cast<std::size_t>(index) * 2]) * 16 +
           hexDigit(text[static_cast<std::size_t>(index) * 2 + 1]);
}

std::string hex2(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", n);
    return buf;
}

// Seconds since midnight, with their fraction, as the seed of a new sequence.
std::function<double()> timeOfDaySource() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now).count() % (86400LL * 1000000);
    auto generator = std::make_shared<std::mt19937_64>(static_cast<std::uint64_t>(micros));
    return [generator] { return std::uniform_real_distribution<double>(0.0, 1.0)(*generator); };
}

}  // namespace

bool IsHexColor(std::string_view text) {
    int count = 0;
    for (std::size_t i = 0; i < 6 && i < text.size(); ++i) count += hexDigit(text[i]) >= 0;
    return count == 6;
}

Rgb SlotColour(std::string_view text) {
    if (!IsHexColor(text)) return kWhite;
    return static_cast<Rgb>(component(text, 0) << 16 | component(text, 1) << 8 |
                            component(text, 2));
}

std::string StrNumber(float value) {
    std::string text = shortestText(value);
    if (text.find('e') != std::string::npos) {  // plain digits, as the classic form writes them
        text = fixedText(value, 6);
        while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.'))
            text.pop_back();
    }
    return value < 0 ? text : " " + text;
}

ColourEditor::ColourEditor(Options& options, Panel& panel, Host& host,
                           std::function<void()> refreshPreview)
    : randomSource(timeOfDaySource),
      options_(options),
      panel_(panel),
      host_(host),
      refreshPreview_(std::move(refreshPreview)) {}

bool ColourEditor::paintField(int slot) {
    const std::string& text = options_.colour(slot);
    Paint& paint = fields_.at(static_cast<std::size_t>(slot));
    if (!IsHexColor(text)) {
        paint = Paint{};
        return false;
    }
    paint.background = SlotColour(text);
    int sum = component(text, 0) + component(text, 1) + component(text, 2);
    paint.text = sum >= 300 ? kBlack : kWhite;
    return true;
}

void ColourEditor::RefreshColorField(int slot) {
    if (paintField(slot)) SelectColorSlot(currentSlot_);
    refreshPreview_();
}

void ColourEditor::ShowLoadedColours() {
    setSlidersFromSlot();
    for (int slot = 0; slot < 9; ++slot) paintField(slot);
    refreshPreview_();
}

void ColourEditor::setSlidersFromSlot() {
    const std::string text = options_.colour(currentSlot_);
    if (!IsHexColor(text)) return;
    for (int c = 0; c < 3; ++c) options_.setCheck(kSliders[c], 255 - component(text, c));
}

void ColourEditor::SelectColorSlot(int slot) {
    options_.setEditedMark("*");
    currentSlot_ = slot;
    int fieldTop = kFieldTop + slot * kFieldPitch;
    panel_.setMixerTop(kTabsTop + kPanelTop + fieldTop - 2 * kFieldHeight);
    mixerLeft_ = kPanelLeft + kFieldLeft + kFieldHeight;
    setSlidersFromSlot();
}

void ColourEditor::ComponentSliderChanged(int c) {
    int value = options_.check(kSliders[c]);
    int k = 255 - value;
    ComponentLabel& label = labels_.at(static_cast<std::size_t>(c));
    label.caption = " " + std::to_string(k);
    label.background = static_cast<Rgb>(k) << (16 - 8 * c);
    label.text = value > 128 ? kWhite : kBlack;
    const std::string text = options_.colour(currentSlot_);
    auto piece = [&](std::size_t from, std::size_t count) {
        return from < text.size() ? text.substr(from, count) : std::string();
    };
    std::string h = hex2(k), written;
    if (c == 0) written = h + piece(2, 4);
    if (c == 1) written = piece(0, 2) + h + piece(4, 2);
    if (c == 2) written = piece(0, 4) + h;
    options_.setColour(currentSlot_, asciiLower(written));
}

void ColourEditor::BrightnessChanged() {
    Options& o = options_;
    int value = o.check(opt("scrBrightness"));
    int d = value - previousBrightness_;
    for (OptionId slider : kSliders) {
        int moved = o.check(slider) + d;
        if (moved >= 0 && moved <= 255) o.setCheck(slider, moved);
    }
    previousBrightness_ = value;
}

void ColourEditor::cmdBrowseColor_Click() {
    // The dialog opens at the slot's colour: red in the low byte, as the host takes it.
    std::uint32_t rgb = 0;
    std::from_chars(options_.colour(currentSlot_).data(),
                    options_.colour(currentSlot_).data() + options_.colour(currentSlot_).size(), rgb,
                    16);
    auto chosen = host_.chooseColor((rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
    if (!chosen) return;  // cancelled: the slot stays as it was
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", *chosen & 0xFFFFFF);
    std::string bgr = buf;
    options_.setColour(currentSlot_, bgr.substr(4, 2) + bgr.substr(2, 2) + bgr.substr(0, 2));
    SelectColorSlot(currentSlot_);
}

void ColourEditor::ParkMixer() {
    panel_.setMixerTop(Panel::kLineBottom + 100);
}

void ColourEditor::FontSizeSliderChanged() {
    options_.setEditedMark("*");
    options_.setText(opt("txtFontSize"),
                     StrNumber(static_cast<float>(100 - options_.check(opt("scrFontSize")))));
}

void ColourEditor::cmdBrowseFont_Click() {
    Options& o = options_;
    o.setEditedMark("*");
    // Any typed size reaches the dialog as one a font can have.
    double size = std::clamp(val(o.text(opt("txtFontSize"))), 0.0, kLargestFontSize);
    auto font = host_.chooseFont({o.text(opt("txtFont")), static_cast<float>(size)});
    if (!font) return;
    o.setText(opt("txtFontSize"), StrNumber(font->size));
    o.setText(opt("txtFont"), font->family);
}

void ColourEditor::GenerateRandomScheme() {
    Options& o = options_;
    o.setEditedMark("*");
    auto source = randomSource();
    // A whole number below `n`, even from a replaced source that leaves [0, 1).
    auto below = [&](int n) { return wholeWithin(std::floor(source() * n), 0, n - 1); };
    int a1 = below(100) + 50;
    int a2 = below(100) + 50;
    int a3 = below(100) + 50;
    [[maybe_unused]] int d = below(100);  // drawn, keeps the sequence
    int e = below(54) + 50;
    std::string table = asciiLower(hex2(a1) + hex2(a2) + hex2(a3));
    o.setColour(1, table);
    o.setColour(2, table);
    o.setColour(3, "000000");
    o.setColour(0, asciiLower(hex2(a1 + e) + hex2(a2 + e) + hex2(a3 + e)));
    refreshPreview_();
}

}  // namespace tabulo
