#include "PreferenceBinding.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

#include "settings/SpinScrollBar.h"

namespace {

using enum Preference::Kind;

template <typename W>
W& Find(const QWidget& dialog, const char* name) {
    return *dialog.findChild<W*>(name);
}

// A field as its control shows it: a flag is on only at 1.
struct Shown {
    const Settings& settings;
    Preference::Value& value;
    void operator()(Preference::FlagField f) const { value.on = settings.*f == 1; }
    void operator()(Preference::NumberField f) const { value.position = settings.*f; }
    void operator()(Preference::TextField f) const { value.text = settings.*f; }
};

// The text first, in the file's flag form, then the bar. A hand-edited file
// may hold any number: it is brought into the box's range instead of greeting
// the operator with a range message before the dialog is even shown.
void ShowNumber(QLineEdit& text, SpinScrollBar& bar, std::int32_t value) {
    const int shown = std::clamp<std::int32_t>(value, 0, bar.maximum());
    text.setText(" " + QString::number(shown));
    bar.SetPosition(shown);
}

std::string Local8Bit(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

void PreferenceBinding::Show(QWidget& dialog, const Preference& pref, const Settings& settings) {
    const auto& [kind, name, other] = pref.control;
    Preference::Value value;
    std::visit(Shown{settings, value}, pref.field);
    switch (kind) {
        case NoControl:
            break;
        case CheckBox:
            Find<QCheckBox>(dialog, name).setChecked(value.on);
            break;
        case OptionPair:
            Find<QRadioButton>(dialog, value.on ? name : other).setChecked(true);
            break;
        case NumberBox:
            ShowNumber(Find<QLineEdit>(dialog, name), Find<SpinScrollBar>(dialog, other),
                       value.position);
            break;
        case TextBox:
            Find<QLineEdit>(dialog, name).setText(QString::fromLocal8Bit(value.text));
            break;
    }
}

Preference::Value PreferenceBinding::Read(const QWidget& dialog,
                                          const Preference::Control& control) {
    Preference::Value value;
    switch (control.kind) {
        case NoControl:
            break;
        case CheckBox:
        case OptionPair:
            value.on = Find<QAbstractButton>(dialog, control.name).isChecked();
            break;
        case NumberBox:
            value.position = Find<SpinScrollBar>(dialog, control.other).Position();
            value.text = Local8Bit(Find<QLineEdit>(dialog, control.name).text());
            break;
        case TextBox:
            value.text = Local8Bit(Find<QLineEdit>(dialog, control.name).text());
            break;
    }
    return value;
}
