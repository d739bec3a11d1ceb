#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Listeners.h"
#include "options/OptionTable.h"

namespace tabulo {

// The values of every option of the table, and nothing else: a copy is a snapshot that a run
// reads from any thread while the window goes on editing the live set.
class OptionValues {
  public:
    OptionValues();

    static std::optional<OptionId> find(std::string_view name);
    static const OptionDef& def(OptionId id) { return kOptionTable[id]; }

    int check(OptionId id) const { return values_[id].number; }  // check boxes and sliders
    bool on(OptionId id) const { return values_[id].number == 1; }
    bool selected(OptionId id) const { return values_[id].number != 0; }  // option buttons
    int selectedIndex(OptionId id) const { return values_[id].number; }   // indexed, -1 = none
    bool selected(OptionId id, int index) const { return values_[id].number == index; }
    const std::string& text(OptionId id) const { return values_[id].text; }
    const std::vector<std::string>& list(OptionId id) const { return values_[id].list; }
    int tab() const { return values_[opt("tabOptions")].number; }
    const std::string& colour(int slot) const;

    // The stored form of a value ("1", "True", the text, an index); lists join with LF.
    std::string valueText(OptionId id) const;

    // In a run's copy: a check box turned off, for a part of the pages that run cannot make.
    void turnOff(OptionId id) { values_[id].number = 0; }
    // In a run's copy: a text that run must not take from the window (a folder of this disk).
    void clearText(OptionId id) { values_[id].text.clear(); }

  protected:
    struct Value {
        int number = 0;
        std::string text;
        std::vector<std::string> list;
    };
    std::vector<Value> values_;
};

// The option set: the values with change notification.
// Setting a value equal to the current one does nothing; a real change notifies once.
class Options : public OptionValues {
  public:
    // index: the member for indexed groups and colour slots, -1 otherwise
    using Listener = std::function<void(OptionId id, int index)>;

    // The values alone, for a run.
    OptionValues snapshot() const { return *this; }

    // Check boxes take any value; a slider stops at its first or last position.
    void setCheck(OptionId id, int value);
    void setTab(int index);
    // Selects a member of its group; the other members become unselected.
    void select(OptionId id, int index = -1);
    // Clears one member, leaving the group possibly without a selection.
    void deselect(OptionId id);
    void setText(OptionId id, std::string value);
    void setList(OptionId id, std::vector<std::string> entries);
    void appendList(OptionId id, std::string entry);
    void setColour(int slot, std::string value);

    // Sets from the stored form; returns false when the text does not fit the kind (or, for a
    // slider, its range).
    bool setValueText(OptionId id, std::string_view value);

    const std::string& editedMark() const { return editedMark_; }
    void setEditedMark(std::string mark) { editedMark_ = std::move(mark); }

    int subscribe(Listener listener);
    void unsubscribe(int token);

  private:
    void changed(OptionId id, int index);
    void applyOwnRules(OptionId id);

    std::string editedMark_ = "-";
    ListenerList<OptionId, int> listeners_;
};

}  // namespace tabulo
