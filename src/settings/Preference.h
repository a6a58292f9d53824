#pragma once
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <variant>

#include "settings/Settings.h"

// One key of vastrel.ini: the Settings field it fills, its default and the
// Options dialog control that shows it. All() is the whole table, in the
// order OK writes the keys; adding a preference is adding a row there.
struct Preference {
    using FlagField = std::uint8_t Settings::*;
    using NumberField = std::int32_t Settings::*;
    using TextField = std::string Settings::*;

    // How a control shows its value.
    enum class Kind {
        NoControl,   // read from the file, never written
        CheckBox,    // flag, checked when 1
        OptionPair,  // flag: name selected when 1, other when not
        NumberBox,   // number: name is the text box, other its spin bar
        TextBox,     // text
    };
    // The controls by object name.
    struct Control {
        Kind kind = Kind::NoControl;
        const char* name = nullptr;
        const char* other = nullptr;
    };
    // What a control holds when OK is pressed.
    struct Value {
        bool on = false;            // flags
        std::string text;           // numbers and text, as typed
        std::int32_t position = 0;  // numbers: the spin bar
    };

    const char* key;
    std::variant<FlagField, NumberField, TextField> field;
    std::int32_t defaultValue;
    // false: the field keeps its start value when the key is missing.
    bool hasDefault;
    Control control;
    // A number below this does not fit and takes the default.
    std::int32_t minimum = std::numeric_limits<std::int32_t>::min();

    static std::span<const Preference> All();
};
