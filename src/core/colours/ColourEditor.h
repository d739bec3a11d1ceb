#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tabulo {

class Host;
class Options;
class Panel;

// An RGB colour as 0xRRGGBB.
using Rgb = std::uint32_t;

inline constexpr Rgb kWhite = 0xFFFFFF;
inline constexpr Rgb kBlack = 0x000000;

// True when the first six characters are hexadecimal digits.
bool IsHexColor(std::string_view text);
// The colour a slot text stands for: its own when well formed, white otherwise.
Rgb SlotColour(std::string_view text);

// The colour editor of the nine slots: what each field shows, the slot the mixer edits, the
// mixer's sliders and labels, and where the mixer stands.
class ColourEditor {
  public:
    struct Paint {
        Rgb background = kWhite;
        Rgb text = kBlack;
    };
    struct ComponentLabel {
        std::string caption = " 0";
        Rgb background = kBlack;
        Rgb text = kBlack;
    };

    // Layout of the colour panel, in twips of the main window.
    static constexpr int kTabsTop = 4140;
    static constexpr int kPanelTop = 360, kPanelLeft = 120;
    static constexpr int kFieldLeft = 1680, kFieldTop = 120, kFieldHeight = 285, kFieldPitch = 300;

    // Edits the colour slots of `options`, places the mixer on `panel`, asks `host` for colours
    // and fonts, and calls `refreshPreview` where the page's look changed.
    ColourEditor(Options& options, Panel& panel, Host& host, std::function<void()> refreshPreview);

    const Paint& field(int slot) const { return fields_.at(static_cast<std::size_t>(slot)); }
    int currentSlot() const { return currentSlot_; }
    const ComponentLabel& label(int component) const {
        return labels_.at(static_cast<std::size_t>(component));
    }
    int mixerLeft() const { return mixerLeft_; }

    // A slot's text changed (typed, or written by the editor).
    void RefreshColorField(int slot);
    // A theme was loaded: every field painted and the sliders on the current slot, at once.
    void ShowLoadedColours();
    // A click on a slot's field.
    void SelectColorSlot(int slot);
    // scrR, scrG or scrB moved (component 0, 1 or 2).
    void ComponentSliderChanged(int component);
    void BrightnessChanged();
    void cmdBrowseColor_Click();
    void ParkMixer();
    void FontSizeSliderChanged();
    void cmdBrowseFont_Click();
    // The random scheme of the "Generate" button.
    void GenerateRandomScheme();

    // Makes a uniform source of numbers in [0, 1), seeded anew for every scheme; replaceable.
    std::function<std::function<double()>()> randomSource;

  private:
    // Paints a slot's field; true when it holds a colour.
    bool paintField(int slot);
    void setSlidersFromSlot();

    Options& options_;
    Panel& panel_;
    Host& host_;
    std::function<void()> refreshPreview_;
    std::array<Paint, 9> fields_{};
    std::array<ComponentLabel, 3> labels_{};
    int currentSlot_ = 0;
    int previousBrightness_ = 12000;
    int mixerLeft_ = 0;
};

// The Str form of a number: a blank before a number that is not negative, then its shortest
// decimal form (" 12", " 10.5").
std::string StrNumber(float value);

}  // namespace tabulo
